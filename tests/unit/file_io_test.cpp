#include "core/base/file_io.hpp"

#include <atomic>
#include <cerrno>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/temp_dir.hpp"

// The unit tests link with --wrap=write and --wrap=fsync on Linux, so a test
// can interrupt the writer and count what it makes durable.
#ifdef TARNWELL_WRAPPED_SYSCALLS
namespace {
std::atomic<int> interruptsToInject{0};
std::atomic<int> fsyncs{0};
}  // namespace
extern "C" {
ssize_t __real_write(int fd, const void* bytes, size_t count);
int __real_fsync(int fd);
ssize_t __wrap_write(int fd, const void* bytes, size_t count) {
    if (fd > 2 && interruptsToInject > 0) {
        --interruptsToInject;
        errno = EINTR;
        return -1;
    }
    return __real_write(fd, bytes, count);
}
int __wrap_fsync(int fd) {
    ++fsyncs;
    return __real_fsync(fd);
}
}
#endif

namespace tarnwell {
namespace {

using test::entriesIn;

TEST(AtomicWrite, CreatesTheFolderAndKeepsPermissions) {
    namespace fs = std::filesystem;
    test::TempDir dir;
    const auto file = dir / "a" / "b" / "presets.json";
    const mode_t previous = ::umask(022);
    const std::string error = writeFileAtomically(file, "one");
    ::umask(previous);
    ASSERT_EQ(error, "");
    EXPECT_EQ(test::readText(file), "one");
    EXPECT_EQ(fs::status(file).permissions(), fs::perms::owner_read | fs::perms::owner_write |
                                                  fs::perms::group_read | fs::perms::others_read);

    const auto kept = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    fs::permissions(file, kept);
    ASSERT_EQ(writeFileAtomically(file, "two"), "");
    EXPECT_EQ(test::readText(file), "two");
    EXPECT_EQ(fs::status(file).permissions(), kept);
    EXPECT_EQ(entriesIn(file.parent_path()), 1u) << "no temporary file is left behind";
}

#ifdef TARNWELL_WRAPPED_SYSCALLS
TEST(AtomicWrite, AnInterruptedWriteIsRetriedAndTheFileAndItsFolderReachTheDisk) {
    test::TempDir dir;
    interruptsToInject = 2;
    const int before = fsyncs;
    ASSERT_EQ(writeFileAtomically(dir / "presets.json", "abc"), "");
    EXPECT_EQ(interruptsToInject, 0);
    EXPECT_EQ(test::readText(dir / "presets.json"), "abc");
    EXPECT_EQ(fsyncs - before, 2) << "the file, then the folder that names it";
}
#endif

TEST(AtomicWrite, RemovesTheTemporaryFilesOfDeadWritersOnly) {
    test::TempDir dir;
    const pid_t dead = fork();
    ASSERT_GE(dead, 0);
    if (dead == 0) {
        _exit(0);
    }
    waitpid(dead, nullptr, 0);
    const auto stale = dir / (".presets.json.tmp-" + std::to_string(dead) + "-3");
    const auto running = dir / (".presets.json.tmp-" + std::to_string(getppid()) + "-0");
    const auto otherFiles = dir / (".mine.json.tmp-" + std::to_string(dead) + "-0");
    for (const auto& file : {stale, running, otherFiles}) {
        test::writeText(file, "[{\"values\":[1,");
    }
    ASSERT_EQ(writeFileAtomically(dir / "presets.json", "[]"), "");
    EXPECT_FALSE(std::filesystem::exists(stale));
    EXPECT_TRUE(std::filesystem::exists(running)) << "a running writer's file stays";
    EXPECT_TRUE(std::filesystem::exists(otherFiles)) << "another file's are left to its writes";
    EXPECT_EQ(test::readText(dir / "presets.json"), "[]");
}

TEST(ReadWholeFile, RefusesOversizedFilesAndFolders) {
    test::TempDir dir;
    test::writeText(dir / "big", std::string(2 << 20, 'x'));
    const FileRead big = readWholeFile(dir / "big", 1 << 20);
    EXPECT_FALSE(big.bytes);
    EXPECT_NE(big.error.find("larger than 1 MiB"), std::string::npos);
    test::writeText(dir / "small", "abc");
    EXPECT_EQ(readWholeFile(dir / "small", 1 << 20).bytes, "abc");
}

}  // namespace
}  // namespace tarnwell
