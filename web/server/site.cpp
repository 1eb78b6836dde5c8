// SPDX-License-Identifier: MIT
#include "server/site.h"

#include <algorithm>

#include "server/page_files.h"

namespace velmora::web {
namespace {

constexpr std::string_view kCoverPrefix = "/cover/";

std::string_view mediaTypeOf(std::string_view name) {
    if (name.ends_with(".html")) return "text/html; charset=utf-8";
    if (name.ends_with(".css")) return "text/css; charset=utf-8";
    return "text/javascript; charset=utf-8";
}

bool isCoverName(std::string_view name) {
    return name.size() == CoverShelf::kNameLength &&
           std::all_of(name.begin(), name.end(),
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

Reply notFound() {
    return Reply{Status::NotFound, "text/plain; charset=utf-8", "Not found\n", nullptr, "no-store"};
}

}  // namespace

std::string_view pathOf(std::string_view target) {
    return target.substr(0, target.find_first_of("?#"));
}

Reply Site::answer(std::string_view target) const {
    std::string_view path = pathOf(target);
    if (path.starts_with(kCoverPrefix)) {
        const std::string_view name = path.substr(kCoverPrefix.size());
        if (!isCoverName(name)) return notFound();
        std::shared_ptr<const Cover> cover = covers_.find(name);
        if (!cover) return notFound();
        // A name is never used for another picture: the browser may keep it.
        return Reply{Status::Ok, cover->mediaType(), cover->bytes(), cover,
                     "private, max-age=86400, immutable"};
    }
    if (path == "/") path = "/index.html";
    for (const PageFile& file : pageFiles())
        if (path.size() == file.name.size() + 1 && path.substr(1) == file.name)
            return Reply{Status::Ok, mediaTypeOf(file.name), file.bytes, nullptr, "no-cache"};
    return notFound();
}

}  // namespace velmora::web
