// The files service: whole-file reads and writes that replace a file in one step, so that a crash or a
// full disk mid-write leaves either the old file or the new one.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace vestrel::platform::fs {

// The whole file as bytes; nothing when it cannot be opened or read.
std::optional<std::string> ReadWholeFile(const std::string& path);

// Writes `bytes` to a temporary file beside `path`, flushes it to disk, then puts it in place of `path`.
// On failure `path` is untouched, the temporary file is removed and the error is returned.
std::error_code WriteFileAtomically(const std::string& path, std::string_view bytes);

bool FileExists(const std::string& path);

// True when some other program holds `path` so that it cannot be opened for exclusive use: on Windows a
// handle whose share mode refuses us (a browser's lock file), on POSIX an fcntl lock on it. A file that
// does not exist is not in use.
bool IsFileInUse(const std::string& path);

}  // namespace vestrel::platform::fs
