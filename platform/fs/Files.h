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

}  // namespace vestrel::platform::fs
