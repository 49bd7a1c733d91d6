#include "shell/QtSettingsStore.h"

#include <QSettings>

namespace zenivor {
namespace {

QString KeyPath(const std::string& section, const std::string& key) {
    return QString::fromStdString(section) + '/' + QString::fromStdString(key);
}

}  // namespace

QString QtSettingsStore::DefaultFileName(const std::string& appName) {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QString::fromStdString(appName)).fileName();
}

QtSettingsStore::QtSettingsStore(QString fileName) : fileName_(std::move(fileName)) {}

QString QtSettingsStore::FileFor(const std::string& appName) const {
    return fileName_.isEmpty() ? DefaultFileName(appName) : fileName_;
}

std::string QtSettingsStore::GetSetting(const std::string& appName, const std::string& section, const std::string& key,
                                        const std::string& defaultValue) {
    const QSettings settings(FileFor(appName), QSettings::IniFormat);
    return settings.value(KeyPath(section, key), QString::fromStdString(defaultValue)).toString().toStdString();
}

bool QtSettingsStore::SaveSetting(const std::string& appName, const std::string& section, const std::string& key,
                                  const std::string& value) {
    QSettings settings(FileFor(appName), QSettings::IniFormat);
    settings.setValue(KeyPath(section, key), QString::fromStdString(value));
    settings.sync();
    return settings.status() == QSettings::NoError;
}

}  // namespace zenivor
