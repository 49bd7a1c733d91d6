#pragma once
// Stand-ins for the settings store and the dialogs, so shell tests answer and record them.

#include <QUrl>
#include <functional>
#include <map>
#include <tuple>

#include "shell/ShellDialogs.h"
#include "util/SettingsStore.h"

namespace zenivor::test {

class MemorySettings final : public SettingsStore {
public:
    using Key = std::tuple<std::string, std::string, std::string>;
    std::string GetSetting(const std::string& app, const std::string& section, const std::string& key,
                           const std::string& defaultValue) override {
        const auto found = values.find({app, section, key});
        return found == values.end() ? defaultValue : found->second;
    }
    bool SaveSetting(const std::string& app, const std::string& section, const std::string& key,
                     const std::string& value) override {
        ++writes;
        if (unwritable) return false;
        values[{app, section, key}] = value;
        return true;
    }
    std::map<Key, std::string> values;
    bool unwritable = false;
    int writes = 0;
};

class ScriptedDialogs final : public ShellDialogs {
public:
    void ShowMessage(const QString& text) override { messages.push_back(text.toStdString()); }
    QString ChooseInputFile(const OpenDialogSetup& setup) override {
        setups.push_back(setup);
        return answer;
    }
    void RunModal(QDialog& dialog) override {
        ++modalRuns;
        if (whileModal) whileModal(dialog);
    }
    bool OpenDocument(const QUrl& url) override {
        opened.push_back(url);
        return launcherWorks;
    }
    QString answer;
    int modalRuns = 0;
    std::function<void(QDialog&)> whileModal;
    std::vector<QUrl> opened;
    bool launcherWorks = true;
    std::vector<std::string> messages;
    std::vector<OpenDialogSetup> setups;
};

}  // namespace zenivor::test
