#include "core/base/file_io.hpp"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <system_error>

#include <fcntl.h>
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

// Creates the temporary file next to the target. Its mode is given at
// creation so the kernel applies the umask (reading the umask would briefly
// change it for every thread); a replaced file's own mode is copied after.
int createTemporary(const std::filesystem::path& target, std::string& path) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        path = (target.parent_path() /
                ("." + target.filename().string() + ".tmp-" + std::to_string(::getpid()) + "-" +
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

}  // namespace

std::string writeFileAtomically(const std::filesystem::path& requested, std::string_view bytes) {
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

    std::string tempPath;
    const int fd = createTemporary(target, tempPath);
    if (fd < 0) {
        return failure("write", requested, errno);
    }
    TempFile temp(fd, tempPath);

    const char* data = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(temp.fd(), data, left);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return failure("write", requested, errno);
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    if (!copyExistingMode(temp.fd(), target) || flushToDisk(temp.fd()) != 0) {
        return failure("write", requested, errno);
    }
    if (temp.closeFd() != 0) {
        return failure("write", requested, errno);
    }
    if (::rename(temp.path().c_str(), target.c_str()) != 0) {
        return failure("replace", requested, errno);
    }
    temp.release();

    // Make the rename itself durable.
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return {};
}

FileRead readWholeFile(const std::filesystem::path& path, std::size_t maxBytes) {
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (ec) {
        return {std::nullopt, "could not read " + path.string() + ": " + ec.message()};
    }
    if (std::filesystem::is_directory(status)) {
        return {std::nullopt, "could not read " + path.string() + ": it is a folder"};
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return {std::nullopt, failure("read", path, errno)};
    }
    std::string bytes;
    // Read one byte past the cap so a file that grows after the check is
    // still refused.
    std::string chunk(1 << 16, '\0');
    while (in) {
        in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        bytes.append(chunk.data(), static_cast<std::size_t>(in.gcount()));
        if (bytes.size() > maxBytes) {
            return {std::nullopt,
                    path.string() + " is larger than " + std::to_string(maxBytes >> 20) + " MiB"};
        }
    }
    if (in.bad()) {
        return {std::nullopt, failure("read", path, errno)};
    }
    return {std::move(bytes), {}};
}

}  // namespace tarnwell
