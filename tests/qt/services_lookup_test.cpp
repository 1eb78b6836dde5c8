// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "platform/qt/file_lookup.h"

namespace velmora::qt {
namespace {

TEST(WildcardMatch, StarAndQuestionMarkOnly) {
    struct Case {
        const char* pattern;
        const char* name;
        bool matches;
    };
    const Case cases[] = {
        {"*", "anything.scr", true},
        {"*", "", true},
        {"*.scr", "Ocean.scr", true},
        {"*.scr", "Ocean.scr.bak", false},
        {"*.scr", "Ocean.SCR", false},  // case-sensitive
        {"a*b*c", "a-b-b-c", true},
        {"a*b*c", "a-c-b", false},
        {"*a", "aaa", true},
        {"?", "", false},
        {"???.scr", "abc.scr", true},
        {"???.scr", "ab.scr", false},
        {"?.scr", "Ü.scr", true},      // "?" is one character, not one byte
        {"[ab].scr", "a.scr", false},  // brackets are plain characters
        {"[ab].scr", "[ab].scr", true},
        {"exact.scr", "exact.scr", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(wildcardMatch(c.pattern, c.name), c.matches) << c.pattern << " vs " << c.name;
}

class FileLookupTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* name : {"b.scr", "c.scr", "Mixed.SCR", "With Space.scr", ".hidden.scr",
                                 "Ünïcode.scr", "plain"})
            touch(name);
        QDir(dir.path()).mkdir("folder.scr");
        QDir(dir.path()).mkdir("sub dir");
        touch("sub dir/in folder.scr");
        QFile::link(dir.filePath("c.scr"), dir.filePath("link.scr"));
        QFile::link(dir.filePath("gone"), dir.filePath("broken.scr"));
        ASSERT_EQ(mkfifo(dir.filePath("pipe.fifo").toUtf8().constData(), 0600), 0);
    }
    void touch(const char* name) {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    std::string in(const std::string& rest) { return dir.path().toStdString() + "/" + rest; }

    QTemporaryDir dir;
};

TEST_F(FileLookupTest, FindsTheFirstOrdinaryFileThePathNames) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {in("b.scr"), "b.scr"},
        {in("With Space.scr"), "With Space.scr"},
        {in("sub dir/in folder.scr"), "in folder.scr"},
        {in("Ünïcode.scr"), "Ünïcode.scr"},
        {in("*.scr"), "With Space.scr"},  // sorted byte-wise: upper case before lower case
        {in("?.scr"), "b.scr"},
        {in("c*"), "c.scr"},
        {in("*.SCR"), "Mixed.SCR"},
        {in("?nïcode.scr"), "Ünïcode.scr"},
        {in("link.scr"), "link.scr"},  // a link to a file, named as the link
        {in("mixed.scr"), ""},         // case differs
        {in("B.scr"), ""},
        {in(".hidden.scr"), ""},  // hidden
        {in(".hid*"), ""},
        {in("folder.scr"), ""},  // a folder
        {in("folder*"), ""},
        {in("broken.scr"), ""},  // a link to nothing
        {in("pipe.fifo"), ""},   // not an ordinary file
        {in("*.fifo"), ""},
        {in("missing.scr"), ""},
        {in("missing folder/b.scr"), ""},
        {in("missing folder/*"), ""},
        {in("b.scr/"), ""},
        {in(""), ""},
        {"", ""},
    };
    for (const auto& [path, found] : cases) EXPECT_EQ(findFirstFile(path), found) << path;
}

TEST_F(FileLookupTest, AWildcardInTheFolderPartIsNoWildcard) {
    EXPECT_EQ(findFirstFile(in("sub*/in folder.scr")), "");
}

}  // namespace
}  // namespace velmora::qt
