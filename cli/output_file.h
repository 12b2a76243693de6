#pragma once
// A file that appears under its name only once it is complete: written to a
// temporary file beside it and renamed at commit. Abandoned (or destroyed
// uncommitted), it leaves nothing behind.

#include <cstdio>
#include <string>

namespace bleeptone {

class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile() { abandon(); }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates the temporary file. Returns false and sets error() on failure.
    bool open(const std::string& path);
    std::FILE* stream() { return file_; }
    // Path of the temporary file (for writers that open it by name).
    const std::string& tempPath() const { return temp_; }
    // Closes the stream if still open and renames the file into place.
    bool commit();
    void abandon();
    // Closes the stream, keeping the temporary file for a writer that reopens it.
    bool closeStream();
    const std::string& error() const { return error_; }

private:
    std::string path_;
    std::string temp_;
    std::FILE* file_ = nullptr;
    std::string error_;
};

}  // namespace bleeptone
