// SPDX-License-Identifier: MIT
// Telling Windows metafiles (WMF) and enhanced metafiles (EMF) from other files by their first
// bytes.
#pragma once

#include <QByteArray>
#include <QtEndian>
#include <cstdint>

namespace velmora::qt {

inline bool isWmf(const QByteArray& head) {
    const auto word = [&](qsizetype at) {
        return qFromLittleEndian<std::uint16_t>(head.constData() + at);
    };
    if (head.size() >= 4 && qFromLittleEndian<std::uint32_t>(head.constData()) == 0x9AC6CDD7u)
        return true;  // placeable header
    if (head.size() < 6) return false;
    return (word(0) == 1 || word(0) == 2) && word(2) == 9 &&
           (word(4) == 0x0100 || word(4) == 0x0300);
}

inline bool isEmf(const QByteArray& head) {
    const auto dword = [&](qsizetype at) {
        return qFromLittleEndian<std::uint32_t>(head.constData() + at);
    };
    return head.size() >= 44 && dword(0) == 1 && dword(40) == 0x464D4520u;  // " EMF"
}

}  // namespace velmora::qt
