#pragma once
// The per-user settings store: text values addressed by application, section and key. The
// window plugs in the platform's store; tests plug in one of their own.

#include <string>

#include "util/Result.h"

namespace zenivor {

// Every value the program keeps lives under this application and section.
inline constexpr const char* kAppName = "Velmora Utilities";
inline constexpr const char* kProgramTitle = "Zenivor";
inline constexpr const char* kLastPathKey = "LastPath";

class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    virtual std::string GetSetting(const std::string& appName, const std::string& section, const std::string& key,
                                   const std::string& defaultValue) = 0;
    // Why the value could not be written, when it could not.
    virtual Result<void> SaveSetting(const std::string& appName, const std::string& section, const std::string& key,
                                     const std::string& value) = 0;
};

}  // namespace zenivor
