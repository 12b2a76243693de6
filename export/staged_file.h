#pragma once
// A file that appears under its name only when committed. It is written to a
// temporary file beside its target (beside the file a symlink points to: the
// link stays) and renamed over the target at commit. A target that exists
// but is not a regular file (a FIFO, /dev/null, a terminal) is never renamed
// over: the data is staged in the temporary directory and copied into the
// target at commit. Abandoned, or destroyed before commit, it leaves nothing.

#include <cstdio>
#include <string>

namespace bleeptone {

class StagedFile {
public:
    StagedFile() = default;
    ~StagedFile() { abandon(); }
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    // Creates the temporary file. False, with error() set, on failure.
    bool open(const std::string& target);
    // The temporary file, open for reading and writing.
    std::FILE* stream() { return file_; }
    // Flushes and closes the stream, keeping the temporary file for commit.
    bool close();
    // Puts the data in place (closing the stream first if still open).
    bool commit();
    // Removes the temporary file.
    void abandon();
    // "TARGET: reason" for the last failure.
    const std::string& error() const { return error_; }

private:
    bool fail();  // sets error_ from errno
    bool copyIntoTarget();

    std::string target_;       // as given: the name in messages, the file a direct copy opens
    std::string destination_;  // what the rename replaces
    std::string temp_;
    bool direct_ = false;      // the target is not a regular file: copy into it
    std::FILE* file_ = nullptr;
    std::string error_;
};

}  // namespace bleeptone
