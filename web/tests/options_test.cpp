// SPDX-License-Identifier: MIT
// velmora-web's command line, and the jukebox's address it puts in place of the stored one.
#include "options.h"

#include <gtest/gtest.h>

#include <map>

namespace velmora::web {
namespace {

Options parse(std::initializer_list<std::string_view> args) {
    const std::vector<std::string_view> list(args);
    return parseOptions(list);
}

TEST(WebOptions, AddressesAndTheirDefaults) {
    const Options none = parse({});
    EXPECT_EQ(none.listenHost, "127.0.0.1");  // loopback unless told
    EXPECT_FALSE(none.jukebox);

    const struct {
        std::string_view text;
        std::string host, port;
    } cases[] = {
        {"jukebox.local", "jukebox.local", "47321"},
        {"10.0.0.2:5000", "10.0.0.2", "5000"},
        {"[::1]", "::1", "47321"},
        {"[fe80::1]:80", "fe80::1", "80"},
    };
    for (const auto& c : cases) {
        const JukeboxAddress address = splitAddress(c.text, "47321");
        EXPECT_EQ(address.host, c.host) << c.text;
        EXPECT_EQ(address.port, c.port) << c.text;
    }
    const Options all =
        parse({"--listen=0.0.0.0:8080", "--jukebox", "box:47000", "--max-pages", "5"});
    EXPECT_EQ(all.listenHost, "0.0.0.0");
    EXPECT_EQ(all.listenPort, "8080");
    EXPECT_EQ(all.jukebox->host, "box");
    EXPECT_EQ(all.jukebox->port, "47000");
    EXPECT_EQ(all.maxPages, 5u);
}

TEST(WebOptions, WhatIsRefused) {
    const std::vector<std::vector<std::string_view>> refused = {
        {"--listen", "8080"},    {"--listen", "host:"},   {"--listen", "[::1]"},
        {"--listen", "h:0"},     {"--listen", "h:65536"}, {"--jukebox", ":80"},
        {"--jukebox", "::1"},    {"--jukebox", "[::1"},   {"--jukebox", "h:port"},
        {"--jukebox"},           {"--max-pages", "0"},    {"--max-pages", "-1"},
        {"--max-pages", "many"}, {"--post-anything"},
    };
    for (const auto& args : refused)
        EXPECT_THROW(parseOptions(args), UsageError) << args[0] << " " << args.back();
}

struct Stored : platform::SettingsStore {
    std::map<std::string, std::string> values;
    std::string read(const std::string& a, const std::string& s, const std::string& k,
                     const std::string& fallback) override {
        const auto found = values.find(a + "/" + s + "/" + k);
        return found == values.end() ? fallback : found->second;
    }
    void write(const std::string& a, const std::string& s, const std::string& k,
               const std::string& v) override {
        values[a + "/" + s + "/" + k] = v;
    }
};

TEST(WebOptions, TheGivenJukeboxTakesThePlaceOfTheStoredOneAndNothingElse) {
    Stored stored;
    stored.values = {{"Slinkx/Service/Host", "stored.host"},
                     {"Slinkx/Service/Port", "1234"},
                     {"Velmora2000/Default_color/Title", "255"}};
    AddressedSettings given(stored, JukeboxAddress{"given.host", "4321"});
    EXPECT_EQ(given.read("Slinkx", "Service", "Host", ""), "given.host");
    EXPECT_EQ(given.read("Slinkx", "Service", "Port", ""), "4321");
    EXPECT_EQ(given.read("Velmora2000", "Default_color", "Title", ""), "255");
    given.write("Velmora2000", "Default_color", "Title", "0");  // the web board writes nothing
    EXPECT_EQ(stored.values["Velmora2000/Default_color/Title"], "255");

    AddressedSettings asStored(stored, std::nullopt);
    EXPECT_EQ(asStored.read("Slinkx", "Service", "Host", ""), "stored.host");
}

}  // namespace
}  // namespace velmora::web
