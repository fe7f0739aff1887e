#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tarnwell {

// Replaces `target` with `bytes` so that a crash, a power cut or a full disk at
// any moment leaves either the old file or the new one, whole: the bytes go to
// a temporary file in the same folder, are flushed to the disk, renamed over
// the target, and the folder itself is flushed. The folder is created when
// missing. A new file gets the usual permissions (0666 less the umask); a
// replaced file keeps its own.
//
// Returns an empty string on success, otherwise the reason, e.g.
// "could not write /home/u/Documents/presets.json: No space left on device".
//
// Temporary files are named ".<name>.tmp-<pid>-<n>"; those of this name left
// by a process that no longer runs (killed during a write) are removed first.
// A link is followed: the file it names is replaced and the link stays.
[[nodiscard]] std::string writeFileAtomically(const std::filesystem::path& target,
                                              std::string_view bytes);

struct KeepingWrite {
    std::string error;  // empty on success
    // Where the earlier content now also lives; empty when there was none.
    std::filesystem::path keptAs;
};

// As writeFileAtomically, and the content `target` held before stays under a
// dated name beside the file (beside the link's file for a link), such as
// "presets-20260314-093000.json". That name is made, by a hard link or else a
// copy, only once the new content is safely on the disk and just before it
// replaces the target, so at every moment the target holds its earlier or its
// new content; when anything fails the target and its folder are as before.
[[nodiscard]] KeepingWrite writeFileKeepingEarlier(const std::filesystem::path& target,
                                                   std::string_view bytes);

struct FileRead {
    std::optional<std::string> bytes;  // absent on failure
    std::string error;
};

// Reads a whole file, refusing one larger than `maxBytes` before reading it.
// Anything but a regular file (a named pipe, a device, a socket, a folder) is
// refused with the reason, without blocking: a pipe is never waited on.
[[nodiscard]] FileRead readWholeFile(const std::filesystem::path& path, std::size_t maxBytes);

}  // namespace tarnwell
