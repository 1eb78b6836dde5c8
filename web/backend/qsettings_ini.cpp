// SPDX-License-Identifier: MIT
#include "backend/qsettings_ini.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

namespace velmora::web {
namespace {

// QSettings reads into UTF-16: a \x escape may leave half a surrogate pair, and a @ByteArray
// keeps only the code units up to 0xFF. The text stays UTF-16 until it is handed out.
using Text = std::u16string;

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isSpecial(char c) {
    return c == '\n' || c == '\r' || c == '"' || c == ';' || c == '=' || c == '\\';
}

bool isBlank(char16_t c) {
    return c == u' ' || c == u'\t';
}

// The length of the well-formed UTF-8 sequence bytes start with; 0 when they start none, and
// nothing when they end before it does but may still become one.
std::optional<std::size_t> sequenceLength(std::string_view bytes) {
    const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(bytes[at]); };
    const unsigned lead = byte(0);
    std::size_t length = 0;
    unsigned low = 0x80, high = 0xBF;  // the second byte's range: no overlong form, no surrogate
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) length = 2;
    if (lead >= 0xE0 && lead <= 0xEF) length = 3;
    if (lead >= 0xF0 && lead <= 0xF4) length = 4;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
    for (std::size_t at = 1; at < length; ++at) {
        if (at >= bytes.size()) return std::nullopt;
        if (byte(at) < (at == 1 ? low : 0x80) || byte(at) > (at == 1 ? high : 0xBF)) return 0;
    }
    return length;
}

char32_t codePointOf(std::string_view sequence) {
    const auto byte = [&](std::size_t at) { return char32_t(std::uint8_t(sequence[at])); };
    char32_t c = sequence.size() == 1 ? byte(0) : byte(0) & (0x7F >> sequence.size());
    for (std::size_t at = 1; at < sequence.size(); ++at) c = c << 6 | (byte(at) & 0x3F);
    return c;
}

// UTF-8 in, UTF-16 out, as Qt decodes: every byte that starts no well-formed sequence becomes
// U+FFFD, and a byte order mark as the first character is dropped. A value is decoded piece by
// piece through one stateful decoder, which keeps an unfinished sequence for the next piece and
// drops it at the end; when the next piece does not finish it, one U+FFFD stands for it and the
// piece's first byte is lost, as with Qt. A name is decoded in one go.
class Utf8Decoder {
  public:
    explicit Utf8Decoder(bool stateful) : stateful_(stateful) {}

    void decode(std::string_view piece, Text& out) {
        std::string_view rest = piece;
        if (!pending_.empty()) {
            const std::string joined =
                pending_ +
                std::string(piece.substr(0, std::min(piece.size(), 4 - pending_.size())));
            const std::optional<std::size_t> length = sequenceLength(joined);
            if (!length) {  // still unfinished: the piece was too short to tell
                pending_ = joined;
                return;
            }
            if (*length == 0) {
                emit(U'\uFFFD', out);
                rest.remove_prefix(1);
            } else {
                emit(codePointOf(std::string_view(joined).substr(0, *length)), out);
                rest.remove_prefix(*length - pending_.size());
            }
            pending_.clear();
        }
        while (!rest.empty()) {
            const std::optional<std::size_t> length = sequenceLength(rest);
            if (!length && stateful_) {
                pending_ = rest;
                return;
            }
            if (!length || *length == 0) {
                emit(U'\uFFFD', out);
                rest.remove_prefix(1);
                continue;
            }
            emit(codePointOf(rest.substr(0, *length)), out);
            rest.remove_prefix(*length);
        }
    }

  private:
    void emit(char32_t c, Text& out) {
        if (!started_) {
            started_ = true;
            if (c == U'\uFEFF') return;
        }
        if (c < 0x10000) {
            out += char16_t(c);
        } else {
            out += char16_t(0xD800 + ((c - 0x10000) >> 10));
            out += char16_t(0xDC00 + ((c - 0x10000) & 0x3FF));
        }
    }

    bool stateful_;
    bool started_ = false;
    std::string pending_;
};

