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

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

// The file a symbolic link names, so that a linked settings file stays linked: also one that does
// not exist yet, which the save then creates. A loop of links is left as it is, and fails.
fs::path Resolved(fs::path file) {
    constexpr int kMostLinks = 40;  // as the kernel allows
    for (int hop = 0; hop < kMostLinks; ++hop) {
        std::error_code error;
        if (!fs::is_symlink(fs::symlink_status(file, error))) return file;
        const fs::path target = fs::read_symlink(file, error);
        if (error) return file;
        file = target.is_absolute() ? target : file.parent_path() / target;
    }
    return file;
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

Result<std::string> IniSettingsStore::ReadText(const fs::path& file) {
    Result<InputFile> opened = files_.Open(file);
    if (!opened) {
        const Error& error = opened.Error();
        if (error.code == errc::FileOpen && error.systemError == ENOENT) return std::string();
        return error;
    }
    const Error tooLarge{errc::FileRead, 0, "larger than 1 MiB, so not a settings file"};
    if (opened->Size() > kMaxIniBytes) return tooLarge;
    std::string text;
    std::vector<std::uint8_t> chunk(kReadChunkBytes);
    // Read to the end rather than to the size seen at opening: the file may have grown since.
    for (;;) {
        const Result<std::size_t> got = opened->ReadAt(text.size(), chunk);
        if (!got) return got.Error();
        if (*got == 0) break;
        if (text.size() + *got > kMaxIniBytes) return tooLarge;
        text.append(reinterpret_cast<const char*>(chunk.data()), *got);
    }
    if (!ini::IsText(text)) return Error{errc::FileRead, 0, "not UTF-8 text, so not a settings file"};
    return text;
}

std::string IniSettingsStore::GetSetting(const std::string& appName, const std::string& section, const std::string& key,
                                         const std::string& defaultValue) {
    const Result<std::string> text = ReadText(FileFor(appName));
    if (!text) return defaultValue;
    return ini::Lookup(*text, section, key).value_or(defaultValue);
}

Result<std::string> IniSettingsStore::EditedText(const fs::path& file, const std::string& section,
                                                 const std::string& key, const std::string& value) {
    Result<std::string> text = ReadText(file);
    if (!text) return text;
    std::optional<std::string> edited = ini::WithValue(*text, section, key, value);
    if (!edited) return Error{errc::FileWrite, 0, "a name or value that the file could not give back as it is"};
    if (*edited == *text) return std::string();
    return std::move(*edited);
}

Result<void> IniSettingsStore::SaveSetting(const std::string& appName, const std::string& section,
                                           const std::string& key, const std::string& value) {
    const fs::path file = Resolved(FileFor(appName));
    // First without the lock: a value already stored needs neither the lock nor a write.
    if (Result<std::string> edited = EditedText(file, section, key, value); !edited || edited->empty())
        return edited ? Result<void>() : edited.Error();
    const fs::path folderPath = file.parent_path();
    std::error_code error;
    if (!folderPath.empty()) fs::create_directories(folderPath, error);
    if (error) return Error{errc::FileCreate, error.value()};
    Result<OutputFolder> folder = files_.OpenFolder(folderPath, {.targets = {Utf8FromPath(file.filename())}});
    if (!folder) return folder.Error();

    // Again under the lock, as another instance may have saved in the meantime.
    const Result<std::string> edited = EditedText(file, section, key, value);
    if (!edited || edited->empty()) return edited ? Result<void>() : edited.Error();
    const ByteSpan piece(reinterpret_cast<const std::uint8_t*>(edited->data()), edited->size());
    return files_.Write(*folder, Utf8FromPath(file.filename()), std::span(&piece, 1));
}

}  // namespace zenivor
