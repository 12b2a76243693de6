#include "staged_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

namespace bleeptone {

namespace {

std::string tempDirectory() {
    const char* dir = std::getenv("TMPDIR");
    return dir && *dir ? dir : "/tmp";
}

}  // namespace

bool StagedFile::fail() {
    error_ = target_ + ": " + std::strerror(errno);
    return false;
}

bool StagedFile::open(const std::string& target) {
    abandon();
    target_ = target;
    destination_ = target;
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status st = fs::status(target, ec);  // follows links
    if (fs::is_directory(st)) {
        // Caught now, not at the rename: the other files of the export are not yet in place.
        errno = EISDIR;
        return fail();
    }
    direct_ = fs::exists(st) && !fs::is_regular_file(st);
    if (!direct_ && fs::is_symlink(fs::symlink_status(target, ec))) {
        const fs::path resolved = fs::canonical(target, ec);
        if (!ec) destination_ = resolved.string();
    }

    std::string pattern = (direct_ ? tempDirectory() + "/bleeptone-export" : destination_) + ".partXXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = ::mkstemp(name.data());
    if (fd < 0) return fail();
    temp_ = name.data();
    // mkstemp makes the file private; give it the mode a plain create would.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    file_ = ::fdopen(fd, "w+b");
    if (!file_) {
        const int saved = errno;
        ::close(fd);
        abandon();
        errno = saved;
        return fail();
    }
    return true;
}

bool StagedFile::close() {
    if (!file_) return true;
    const bool flushed = std::fflush(file_) == 0 && !std::ferror(file_);
    const int saved = errno;
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!flushed) errno = saved;
    if (!flushed || !closed) return fail();
    return true;
}

bool StagedFile::copyIntoTarget() {
    std::FILE* from = std::fopen(temp_.c_str(), "rb");
    if (!from) return fail();
    std::FILE* to = std::fopen(target_.c_str(), "wb");
    if (!to) {
        const int saved = errno;
        std::fclose(from);
        errno = saved;
        return fail();
    }
    char buffer[65536];
    bool ok = true;
    for (std::size_t n; ok && (n = std::fread(buffer, 1, sizeof buffer, from)) > 0;)
        ok = std::fwrite(buffer, 1, n, to) == n;
    ok = ok && !std::ferror(from) && std::fflush(to) == 0;
    const int saved = errno;
    std::fclose(from);
    ok = std::fclose(to) == 0 && ok;
    if (!ok) {
        errno = saved;
        return fail();
    }
    return true;
}

bool StagedFile::commit() {
    if (temp_.empty()) return false;
    bool ok = close();
    if (ok && direct_) {
        ok = copyIntoTarget();
    } else if (ok) {
        ok = std::rename(temp_.c_str(), destination_.c_str()) == 0 || fail();
        if (ok) temp_.clear();
    }
    abandon();
    return ok;
}

void StagedFile::abandon() {
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
