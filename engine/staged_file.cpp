#include "engine/staged_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>

namespace bleeptone {

namespace {

namespace fs = std::filesystem;

std::string tempDirectory() {
    const char* dir = std::getenv("TMPDIR");
    return dir && *dir ? dir : "/tmp";
}

bool inProc(const fs::path& dir) {
    const std::string d = dir.string();
    return d == "/proc" || d.rfind("/proc/", 0) == 0;
}

// Follows the symlinks at target (at most 40, as the system does) to the
// name they lead to; the directories on the way are left for the system to
// resolve. A link that lives in /proc names an open file (/dev/stdout leads
// to /proc/self/fd/1): it is not followed, and throughProc is set, because
// renaming over the file it shows would pull that file from under whoever
// holds it open.
bool followLinks(const std::string& target, std::string& destination, bool& throughProc) {
    fs::path p = target;
    for (int hops = 0;; ++hops) {
        std::error_code ec;
        if (!fs::is_symlink(fs::symlink_status(p, ec))) break;
        const fs::path dir = fs::canonical(p.has_parent_path() ? p.parent_path() : fs::path("."), ec);
        if (!ec && inProc(dir)) {
            throughProc = true;
            break;
        }
        if (hops == 40) {
            errno = ELOOP;
            return false;
        }
        const fs::path link = fs::read_symlink(p, ec);
        if (ec) {
            errno = ec.value();
            return false;
        }
        p = link.is_absolute() ? link : p.parent_path() / link;
    }
    destination = p.string();
    return true;
}

// Creates prefix + ".partXXXXXX" (six random letters or digits) exclusively,
// with the given mode less the umask; -1 with errno set on failure.
int createUnique(const std::string& prefix, mode_t mode, std::string& name) {
    static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::mt19937 random{std::random_device{}()};
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = prefix + ".part";
        for (int i = 0; i < 6; ++i) name += kChars[random() % (sizeof kChars - 1)];
        const int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

bool StagedFile::fail() {
    error_ = target_ + ": " + std::strerror(errno);
    return false;
}

bool StagedFile::open(const std::string& target) {
    abandon();
    target_ = target;
    bool throughProc = false;
    if (!followLinks(target, destination_, throughProc)) return fail();
    struct stat st {};
    const bool exists = ::stat(target.c_str(), &st) == 0;  // through every link
    if (exists && S_ISDIR(st.st_mode)) {
        // Caught now, not at the rename, when other files may already be complete.
        errno = EISDIR;
        return fail();
    }
    if (exists && (throughProc || !S_ISREG(st.st_mode))) {
        // Opening a FIFO waits for its reader.
        do directFd_ = ::open(target.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NOCTTY);
        while (directFd_ < 0 && errno == EINTR);
        if (directFd_ < 0) return fail();
        return createTemp(tempDirectory() + "/bleeptone", 0600);
    }
    // Beside the file it replaces; a new file gets the mode a plain create would.
    if (!createTemp(destination_, exists ? 0600 : 0666)) return false;
    // The file it replaces keeps its permission bits.
    if (exists) (void)::fchmod(::fileno(file_), st.st_mode & 07777);
    return true;
}

bool StagedFile::openStream(std::FILE* out, const std::string& name) {
    abandon();
    target_ = name;
    destination_.clear();
    out_ = out;
    return createTemp(tempDirectory() + "/bleeptone", 0600);
}

// The temporary file, with mode less the umask. One that only stages data
// for copying in loses its name at once: nothing is left of it even when the
// program is killed.
bool StagedFile::createTemp(const std::string& prefix, unsigned mode) {
    std::string name;
    const int fd = createUnique(prefix, static_cast<mode_t>(mode), name);
    if (fd < 0) {
        const int saved = errno;
        abandon();
        errno = saved;
        return fail();
    }
    if (copiesIn()) ::unlink(name.c_str());
    else temp_ = name;
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
    if (copiesIn()) return flushed || fail();  // kept open: the data is read back at commit
    const int saved = errno;
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!flushed) errno = saved;
    if (!flushed || !closed) return fail();
    return true;
}

bool StagedFile::copyIn() {
    if (std::fseek(file_, 0, SEEK_SET) != 0) return fail();
    char buffer[65536];
    bool ok = true;
    for (std::size_t n; ok && (n = std::fread(buffer, 1, sizeof buffer, file_)) > 0;)
        ok = out_ ? std::fwrite(buffer, 1, n, out_) == n : writeAll(directFd_, buffer, n);
    ok = ok && !std::ferror(file_) && (!out_ || std::fflush(out_) == 0);
    return ok || fail();
}

bool StagedFile::commit() {
    if (!file_ && temp_.empty()) {
        errno = EBADF;
        return fail();
    }
    bool ok = close();
    if (ok && copiesIn()) {
        ok = copyIn();
        if (ok && directFd_ >= 0) {
            ok = ::close(directFd_) == 0 || fail();
            directFd_ = -1;
        }
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
    if (directFd_ >= 0) {
        ::close(directFd_);
        directFd_ = -1;
    }
    out_ = nullptr;
}

}  // namespace bleeptone
