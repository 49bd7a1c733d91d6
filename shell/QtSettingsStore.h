#pragma once
// The settings store as an INI file in the user's configuration folder:
// "Velmora Utilities.ini", one section per program.

#include <QString>

#include "util/SettingsStore.h"

namespace zenivor {

class QtSettingsStore final : public SettingsStore {
public:
    // The file the application's values live in, e.g. ~/.config/Velmora Utilities.ini.
    static QString DefaultFileName(const std::string& appName = kAppName);
    // A store kept in another file; tests use it so they never touch the user's own.
    explicit QtSettingsStore(QString fileName = {});

    std::string GetSetting(const std::string& appName, const std::string& section, const std::string& key,
                           const std::string& defaultValue) override;
    bool SaveSetting(const std::string& appName, const std::string& section, const std::string& key,
                     const std::string& value) override;

private:
    QString FileFor(const std::string& appName) const;
    QString fileName_;
};

}  // namespace zenivor
