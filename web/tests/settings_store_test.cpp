// SPDX-License-Identifier: MIT
// velmora-web's reader of the board's settings beside the board's own Qt store: whatever the board
// wrote, or a hand-edited file holds, both must read the same.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include "backend/ini_settings_store.h"
#include "platform/qt/qt_settings.h"

namespace velmora::web {
namespace {

constexpr char kApp[] = "Velmora2000";

void overwrite(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

class SettingsReader : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    std::string folder = dir.path().toStdString() + "/velmora2000";
    qt::QtSettingsStore board{QString::fromStdString(folder)};
    IniSettingsStore web{folder};

    void SetUp() override { std::filesystem::create_directories(folder); }
    std::string file() const { return folder + "/" + kApp + ".ini"; }

    // The same look-up through both stores: the board's answer is the one to give.
    void expectSameRead(const std::string& section, const std::string& key) {
        const std::string expected = board.read(kApp, section, key, "<absent>");
        EXPECT_EQ(web.read(kApp, section, key, "<absent>"), expected) << section << "/" << key;
    }
};

TEST_F(SettingsReader, ReadsWhatTheBoardWrote) {
    const std::vector<std::string> values = {
        "",
        " ",
        "  both  ",
        "\ttab",
        "plain",
        "16777215",
        "-1",
        "\"quoted\"",
        "\"",
        "'",
        "\\",
        "back\\slash\\",
        "C:\\Savers\\Ocean & Sky.scr",
        "a=b",
        "semi;colon",
        ";lead",
        "#hash",
        "a,b",
        "a, b",
        ", ",
        ",",
        "@",
        "@@",
        "@x",
        "@ByteArray(x)",
        "@Variant(\\0)",
        "@Invalid()",
        "line\nbreak\r\n",
        "\a\b\f\v",
        std::string("nul\0inside", 10),
        std::string("\0"
                    "1",
                    2),
        "\x01\x1f\x7f",
        "Grüße, 日本語, ёж",
        "😀 emoji",
        "\xEF\xBB\xBF"
        "after a BOM",
        "\xff\xfe not UTF-8 \xc3",
        "\x80",
        "caf\xe9 1",
        "[Section]",
        "k=v\n[S]\nk=w",
        "%41%U0041",
        "trailing\\",
        std::string(5000, 'x'),
    };
    const std::vector<std::pair<std::string, std::string>> names = {
        {"Default_saver", "Name"},
        {"Default_color", "Time"},
        {"General", "Key"},
        {"%General", "Key"},
        {"Sec tion", "Key with space"},
        {"Größe", "日本"},
        {"a=b;c", "#k,\"q\"@"},
        {"[x]", "%41"},
    };
    for (std::size_t i = 0; i < values.size(); ++i) {
        const auto& [section, key] = names[i % names.size()];
        board.write(kApp, section, key + std::to_string(i), values[i]);
    }
    for (std::size_t i = 0; i < values.size(); ++i) {
        const auto& [section, key] = names[i % names.size()];
        SCOPED_TRACE("value " + std::to_string(i));
        expectSameRead(section, key + std::to_string(i));
        // Every text comes back as it was, but for QSettings' own quirk: it drops a leading BOM.
        const bool bom = values[i].starts_with("\xEF\xBB\xBF");
        EXPECT_EQ(web.read(kApp, section, key + std::to_string(i), "<absent>"),
                  bom ? values[i].substr(3) : values[i]);
    }
}

TEST_F(SettingsReader, ReadsHandEditedFilesAsTheBoardDoes) {
    const struct {
        const char* why;
        std::string ini;
        std::string section, key, expected;
    } cases[] = {
        {"comments", "; about\n[S]\n;K=no\nK=yes ; not this\n", "S", "K", "yes"},
        {"CRLF lines", "[S]\r\nK=v\r\nL=w\r\n", "S", "L", "w"},
        {"an unquoted list", "[S]\nK=a,  b ,c\n", "S", "K", "a, b, c"},
        {"a quoted comma", "[S]\nK=\"a, b\"\n", "S", "K", "a, b"},
        {"an item with one @", "[S]\nK=a, @b\n", "S", "K", ""},
        {"items with @@", "[S]\nK=@@a, b\n", "S", "K", "@a, b"},
        {"blanks around", "[S]\n  K \t=  v w \t\n", "S", "K", "v w"},
        {"escapes", "[S]\nK=\\x41\\101\\0x\\q\\n\n", "S", "K", std::string("AA\0x\n", 5)},
        {"a continued line", "[S]\nK=a\\\nb\n", "S", "K", "ab"},
        {"a quoted newline", "[S]\nK=\"a\nb\"\n", "S", "K", "a\nb"},
        {"a byte array", "[S]\nK=@ByteArray(\\xff\\0)\n", "S", "K", std::string("\xff\0", 2)},
        {"a rectangle", "[S]\nK=@Rect(1 2 3 4)\n", "S", "K", ""},
        {"a file's BOM", "\xEF\xBB\xBF[S]\nK=v\n", "S", "K", "v"},
        {"UTF-8 broken by an escape", "[S]\nK=\xe6\x97\\0=x\n", "S", "K",
         std::string("\0\xEF\xBF\xBDx", 5)},
        {"a name's BOM", "[\xEF\xBB\xBFS]\n\xEF\xBB\xBFK=v\n", "S", "K", "v"},
        {"a section twice", "[S]\nK=1\n[T]\nK=2\n[S]\nL=3\n", "S", "K", "1"},
        {"the later of two", "[S]\nK=1\nK=2\n", "S", "K", "2"},
        {"keys before any section", "K=v\n[S]\n", "General", "K", "<absent>"},
        {"%General", "[%General]\nK=v\n", "General", "K", "v"},
        {"escaped names", "[S%20T]\n%4B%U00e9=v\n", "S T", "Ké", "v"},
        {"a key's backslash is a group", "[S]\nA\\K=v\n", "S", "A", "<absent>"},
        {"a header left open", "[S\nK=v\n", "S", "K", "v"},
        {"bad UTF-8",
         "[S]\nK=a\xff"
         "b\xe6\x97\n",
         "S", "K",
         "a\xef\xbf\xbd"
         "b"},
        {"UTF-8 split by an escape", "[S]\nK=\xe6\\n\x97\xa5\n", "S", "K", "\n\xe6\x97\xa5"},
        {"case matters", "[S]\nk=v\n", "S", "K", "<absent>"},
        {"a line with no =", "[S]\nK\nL=v\n", "S", "L", "v"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        overwrite(file(), c.ini);
        expectSameRead(c.section, c.key);
        EXPECT_EQ(web.read(kApp, c.section, c.key, "<absent>"), c.expected);
    }
}

// Files made of the pieces QSettings treats specially, in random order: both stores must agree on
// every entry they could hold.
TEST_F(SettingsReader, AgreesWithTheBoardOnRandomFiles) {
    // clang-format off
    const std::vector<std::string> pieces = {
        "[S]", "[T]", "[General]", "[%General]", "[", "]", "K", "L", "=", "=", " ", "\t", "\"",
        "\\", ",", ";", "@", "@@", ")", "@ByteArray(", "@String(", "@Invalid()", "@Rect(1 2 3 4)",
        "\n", "\n", "\r\n", "\r", "\\x4", "\\x", "\\0", "\\1", "\\n", "\\\n", "\\xd83d", "\\xde00",
        "é", "\xe6\x97", "\xa5", "\xff", "\xC3", "\xA9", "%", "%4B", "%U", "\xEF\xBB\xBF", "v",
    };
    // clang-format on
    // The board's store warns of every empty key it meets; the comparison says what matters.
    const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, auto&, auto&) {});
    std::mt19937 random(23);
    std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1), length(1, 40);
    for (int round = 0; round < 400; ++round) {
        std::string ini;
        for (std::size_t n = length(random); n > 0; --n) ini += pieces[pick(random)];
        overwrite(file(), ini);
        SCOPED_TRACE(ini);
        for (const char* section : {"S", "T", "General"})
            for (const char* key : {"K", "L", "KK", "KL"}) expectSameRead(section, key);
        if (HasFailure()) break;
    }
    qInstallMessageHandler(previous);
}