// UTF-16 out as UTF-8, each half of a surrogate pair on its own becoming "?" as with Qt.
std::string utf8Of(std::u16string_view text) {
    std::string out;
    for (std::size_t at = 0; at < text.size(); ++at) {
        char32_t c = text[at];
        const bool high = c >= 0xD800 && c <= 0xDBFF;
        if (high && at + 1 < text.size() && text[at + 1] >= 0xDC00 && text[at + 1] <= 0xDFFF)
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++at] - 0xDC00);
        else if (c >= 0xD800 && c <= 0xDFFF)
            c = '?';
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | c >> 6);
            out += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += char(0xE0 | c >> 12);
            out += char(0x80 | (c >> 6 & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xF0 | c >> 18);
            out += char(0x80 | (c >> 12 & 0x3F));
            out += char(0x80 | (c >> 6 & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// UTF-16 out as Latin-1 bytes, a code unit past 0xFF becoming "?".
std::string latin1Of(std::u16string_view text) {
    std::string out;
    for (const char16_t c : text) out += c > 0xFF ? '?' : char(c);
    return out;
}

Text asciiText(std::string_view ascii) {
    return Text(ascii.begin(), ascii.end());
}

bool equalsIgnoringCase(std::string_view text, std::string_view lower) {
    if (text.size() != lower.size()) return false;
    for (std::size_t at = 0; at < text.size(); ++at)
        if ((text[at] >= 'A' && text[at] <= 'Z' ? text[at] + ('a' - 'A') : text[at]) != lower[at])
            return false;
    return true;
}

std::string_view trimmed(std::string_view text) {
    const auto space = [](char c) { return isSpace(c) || c == '\v' || c == '\f'; };
    while (!text.empty() && space(text.front())) text.remove_prefix(1);
    while (!text.empty() && space(text.back())) text.remove_suffix(1);
    return text;
}

std::optional<unsigned> hexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return std::nullopt;
}

std::optional<char16_t> hexUnit(std::u16string_view digits) {
    unsigned value = 0;
    for (const char16_t c : digits) {
        const std::optional<unsigned> digit = hexDigit(c);
        if (!digit) return std::nullopt;
        value = value << 4 | *digit;
    }
    return char16_t(value);
}

// A line of the file: where it starts, how long it is, where its first "=" outside quotes is.
// A ";" starts a comment at the start of a line and ends the line elsewhere outside quotes; a
// quoted newline, or one after a backslash, continues the line.
struct Line {
    std::size_t start = 0;
    std::size_t length = 0;
    std::optional<std::size_t> equals;
};

bool nextLine(std::string_view data, std::size_t& position, Line& line) {
    bool inQuotes = false;
    line.equals.reset();
    std::size_t start = position;
    while (start < data.size() && isSpace(data[start])) ++start;
    std::size_t at = start;
    while (at < data.size()) {
        const char c = data[at++];
        if (!isSpecial(c)) continue;
        if (c == '=') {
            if (!inQuotes && !line.equals) line.equals = at - 1;
        } else if (c == '\n' || c == '\r') {
            if (at == start + 1) {
                ++start;
            } else if (!inQuotes) {
                --at;
                break;
            }
        } else if (c == '\\') {
            if (at < data.size()) {
                const char escaped = data[at++];
                if (at < data.size()) {
                    const char next = data[at];
                    if ((escaped == '\n' && next == '\r') || (escaped == '\r' && next == '\n'))
                        ++at;
                }
            }
        } else if (c == '"') {
            inQuotes = !inQuotes;
        } else if (at == start + 1) {  // ';' at the start: the rest of the line is a comment
            while (at < data.size() && data[at] != '\n' && data[at] != '\r') ++at;
            while (at < data.size() && isSpace(data[at])) ++at;
            start = at;
        } else if (!inQuotes) {
            --at;
            break;
        }
    }
    position = at;
    line.start = start;
    line.length = at - start;
    return line.length > 0;
}

// A section or key name: UTF-8 with "%XX" and "%UXXXX" for UTF-16 code units and "\" for "/".
Text unescapeKey(std::string_view bytes) {
    Text decoded;
    Utf8Decoder(false).decode(bytes, decoded);
    Text result;
    std::size_t at = 0;
    while (at < decoded.size()) {
        const char16_t c = decoded[at];
        if (c == u'\\') {
            result += u'/';
            ++at;
            continue;
        }
        if (c != u'%' || at + 1 == decoded.size()) {
            result += c;
            ++at;
            continue;
        }
        const bool wide = decoded[at + 1] == u'U';
        const std::size_t first = at + (wide ? 2 : 1);
        const std::size_t digits = wide ? 4 : 2;
        const std::optional<char16_t> unit =
            first + digits > decoded.size()
                ? std::nullopt
                : hexUnit(std::u16string_view(decoded).substr(first, digits));
        if (!unit) {
            result += u'%';
            ++at;
            continue;
        }
        result += *unit;
        at = first + digits;
    }
    return result;
}

// What follows a key's "=": one text, or a list when a comma stands outside quotes.
struct Value {
    Text text;
    bool isList = false;
    std::vector<Text> items;
};

// The C escapes QSettings knows; another character after a backslash is dropped with it.
std::optional<char16_t> simpleEscape(char c) {
    constexpr std::string_view kNames = "abfnrtv\"?'\\";
    constexpr std::u16string_view kValues = u"\a\b\f\n\r\t\v\"?'\\";
    const std::size_t found = kNames.find(c);
    return found == std::string_view::npos ? std::nullopt : std::optional(kValues[found]);
}

Value unescapeValue(std::string_view bytes) {
    Value value;
    Text& text = value.text;
    Utf8Decoder utf8(true);
    bool inQuotes = false;
    bool quoted = false;    // the current item had quotes: its trailing blanks stay
    bool chopAtEnd = true;  // a value that ends inside an escape keeps its trailing blanks
    std::size_t kept = 0;   // blanks before here were escaped or quoted: they stay
    std::size_t at = 0;
    const auto skipBlanks = [&] {
        while (at < bytes.size() && (bytes[at] == ' ' || bytes[at] == '\t')) ++at;
        kept = text.size();
    };
    const auto chop = [&] {
        while (text.size() > kept && isBlank(text.back())) text.pop_back();
    };
    // An octal or hex escape's digits, the value wrapping at 16 bits as in QSettings.
    const auto number = [&](unsigned base, std::uint16_t start) {
        std::uint16_t unit = start;
        for (; at < bytes.size(); ++at) {
            const std::optional<unsigned> digit = hexDigit(char16_t(bytes[at]));
            if (!digit || *digit >= base) break;
            unit = std::uint16_t(unit * base + *digit);
        }
        text += char16_t(unit);
        if (at == bytes.size()) chopAtEnd = false;
        kept = text.size();
    };

    skipBlanks();
    while (at < bytes.size()) {
        const char c = bytes[at];
        if (c == '\\') {
            if (++at == bytes.size()) {
                chopAtEnd = false;
                break;
            }
            const char escaped = bytes[at++];
            if (const std::optional<char16_t> unit = simpleEscape(escaped)) {
                text += *unit;
            } else if (escaped == 'x') {
                if (at == bytes.size()) {
                    chopAtEnd = false;
                    break;
                }
                if (hexDigit(char16_t(bytes[at]))) {
                    number(16, 0);
                    continue;
                }
            } else if (escaped >= '0' && escaped <= '7') {
                number(8, std::uint16_t(escaped - '0'));
                continue;
            } else if (escaped == '\n' || escaped == '\r') {  // a continued line
                if (at < bytes.size() && (bytes[at] == '\n' || bytes[at] == '\r') &&
                    bytes[at] != escaped)
                    ++at;
            }
            kept = text.size();
        } else if (c == '"') {
            ++at;
            quoted = true;
            inQuotes = !inQuotes;
            if (!inQuotes) skipBlanks();
        } else if (c == ',' && !inQuotes) {
            if (!quoted) chop();
            value.isList = true;
            value.items.push_back(std::move(text));
            text.clear();
            quoted = false;
            ++at;
            skipBlanks();
        } else {
            std::size_t end = at + 1;
            while (end < bytes.size() && bytes[end] != '\\' && bytes[end] != '"' &&
                   bytes[end] != ',')
                ++end;
            utf8.decode(bytes.substr(at, end - at), text);
            at = end;
        }
    }
    if (chopAtEnd && !quoted) chop();
    if (value.isList) value.items.push_back(std::move(text));
    return value;
}

// How many arguments "@Rect(1 2 3 4)" has, counted as QSettings counts them.
std::size_t argumentCount(std::u16string_view text, std::size_t open) {
    std::size_t count = 0;
    for (std::size_t at = open + 1; at < text.size(); ++at)
        count += text[at] == u' ' || text[at] == u')';
    return count;
}

// A value's text as QtSettingsStore gives it for the variant QSettings makes of it.
std::string textOf(const Text& text) {
    const std::u16string_view s = text;
    if (s.starts_with(u'@')) {
        if (s.ends_with(u')')) {
            if (s.starts_with(u"@ByteArray(")) return latin1Of(s.substr(11, s.size() - 12));
            if (s.starts_with(u"@String(")) return utf8Of(s.substr(8, s.size() - 9));
            // A QDataStream or a geometry: types the board never writes, with no text.
            if (s.starts_with(u"@Variant(") || s.starts_with(u"@DateTime(") || s == u"@Invalid()")
                return {};
            if (s.starts_with(u"@Rect(") && argumentCount(s, 5) == 4) return {};
            if (s.starts_with(u"@Size(") && argumentCount(s, 5) == 2) return {};
            if (s.starts_with(u"@Point(") && argumentCount(s, 6) == 2) return {};
        }
        if (s.starts_with(u"@@")) return utf8Of(s.substr(1));
    }
    return utf8Of(s);
}

std::string textOf(const Value& value) {
    if (!value.isList) return textOf(value.text);
    std::string joined;
    for (std::size_t at = 0; at < value.items.size(); ++at) {
        const std::u16string_view item = value.items[at];
        // An item with a lone "@" makes a list of variants, which has no text.
        if (item.starts_with(u'@') && !item.starts_with(u"@@")) return {};
        if (at > 0) joined += ", ";
        joined += utf8Of(item.substr(item.starts_with(u'@') ? 1 : 0));
    }
    return joined;
}

}  // namespace

std::map<std::string, std::string> readIniSettings(std::string_view data) {
    if (data.starts_with("\xEF\xBB\xBF")) data.remove_prefix(3);

    // First the sections' lines, by name ("" for [General], "name/" otherwise): a section that
    // appears twice is read as one.
    std::map<Text, std::string> sections;
    Text section;
    std::size_t sectionStart = 0;
    const auto close = [&](std::size_t end) {
        std::string& lines = sections[section];
        if (!lines.empty()) lines += '\n';
        lines.append(data.substr(sectionStart, end - sectionStart));
    };
    std::size_t position = 0;
    Line line;
    while (nextLine(data, position, line)) {
        const std::string_view text = data.substr(line.start, line.length);
        if (!text.starts_with('[')) continue;
        close(line.start);
        const std::size_t end = std::min(text.find(']'), text.size());
        const std::string_view name = trimmed(text.substr(1, end - 1));
        if (equalsIgnoringCase(name, "general")) {
            section.clear();
        } else {
            section = equalsIgnoringCase(name, "%general") ? asciiText(name.substr(1))
                                                           : unescapeKey(name);
            section += u'/';
        }
        sectionStart = position;
    }
    close(data.size());

    // Then each section's entries, in the order of the sections' names: a later one wins.
    std::map<Text, std::string> values;
    for (const auto& [name, lines] : sections) {
        std::size_t at = 0;
        while (nextLine(lines, at, line)) {
            if (!line.equals) continue;
            std::size_t keyEnd = *line.equals;
            while (keyEnd > line.start && (lines[keyEnd - 1] == ' ' || lines[keyEnd - 1] == '\t'))
                --keyEnd;
            const std::size_t valueStart = *line.equals + 1;
            values[name +
                   unescapeKey(std::string_view(lines).substr(line.start, keyEnd - line.start))] =
                textOf(unescapeValue(std::string_view(lines).substr(
                    valueStart, line.start + line.length - valueStart)));
        }
    }

    std::map<std::string, std::string> result;
    for (auto& [key, value] : values) result[utf8Of(key)] = std::move(value);
    return result;
}

}  // namespace velmora::web
