// SPDX-License-Identifier: MIT
#include "settings/chosen_file.h"

namespace velmora::settings {

const std::string& ChosenFile::read(std::optional<std::string>& value, const char* key) {
    if (!value) value = store_.read(kApplication, section_, key, "");
    return *value;
}

void ChosenFile::write(const std::string& name, const std::string& fullPath) {
    store_.write(kApplication, section_, kNameKey, name);
    store_.write(kApplication, section_, kFullPathKey, fullPath);
    name_ = name;
    fullPath_ = fullPath;
}

}  // namespace velmora::settings
