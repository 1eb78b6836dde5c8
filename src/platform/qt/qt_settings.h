// SPDX-License-Identifier: MIT
// The per-user settings store on Linux: one INI file per application name, kept by QSettings, in
// the user's config folder (~/.config/velmora2000/<application>.ini, or under $XDG_CONFIG_HOME).
#pragma once

#include <QByteArray>
#include <QString>
#include <map>

#include "platform/services.h"

namespace velmora::qt {

class QtSettingsStore final : public platform::SettingsStore {
  public:
    QtSettingsStore();
    explicit QtSettingsStore(QString folder);

    // Every read looks at the file as it is now: the options dialog runs as another process.
    std::string read(const std::string& application, const std::string& section,
                     const std::string& key, const std::string& fallback) override;
    // Throws Failure when the value cannot be stored.
    void write(const std::string& application, const std::string& section, const std::string& key,
               const std::string& value) override;

    QString fileOf(const std::string& application) const;

  private:
    // What one file held when it was last parsed: its bytes and its values by "section/key".
    struct Snapshot {
        bool parsed = false;
        bool present = false;
        QByteArray bytes;
        std::map<QString, std::string> values;
    };
    const Snapshot& current(const QString& file);

    QString folder_;
    std::map<QString, Snapshot> snapshots_;
};

}  // namespace velmora::qt
