// SPDX-License-Identifier: MIT
// The jukebox service's side of the link: a board's bytes, through the service's line reader,
// into its conversation, as one connection reads them.
//
// Each NUL byte ends a read (it is delivered too) and moves the play clock on 1.5 s, so the
// notifications run. Every line the service writes must be a valid line of the link.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "velmora/link_protocol.h"
#include "playlist/player.h"
#include "serve/conversation.h"

using namespace velmora;
using jukebox::Conversation;

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

void checkWritten(const Conversation::Output& out) {
    for (const std::string& line : out) {
        check(line.ends_with('\n') && line.size() - 1 <= link::kMaxLineBytes);
        const std::string_view text(line.data(), line.size() - 1);
        check(text.find('\n') == std::string_view::npos && link::isValidUtf8(text));
        check(link::parseServiceLine(text).kind != link::Line::Kind::Invalid);
    }
}

struct Notifier final : jukebox::PlayerListener {
    Conversation& conversation;
    Conversation::Output& out;
    Notifier(Conversation& c, Conversation::Output& o) : conversation(c), out(o) {}
    void trackStarted(const jukebox::Player& player) override {
        conversation.trackStarted(player, out);
    }
    void secondPassed(const jukebox::Player& player) override {
        conversation.secondPassed(player, out);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    jukebox::Player player(
        {{"Night Ferry", "The Lantern Choir", "Paper \"Boats\"", 2, true, "/covers/1.jpg"},
         {"Long Distance", "Marlow & Finch", "Copper Wire", 3, false, ""},
         {"", "", "Untitled", 1, true, "/covers/a\",\"b.jpg"}});
    Conversation conversation;
    Conversation::Output out;
    Notifier notifier(conversation, out);
    link::LineReader reader;
    std::int64_t playMs = 0;

    std::string_view stream(reinterpret_cast<const char*>(data), size);
    while (!stream.empty() && !conversation.finished()) {
        const std::size_t nul = stream.find('\0');
        const std::size_t read = nul == std::string_view::npos ? stream.size() : nul + 1;
        reader.feed(stream.substr(0, read), [&](std::string_view line) {
            if (!conversation.finished()) conversation.handleLine(line, player, out);
        });
        stream.remove_prefix(read);
        if (nul != std::string_view::npos) player.advanceTo(playMs += 1500, notifier);
        checkWritten(out);
        out.clear();
    }
    return 0;
}
