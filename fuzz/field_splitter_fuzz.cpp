// SPDX-License-Identifier: MIT
// Cutting the jukebox's messages: characters off either end, then fields at the `","` separator.
//
// The first byte is how many characters to drop; the rest is the message. Cuts fall only between
// characters, drop exactly what they say, and the fields joined again give the text back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "velmora/field_splitter.h"

using velmora::link::FieldSplitter;

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

// Characters begin at the first byte and at every byte that is no UTF-8 continuation byte.
std::size_t characters(std::string_view text, bool atStart) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size(); ++i)
        if ((i == 0 && atStart) || (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) ++count;
    return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t count = data[0];
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);

    const auto rest = velmora::link::dropFirst(text, count);
    check(rest.has_value() == (characters(text, true) >= count));
    if (rest) {
        check(text.ends_with(*rest));
        const std::string_view dropped = text.substr(0, text.size() - rest->size());
        check(characters(dropped, true) == count);
        check(count == 0 || rest->empty() ||
              (static_cast<unsigned char>(rest->front()) & 0xC0) != 0x80);
    }

    const auto most = velmora::link::dropLast(text);
    check(most.has_value() == !text.empty());
    if (most) {
        check(text.starts_with(*most));
        check(characters(text.substr(most->size()), true) == 1);
    }

    FieldSplitter splitter(text);
    std::string joined;
    while (const auto field = splitter.next()) {
        check(field->find(FieldSplitter::kSeparator) == std::string_view::npos);
        joined.append(*field).append(FieldSplitter::kSeparator);
    }
    check(splitter.rest().find(FieldSplitter::kSeparator) == std::string_view::npos);
    check(joined + std::string(splitter.rest()) == text);
    return 0;
}
