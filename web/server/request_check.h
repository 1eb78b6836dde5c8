// SPDX-License-Identifier: MIT
// What the server refuses of a request it has read: anything but GET and HEAD (the board is
// read-only), too many header fields, a target that is no path on this server.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace velmora::web {

enum class Method { Get, Head, Other };

struct Refusal {
    unsigned status;
    std::string why;  // one sentence for the person reading it
};

std::optional<Refusal> checkRequest(Method method, std::string_view target, std::size_t fields,
                                    std::size_t maxFields);

// The plain-text body of a refusal: "405 Method Not Allowed: The board is read-only: ...".
std::string refusalText(unsigned status, std::string_view reason, std::string_view why);

}  // namespace velmora::web
