// SPDX-License-Identifier: MIT
// A D-Bus value as a player sent it, read without trusting its declared types: players send a
// string where an array belongs, an int32 where an int64 does. Dictionaries become arrays of
// two-element arrays; a variant is its content.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace velmora::jukebox::mpris {

struct Value {
    using Array = std::vector<Value>;
    std::variant<std::monostate, bool, std::int64_t, std::uint64_t, double, std::string, Array>
        data;

    Value() = default;
    Value(bool v) : data(v) {}
    Value(std::int64_t v) : data(v) {}
    Value(int v) : data(std::int64_t(v)) {}
    Value(std::uint64_t v) : data(v) {}
    Value(double v) : data(v) {}
    Value(std::string v) : data(std::move(v)) {}
    Value(const char* v) : data(std::string(v)) {}
    Value(Array v) : data(std::move(v)) {}
};

using Dict = std::map<std::string, Value>;

// A string (or object path); nothing for other types.
std::optional<std::string> textOf(const Value& value);
// A string, or the strings of an array (other elements skipped).
std::vector<std::string> textsOf(const Value& value);
// Any integer type, or a double that holds a whole number; nothing otherwise.
std::optional<std::int64_t> integerOf(const Value& value);
// An array of two-element arrays with a string key, as a dictionary (later keys win).
Dict dictOf(const Value& value);

}  // namespace velmora::jukebox::mpris
