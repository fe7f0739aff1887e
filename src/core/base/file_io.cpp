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
#include <utility>
#include <vector>

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

constexpr std::string_view kStampPattern = "YYYYmmdd-HHMMSS";

// The moment a kept copy was made and its number within that second (1 for
// the first, unnumbered name), when `name` is a kept copy's name of `file`:
// "<stem>-YYYYmmdd-HHMMSS[-n]<extension>".
std::optional<std::pair<std::string, unsigned>> keptCopyOrder(std::string_view name,
                                                              const std::filesystem::path& file) {
    const std::string stem = file.stem().string() + "-";
    const std::string extension = file.extension().string();
    if (!name.starts_with(stem) || !name.ends_with(extension)) {
        return std::nullopt;
    }
    name.remove_prefix(stem.size());
    name.remove_suffix(extension.size());
    const auto isDigit = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; };
    if (name.size() < kStampPattern.size()) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < kStampPattern.size(); ++i) {
        if ((kStampPattern[i] == '-') != (name[i] == '-') ||
            (kStampPattern[i] != '-' && !isDigit(name[i]))) {
            return std::nullopt;
        }
    }
    std::string stamp(name.substr(0, kStampPattern.size()));
    name.remove_prefix(kStampPattern.size());
    unsigned number = 1;
    if (!name.empty()) {
        if (name.size() < 2 || name[0] != '-' || !std::ranges::all_of(name.substr(1), isDigit)) {
            return std::nullopt;
        }
        const auto [end, ec] = std::from_chars(name.data() + 1, name.data() + name.size(), number);
        if (ec != std::errc{} || end != name.data() + name.size() || number < 2) {
            return std::nullopt;
        }
    }
    return std::pair{std::move(stamp), number};
}

std::string keptCopyName(const std::filesystem::path& file, const std::string& stamp, unsigned n) {
    return file.stem().string() + "-" + stamp + (n == 1 ? "" : "-" + std::to_string(n)) +
           file.extension().string();
}

std::string currentStamp() {
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm local{};
    localtime_r(&now, &local);
    std::array<char, 32> stamp{};
    std::strftime(stamp.data(), stamp.size(), "%Y%m%d-%H%M%S", &local);
    return stamp.data();
}

// The kept copies of `file` in its folder, oldest first.
std::vector<std::pair<std::pair<std::string, unsigned>, std::filesystem::path>> keptCopies(
    const std::filesystem::path& file) {
    std::vector<std::pair<std::pair<std::string, unsigned>, std::filesystem::path>> copies;
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator(file.parent_path(), ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        if (auto order = keptCopyOrder(it->path().filename().string(), file)) {
            copies.emplace_back(std::move(*order), it->path());
        }
    }
    std::ranges::sort(copies);
    return copies;
}

