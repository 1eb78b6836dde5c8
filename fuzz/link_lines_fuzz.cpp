// SPDX-License-Identifier: MIT
// The link's framing and line parsing, as a service's bytes reach the board.
//
// The first byte sets how the rest is cut into reads; the lines the reader hands out must not
// depend on that cut. Every line handed out keeps the protocol's rules, and whatever a line
// parses into encodes back into a line that parses the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "velmora/link_protocol.h"

using namespace velmora::link;

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

// Well-formed UTF-8 after the Unicode standard's table of byte sequences.
bool referenceUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto b = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
        std::size_t n = 0;
        unsigned char low = 0x80, high = 0xBF;
        if (b(0) < 0x80)
            n = 1;
        else if (b(0) >= 0xC2 && b(0) <= 0xDF)
            n = 2;
        else if (b(0) >= 0xE0 && b(0) <= 0xEF) {
            n = 3;
            if (b(0) == 0xE0) low = 0xA0;
            if (b(0) == 0xED) high = 0x9F;
        } else if (b(0) >= 0xF0 && b(0) <= 0xF4) {
            n = 4;
            if (b(0) == 0xF0) low = 0x90;
            if (b(0) == 0xF4) high = 0x8F;
        } else
            return false;
        if (i + n > text.size()) return false;
        for (std::size_t k = 1; k < n; ++k) {
            const unsigned char lo = k == 1 ? low : 0x80, hi = k == 1 ? high : 0xBF;
            if (b(k) < lo || b(k) > hi) return false;
        }
        i += n;
    }
    return true;
}

// The lines a reader must hand out for the whole stream read at once.
std::vector<std::string> expectedLines(std::string_view stream) {
    std::vector<std::string> lines;
    for (auto end = stream.find('\n'); end != std::string_view::npos; end = stream.find('\n')) {
        std::string_view line = stream.substr(0, end);
        stream.remove_prefix(end + 1);
        if (line.ends_with('\r')) line.remove_suffix(1);
        if (line.size() <= kMaxLineBytes && referenceUtf8(line)) lines.emplace_back(line);
    }
    return lines;
}

void checkParsed(std::string_view line) {
    const Line client = parseClientLine(line);
    if (client.kind == Line::Kind::Open || client.kind == Line::Kind::Send) {
        check(isValidEndpoint(client.endpoint) && isValidText(client.text));
        const std::string again = client.kind == Line::Kind::Open
                                      ? encodeOpen(client.endpoint, client.text)
                                      : encodeSend(client.endpoint, client.text);
        const Line back = parseClientLine(std::string_view(again).substr(0, again.size() - 1));
        check(back.kind == client.kind && back.endpoint == client.endpoint &&
              back.text == client.text);
    }
    const Line service = parseServiceLine(line);
    if (service.kind == Line::Kind::Message) {
        check(isValidEndpoint(service.endpoint) && isValidText(service.text));
        const std::string again = encodeMessage(service.endpoint, service.text);
        const Line back = parseServiceLine(std::string_view(again).substr(0, again.size() - 1));
        check(back.kind == Line::Kind::Message && back.endpoint == service.endpoint &&
              back.text == service.text);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t readSize = data[0] == 0 ? size : data[0];
    const std::string_view stream(reinterpret_cast<const char*>(data) + 1, size - 1);
    check(isValidUtf8(stream) == referenceUtf8(stream));

    LineReader reader;
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < stream.size(); at += readSize) {
        reader.feed(stream.substr(at, readSize), [&](std::string_view line) {
            check(line.size() <= kMaxLineBytes && line.find('\n') == std::string_view::npos);
            lines.emplace_back(line);
            checkParsed(line);
        });
        check(reader.buffered() <= kMaxLineBytes + 1);
    }
    check(lines == expectedLines(stream));
    return 0;
}