TEST_F(SettingsReader, SeesEveryChangeOfTheBytes) {
    // Same size, same clock tick: a parse kept by size and time would miss these.
    for (int i = 100; i < 300; ++i) {
        overwrite(file(), "[S]\nK=v" + std::to_string(i) + "\n");
        ASSERT_EQ(web.read(kApp, "S", "K", ""), "v" + std::to_string(i));
    }
    std::filesystem::remove(file());
    EXPECT_EQ(web.read(kApp, "S", "K", "gone"), "gone");
}

TEST_F(SettingsReader, SomethingOtherThanASettingsFileReadsAsNoSettings) {
    overwrite(folder + "/Huge.ini", "[S]\nK=v\n" + std::string(1024 * 1024, ';'));
    overwrite(folder + "/Largest.ini", "[S]\nK=v\n" + std::string(1024 * 1024 - 8, ';'));
    std::filesystem::create_directory(folder + "/Folder.ini");
    std::filesystem::create_symlink("/dev/zero", folder + "/Zero.ini");
    ASSERT_EQ(::mkfifo((folder + "/Pipe.ini").c_str(), 0600), 0);  // a read would wait forever
    for (const char* app : {"Huge", "Folder", "Zero", "Pipe", "Absent"}) {
        SCOPED_TRACE(app);
        EXPECT_EQ(web.read(app, "S", "K", "fallback"), "fallback");
    }
    EXPECT_EQ(web.read("Largest", "S", "K", "fallback"), "v");  // exactly 1 MiB is still read
}

