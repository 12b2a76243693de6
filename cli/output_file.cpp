#include "output_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace bleeptone {

bool OutputFile::open(const std::string& path) {
    abandon();
    path_ = path;
    std::string pattern = path + ".partXXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
        error_ = path + ": " + std::strerror(errno);
        return false;
    }
    temp_ = name.data();
    // mkstemp makes the file private; give it the mode a plain create would.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    file_ = ::fdopen(fd, "w+b");
    if (!file_) {
        error_ = path + ": " + std::strerror(errno);
        ::close(fd);
        ::unlink(temp_.c_str());
        temp_.clear();
        return false;
    }
    return true;
}

bool OutputFile::closeStream() {
    if (!file_) return true;
    const bool ok = std::fflush(file_) == 0 && !std::ferror(file_);
    const int saved = errno;
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!ok || !closed) {
        error_ = path_ + ": " + std::strerror(ok ? errno : saved);
        return false;
    }
    return true;
}

bool OutputFile::commit() {
    if (temp_.empty()) return false;
    if (!closeStream()) {
        abandon();
        return false;
    }
    if (std::rename(temp_.c_str(), path_.c_str()) != 0) {
        error_ = path_ + ": " + std::strerror(errno);
        abandon();
        return false;
    }
    temp_.clear();
    return true;
}

void OutputFile::abandon() {
    if (file_) {
        std::fclose(file_);
        file_ = nullptr;
    }
    if (!temp_.empty()) {
        ::unlink(temp_.c_str());
        temp_.clear();
    }
}

}  // namespace bleeptone
