#include "core/base/file_io.hpp"

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>
#include <ctime>
#include <system_error>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwell {

namespace {

std::string failure(std::string_view verb, const std::filesystem::path& path, int error) {
    return "could not " + std::string(verb) + " " + path.string() + ": " + std::strerror(error);
}

// Closes the descriptor and removes the temporary file unless released.
class TempFile {
public:
    TempFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile() {
        closeFd();
        if (!path_.empty()) {
            ::unlink(path_.c_str());
        }
    }
    [[nodiscard]] int fd() const { return fd_; }
    [[nodiscard]] const std::string& path() const { return path_; }
    int closeFd() {
        int result = 0;
        if (fd_ >= 0) {
            result = ::close(fd_);
            fd_ = -1;
        }
        return result;
    }
    void release() { path_.clear(); }

private:
    int fd_;
    std::string path_;
};

int flushToDisk(int fd) {
#if defined(__APPLE__)
    // fsync on macOS leaves the data in the drive's cache.
    if (::fcntl(fd, F_FULLFSYNC) == 0) {
        return 0;
    }
#endif
    return ::fsync(fd);
}

std::string temporaryPrefix(const std::filesystem::path& target) {
    return "." + target.filename().string() + ".tmp-";
}

// The process that made `name`, when it is a temporary file name of `prefix`
// ("<prefix><pid>-<n>"); 0 for any other name.
pid_t temporaryOwner(std::string_view name, std::string_view prefix) {
    if (!name.starts_with(prefix)) {
        return 0;
    }
    name.remove_prefix(prefix.size());
    const auto digits = [](std::string_view text) {
        return !text.empty() && std::ranges::all_of(text, [](char c) {
            return std::isdigit(static_cast<unsigned char>(c)) != 0;
        });
    };
    const auto dash = name.find('-');
    if (dash == std::string_view::npos || !digits(name.substr(0, dash)) ||
        !digits(name.substr(dash + 1))) {
        return 0;
    }
    pid_t pid = 0;
    const auto [end, ec] = std::from_chars(name.data(), name.data() + dash, pid);
    return ec == std::errc{} ? pid : 0;
}

// Removes the temporary files of `target` whose writer no longer runs: it was
// killed between creating and renaming them. A running process's file is in
// the middle of its write and stays. A reused process id only makes a stale
// file wait for a later write.
void removeStaleTemporaries(const std::filesystem::path& target) {
    const std::string prefix = temporaryPrefix(target);
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator(target.parent_path(), ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        const pid_t owner = temporaryOwner(it->path().filename().string(), prefix);
        if (owner > 0 && owner != ::getpid() && ::kill(owner, 0) != 0 && errno == ESRCH) {
            ::unlink(it->path().c_str());
        }
    }
}

// Creates the temporary file next to the target. Its mode is given at
// creation so the kernel applies the umask (reading the umask would briefly
// change it for every thread); a replaced file's own mode is copied after.
int createTemporary(const std::filesystem::path& target, std::string& path) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        path = (target.parent_path() / (temporaryPrefix(target) + std::to_string(::getpid()) + "-" +
                                        std::to_string(counter.fetch_add(1))))
                   .string();
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

bool copyExistingMode(int fd, const std::filesystem::path& target) {
    struct stat existing {};
    if (::stat(target.c_str(), &existing) != 0) {
        return true;
    }
    return ::fchmod(fd, existing.st_mode & 07777) == 0;
}

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

// Copies `from` to the new file `to`, flushed to the disk. Returns 0 or the
// errno of the failure (EEXIST when `to` exists); a failed copy is removed.
int copyFile(const std::filesystem::path& from, const std::filesystem::path& to, mode_t mode) {
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        return errno;
    }
    const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode & 0666);
    if (out < 0) {
        const int error = errno;
        ::close(in);
        return error;
    }
    TempFile copy(out, to.string());
    std::array<char, 1 << 16> buffer{};
    int error = 0;
    while (error == 0) {
        const ssize_t n = ::read(in, buffer.data(), buffer.size());
        if (n == 0) {
            break;
        }
        if (n < 0) {
            error = errno == EINTR ? 0 : errno;
        } else if (!writeAll(copy.fd(), buffer.data(), static_cast<std::size_t>(n))) {
            error = errno;
        }
    }
    ::close(in);
    if (error == 0 && (flushToDisk(copy.fd()) != 0 || copy.closeFd() != 0)) {
        error = errno;
    }
    if (error == 0) {
        copy.release();
    }
    return error;
}

std::string datedName(const std::filesystem::path& file, int n) {
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm local{};
    localtime_r(&now, &local);
    std::array<char, 32> stamp{};
    std::strftime(stamp.data(), stamp.size(), "%Y%m%d-%H%M%S", &local);
    return file.stem().string() + "-" + stamp.data() + (n == 1 ? "" : "-" + std::to_string(n)) +
           file.extension().string();
}

