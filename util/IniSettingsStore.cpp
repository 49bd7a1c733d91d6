#include "util/IniSettingsStore.h"

#include <cerrno>
#include <cstdlib>
#include <span>
#include <system_error>
#include <vector>

#include "util/IniFile.h"

namespace zenivor {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kReadChunk = 64 * 1024;

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

// The file a symbolic link names, so that a linked settings file stays linked.
fs::path Resolved(const fs::path& file) {
    std::error_code error;
    if (!fs::is_symlink(fs::symlink_status(file, error))) return file;
    fs::path target = fs::canonical(file, error);
    return error ? file : target;
}

}  // namespace

fs::path IniSettingsStore::DefaultFileName(const std::string& appName) {
    fs::path folder = PathFromUtf8(Environment("XDG_CONFIG_HOME"));
    if (folder.empty() || folder.is_relative()) {
        const std::string home = Environment("HOME");
        folder = PathFromUtf8(home.empty() ? "/" : home) / ".config";
    }
    return folder / PathFromUtf8(appName + ".ini");
}

IniSettingsStore::IniSettingsStore(fs::path fileName, FileSystem& files)
    : fileName_(std::move(fileName)), files_(files) {}

fs::path IniSettingsStore::FileFor(const std::string& appName) const {
    return fileName_.empty() ? DefaultFileName(appName) : fileName_;
}

std::optional<std::string> IniSettingsStore::ReadText(const fs::path& file) {
    Result<InputFile> opened = files_.Open(file);
    if (!opened) {
        const Error& error = opened.Error();
        if (error.code == errc::FileOpen && error.systemError == ENOENT) return std::string();
        return std::nullopt;
    }
    if (opened->Size() > kMaxIniBytes) return std::nullopt;
    std::string text;
    std::vector<std::uint8_t> chunk(kReadChunk);
    // Read to the end rather than to the size seen at opening: the file may have grown since.
    for (;;) {
        const Result<std::size_t> got = opened->ReadAt(text.size(), chunk);
        if (!got) return std::nullopt;
        if (*got == 0) break;
        if (text.size() + *got > kMaxIniBytes) return std::nullopt;
        text.append(reinterpret_cast<const char*>(chunk.data()), *got);
    }
    if (!ini::IsText(text)) return std::nullopt;
    return text;
}

std::string IniSettingsStore::GetSetting(const std::string& appName, const std::string& section, const std::string& key,
                                         const std::string& defaultValue) {
    const std::optional<std::string> text = ReadText(FileFor(appName));
    if (!text) return defaultValue;
    return ini::Lookup(*text, section, key).value_or(defaultValue);
}

bool IniSettingsStore::SaveSetting(const std::string& appName, const std::string& section, const std::string& key,
                                   const std::string& value) {
    const fs::path file = Resolved(FileFor(appName));
    // First without the lock: a value already stored needs neither the lock nor a write.
    {
        const std::optional<std::string> text = ReadText(file);
        if (!text) return false;
        const std::optional<std::string> edited = ini::WithValue(*text, section, key, value);
        if (!edited) return false;
        if (*edited == *text) return true;
    }
    const fs::path folderPath = file.parent_path();
    std::error_code error;
    if (!folderPath.empty()) fs::create_directories(folderPath, error);
    if (error) return false;
    Result<OutputFolder> folder = files_.OpenFolder(folderPath);
    if (!folder) return false;

    // Again under the lock, as another instance may have saved in the meantime.
    const std::optional<std::string> text = ReadText(file);
    if (!text) return false;
    const std::optional<std::string> edited = ini::WithValue(*text, section, key, value);
    if (!edited) return false;
    if (*edited == *text) return true;

    const fs::file_status before = fs::status(file, error);
    const bool existed = fs::is_regular_file(before);
    const ByteSpan piece(reinterpret_cast<const std::uint8_t*>(edited->data()), edited->size());
    if (!files_.Write(*folder, file.filename().string(), std::span(&piece, 1))) return false;
    if (existed && fs::status(file, error).permissions() != before.permissions())
        fs::permissions(file, before.permissions(), fs::perm_options::replace, error);
    return static_cast<bool>(files_.Sync(*folder));
}

}  // namespace zenivor
