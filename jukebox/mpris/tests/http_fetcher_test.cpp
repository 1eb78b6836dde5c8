// SPDX-License-Identifier: MIT
#include "mpris/http_fetcher.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <asio/io_context.hpp>

namespace velmora::jukebox::mpris {
namespace {

using namespace std::chrono_literals;

// Nothing answers on port 1 of loopback: a fetch there fails once curl has tried.
const std::string kNobody = "http://127.0.0.1:1/cover.jpg";

TEST(HttpFetcher, AFailureAlreadyToldRunsOnlyWhileNoCancelOrEndCameBetween) {
    enum class Then { Nothing, Cancel, End };
    const struct {
        Then then;
        const char* name;
        int told;
    } cases[] = {
        {Then::Nothing, "nothing", 1}, {Then::Cancel, "cancel()", 0}, {Then::End, "the end", 0}};
    for (const auto& c : cases) {
        asio::io_context io;
        auto fetcher = std::make_unique<HttpFetcher>(io, 1024, 5s, nullptr);
        int told = 0;
        // Longer than curl takes a URL: refused at once, the failure told from the loop.
        fetcher->get("http://127.0.0.1/" + std::string(9'000'000, 'a'),
                     [&](std::optional<std::string> body) { told += body ? 100 : 1; });
        if (c.then == Then::Cancel) fetcher->cancel();
        if (c.then == Then::End) fetcher.reset();
        io.run();
        EXPECT_EQ(told, c.told) << "after " << c.name;
    }
}

TEST(HttpFetcher, ALibraryOlderThanItsOptionsIsNamedOnceAndFetchesNothing) {
    const struct {
        unsigned version;
        const char* said;  // nullptr: nothing
    } cases[] = {
        {0x074A00, "libcurl 7.74.0 is older than 7.85.0"},  // Debian 11's
        {0x075400, "libcurl 7.84.0 is older than 7.85.0"},
        {HttpFetcher::kOldestCurl, nullptr},
        {0x075801, nullptr},  // Debian 12's
    };
    for (const auto& c : cases) {
        asio::io_context io;
        std::vector<std::string> log;
        HttpFetcher fetcher(
            io, 1024, 5s, [&](const std::string& line) { log.push_back(line); }, c.version);
        int failed = 0;
        for (int i = 0; i < 2; ++i)
            fetcher.get(kNobody, [&](std::optional<std::string> body) { failed += !body; });
        io.run();
        EXPECT_EQ(failed, 2) << std::hex << c.version;
        if (c.said) {
            ASSERT_EQ(log.size(), 1u) << std::hex << c.version;
            EXPECT_NE(log.front().find(c.said), std::string::npos) << log.front();
        } else {
            EXPECT_TRUE(log.empty()) << log.front();
        }
    }
}

}  // namespace
}  // namespace velmora::jukebox::mpris
