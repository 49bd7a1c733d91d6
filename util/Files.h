#pragma once
// File operations of the core: every path is UTF-8 text, so no name is squeezed through an
// 8-bit code page, and every write goes through a temporary file so a failure never leaves
// a half-written file where a good one stood.

#include <filesystem>
#include <span>
#include <string>
#include <system_error>

namespace zenivor {

std::filesystem::path PathFromUtf8(const std::string& text);
std::string Utf8FromPath(const std::filesystem::path& path);

// Writes bytes to a temporary file beside target, then renames it over target. Every write,
// the flush and the close are checked; on failure the temporary file is removed, target is
// left as it was and the system's error is returned.
std::error_code WriteFileReplacing(const std::filesystem::path& target, std::span<const unsigned char> bytes);

// Copies source to target byte for byte, replacing target only once the copy is complete.
std::error_code CopyFileReplacing(const std::filesystem::path& source, const std::filesystem::path& target);

// The file's last-modification time; throws std::filesystem::filesystem_error when the file
// does not exist. Used as an existence check that reports through the caller's error handler.
std::filesystem::file_time_type FileDateTime(const std::filesystem::path& path);

}  // namespace zenivor
