// SPDX-License-Identifier: MIT
// The MPRIS bridge's lenient reading of what players send: the input describes a tree of values
// (texts of any size, numbers of every kind, arrays of variants and dictionaries, any depth), which
// is read as a player's properties and metadata as it stands, and again after it went through a
// real D-Bus message and the bus's reading under its bounds.
//
// The bus gives back what was sent, or nothing when a bound is passed; every name read from it is
// valid UTF-8 within the link's bound.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <type_traits>
#include <variant>

#include "common/messages.h"
#include "mpris/bus.h"
#include "mpris/metadata.h"
#include "mpris/tests/bus_messages.h"
#include "velmora/link_protocol.h"

using namespace velmora::jukebox;
using namespace velmora::jukebox::mpris;

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

const char* const kKeys[] = {
    "xesam:title",  "xesam:artist",  "xesam:albumArtist", "xesam:album",    "xesam:url",
    "mpris:length", "mpris:trackid", "mpris:artUrl",      "PlaybackStatus", "Metadata",
    "Tracks",
};

class Input {
  public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool done() const { return at_ >= size_; }
    std::uint8_t byte() { return done() ? 0 : data_[at_++]; }
    template <class T>
    T raw() {
        T value{};
        std::uint8_t bytes[sizeof(T)] = {};
        for (auto& each : bytes) each = byte();
        std::memcpy(&value, bytes, sizeof(T));
        return value;
    }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

Value tree(Input& in, int depth) {
    const std::uint8_t op = in.byte();
    switch (op % 10) {
        case 0:
            return Value();
        case 1:
            return Value((op & 0x80) != 0);
        case 2:
            return Value(in.raw<std::int64_t>());
        case 3:
            return Value(in.raw<std::uint64_t>());
        case 4:
            return Value(in.raw<double>());
        case 5: {  // a text from the input
            std::string text;
            for (std::size_t length = in.byte(); length > 0 && !in.done(); --length)
                text += char(in.byte());
            return Value(text);
        }
        case 6: {  // a long text: one character up to 2 MiB
            const std::size_t length = std::size_t(in.byte()) << 13;
            return Value(std::string(length, char('a' + op % 26)));
        }
        case 8: {  // a property or metadata entry
            Value value = depth < 80 ? tree(in, depth + 1) : Value();
            return Value(Value::Array{kKeys[in.byte() % std::size(kKeys)], std::move(value)});
        }
        default: {
            Value::Array elements;
            for (std::size_t count = in.byte(); count > 0 && !in.done() && depth < 80; --count)
                elements.push_back(tree(in, depth + 1));
            return Value(std::move(elements));
        }
    }
}

// What the bus gives back for a value sent: nothing went as a byte 0.
bool same(const Value& sent, const Value& read) {
    if (std::holds_alternative<std::monostate>(sent.data)) return integerOf(read) == 0;
    if (sent.data.index() != read.data.index()) return false;
    if (const auto* number = std::get_if<double>(&sent.data)) {
        const double back = std::get<double>(read.data);
        return std::memcmp(number, &back, sizeof back) == 0;
    }
    if (const auto* array = std::get_if<Value::Array>(&sent.data)) {
        const auto& back = std::get<Value::Array>(read.data);
        if (array->size() != back.size()) return false;
        for (std::size_t i = 0; i < array->size(); ++i)
            if (!same((*array)[i], back[i])) return false;
        return true;
    }
    return std::visit(
        [&](const auto& held) {
            using Held = std::decay_t<decltype(held)>;
            if constexpr (std::is_same_v<Held, Value::Array>)
                return false;  // compared above
            else
                return held == std::get<Held>(read.data);
        },
        sent.data);
}

// A text with a NUL in it cannot go on the bus.
bool sendable(const Value& value) {
    if (const auto* text = std::get_if<std::string>(&value.data))
        return text->find('\0') == std::string::npos;
    if (const auto* array = std::get_if<Value::Array>(&value.data))
        for (const Value& element : *array)
            if (!sendable(element)) return false;
    return true;
}

bool validName(const std::string& name) {
    return velmora::link::isValidUtf8(name) && name.size() <= kMaxTextFieldBytes;
}

// Everything the bridge reads of a value: its texts, its number, and it as properties whose
// metadata becomes a track.
void readAsAPlayerWould(const Value& value) {
    (void)textOf(value);
    (void)textsOf(value);
    (void)integerOf(value);
    const Dict properties = dictOf(value);
    for (const Dict& metadata :
         {properties, dictOf(properties.count("Metadata") ? properties.at("Metadata") : Value())}) {
        const PlayerTrack track = trackFromMetadata(metadata);
        check(validName(track.track.title) && validName(track.track.artist) &&
              validName(track.track.album));
        check(track.track.seconds >= 1);
        (void)track.key();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    const Value sent = tree(in, 0);
    readAsAPlayerWould(sent);

    static testing::BusMessages messages;
    sd_bus_message* message = messages.signal();
    // Texts that are no valid UTF-8, or hold a NUL, cannot be sent: only the reading above.
    if (sendable(sent) && testing::appendValue(message, sent) >= 0 &&
        testing::BusMessages::seal(message)) {
        if (const auto read = decodeArguments(message)) {
            check(read->size() == 1 && same(sent, read->front()));
            const Message reply{":1.1", "", *read};
            if (const auto properties = reply.dict(0)) (void)trackFromMetadata(*properties);
            readAsAPlayerWould(read->front());
        }
        const DecodeLimits tight{6, 16, 4096};
        if (const auto read = decodeArguments(message, tight)) readAsAPlayerWould(Value(*read));
    }
    sd_bus_message_unref(message);
    return 0;
}
