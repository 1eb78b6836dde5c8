// SPDX-License-Identifier: MIT
// The next-song look-up: a "playlist_pointer" number turned into the request for the entry after
// it, and a "playlist_item" message cut into the "Next Up:" block.
//
// The input is read as each of the three. A short plain number must give what arithmetic gives.
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "board/playlist_lookup.h"
#include "display/board_design.h"

using namespace velmora;

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

// A number of at most 15 characters, read as a double: entryAfter rounds it down and adds one.
void checkAgainstArithmetic(std::string_view number, const std::optional<std::string>& entry) {
    const auto first = number.find_first_not_of(' ');
    if (first == std::string_view::npos) return check(!entry);
    number = number.substr(first, number.find_last_not_of(' ') - first + 1);
    if (number.size() > 15 || number.find_first_not_of("0123456789.+-") != std::string_view::npos)
        return;
    std::string_view digits = number;
    if (digits.starts_with('+')) digits.remove_prefix(1);
    double value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size() || digits.starts_with('+'))
        return check(!entry);
    const double position = std::floor(value);
    if (position <= 0) return check(!entry);
    check(entry == std::to_string(static_cast<long long>(position) + 1));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const auto entry = board::entryAfter(text);
    if (entry)
        check(!entry->empty() && entry->front() != '0' &&
              entry->find_first_not_of("0123456789") == std::string::npos);
    checkAgainstArithmetic(text, entry);

    if (const auto request = board::requestFor(text))
        check(request->starts_with("playlist_getitem[") && request->ends_with("]"));

    if (auto next = board::readEntry(text)) {
        check(next->marker.find('"') == std::string::npos);
        const std::string title = next->marker == "0" ? " " : next->title;
        Form board = display::makeBoard();
        board::showNext(board, std::move(*next));
        check(board[display::NextTitle].text == title);
    }
    return 0;
}
