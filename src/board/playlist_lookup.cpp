// SPDX-License-Identifier: MIT
#include "board/playlist_lookup.h"

#include "display/board_design.h"
#include "velmora/field_splitter.h"
#include "velmora/messages.h"
#include "velmora/trim.h"

namespace velmora::board {

namespace {
constexpr int kItemFields = 6;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
}  // namespace

std::optional<std::string> entryAfter(std::string_view number) {
    number = velmora::trimSpaces(number);
    bool negative = false;
    if (!number.empty() && (number.front() == '+' || number.front() == '-')) {
        negative = number.front() == '-';
        number.remove_prefix(1);
    }
    const std::string_view whole = number.substr(0, number.find('.'));
    std::string_view fraction;
    if (whole.size() < number.size()) fraction = number.substr(whole.size() + 1);
    bool digitsOnly = !whole.empty() || !fraction.empty();
    for (char c : whole) digitsOnly = digitsOnly && isDigit(c);
    for (char c : fraction) digitsOnly = digitsOnly && isDigit(c);
    if (!digitsOnly) return std::nullopt;
    // Every negative number rounds down to 0 or below, and so does anything under 1.
    const auto firstSignificant = whole.find_first_not_of('0');
    if (negative || firstSignificant == std::string_view::npos) return std::nullopt;

    // Adding one in decimal text keeps every digit of a position too long for any integer type.
    std::string next(whole.substr(firstSignificant));
    auto digit = next.rbegin();
    for (; digit != next.rend() && *digit == '9'; ++digit) *digit = '0';
    if (digit == next.rend())
        next.insert(next.begin(), '1');
    else
        ++*digit;
    return next;
}

std::optional<std::string> requestFor(std::string_view pointerMessage) {
    auto rest = link::dropFirst(pointerMessage, link::messages::kPlaylistPointerHead.size());
    if (rest) rest = link::dropLast(*rest);
    if (!rest) return std::nullopt;
    auto entry = entryAfter(*rest);
    if (!entry) return std::nullopt;
    std::string request(link::messages::kPlaylistGetItemHead);
    request.append(*entry).append(link::messages::kClose);
    return request;
}

std::optional<Entry> readEntry(std::string_view itemMessage) {
    const auto body = link::dropFirst(itemMessage, link::messages::kPlaylistItemHead.size());
    if (!body) return std::nullopt;
    link::FieldSplitter fields(*body);
    if (!fields.next()) return std::nullopt;  // field 0 is not shown
    std::string_view cut[kItemFields];
    for (auto& field : cut) {
        auto next = fields.next();
        if (!next) return std::nullopt;
        field = *next;
    }
    const auto quote = fields.rest().find('"');
    if (quote == std::string_view::npos) return std::nullopt;
    return Entry{std::string(cut[0]), std::string(cut[1]), std::string(cut[2]),
                 std::string(fields.rest().substr(0, quote))};
}

void showNext(Form& board, Entry entry) {
    if (entry.marker == "0") {
        board.setText(display::NextAlbum, std::move(entry.album));
        if (!entry.artist.empty()) board.setText(display::NextArtist, std::move(entry.artist));
        board.setText(display::NextTitle, " ");
    } else {
        board.setText(display::NextTitle, std::move(entry.title));
        if (!entry.artist.empty()) board.setText(display::NextArtist, std::move(entry.artist));
        if (!entry.album.empty()) board.setText(display::NextAlbum, std::move(entry.album));
    }
}

}  // namespace velmora::board
