#pragma once
// The settings store as an INI file in the user's configuration folder, "Velmora Utilities.ini",
// which every Velmora utility shares, one section per program. Saving changes only the line of
// the key it sets (or adds one): other programs' sections, comments, the order of everything and
// the file's own line ends stay byte for byte as they were.
//
// The file is replaced as a whole, atomically and durably: a new file is written, flushed and
// renamed over the old one, under a lock on the folder against other instances of this program.
// A replaced file keeps its permission bits (set again right after the rename); a new one gets
// 0666 less the umask. A symbolic link is followed, so the file it names is the one replaced.
//
// A file that cannot be read, is larger than kMaxIniBytes or is not text (see ini::IsText) is
// not ours to rewrite: it is left alone, reads give the defaults and saves fail.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "util/FileSystem.h"
#include "util/SettingsStore.h"

namespace zenivor {

inline constexpr std::uint64_t kMaxIniBytes = 1024 * 1024;

class IniSettingsStore final : public SettingsStore {
public:
    // $XDG_CONFIG_HOME/<appName>.ini, or ~/.config/<appName>.ini when XDG_CONFIG_HOME is unset,
    // empty or not absolute: where QSettings kept it before.
    static std::filesystem::path DefaultFileName(const std::string& appName = kAppName);
    // An empty file name stands for the default file of the application named in each call;
    // tests name another file so they never touch the user's own.
    explicit IniSettingsStore(std::filesystem::path fileName = {}, FileSystem& files = SystemFileSystem());

    std::string GetSetting(const std::string& appName, const std::string& section, const std::string& key,
                           const std::string& defaultValue) override;
    Result<void> SaveSetting(const std::string& appName, const std::string& section, const std::string& key,
                             const std::string& value) override;

private:
    std::filesystem::path FileFor(const std::string& appName) const;
    // The file's text; empty for a missing file, an error for one that is not ours to rewrite.
    Result<std::string> ReadText(const std::filesystem::path& file);
    // The text with the value set; empty when the value is already stored.
    Result<std::string> EditedText(const std::filesystem::path& file, const std::string& section,
                                   const std::string& key, const std::string& value);

    std::filesystem::path fileName_;
    FileSystem& files_;
};

}  // namespace zenivor
