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
[[nodiscard]] std::string writeFileAtomically(const std::filesystem::path& target,
                                              std::string_view bytes);

struct FileRead {
    std::optional<std::string> bytes;  // absent on failure
    std::string error;
};

// Reads a whole file, refusing one larger than `maxBytes` before reading it.
[[nodiscard]] FileRead readWholeFile(const std::filesystem::path& path, std::size_t maxBytes);

}  // namespace tarnwell
