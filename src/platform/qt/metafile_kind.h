// SPDX-License-Identifier: MIT
// Telling Windows metafiles (WMF) and enhanced metafiles (EMF) from other files by their first
// bytes, for the Qt backend's byte arrays.
#pragma once

#include <QByteArray>
#include <string_view>

#include "platform/metafile_signature.h"

namespace velmora::qt {

inline bool isWmf(const QByteArray& head) {
    return platform::isWmf(std::string_view(head.constData(), std::size_t(head.size())));
}

inline bool isEmf(const QByteArray& head) {
    return platform::isEmf(std::string_view(head.constData(), std::size_t(head.size())));
}

}  // namespace velmora::qt
