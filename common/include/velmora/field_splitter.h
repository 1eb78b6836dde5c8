// SPDX-License-Identifier: MIT
// Cutting the jukebox's messages: whole characters off either end, then fields at the `","`
// separator. Texts are UTF-8; a character is a code point, so a cut never splits one.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "velmora/messages.h"

namespace velmora::link {

// The text without its first count characters; nullopt when it is shorter than that.
std::optional<std::string_view> dropFirst(std::string_view text, std::size_t count);

// The text without its last character; nullopt when it is empty.
std::optional<std::string_view> dropLast(std::string_view text);

// Hands out the fields of a text one at a time, each ending at the next `","`.
class FieldSplitter {
  public:
    static constexpr std::string_view kSeparator = messages::kSeparator;

    explicit FieldSplitter(std::string_view text) : rest_(text) {}

    // The text before the next separator, which is consumed; nullopt when none is left.
    std::optional<std::string_view> next();

    // What follows the last separator consumed.
    std::string_view rest() const { return rest_; }

  private:
    std::string_view rest_;
};

}  // namespace velmora::link
