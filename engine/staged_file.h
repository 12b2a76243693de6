#pragma once
// The one way the program writes a file it renders, records or exports: the
// file appears under its name only when complete, and nothing that is not a
// regular file is ever replaced.
// - A regular file, or a new one: written to a temporary file beside it and
//   renamed over it at commit. A file replaced keeps its permission bits.
// - A symlink is followed: the link stays and the file it points to gets the
//   data (by the same rename beside that file).
// - Anything else (a FIFO, a character device such as /dev/null, a terminal,
//   /dev/stdout and the other links of /proc to open files) is never renamed
//   over: it is opened for writing at open(), so that a target that cannot be
//   written fails at once, the data is staged in a nameless temporary file
//   (in $TMPDIR, else /tmp) and copied into the target at commit.
// - A stream (standard output) is staged the same way and copied in at commit.
// Abandoned, or destroyed before commit, it leaves nothing behind; killed,
// at most a temporary file beside a regular target ("NAME.partXXXXXX").
// Thread: any one at a time. Callback: no (file I/O).

#include <cstdio>
#include <string>

namespace bleeptone {

class StagedFile {
public:
    StagedFile() = default;
    ~StagedFile() { abandon(); }
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    // Creates the temporary file (and opens a target that is written into).
    // False, with error() set, on failure.
    bool open(const std::string& target);
    // Stages data for an open stream; name is what messages call it.
    bool openStream(std::FILE* out, const std::string& name);
    // The temporary file, open for reading and writing.
    std::FILE* stream() { return file_; }
    // Flushes the data and, where it is renamed into place, closes the stream.
    bool close();
    // Puts the data in place (closing the stream first if still open).
    bool commit();
    // Removes the temporary file and closes a target opened for writing.
    void abandon();
    // True when the data is copied into the target rather than renamed over it.
    bool copiesIn() const { return directFd_ >= 0 || out_ != nullptr; }
    // "TARGET: reason" for the last failure.
    const std::string& error() const { return error_; }

private:
    bool fail();  // sets error_ from errno
    bool createTemp(const std::string& prefix, unsigned mode);
    bool copyIn();

    std::string target_;       // as given: the name in messages
    std::string destination_;  // what the rename replaces: the target, or the file its links lead to
    std::string temp_;
    int directFd_ = -1;         // a target that is written into, open for writing
    std::FILE* out_ = nullptr;  // a stream the data is copied into
    std::FILE* file_ = nullptr;
    std::string error_;
};

}  // namespace bleeptone
