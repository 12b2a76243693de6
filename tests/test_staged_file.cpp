// The one rule for output files: what each kind of target ends up as, and
// that nothing that is not a regular file is ever renamed over.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include "engine/staged_file.h"
#include "tests/test_support.h"

namespace bleeptone {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;
using testing::readBytes;
using StagedFileTest = testing::TempDirTest;

bool writeAndCommit(StagedFile& file, const std::string& text) {
    return std::fputs(text.c_str(), file.stream()) >= 0 && file.commit();
}

std::string textOf(const std::string& path) {
    const Bytes b = readBytes(path);
    return std::string(b.begin(), b.end());
}

ino_t inodeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

// Regular files (new or replaced) and symlinks: the data appears only at
// commit; links stay links; a replaced file keeps its permission bits.
TEST_F(StagedFileTest, RegularFilesAndLinks) {
    fs::create_directory(path("real"));
    std::ofstream(path("real/old.txt")) << "old contents";
    fs::permissions(path("real/old.txt"), fs::perms(0640));
    fs::create_symlink("real/old.txt", path("link"));
    fs::create_symlink("link", path("link-to-link"));
    fs::create_symlink("real/new.txt", path("dangling"));
    const struct {
        const char* target;
        const char* dataAt;  // where the data ends up
        const char* link;    // a link that must still be a link, or null
        unsigned mode;
    } cases[] = {
        {"new.txt", "new.txt", nullptr, 0},          {"real/old.txt", "real/old.txt", nullptr, 0640},
        {"link", "real/old.txt", "link", 0640},      {"link-to-link", "real/old.txt", "link-to-link", 0640},
        {"dangling", "real/new.txt", "dangling", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target);
        StagedFile file;
        ASSERT_TRUE(file.open(path(c.target))) << file.error();
        EXPECT_FALSE(file.copiesIn());
        std::fputs("complete", file.stream());
        if (c.mode == 0) {
            EXPECT_FALSE(fs::exists(path(c.dataAt)));
        } else {
            EXPECT_NE(textOf(path(c.dataAt)), "complete");
        }
        ASSERT_TRUE(file.commit()) << file.error();
        EXPECT_EQ(textOf(path(c.dataAt)), "complete");
        if (c.link) {
            EXPECT_TRUE(fs::is_symlink(path(c.link)));
        }
        if (c.mode) {
            EXPECT_EQ(static_cast<unsigned>(fs::status(path(c.dataAt)).permissions()), c.mode);
        }
        std::ofstream(path("real/old.txt")) << "old contents";
    }
    // Nothing else was left beside them: real/, old.txt, new.txt, the links.
    EXPECT_EQ(fileCount(), 5u);
    EXPECT_EQ(std::distance(fs::directory_iterator(path("real")), fs::directory_iterator()), 2);
}

// A FIFO gets the data at commit, read by another thread, and stays a FIFO;
// an open file named through /proc (as /dev/stdout names standard output)
// is written into, not replaced: whoever holds it open sees the data.
TEST_F(StagedFileTest, FifoAndOpenFileAreWrittenInto) {
    fs::create_directory(path("stage"));
    ASSERT_EQ(setenv("TMPDIR", path("stage").c_str(), 1), 0);

    ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
    std::string piped;
    std::thread reader([&] { piped = textOf(path("fifo")); });
    StagedFile fifo;
    const bool opened = fifo.open(path("fifo"));  // returns once the reader is there
    EXPECT_TRUE(fs::is_empty(path("stage")));  // the staging file has no name
    const bool written = opened && fifo.copiesIn() && writeAndCommit(fifo, "through the pipe");
    if (!opened) {
        const int release = ::open(path("fifo").c_str(), O_WRONLY | O_NONBLOCK);  // frees the reader
        if (release >= 0) ::close(release);
    }
    reader.join();
    EXPECT_TRUE(written) << fifo.error();
    EXPECT_EQ(piped, "through the pipe");
    EXPECT_TRUE(fs::is_fifo(path("fifo")));

    std::ofstream(path("held.txt")) << "";
    const int fd = ::open(path("held.txt").c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    const std::string magic = "/proc/self/fd/" + std::to_string(fd);
    StagedFile held;
    ASSERT_TRUE(held.open(magic)) << held.error();
    EXPECT_TRUE(held.copiesIn());
    EXPECT_TRUE(writeAndCommit(held, "into the open file")) << held.error();
    struct stat st {};
    ASSERT_EQ(::fstat(fd, &st), 0);
    EXPECT_EQ(st.st_ino, inodeOf(path("held.txt")));  // the same file, not a new one put in its place
    ::close(fd);
    EXPECT_EQ(textOf(path("held.txt")), "into the open file");

    unsetenv("TMPDIR");
    EXPECT_TRUE(fs::is_empty(path("stage")));
}

}  // namespace
}  // namespace bleeptone
