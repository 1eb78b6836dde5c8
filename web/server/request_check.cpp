// SPDX-License-Identifier: MIT
#include "server/request_check.h"

namespace velmora::web {

std::optional<Refusal> checkRequest(Method method, std::string_view target, std::size_t fields,
                                    std::size_t maxFields) {
    if (method == Method::Other) return Refusal{405, "The board is read-only: GET and HEAD only."};
    if (fields > maxFields)
        return Refusal{431,
                       "A request has at most " + std::to_string(maxFields) + " header fields."};
    if (!target.starts_with('/')) return Refusal{400, "No such address."};
    return std::nullopt;
}

std::string refusalText(unsigned status, std::string_view reason, std::string_view why) {
    std::string text = std::to_string(status);
    text.append(" ").append(reason).append(": ").append(why).append("\n");
    return text;
}

}  // namespace velmora::web
