// SPDX-License-Identifier: MIT
#include "options.h"

#include <gtest/gtest.h>

#include <vector>

#include "error_text.h"

namespace velmora::jukebox {
namespace {

Options parse(std::vector<std::string_view> args) {
    return parseOptions(args);
}

TEST(Options, ReadsEveryOptionInBothSpellings) {
    const Options demo = parse({"--demo"});
    EXPECT_TRUE(demo.demo);
    EXPECT_EQ(demo.host, "127.0.0.1");
    EXPECT_EQ(demo.port, 47321);
    EXPECT_EQ(demo.speed, 1.0);
    EXPECT_EQ(demo.transcript, "");

    const Options all = parse({"--playlist", "my discs.m3u", "--host=::1", "--port", "0",
                               "--speed=1000", "--transcript", "t=1.log"});
    EXPECT_FALSE(all.demo);
    EXPECT_EQ(all.playlist, "my discs.m3u");
    EXPECT_EQ(all.host, "::1");
    EXPECT_EQ(all.port, 0);
    EXPECT_EQ(all.speed, 1000.0);
    EXPECT_EQ(all.transcript, "t=1.log");

    // --mpd takes its address only when one follows.
    EXPECT_EQ(parse({"--mpd"}).mpd, "");
    EXPECT_EQ(parse({"--mpd", "--port", "1"}).mpd, "");
    EXPECT_EQ(parse({"--mpd", "pw@music.lan:6601"}).mpd, "pw@music.lan:6601");
    const Options mpd = parse(
        {"--mpd=[::1]:6600", "--cover-dir", "/srv/covers", "--cover-path-as=\\\\pc\\covers\\"});
    EXPECT_EQ(mpd.mpd, "[::1]:6600");
    EXPECT_EQ(mpd.coverDir, "/srv/covers");
    EXPECT_EQ(mpd.coverPathAs, "\\\\pc\\covers\\");
    EXPECT_EQ(parse({"--mpris", "--port", "1"}).mpris, "");
    EXPECT_EQ(parse({"--mpris", "vlc", "--cover-dir", "c"}).mpris, "vlc");

    EXPECT_TRUE(parse({"--help"}).help);
    EXPECT_TRUE(parse({"-h"}).help);
}

TEST(Options, MistakesAreExplained) {
    const std::pair<std::vector<std::string_view>, const char*> cases[] = {
        {{}, "choose --demo, --playlist FILE, --mpd [HOST[:PORT]] or --mpris"},
        {{"--demo", "--playlist", "a.m3u"}, "choose one of --demo, --playlist, --mpd and --mpris"},
        {{"--mpris", "--mpd"}, "choose one of"},
        {{"--mpd", "--demo"}, "choose one of"},
        {{"--demo", "--cover-dir", "x"}, "--cover-dir and --cover-path-as go with --mpd"},
        {{"--mpd", "--cover-path-as", "x"}, "--cover-path-as needs --cover-dir"},
        {{"--demo", "--port", "65536"}, "--port needs a number from 0 to 65535, not '65536'"},
        {{"--demo", "--port", "-1"}, "--port needs a number"},
        {{"--demo", "--port", "80x"}, "--port needs a number"},
        {{"--demo", "--port"}, "--port needs a value"},
        {{"--demo", "--max-clients", "0"}, "--max-clients needs a number from 1 to 4096"},
        {{"--demo", "--speed", "0"}, "--speed needs a number from 0.01 to 1000000"},
        {{"--demo", "--speed", "nan"}, "--speed needs a number"},
        {{"--demo", "--speed=1e7"}, "--speed needs a number"},
        {{"--demo=yes"}, "--demo takes no value"},
        {{"--demo", "--host="}, "--host needs a value"},
        {{"--demo", "--colour", "red"}, "unknown option '--colour'"},
        {{"demo"}, "unknown option 'demo'"},
    };
    for (const auto& [args, message] : cases) {
        const std::string error = testing::errorText<UsageError>([&args = args] { parse(args); });
        EXPECT_NE(error.find(message), std::string::npos) << error;
    }
}

}  // namespace
}  // namespace velmora::jukebox
