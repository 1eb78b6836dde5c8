// SPDX-License-Identifier: MIT
// What each address of velmora-web answers: the page, its script and style, the stream of the
// board's events, and the covers under their opaque names. Nothing else: no request reaches a
// file by its path, and none changes anything.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "backend/cover_shelf.h"

namespace velmora::web {

enum class Status : unsigned { Ok = 200, NotFound = 404 };

struct Reply {
    Status status = Status::Ok;
    std::string_view mediaType;
    std::string_view body;
    std::shared_ptr<const void> keep;  // whatever body points into, when it is not built in
    std::string_view cacheControl;
};

// The security headers every answer carries: the page's own scripts, styles and pictures only.
inline constexpr std::string_view kContentSecurityPolicy =
    "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; "
    "connect-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'";

inline constexpr std::string_view kEventsPath = "/events";

// The path of a request target: without its query, which only the page reads.
std::string_view pathOf(std::string_view target);

class Site {
  public:
    explicit Site(const CoverShelf& covers) : covers_(covers) {}

    // Whether the target is the stream of events (served by the server itself).
    static bool isEvents(std::string_view target) { return pathOf(target) == kEventsPath; }

    Reply answer(std::string_view target) const;

  private:
    const CoverShelf& covers_;
};

}  // namespace velmora::web