// Gives the regular file `target` a second name beside it: a hard link, which
// needs no space, or a copy where the file system has no hard links. A copy
// made within the same second as earlier ones is numbered after them, so the
// names keep the order the copies were made in.
std::string keepEarlier(const std::filesystem::path& target, std::filesystem::path& keptAs) {
    struct stat existing {};
    if (::stat(target.c_str(), &existing) != 0) {
        return errno == ENOENT ? std::string{} : failure("keep the earlier", target, errno);
    }
    if (!S_ISREG(existing.st_mode)) {
        return {};
    }
    const std::string stamp = currentStamp();
    unsigned next = 1;
    for (const auto& [order, path] : keptCopies(target)) {
        if (order.first == stamp) {
            next = std::max(next, order.second + 1);
        }
    }
    for (unsigned n = next; n < next + 100; ++n) {
        const std::filesystem::path aside = target.parent_path() / keptCopyName(target, stamp, n);
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

// Removes the oldest kept copies of `target` beyond `keepAtMost`, never
// `justKept`. Housekeeping: a copy that cannot be removed stays.
void pruneKeptCopies(const std::filesystem::path& target, const std::filesystem::path& justKept,
                     std::size_t keepAtMost) {
    auto copies = keptCopies(target);
    std::size_t excess = copies.size() > keepAtMost ? copies.size() - keepAtMost : 0;
    for (const auto& [order, path] : copies) {
        if (excess == 0) {
            break;
        }
        if (path.filename() != justKept.filename()) {
            ::unlink(path.c_str());
            --excess;
        }
    }
}

// Why a file of this type is not written or read; null for a regular file.
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

// The file a write to `requested` replaces or makes: `requested` itself, or
// for a link the file it points to, followed link by link, each relative link
// read against its own folder; the file need not exist. `throughLink` tells
// whether a link was followed.
std::string resolveLinks(const std::filesystem::path& requested, std::filesystem::path& target,
                         bool& throughLink) {
    target = requested;
    throughLink = false;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat status {};
        if (::lstat(target.c_str(), &status) != 0) {
            if (errno == ENOENT) {
                return {};
            }
            return failure("write", requested, errno);
        }
        if (!S_ISLNK(status.st_mode)) {
            return {};
        }
        std::error_code ec;
        const std::filesystem::path next = std::filesystem::read_symlink(target, ec);
        if (ec) {
            return "could not follow the link " + target.string() + ": " + ec.message();
        }
        target = next.is_absolute() ? next : target.parent_path() / next;
        throughLink = true;
    }
    return failure("write", requested, ELOOP);
}

// Refuses a target that exists and is not a regular file, and makes its
// folder when it is missing: only that folder, and only for a target named
// directly (a link's folder must exist). A folder reached through a link is
// named by its canonical path, so kept copies are reported where they are.
std::string prepareTarget(const std::filesystem::path& requested, std::filesystem::path& target) {
    bool throughLink = false;
    if (std::string error = resolveLinks(requested, target, throughLink); !error.empty()) {
        return error;
    }
    if (!target.has_parent_path()) {
        target = std::filesystem::path(".") / target;
    }
    struct stat status {};
    if (::stat(target.c_str(), &status) == 0) {
        if (const char* why = notAFile(status.st_mode)) {
            return "could not write " + requested.string() + ": " + why;
        }
    } else if (errno != ENOENT) {
        return failure("write", requested, errno);
    }
    const std::filesystem::path folder = target.parent_path();
    if (!throughLink && ::mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) {
        return failure("create the folder", folder, errno);
    }
    if (::stat(folder.c_str(), &status) != 0) {
        if (throughLink && errno == ENOENT) {
            return "could not write " + requested.string() + ": it links into " + folder.string() +
                   ", which does not exist";
        }
        return failure("write", requested, errno);
    }
    if (!S_ISDIR(status.st_mode)) {
        return failure("write", requested, ENOTDIR);
    }
    if (throughLink) {
        std::error_code ec;
        const auto canonicalFolder = std::filesystem::canonical(folder, ec);
        if (!ec) {
            target = canonicalFolder / target.filename();
        }
    }
    return {};
}

// Whether the content at `target` is to be kept before it is replaced by
// `bytes`; sets `changed` when it differs from what `rule` last saw. Content
// that cannot be read whole is kept: nothing is known about it.
bool worthKeeping(const std::filesystem::path& target, std::string_view bytes, const KeepRule& rule,
                  bool& changed) {
    constexpr std::size_t kMaxCompared = std::size_t{64} << 20;
    struct stat status {};
    if (::stat(target.c_str(), &status) != 0 && errno == ENOENT) {
        return false;
    }
    const FileRead existing = readWholeFile(target, kMaxCompared);
    if (!existing.bytes) {
        changed = rule.lastSeen.has_value();
        return true;
    }
    const FileStamp stamp = stampOf(*existing.bytes);
    if (rule.lastSeen && *rule.lastSeen == stamp) {
        return false;
    }
    changed = rule.lastSeen.has_value();
    if (*existing.bytes == bytes) {
        return false;
    }
    return !rule.worthKeeping || rule.worthKeeping(*existing.bytes);
}

std::string replaceFile(const std::filesystem::path& requested, std::string_view bytes,
                        const KeepRule* rule, KeepingWrite* kept) {
    std::filesystem::path target;
    if (std::string error = prepareTarget(requested, target); !error.empty()) {
        return error;
    }
    const std::filesystem::path folder = target.parent_path();
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
    // Decided as late as possible, so a write by another program in the
    // meantime is seen.
    if (rule != nullptr && worthKeeping(target, bytes, *rule, kept->changedSinceSeen)) {
        if (std::string error = keepEarlier(target, kept->keptAs); !error.empty()) {
            return error;
        }
    }
    if (::rename(temp.path().c_str(), target.c_str()) != 0) {
        const int error = errno;
        if (kept != nullptr && !kept->keptAs.empty()) {
            ::unlink(kept->keptAs.c_str());
            kept->keptAs.clear();
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
    if (kept != nullptr) {
        kept->written = stampOf(bytes);
        if (!kept->keptAs.empty()) {
            pruneKeptCopies(target, kept->keptAs, rule->keepAtMost);
        }
    }
    return {};
}

}  // namespace

std::string writeFileAtomically(const std::filesystem::path& target, std::string_view bytes) {
    return replaceFile(target, bytes, nullptr, nullptr);
}

FileStamp stampOf(std::string_view bytes) {
    std::uint64_t hash = 0xcbf29ce484222325ULL;  // FNV-1a, 64 bits
    for (const char c : bytes) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
    }
    return {bytes.size(), hash};
}

KeepingWrite writeFileKeepingEarlier(const std::filesystem::path& target, std::string_view bytes,
                                     const KeepRule& rule) {
    KeepingWrite result;
    result.error = replaceFile(target, bytes, &rule, &result);
    if (!result.error.empty()) {
        result.keptAs.clear();
        result.changedSinceSeen = false;
    }
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
