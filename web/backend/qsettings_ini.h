// SPDX-License-Identifier: MIT
// The INI files the board's settings live in, as QSettings writes them, read without Qt and with
// the results QSettings gives: the same quoting, escapes, lists and typed values, and the same
// quirks (a leading byte order mark is dropped from every name and value, an unfinished UTF-8
// sequence at a value's end is lost), so that velmora-web sees what the board sees.
#pragma once

#include <map>
#include <string>
#include <string_view>

namespace velmora::web {

// Every entry of the file by "section/key" ([General]'s keys stand alone), its value as text:
// UTF-8 for a string, the bytes of a @ByteArray, a list's items joined with ", ", and empty for
// the typed values the board never writes (@Variant, @Rect...).
std::map<std::string, std::string> readIniSettings(std::string_view bytes);

}  // namespace velmora::web
