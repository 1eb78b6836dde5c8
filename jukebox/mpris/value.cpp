// SPDX-License-Identifier: MIT
#include "mpris/value.h"

#include <cmath>
#include <limits>

namespace velmora::jukebox::mpris {

std::optional<std::string> textOf(const Value& value) {
    if (const auto* text = std::get_if<std::string>(&value.data)) return *text;
    return std::nullopt;
}

std::vector<std::string> textsOf(const Value& value) {
    std::vector<std::string> texts;
    if (const auto* text = std::get_if<std::string>(&value.data)) texts.push_back(*text);
    if (const auto* array = std::get_if<Value::Array>(&value.data))
        for (const Value& element : *array)
            if (const auto* text = std::get_if<std::string>(&element.data)) texts.push_back(*text);
    return texts;
}

std::optional<std::int64_t> integerOf(const Value& value) {
    if (const auto* number = std::get_if<std::int64_t>(&value.data)) return *number;
    if (const auto* number = std::get_if<std::uint64_t>(&value.data)) {
        if (*number > std::uint64_t(std::numeric_limits<std::int64_t>::max())) return std::nullopt;
        return std::int64_t(*number);
    }
    if (const auto* number = std::get_if<double>(&value.data)) {
        // Beyond 2^62 a double is no length anyone means; the bound also keeps the cast defined.
        if (!std::isfinite(*number) || std::fabs(*number) > 4.6e18 ||
            std::trunc(*number) != *number)
            return std::nullopt;
        return std::int64_t(*number);
    }
    return std::nullopt;
}

Dict dictOf(const Value& value) {
    Dict dict;
    if (const auto* array = std::get_if<Value::Array>(&value.data))
        for (const Value& entry : *array) {
            const auto* pair = std::get_if<Value::Array>(&entry.data);
            if (!pair || pair->size() != 2) continue;
            if (auto key = textOf((*pair)[0])) dict[*key] = (*pair)[1];
        }
    return dict;
}

}  // namespace velmora::jukebox::mpris
