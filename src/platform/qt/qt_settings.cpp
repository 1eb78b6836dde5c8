// SPDX-License-Identifier: MIT
#include "platform/qt/qt_settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryFile>
#include <QUtf8StringView>

namespace velmora::qt {
namespace {

// A settings file is a few hundred bytes; one far larger, or a device or pipe in its place, is
// not read (it could be endless, or block).
constexpr qint64 kMaxSettingsBytes = 1024 * 1024;

// Whether the file there may be read whole: absent, or an ordinary file of sensible size.
bool readable(const QString& file) {
    const QFileInfo info(file);
    return !info.exists() || (info.isFile() && info.size() <= kMaxSettingsBytes);
}

// Names are the program's own constants; anything that could leave the folder, or that QSettings
// would read as a path of groups, is a mistake rather than a setting.
void checkName(const std::string& name, const char* what) {
    const bool bad = name.empty() || name.find_first_of("/\\") != std::string::npos ||
                     (std::string_view(what) == "application" && name.front() == '.');
    if (bad)
        throw Failure(ErrorCode::InvalidProcedureCall,
                      std::string("Invalid procedure call: ") + what + " name \"" + name + "\"");
}

QString keyOf(const std::string& section, const std::string& key) {
    return QString::fromStdString(section) + QLatin1Char('/') + QString::fromStdString(key);
}

std::string textOf(const QVariant& value) {
    switch (value.typeId()) {
        case QMetaType::QByteArray:  // a text that was not UTF-8, kept byte for byte
            return value.toByteArray().toStdString();
        case QMetaType::QStringList:  // an unquoted "a, b" typed into the file by hand
            return value.toStringList().join(QStringLiteral(", ")).toStdString();
        default:
            return value.toString().toStdString();
    }
}

// QSettings keeps a file it has parsed and parses it again only when its size or its
// modification time (in milliseconds) changed; a same-size write within the same clock tick would
// go unseen. So the bytes are parsed through a private copy whenever they differ from last time.
std::map<QString, std::string> parse(const QByteArray& bytes) {
    QTemporaryFile copy(QDir::tempPath() + QStringLiteral("/velmora-settings-XXXXXX.ini"));
    if (!copy.open() || copy.write(bytes) != bytes.size() || !copy.flush())
        throw Failure(ErrorCode::PermissionDenied, "Permission denied: cannot read the settings");
    std::map<QString, std::string> values;
    const QSettings settings(copy.fileName(), QSettings::IniFormat);
    for (const QString& key : settings.allKeys()) values[key] = textOf(settings.value(key));
    return values;
}

}  // namespace

QtSettingsStore::QtSettingsStore()
    : QtSettingsStore(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                      QStringLiteral("/velmora2000")) {}

QtSettingsStore::QtSettingsStore(QString folder) : folder_(std::move(folder)) {}

QString QtSettingsStore::fileOf(const std::string& application) const {
    checkName(application, "application");
    return folder_ + QLatin1Char('/') + QString::fromStdString(application) +
           QStringLiteral(".ini");
}

const QtSettingsStore::Snapshot& QtSettingsStore::current(const QString& file) {
    QFile in(file);
    // Something other than a settings file in its place reads as no settings at all.
    const bool present = readable(file) && in.open(QIODevice::ReadOnly);
    if (!present && readable(file) && in.exists())
        throw Failure(ErrorCode::PermissionDenied, "Permission denied: " + file.toStdString());
    QByteArray bytes = present ? in.read(kMaxSettingsBytes + 1) : QByteArray();
    if (bytes.size() > kMaxSettingsBytes) bytes.clear();  // it grew since it was looked at

    Snapshot& snapshot = snapshots_[file];
    if (snapshot.parsed && snapshot.present == present && snapshot.bytes == bytes) return snapshot;
    snapshot.values = present ? parse(bytes) : std::map<QString, std::string>();
    snapshot.bytes = bytes;
    snapshot.present = present;
    snapshot.parsed = true;
    return snapshot;
}

std::string QtSettingsStore::read(const std::string& application, const std::string& section,
                                  const std::string& key, const std::string& fallback) {
    checkName(section, "section");
    checkName(key, "key");
    const Snapshot& snapshot = current(fileOf(application));
    const auto found = snapshot.values.find(keyOf(section, key));
    return found == snapshot.values.end() ? fallback : found->second;
}

void QtSettingsStore::write(const std::string& application, const std::string& section,
                            const std::string& key, const std::string& value) {
    checkName(section, "section");
    checkName(key, "key");
    const QString file = fileOf(application);
    if (!readable(file))
        throw Failure(ErrorCode::PermissionDenied,
                      "Permission denied: " + file.toStdString() + " is not a settings file");
    QDir().mkpath(QFileInfo(file).absolutePath());

    // QSettings merges under a lock with what other processes wrote, and replaces the file whole.
    QSettings settings(file, QSettings::IniFormat);
    if (QUtf8StringView(value).isValidUtf8())
        settings.setValue(keyOf(section, key), QString::fromStdString(value));
    else
        settings.setValue(keyOf(section, key), QByteArray::fromStdString(value));
    settings.sync();
    if (settings.status() != QSettings::NoError)
        throw Failure(ErrorCode::PermissionDenied,
                      "Permission denied: cannot write the settings to " + file.toStdString());
}

}  // namespace velmora::qt
