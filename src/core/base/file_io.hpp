#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tarnwell {

// Replaces `target` with `bytes` so that a crash, a power cut or a full disk at
// any moment leaves either the old file or the new one, whole: the bytes go to
// a temporary file in the same folder, are flushed to the disk, renamed over
// the target, and the folder itself is flushed. A new file gets the usual
// permissions (0666 less the umask); a replaced file keeps its own.
//
// The target's own folder is made when it is missing, never the folders
// above it: a path whose parent folders do not exist fails and makes nothing.
// A link is followed, link by link (a relative link is read against the
// link's own folder), and the file it points to is replaced or made while the
// link stays; the folder a link points into must exist. A target that exists
// and is not a regular file (a folder, a named pipe, a device, or a link to
// one) is refused and left alone.
//
// Returns an empty string on success, otherwise the reason, e.g.
// "could not write /home/u/Documents/presets.json: No space left on device".
//
// Temporary files are named ".<name>.tmp-<pid>-<n>"; those of this name left
// by a process that no longer runs (killed during a write) are removed first.
[[nodiscard]] std::string writeFileAtomically(const std::filesystem::path& target,
                                              std::string_view bytes);

// What a file held, enough to tell whether anything has written it since:
// its size and a 64-bit hash (FNV-1a) of its bytes.
struct FileStamp {
    std::uintmax_t size = 0;
    std::uint64_t hash = 0;
    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};
[[nodiscard]] FileStamp stampOf(std::string_view bytes);

// When writeFileKeepingEarlier keeps what the target holds.
struct KeepRule {
    // What this program last read from or wrote to the target; absent when
    // it has done neither. Content that matches it is this program's own and
    // is replaced without a copy.
    std::optional<FileStamp> lastSeen;
    // Asked about content the program has not seen; false when it holds
    // nothing worth keeping. Empty: everything is. Content equal to the new
    // bytes is never kept.
    std::function<bool(std::string_view content)> worthKeeping;
    // How many kept copies of this target may stay beside it; the oldest
    // beyond this are removed after a copy is made.
    std::size_t keepAtMost = 20;
};

struct KeepingWrite {
    std::string error;  // empty on success
    // Where the earlier content now also lives; empty when none was kept.
    std::filesystem::path keptAs;
    // The target held content other than `lastSeen` (which was given).
    bool changedSinceSeen = false;
    // What the target holds after a successful write.
    FileStamp written;
};

// As writeFileAtomically, and the content `target` held before stays, when
// `rule` says so, under a dated name beside the file (beside the link's file
// for a link), such as "presets-20260314-093000.json". That name is made, by
// a hard link or else a copy, only once the new content is safely on the disk
// and just before it replaces the target, so at every moment the target holds
// its earlier or its new content; when anything fails the target and its
// folder are as before. Kept copies are recognised by that name pattern alone.
[[nodiscard]] KeepingWrite writeFileKeepingEarlier(const std::filesystem::path& target,
                                                   std::string_view bytes,
                                                   const KeepRule& rule = {});

struct FileRead {
    std::optional<std::string> bytes;  // absent on failure
    std::string error;
};

// Reads a whole file, refusing one larger than `maxBytes` before reading it.
// Anything but a regular file (a named pipe, a device, a socket, a folder) is
// refused with the reason, without blocking: a pipe is never waited on.
[[nodiscard]] FileRead readWholeFile(const std::filesystem::path& path, std::size_t maxBytes);

}  // namespace tarnwell
