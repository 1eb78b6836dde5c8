// SPDX-License-Identifier: MIT
// A request to velmora-web, as it arrives: read by Beast's parser under the server's limits (in
// the pieces the bytes' first byte chooses), checked, and answered by the site. Whatever the
// bytes, only the page's own files are ever answered: with no picture on the board, no cover
// name is found, and no path reaches a file.
#include <boost/asio/buffer.hpp>
#include <boost/beast/http.hpp>
#include <cstdint>
#include <cstdlib>

#include "server/page_files.h"
#include "server/request_check.h"
#include "server/site.h"

namespace http = boost::beast::http;
using namespace velmora::web;

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

bool isPageFile(std::string_view body) {
    for (const PageFile& file : pageFiles())
        if (file.bytes.data() == body.data()) return true;
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    static boost::asio::io_context io;
    static CoverShelf covers(io);
    static Site site(covers);

    const std::size_t piece = std::max<std::size_t>(1, data[0]);
    std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    http::request_parser<http::empty_body> parser;
    parser.header_limit(8 * 1024);
    parser.body_limit(0);
    boost::beast::error_code error;
    std::string pending;
    while (!bytes.empty() && !parser.is_done()) {
        const std::size_t take = std::min(piece, bytes.size());
        pending.append(bytes.substr(0, take));
        bytes.remove_prefix(take);
        const std::size_t used = parser.put(boost::asio::buffer(pending), error);
        pending.erase(0, used);
        if (error == http::error::need_more) {
            error = {};
            continue;
        }
        if (error) return 0;
    }
    if (!parser.is_header_done()) return 0;

    const auto& request = parser.get();
    const Method method = request.method() == http::verb::get    ? Method::Get
                          : request.method() == http::verb::head ? Method::Head
                                                                 : Method::Other;
    const std::string_view target(request.target().data(), request.target().size());
    const auto refusal = checkRequest(method, target, 0, 64);
    if (refusal) {
        check(refusal->status >= 400 && refusal->status < 500 && !refusal->why.empty());
        return 0;
    }
    check(target.starts_with('/'));
    if (Site::isEvents(target)) return 0;
    const Reply reply = site.answer(target);
    check(reply.status == Status::NotFound || isPageFile(reply.body));
    check(reply.status != Status::Ok || !pathOf(target).starts_with("/cover/"));
    return 0;
}
