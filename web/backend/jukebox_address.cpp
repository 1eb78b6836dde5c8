// SPDX-License-Identifier: MIT
#include "backend/jukebox_address.h"

#include "link/socket_link.h"

namespace velmora::web {

std::string AddressedSettings::read(const std::string& application, const std::string& section,
                                    const std::string& key, const std::string& fallback) {
    using link::SocketLink;
    if (address_ && application == SocketLink::kSettingsApplication &&
        section == SocketLink::kSettingsSection) {
        if (key == SocketLink::kHostKey) return address_->host;
        if (key == SocketLink::kPortKey) return address_->port;
    }
    return stored_.read(application, section, key, fallback);
}

}  // namespace velmora::web