// Gives the regular file `target` a second name beside it: a hard link, which
// needs no space, or a copy where the file system has no hard links. Leaves
// `keptAs` empty when there is no earlier file.
std::string keepEarlier(const std::filesystem::path& target, std::filesystem::path& keptAs) {
    struct stat existing {};
    if (::stat(target.c_str(), &existing) != 0) {
        return errno == ENOENT ? std::string{} : failure("keep the earlier", target, errno);
    }
    if (!S_ISREG(existing.st_mode)) {
        return {};
    }
    for (int n = 1; n < 100; ++n) {
        const std::filesystem::path aside = target.parent_path() / datedName(target, n);
        int error = ::link(target.c_str(), aside.c_str()) == 0 ? 0 : errno;
        if (error != 0 && error != EEXIST) {
            error = copyFile(target, aside, existing.st_mode);
        }
        if (error == 0) {
            keptAs = aside;
            return {};
        }
        if (error != EEXIST) {
            return failure("keep the earlier", target, error);
        }
    }
    return "could not keep the earlier " + target.string() + ": no free name beside it";
}

std::string replaceFile(const std::filesystem::path& requested, std::string_view bytes,
                        std::filesystem::path* keptAs) {
    std::error_code ec;
    std::filesystem::path target = requested;
    if (std::filesystem::is_symlink(std::filesystem::symlink_status(requested, ec))) {
        // Replace the file the link points to, not the link itself, so a
        // link into another folder keeps working.
        target = std::filesystem::weakly_canonical(requested, ec);
        if (ec) {
            return "could not follow the link " + requested.string() + ": " + ec.message();
        }
    }
    if (!target.has_parent_path()) {
        target = std::filesystem::path(".") / target;
    }
    const std::filesystem::path folder = target.parent_path();
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        return "could not create the folder " + folder.string() + ": " + ec.message();
    }
    removeStaleTemporaries(target);

    std::string tempPath;
    const int fd = createTemporary(target, tempPath);
    if (fd < 0) {
        return failure("write", requested, errno);
    }
    TempFile temp(fd, tempPath);
    if (!writeAll(temp.fd(), bytes.data(), bytes.size())) {
        return failure("write", requested, errno);
    }
    if (!copyExistingMode(temp.fd(), target) || flushToDisk(temp.fd()) != 0) {
        return failure("write", requested, errno);
    }
    if (temp.closeFd() != 0) {
        return failure("write", requested, errno);
    }
    if (keptAs != nullptr) {
        if (std::string error = keepEarlier(target, *keptAs); !error.empty()) {
            return error;
        }
    }
    if (::rename(temp.path().c_str(), target.c_str()) != 0) {
        const int error = errno;
        if (keptAs != nullptr && !keptAs->empty()) {
            ::unlink(keptAs->c_str());
            keptAs->clear();
        }
        return failure("replace", requested, error);
    }
    temp.release();

    // Make the rename (and the kept name) durable.
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return {};
}

// Why a file of this type is not read; null for a regular file.
const char* notAFile(mode_t mode) {
    if (S_ISREG(mode)) {
        return nullptr;
    }
    if (S_ISDIR(mode)) {
        return "it is a folder";
    }
    if (S_ISFIFO(mode)) {
        return "it is a named pipe, not a file";
    }
    if (S_ISCHR(mode) || S_ISBLK(mode)) {
        return "it is a device, not a file";
    }
    if (S_ISSOCK(mode)) {
        return "it is a socket, not a file";
    }
    return "it is not a regular file";
}

}  // namespace

std::string writeFileAtomically(const std::filesystem::path& target, std::string_view bytes) {
    return replaceFile(target, bytes, nullptr);
}

KeepingWrite writeFileKeepingEarlier(const std::filesystem::path& target, std::string_view bytes) {
    KeepingWrite result;
    result.error = replaceFile(target, bytes, &result.keptAs);
    return result;
}

FileRead readWholeFile(const std::filesystem::path& path, std::size_t maxBytes) {
    const auto refused = [&](std::string reason) {
        return FileRead{std::nullopt, "could not read " + path.string() + ": " + reason};
    };
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        return {std::nullopt, failure("read", path, errno)};
    }
    if (const char* why = notAFile(status.st_mode)) {
        return refused(why);
    }
    // Non-blocking, so a path swapped for a pipe since the check above still
    // opens at once; the opened file itself is checked again.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return {std::nullopt, failure("read", path, errno)};
    }
    TempFile file(fd, {});  // no path: only closes
    if (::fstat(fd, &status) != 0) {
        return {std::nullopt, failure("read", path, errno)};
    }
    if (const char* why = notAFile(status.st_mode)) {
        return refused(why);
    }
    const auto tooLarge = [&] {
        return FileRead{std::nullopt, path.string() + " is larger than " +
                                          std::to_string(maxBytes >> 20) + " MiB"};
    };
    if (static_cast<std::uintmax_t>(status.st_size) > maxBytes) {
        return tooLarge();
    }
    std::string bytes;
    // Read one byte past the cap so a file that grows after the check is
    // still refused.
    std::string chunk(1 << 16, '\0');
    while (true) {
        const ssize_t n = ::read(fd, chunk.data(), chunk.size());
        if (n == 0) {
            break;
        }
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return {std::nullopt, failure("read", path, errno)};
        }
        bytes.append(chunk.data(), static_cast<std::size_t>(n));
        if (bytes.size() > maxBytes) {
            return tooLarge();
        }
    }
    return {std::move(bytes), {}};
}

}  // namespace tarnwell
