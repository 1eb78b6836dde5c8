// SPDX-License-Identifier: MIT
// What the pages are sent of the board: all of it when a page opens, then each burst of changes
// as one event; texts as JSON strings whatever they hold; nothing of the hidden log.
#include "board_feed.h"

#include <gtest/gtest.h>

#include <boost/json/parse.hpp>
#include <deque>
#include <functional>

#include "backend/cover_shelf.h"
#include "display/board_design.h"

namespace velmora::web {
namespace {

namespace json = boost::json;
using display::Id;

struct Pages : PageSink {
    std::vector<std::string> events;
    void broadcast(std::shared_ptr<const std::string> event) override { events.push_back(*event); }
};

// One Server-Sent Event: its name and its data as JSON.
struct Event {
    std::string name;
    json::object data;
};

Event parseEvent(const std::string& text) {
    const std::string head = "event: ";
    const auto data = text.find("\ndata: ");
    EXPECT_EQ(text.rfind(head, 0), 0u) << text;
    EXPECT_NE(data, std::string::npos) << text;
    EXPECT_TRUE(text.ends_with("\n\n")) << text;
    // The data is one line: a line break would end it early.
    const std::string body = text.substr(data + 7, text.size() - data - 9);
    EXPECT_EQ(body.find('\n'), std::string::npos);
    return Event{text.substr(head.size(), data - head.size()), json::parse(body).as_object()};
}

const json::object* controlNamed(const json::object& data, std::string_view name) {
    for (const auto& c : data.at("controls").as_array())
        if (c.as_object().at("name").as_string() == name) return &c.as_object();
    return nullptr;
}

class BoardFeedTest : public ::testing::Test {
  protected:
    BoardFeedTest() {
        feed.setSink(&pages);
        form.setObserver(&feed);
    }
    // Runs the tasks the feed posted, as the loop would after the current event.
    void endOfTurn() {
        while (!posted.empty()) {
            auto task = std::move(posted.front());
            posted.pop_front();
            task();
        }
    }

    std::deque<std::function<void()>> posted;
    BoardFeed feed{[this](std::function<void()> task) { posted.push_back(std::move(task)); }};
    Pages pages;
    Form form = display::makeBoard();
};

TEST_F(BoardFeedTest, APageGetsEveryShownFieldButNeverTheLog) {
    form.addItem(Id::List1, "cdjr:/S playing[\"secret\"]");
    feed.attach(&form);
    ASSERT_EQ(pages.events.size(), 1u);  // attaching tells the pages already open
    const Event board = parseEvent(feed.snapshot());
    EXPECT_EQ(board.name, "board");
    EXPECT_EQ(board.data.at("link"), false);
    EXPECT_EQ(board.data.at("back"), "#000000");
    EXPECT_EQ(board.data.at("controls").as_array().size(), std::size_t(Id::ControlCount) - 1);
    EXPECT_EQ(controlNamed(board.data, "List1"), nullptr);
    EXPECT_EQ(feed.snapshot().find("secret"), std::string::npos);

    const json::object& artist = *controlNamed(board.data, "Artist");
    EXPECT_EQ(artist.at("text"), "Artist");
    EXPECT_EQ(artist.at("kind"), "field");
    EXPECT_EQ(artist.at("left").to_number<double>(), 240);
    EXPECT_EQ(artist.at("top").to_number<double>(), 840);
    EXPECT_EQ(artist.at("size").to_number<double>(), 21.75);
    EXPECT_EQ(artist.at("weight"), 700);
    EXPECT_EQ(artist.at("fore"), "#c0c000");  // 0x0000C0C0: red and green
    EXPECT_EQ(artist.at("fit"), true);
    EXPECT_EQ(controlNamed(board.data, "Label3")->at("fore"), "#00c000");
    EXPECT_EQ(controlNamed(board.data, "CDImage")->at("picture"), "");
}

TEST_F(BoardFeedTest, ABurstOfChangesIsOneEventAfterTheTurn) {
    feed.attach(&form);
    pages.events.clear();
    form.setText(Id::Title, "Paper Boats");
    form.setText(Id::Artist, "The Lantern Choir");
    form.setText(Id::Title, "Paper Boats, again");
    form.setBackColour(rgb(1, 2, 3));
    form.addItem(Id::List1, "never sent");
    EXPECT_TRUE(pages.events.empty());
    endOfTurn();
    ASSERT_EQ(pages.events.size(), 1u);
    const Event change = parseEvent(pages.events[0]);
    EXPECT_EQ(change.name, "change");
    EXPECT_EQ(change.data.at("back"), "#010203");
    ASSERT_EQ(change.data.at("controls").as_array().size(), 2u);
    EXPECT_EQ(controlNamed(change.data, "Title")->at("text"), "Paper Boats, again");
    EXPECT_EQ(controlNamed(change.data, "Artist")->at("text"), "The Lantern Choir");

    form.addItem(Id::List1, "the log alone changes nothing the pages see");
    endOfTurn();
    EXPECT_EQ(pages.events.size(), 1u);
}

TEST_F(BoardFeedTest, TextsArriveAsTheyStandWhateverTheyHold) {
    feed.attach(&form);
    const std::string texts[] = {
        "<img src=x onerror=alert(1)>",
        "</script><script>alert(1)</script>",
        "line\nbreak\r\ndata: {\"forged\":true}\n\nevent: board",
        "quote \" backslash \\ tab \t nul " + std::string(1, '\0') + " end",
        "\xE2\x80\xA8 separators \xE2\x80\xA9 and \xF0\x9F\x8E\xB5",
    };
    for (const std::string& text : texts) {
        pages.events.clear();
        form.setText(Id::Title, text);
        endOfTurn();
        ASSERT_EQ(pages.events.size(), 1u);
        const Event change = parseEvent(pages.events[0]);
        EXPECT_EQ(change.name, "change");
        EXPECT_EQ(controlNamed(change.data, "Title")->at("text").as_string(), text);
    }
}

TEST_F(BoardFeedTest, TheLinkIsToldWhenItChangesAndInEverySnapshot) {
    feed.attach(&form);
    pages.events.clear();
    feed.setLink(true);
    feed.setLink(true);
    feed.setLink(false);
    ASSERT_EQ(pages.events.size(), 2u);
    EXPECT_EQ(parseEvent(pages.events[0]).data.at("link"), true);
    EXPECT_EQ(parseEvent(pages.events[1]).name, "link");
    EXPECT_EQ(parseEvent(pages.events[1]).data.at("link"), false);
    feed.setLink(true);
    EXPECT_EQ(parseEvent(feed.snapshot()).data.at("link"), true);
}

TEST_F(BoardFeedTest, APictureIsNamedByItsOpaqueNameAndAGoneBoardSendsNothing) {
    feed.attach(&form);
    auto cover = std::make_shared<const Cover>("0123456789abcdef0123456789abcdef", "image/png", "");
    form.setPicture(Id::CDImage, cover);
    endOfTurn();
    EXPECT_EQ(controlNamed(parseEvent(pages.events.back()).data, "CDImage")->at("picture"),
              "/cover/0123456789abcdef0123456789abcdef");

    feed.attach(nullptr);
    pages.events.clear();
    form.setText(Id::Title, "after the board went");
    endOfTurn();
    EXPECT_TRUE(pages.events.empty());
    EXPECT_TRUE(parseEvent(feed.snapshot()).data.at("controls").as_array().empty());
}

}  // namespace
}  // namespace velmora::web
