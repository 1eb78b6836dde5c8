// SPDX-License-Identifier: MIT
// A real sd-bus message read into values: what players send comes back as sent, and each bound
// (depth, elements in one array, the whole message) holds.
#include <gtest/gtest.h>

#include <functional>

#include "mpris/bus.h"
#include "mpris/tests/bus_messages.h"

namespace velmora::jukebox::mpris {
namespace {

using testing::appendValue;
using testing::BusMessages;

// A message of arguments written by `fill`, decoded under `limits`.
std::optional<std::vector<Value>> decoded(const std::function<int(sd_bus_message*)>& fill,
                                          const DecodeLimits& limits = {}) {
    BusMessages messages;
    sd_bus_message* message = messages.signal();
    const bool made = fill(message) >= 0 && BusMessages::seal(message);
    std::optional<std::vector<Value>> values;
    if (made) values = decodeArguments(message, limits);
    sd_bus_message_unref(message);
    EXPECT_TRUE(made);
    return values;
}

// `outer` arrays of `inner` empty byte arrays (aaay): 4 bytes each on the bus, a value each read.
std::function<int(sd_bus_message*)> arraysOfEmptyArrays(int outer, int inner) {
    return [=](sd_bus_message* m) {
        int error = sd_bus_message_open_container(m, 'a', "aay");
        for (int i = 0; i < outer && error >= 0; ++i) {
            error = sd_bus_message_open_container(m, 'a', "ay");
            for (int j = 0; j < inner && error >= 0; ++j)
                if ((error = sd_bus_message_open_container(m, 'a', "y")) >= 0)
                    error = sd_bus_message_close_container(m);
            if (error >= 0) error = sd_bus_message_close_container(m);
        }
        return error < 0 ? error : sd_bus_message_close_container(m);
    };
}

std::size_t countValues(const Value& value) {
    std::size_t count = 1;
    if (const auto* array = std::get_if<Value::Array>(&value.data))
        for (const Value& element : *array) count += countValues(element);
    return count;
}

TEST(MprisBusDecode, WhatPlayersSendComesBackAsSent) {
    const Value metadata = Value::Array{
        Value::Array{"mpris:trackid", "/org/videolan/vlc/playlist/4"},
        Value::Array{"xesam:artist", Value::Array{"Ærø", "The Lantern Choir"}},
        Value::Array{"mpris:length", std::int64_t(-30000000)},
        Value::Array{"vlc:time", std::uint64_t(30)},
        Value::Array{"xesam:userRating", 0.5},
        Value::Array{"vlc:nowplaying", true},
        Value::Array{"nested", Value::Array{Value(Value::Array{"a", Value::Array{}})}},
    };
    const auto values = decoded([&](sd_bus_message* m) {
        int error = sd_bus_message_append_basic(m, 's', "org.mpris.MediaPlayer2.Player");
        return error < 0 ? error : appendValue(m, metadata);
    });
    ASSERT_TRUE(values);
    ASSERT_EQ(values->size(), 2u);
    EXPECT_EQ(textOf((*values)[0]), "org.mpris.MediaPlayer2.Player");
    const Dict dict = dictOf((*values)[1]);
    EXPECT_EQ(textOf(dict.at("mpris:trackid")), "/org/videolan/vlc/playlist/4");
    EXPECT_EQ(textsOf(dict.at("xesam:artist")),
              (std::vector<std::string>{"Ærø", "The Lantern Choir"}));
    EXPECT_EQ(integerOf(dict.at("mpris:length")), -30000000);
    EXPECT_EQ(integerOf(dict.at("vlc:time")), 30);
    EXPECT_EQ(std::get<double>(dict.at("xesam:userRating").data), 0.5);
    EXPECT_EQ(std::get<bool>(dict.at("vlc:nowplaying").data), true);
    EXPECT_EQ(countValues((*values)[1]), countValues(metadata));
}

TEST(MprisBusDecode, EachBoundHolds) {
    struct Case {
        const char* what;
        std::function<int(sd_bus_message*)> fill;
        DecodeLimits limits;
        std::optional<std::size_t> values;  // how many are read; nothing: the message is refused
    };
    const auto nested = [](int depth) {
        return [depth](sd_bus_message* m) {
            Value value = "deep";
            for (int i = 0; i < depth; ++i) value = Value::Array{value};
            return appendValue(m, value);
        };
    };
    const Case cases[] = {
        // Each level of av is an array and a variant: two levels of depth.
        {"as deep as allowed", nested(2), {4, 100, 1 << 20}, 3},
        {"deeper", nested(3), {4, 100, 1 << 20}, std::nullopt},
        {"an array past its bound keeps its first elements",
         arraysOfEmptyArrays(1, 50),
         {64, 10, 1 << 20},
         12},
        {"a message whose values stay within the whole bound",
         arraysOfEmptyArrays(700, 1000),
         {},
         700 * 1000 + 701},
        // Each array level within its bound, 4 MB on the bus, but more than 32 MiB read.
        {"a message past the whole bound", arraysOfEmptyArrays(1000, 1000), {}, std::nullopt},
        {"a text past the whole bound",
         [](sd_bus_message* m) {
             return sd_bus_message_append_basic(m, 's', std::string(5000, 'x').c_str());
         },
         {64, 100, 4096},
         std::nullopt},
    };
    for (const Case& each : cases) {
        SCOPED_TRACE(each.what);
        const auto values = decoded(each.fill, each.limits);
        ASSERT_EQ(values.has_value(), each.values.has_value());
        if (values) {
            EXPECT_EQ(countValues(Value(*values)) - 1, *each.values);
        }
    }
}

TEST(MprisBusDecode, AnErrorOrAnotherTypeReadsAsNothing) {
    const Message error{":1.4", "org.freedesktop.DBus.Error.UnknownObject", {"No such object"}};
    EXPECT_EQ(error.text(0), std::nullopt);
    EXPECT_EQ(error.argument(0), nullptr);
    const Message text{":1.4", "", {"No such object", Value::Array{}}};
    EXPECT_EQ(text.dict(0), std::nullopt) << "a text is no dictionary";
    EXPECT_TRUE(text.dict(1) && text.dict(1)->empty());
    EXPECT_EQ(text.text(2), std::nullopt);
}

}  // namespace
}  // namespace velmora::jukebox::mpris
