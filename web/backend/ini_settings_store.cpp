// SPDX-License-Identifier: MIT
#include "backend/ini_settings_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>

#include "backend/qsettings_ini.h"

namespace velmora::web {
namespace {

// A settings file is a few hundred bytes; one far larger, or a device or pipe in its place, is
// not read (it could be endless, or block).
constexpr off_t kMaxSettingsBytes = 1024 * 1024;

// The folder the board's settings live in: the XDG config folder as Qt finds it.
std::string boardFolder() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && *config) return std::string(config) + "/velmora2000";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/") + "/.config/velmora2000";
}

// Names are the program's own constants; one that could leave the folder, or that would name a
// path of groups, is a mistake rather than a setting.
void checkName(const std::string& name, const char* what, bool isFile = false) {
    if (name.empty() || name.find_first_of("/\\") != std::string::npos ||
        (isFile && name.front() == '.'))
        throw Failure(ErrorCode::InvalidProcedureCall,
                      std::string("Invalid procedure call: ") + what + " name \"" + name + "\"");
}

// The whole file, or nothing when it is absent or not an ordinary file of sensible size.
// Throws Failure when it is one but cannot be opened.
std::optional<std::string> contentsOf(const std::string& file) {
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
        info.st_size > kMaxSettingsBytes)
        return std::nullopt;
    // Non-blocking: a pipe put in its place since is not waited on.
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) throw Failure(ErrorCode::PermissionDenied, "Permission denied: " + file);
    std::string bytes;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        char buffer[16 * 1024];
        ssize_t got = 0;
        while (bytes.size() <= std::size_t(kMaxSettingsBytes) &&
               (got = ::read(fd, buffer, sizeof buffer)) > 0)
            bytes.append(buffer, std::size_t(got));
        if (got < 0 || bytes.size() > std::size_t(kMaxSettingsBytes))
            bytes.clear();  // it grew since it was looked at
    }
    ::close(fd);
    return bytes;
}

}  // namespace

IniSettingsStore::IniSettingsStore() : IniSettingsStore(boardFolder()) {}

IniSettingsStore::IniSettingsStore(std::string folder) : folder_(std::move(folder)) {}

std::string IniSettingsStore::fileOf(const std::string& application) const {
    checkName(application, "application", true);
    return folder_ + "/" + application + ".ini";
}

const IniSettingsStore::Snapshot& IniSettingsStore::current(const std::string& file) {
    std::optional<std::string> bytes = contentsOf(file);
    Snapshot& snapshot = snapshots_[file];
    if (snapshot.parsed && snapshot.present == bytes.has_value() &&
        snapshot.bytes == bytes.value_or(""))
        return snapshot;
    snapshot.values = bytes ? readIniSettings(*bytes) : std::map<std::string, std::string>();
    snapshot.present = bytes.has_value();
    snapshot.bytes = std::move(bytes).value_or("");
    snapshot.parsed = true;
    return snapshot;
}

std::string IniSettingsStore::read(const std::string& application, const std::string& section,
                                   const std::string& key, const std::string& fallback) {
    checkName(section, "section");
    checkName(key, "key");
    const Snapshot& snapshot = current(fileOf(application));
    const auto found = snapshot.values.find(section + "/" + key);
    return found == snapshot.values.end() ? fallback : found->second;
}

void IniSettingsStore::write(const std::string& application, const std::string&, const std::string&,
                             const std::string&) {
    throw Failure(ErrorCode::PermissionDenied,
                  "Permission denied: velmora-web does not change " + fileOf(application));
}

}  // namespace velmora::web
