#include "core/base/file_io.hpp"

#include <atomic>
#include <cerrno>
#include <set>

#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/temp_dir.hpp"

// Linked with --wrap=write,fsync,link on Linux: a test can interrupt the writer, count what it
// makes durable and refuse hard links as exFAT or FAT does.
#ifdef TARNWELL_WRAPPED_SYSCALLS
namespace {
std::atomic<int> interruptsToInject{0};
std::atomic<int> fsyncs{0};
std::atomic<bool> refuseHardLinks{false};
}  // namespace
extern "C" {
ssize_t __real_write(int fd, const void* bytes, size_t count);
int __real_fsync(int fd);
int __real_link(const char* from, const char* to);
int __wrap_link(const char* from, const char* to) {
    return refuseHardLinks ? (errno = EPERM, -1) : __real_link(from, to);
}
ssize_t __wrap_write(int fd, const void* bytes, size_t count) {
    const bool interrupt = fd > 2 && interruptsToInject > 0;
    return interrupt ? (--interruptsToInject, errno = EINTR, -1) : __real_write(fd, bytes, count);
}
int __wrap_fsync(int fd) {
    ++fsyncs;
    return __real_fsync(fd);
}
}
#endif

namespace tarnwell {
namespace {

namespace fs = std::filesystem;
using test::entriesIn;

// Sets the working folder for its lifetime.
struct InFolder {
    explicit InFolder(const fs::path& folder) { fs::current_path(folder); }
    ~InFolder() { fs::current_path(previous); }
    const fs::path previous = fs::current_path();
};

TEST(AtomicWrite, MakesOnlyTheFilesOwnFolderAndKeepsPermissions) {
    test::TempDir dir;
    const auto file = dir / "Documents" / "presets.json";
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

    // A home folder that is not there (a removed drive) is not made up: nothing is written.
    EXPECT_NE(writeFileAtomically(dir / "gone" / "Documents" / "presets.json", "x"), "");
    EXPECT_FALSE(fs::exists(dir / "gone"));
}

TEST(AtomicWrite, RefusesWhatIsNotARegularFileAndLeavesItAlone) {
    test::TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    fs::create_directory(dir / "folder");
    fs::create_symlink("pipe", dir / "link-to-pipe");
    std::vector<std::pair<std::string, std::string>> cases = {
        {"pipe", "named pipe"}, {"link-to-pipe", "named pipe"}, {"folder", "folder"}};
    // A node of its own with the null device's numbers, never /dev/null; needs privileges.
    if (::mknod((dir / "device").c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0) {
        fs::create_symlink(dir / "device", dir / "link-to-device");
        cases.push_back({"device", "device"});
        cases.push_back({"link-to-device", "device"});
    }
    for (const auto& [name, why] : cases) {
        const std::string error = writeFileAtomically(dir / name, "[]");
        EXPECT_NE(error.find(why), std::string::npos) << name << ": " << error;
        EXPECT_NE(writeFileKeepingEarlier(dir / name, "[]").error, "") << name;
    }
    EXPECT_TRUE(fs::is_fifo(dir / "pipe"));
    EXPECT_TRUE(fs::is_symlink(dir / "link-to-pipe"));
    EXPECT_TRUE(fs::is_directory(dir / "folder"));
    if (fs::exists(dir / "device")) {
        EXPECT_TRUE(fs::is_character_file(dir / "device"));
        EXPECT_TRUE(fs::is_symlink(dir / "link-to-device"));
    }
    EXPECT_EQ(entriesIn(dir.path()), cases.size()) << "no file is made beside them";
}

TEST(AtomicWrite, ALinkIsReadAgainstItsOwnFolderAndADanglingOneMakesItsTarget) {
    test::TempDir dir;
    fs::create_directories(dir / "Documents");
    fs::create_directories(dir / "Synced");
    fs::create_directories(dir / "a" / "b");
    const auto link = dir / "Documents" / "presets.json";
    fs::create_symlink("../Synced/presets.json", link);
    // From a folder where the link, read against it, would land in a/Synced, which is absent.
    {
        const InFolder elsewhere(dir / "a" / "b");
        ASSERT_EQ(writeFileAtomically(link, "first"), "") << "a link to a file not made yet";
        EXPECT_TRUE(fs::is_symlink(link));
        EXPECT_EQ(test::readText(dir / "Synced" / "presets.json"), "first");
        const KeepingWrite second = writeFileKeepingEarlier(link, "second");
        ASSERT_EQ(second.error, "");
        EXPECT_TRUE(fs::is_symlink(link));
        EXPECT_EQ(test::readText(dir / "Synced" / "presets.json"), "second");
        EXPECT_EQ(second.keptAs.parent_path(), fs::canonical(dir / "Synced"));
        EXPECT_EQ(test::readText(second.keptAs), "first");
    }
    EXPECT_FALSE(fs::exists(dir / "a" / "Synced"));
    EXPECT_EQ(entriesIn(dir / "Documents"), 1u);

    // A link into a missing folder (an unmounted drive) makes nothing and keeps the link.
    fs::create_symlink("../Unmounted/presets.json", dir / "Documents" / "other.json");
    EXPECT_NE(writeFileAtomically(dir / "Documents" / "other.json", "x"), "");
    EXPECT_TRUE(fs::is_symlink(dir / "Documents" / "other.json"));
    EXPECT_FALSE(fs::exists(dir / "Unmounted"));
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

TEST(KeepingWrite, KeepsACopyWhereTheFileSystemRefusesHardLinks) {
    test::TempDir dir;
    test::writeText(dir / "presets.json", "earlier");
    refuseHardLinks = true;
    const KeepingWrite written = writeFileKeepingEarlier(dir / "presets.json", "new");
    refuseHardLinks = false;
    ASSERT_EQ(written.error, "");
    EXPECT_EQ(test::readText(dir / "presets.json"), "new");
    EXPECT_EQ(test::readText(written.keptAs), "earlier");
    EXPECT_EQ(entriesIn(dir.path()), 2u);
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
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_TRUE(fs::exists(running)) << "a running writer's file stays";
    EXPECT_TRUE(fs::exists(otherFiles)) << "another file's are left to its writes";
    EXPECT_EQ(test::readText(dir / "presets.json"), "[]");
}

TEST(KeepingWrite, OnlyTheNewestKeptCopiesStay) {
    test::TempDir dir;
    // 24 copies of earlier writes, some in one second (numbered), and the user's look-alikes.
    std::vector<std::string> earlier;
    for (int second = 0; second < 8; ++second) {
        for (const std::string n : {"", "-2", "-10"}) {
            earlier.push_back("presets-20250101-1200" + std::to_string(10 + second) + n + ".json");
            test::writeText(dir / earlier.back(), earlier.back());
        }
    }
    const std::vector<std::string> theUsers = {"presets-old.json", "presets-2025.json",
                                               "presets-20250101-120000.json.bak", "other.json"};
    for (const auto& name : theUsers) {
        test::writeText(dir / name, name);
    }
    test::writeText(dir / "presets.json", "earlier");
    const KeepingWrite written = writeFileKeepingEarlier(dir / "presets.json", "new");
    ASSERT_EQ(written.error, "");
    ASSERT_FALSE(written.keptAs.empty());

    std::set<std::string> left;
    for (const auto& entry : fs::directory_iterator(dir.path())) {
        left.insert(entry.path().filename().string());
    }
    EXPECT_TRUE(left.contains(written.keptAs.filename().string()));
    for (const auto& name : theUsers) {
        EXPECT_TRUE(left.contains(name)) << name;
    }
    // The newest 19 earlier copies stay; within a second: unnumbered, then -2, then -10.
    for (std::size_t i = 0; i < earlier.size(); ++i) {
        EXPECT_EQ(left.contains(earlier[i]), i >= earlier.size() - 19) << earlier[i];
    }
    EXPECT_EQ(left.size(), 20 + theUsers.size() + 1);
}

TEST(ReadWholeFile, RefusesOversizedFilesAndFolders) {
    test::TempDir dir;
    test::writeText(dir / "big", std::string(2 << 20, 'x'));
    const FileRead big = readWholeFile(dir / "big", 1 << 20);
    EXPECT_FALSE(big.bytes);
    EXPECT_NE(big.error.find("larger than 1 MiB"), std::string::npos);
    test::writeText(dir / "small", "abc");
    EXPECT_EQ(readWholeFile(dir / "small", 1 << 20).bytes, "abc");
    EXPECT_FALSE(readWholeFile(dir.path(), 1 << 20).bytes);
}

}  // namespace
}  // namespace tarnwell
