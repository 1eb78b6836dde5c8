// SPDX-License-Identifier: MIT
#include "velmora/link_protocol.h"

#include <cstdint>
#include <cstring>
#include <initializer_list>

namespace velmora::link {

namespace {

constexpr std::string_view kOpen = "OPEN";
constexpr std::string_view kSend = "SEND";
constexpr std::string_view kClose = "CLOSE";
constexpr std::string_view kMessage = "MSG";
constexpr std::string_view kError = "ERROR";

// The rest of line after "verb " (or after a bare "verb"), or nothing when the verb differs.
bool afterVerb(std::string_view line, std::string_view verb, std::string_view& rest) {
    if (line.substr(0, verb.size()) != verb) return false;
    if (line.size() == verb.size()) {
        rest = {};
        return true;
    }
    if (line[verb.size()] != ' ') return false;
    rest = line.substr(verb.size() + 1);
    return true;
}

// "<endpoint> <last field>"; the last field may be empty, with or without its space.
Line endpointAndText(Line::Kind kind, std::string_view rest) {
    const auto space = rest.find(' ');
    Line out{kind, rest.substr(0, space), {}};
    if (space != std::string_view::npos) out.text = rest.substr(space + 1);
    if (!isValidEndpoint(out.endpoint) || !isValidText(out.text)) return Line{};
    return out;
}

// The fields separated by single spaces, with the LF.
std::string joined(std::initializer_list<std::string_view> fields) {
    std::size_t size = fields.size();
    for (auto field : fields) size += field.size();
    std::string line;
    line.reserve(size);
    for (auto field : fields) line.append(field).append(1, ' ');
    line.back() = '\n';
    return line;
}

}  // namespace

bool isValidUtf8(std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* const end = p + bytes.size();
    while (p < end) {
        // Plain ASCII eight bytes at a time: the common case for the jukebox's texts.
        if (end - p >= 8) {
            std::uint64_t word;
            std::memcpy(&word, p, sizeof word);
            if ((word & 0x8080808080808080ull) == 0) {
                p += 8;
                continue;
            }
        }
        const unsigned char lead = *p;
        if (lead < 0x80) {
            ++p;
            continue;
        }
        // The second byte's range depends on the lead byte (Unicode's table of well-formed
        // sequences); every later byte is 0x80..0xBF.
        int length;
        unsigned char low = 0x80, high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            if (lead == 0xE0) low = 0xA0;   // overlong
            if (lead == 0xED) high = 0x9F;  // surrogates
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            if (lead == 0xF0) low = 0x90;   // overlong
            if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
        } else {
            return false;
        }
        if (end - p < length) return false;
        if (p[1] < low || p[1] > high) return false;
        for (int i = 2; i < length; ++i)
            if (p[i] < 0x80 || p[i] > 0xBF) return false;
        p += length;
    }
    return true;
}

bool isValidEndpoint(std::string_view name) {
    if (name.empty() || name.size() > kMaxEndpointBytes) return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto byte = static_cast<unsigned char>(name[i]);
        if (byte <= 0x20 || byte == 0x7F) return false;
        // U+0080..U+009F, the second set of control characters.
        if (byte == 0xC2 && i + 1 < name.size() && static_cast<unsigned char>(name[i + 1]) < 0xA0)
            return false;
    }
    return isValidUtf8(name);
}

bool isValidText(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos &&
           isValidUtf8(text);
}

bool LineReader::accept(std::string_view& line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line.size() <= kMaxLineBytes && isValidUtf8(line);
}

std::string encodeHello() {
    return joined({kHello});
}

std::string encodeOpen(std::string_view endpoint, std::string_view options) {
    return joined({kOpen, endpoint, options});
}

std::string encodeSend(std::string_view endpoint, std::string_view text) {
    return joined({kSend, endpoint, text});
}

std::string encodeClose(std::string_view endpoint) {
    return joined({kClose, endpoint});
}

std::string encodeServiceHello(std::string_view description) {
    return joined({kHello, description});
}

std::string encodeMessage(std::string_view endpoint, std::string_view text) {
    return joined({kMessage, endpoint, text});
}

std::string encodeError(std::string_view text) {
    return joined({kError, text});
}

Line parseClientLine(std::string_view line) {
    std::string_view rest;
    if (line == kHello) return Line{Line::Kind::Hello, {}, {}};
    if (afterVerb(line, kOpen, rest)) return endpointAndText(Line::Kind::Open, rest);
    if (afterVerb(line, kSend, rest)) return endpointAndText(Line::Kind::Send, rest);
    if (afterVerb(line, kClose, rest) && isValidEndpoint(rest))
        return Line{Line::Kind::Close, rest, {}};
    return Line{};
}

Line parseServiceLine(std::string_view line) {
    std::string_view rest;
    if (afterVerb(line, kHello, rest)) return Line{Line::Kind::Hello, {}, rest};
    if (afterVerb(line, kMessage, rest)) return endpointAndText(Line::Kind::Message, rest);
    if (afterVerb(line, kError, rest)) return Line{Line::Kind::Error, {}, rest};
    return Line{};
}

}  // namespace velmora::link