TEST_F(SettingsReader, ChangesNothing) {
    try {
        web.write(kApp, "S", "K", "v");
        FAIL() << "the write claimed success";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.code(), ErrorCode::PermissionDenied);
    }
    EXPECT_FALSE(std::filesystem::exists(file()));
}

TEST_F(SettingsReader, RefusesNamesThatWouldLeaveTheFolder) {
    overwrite(dir.path().toStdString() + "/escape.ini", "[S]\nK=v\n");
    const std::vector<std::array<std::string, 3>> bad = {
        {"../escape", "S", "K"}, {".hidden", "S", "K"}, {"", "S", "K"},
        {kApp, "S/T", "K"},      {kApp, "S", "K\\L"},   {kApp, "", "K"},
    };
    for (const auto& [application, section, key] : bad) {
        SCOPED_TRACE(application + " " + section + " " + key);
        EXPECT_THROW(web.read(application, section, key, "x"), Failure);
    }
}

TEST(SettingsReaderFolder, IsTheBoardsFolder) {
    QTemporaryDir config;
    const QByteArray savedConfig = qgetenv("XDG_CONFIG_HOME"), savedHome = qgetenv("HOME");
    const QByteArray configPath = config.path().toUtf8();
    const std::vector<std::pair<const char*, const char*>> environments = {
        {"XDG_CONFIG_HOME", configPath.constData()},
        {"XDG_CONFIG_HOME", ""},
        {"HOME", "/home/someone"},
        {"HOME", ""},
    };
    for (const auto& [name, value] : environments) {
        qputenv(name, value);
        EXPECT_EQ(IniSettingsStore().fileOf(kApp), qt::QtSettingsStore().fileOf(kApp).toStdString())
            << name << "=" << value;
    }
    savedConfig.isNull() ? qunsetenv("XDG_CONFIG_HOME") : qputenv("XDG_CONFIG_HOME", savedConfig);
    qputenv("HOME", savedHome);
}

}  // namespace
}  // namespace velmora::web
