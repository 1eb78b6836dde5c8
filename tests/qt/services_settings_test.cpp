// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "platform/qt/qt_settings.h"

namespace velmora::qt {
namespace {

constexpr char kApp[] = "Velmora2000";

QByteArray contentsOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void overwrite(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

class SettingsStoreTest : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    QString folder = dir.path() + "/velmora2000";
    QtSettingsStore store{folder};
};

TEST_F(SettingsStoreTest, TrickyTextsComeBackExactly) {
    const std::vector<std::string> texts = {
        "",
        " leading space",
        "trailing space ",
        "   ",
        "key=value",
        "semi;colon",
        ";starts with a semicolon",
        "#starts with a hash",
        "\"quoted\"",
        "'single'",
        "back\\slash",
        "C:\\Program Files\\Savers\\Ocean & Sky.scr",
        "/home/u/Music/Simon & Garfunkel/cover [1].jpg",
        "Grüße, 日本語, ёж",
        "a,b",
        "a, b",
        "@Variant(\\0\\0\\0\\x7f)",
        "@@",
        "tab\there",
        "line\nbreak\r\n",
        "\\x41\\n",
        "[Default_color]",
        "-2147483648",
        std::string("nul\0inside", 10),
        "\xff\xfe not UTF-8 \xc3",
    };
    for (std::size_t i = 0; i < texts.size(); ++i)
        store.write(kApp, "Default_saver", "Key" + std::to_string(i), texts[i]);

    QtSettingsStore later(folder);  // as the next run would see them
    for (std::size_t i = 0; i < texts.size(); ++i) {
        SCOPED_TRACE("text " + std::to_string(i));
        EXPECT_EQ(later.read(kApp, "Default_saver", "Key" + std::to_string(i), "absent"), texts[i]);
        EXPECT_EQ(store.read(kApp, "Default_saver", "Key" + std::to_string(i), "absent"), texts[i]);
    }
}

TEST_F(SettingsStoreTest, OneIniFilePerApplicationWithSectionsAndKeys) {
    store.write(kApp, "Default_color", "Time", "255");
    store.write(kApp, "Default_saver", "Name", "Ocean.scr");
    store.write("Other", "Default_color", "Time", "0");

    EXPECT_EQ(store.fileOf(kApp), folder + "/Velmora2000.ini");
    const QByteArray ini = contentsOf(folder + "/Velmora2000.ini");
    EXPECT_TRUE(ini.contains("[Default_color]\nTime=255\n")) << ini.toStdString();
    EXPECT_TRUE(ini.contains("[Default_saver]\nName=Ocean.scr\n")) << ini.toStdString();
    EXPECT_EQ(store.read("Other", "Default_color", "Time", "x"), "0");
    EXPECT_EQ(store.read(kApp, "Default_color", "time", "x"), "x");  // keys are case-sensitive
}

TEST_F(SettingsStoreTest, AbsentEntriesGiveTheFallback) {
    EXPECT_EQ(store.read(kApp, "Default_color", "Time", "16777215"), "16777215");  // no file
    EXPECT_FALSE(QDir(folder).exists());  // reading creates nothing

    store.write(kApp, "Default_saver", "Name", "");
    EXPECT_EQ(store.read(kApp, "Default_saver", "Name", "fallback"), "");  // empty is a value
    EXPECT_EQ(store.read(kApp, "Default_saver", "FullPath", "fallback"), "fallback");
    EXPECT_EQ(store.read(kApp, "Default_picture", "Name", "fallback"), "fallback");
    EXPECT_EQ(store.read("Velmora2001", "Default_saver", "Name", "fallback"), "fallback");
}

TEST_F(SettingsStoreTest, EveryReadSeesWhatAnotherProcessJustWrote) {
    store.write(kApp, "Default_saver", "Name", "v000");
    const QString file = store.fileOf(kApp);
    // Same size, same clock tick: a cached parse of the file would miss these.
    for (int i = 1; i <= 200; ++i) {
        const QByteArray value = QByteArray::number(i).rightJustified(3, '0');
        overwrite(file, "[Default_saver]\nName=v" + value + "\n");
        ASSERT_EQ(store.read(kApp, "Default_saver", "Name", ""), ("v" + value).toStdString());
    }
}

TEST_F(SettingsStoreTest, AWriteKeepsWhatAnotherProcessWrote) {
    store.write(kApp, "Default_saver", "Name", "a.scr");
    ASSERT_EQ(store.read(kApp, "Default_saver", "Name", ""), "a.scr");
    overwrite(store.fileOf(kApp), "[Default_saver]\nName=b.scr\n[Default_picture]\nName=c.jpg\n");

    store.write(kApp, "Default_saver", "FullPath", "/s/b.scr");

    QtSettingsStore fresh(folder);
    EXPECT_EQ(fresh.read(kApp, "Default_saver", "Name", ""), "b.scr");
    EXPECT_EQ(fresh.read(kApp, "Default_picture", "Name", ""), "c.jpg");
    EXPECT_EQ(fresh.read(kApp, "Default_saver", "FullPath", ""), "/s/b.scr");
}

TEST_F(SettingsStoreTest, AFailedWriteIsReportedNotSwallowed) {
    overwrite(dir.path() + "/blocker", "a file where the folder should be");
    QtSettingsStore blocked(dir.path() + "/blocker");
    try {
        blocked.write(kApp, "Default_saver", "Name", "x");
        FAIL() << "the write claimed success";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.code(), ErrorCode::PermissionDenied);
    }
}

TEST_F(SettingsStoreTest, SomethingOtherThanASettingsFileReadsAsNoSettings) {
    ASSERT_TRUE(QDir().mkpath(folder));
    overwrite(folder + "/Huge.ini", "[S]\nK=v\n" + QByteArray(2 * 1024 * 1024, ';'));
    ASSERT_TRUE(QFile::link("/dev/zero", folder + "/Zero.ini"));
    for (const char* app : {"Huge", "Zero"}) {
        SCOPED_TRACE(app);
        EXPECT_EQ(store.read(app, "S", "K", "fallback"), "fallback");
        EXPECT_THROW(store.write(app, "S", "K", "x"), Failure);
    }
}

TEST_F(SettingsStoreTest, NamesThatWouldLeaveTheFolderAreRefused) {
    const std::vector<std::array<std::string, 3>> bad = {
        {"../escape", "Default_saver", "Name"}, {".hidden", "Default_saver", "Name"},
        {"", "Default_saver", "Name"},          {kApp, "Default/saver", "Name"},
        {kApp, "Default_saver", "Na\\me"},      {kApp, "", "Name"},
    };
    for (const auto& [application, section, key] : bad) {
        SCOPED_TRACE(application + " " + section + " " + key);
        EXPECT_THROW(store.write(application, section, key, "x"), Failure);
        EXPECT_THROW(store.read(application, section, key, "x"), Failure);
    }
    EXPECT_FALSE(QFile::exists(dir.path() + "/escape.ini"));
}

TEST(SettingsStoreFolder, IsUnderXdgConfigHome) {
    QTemporaryDir home;
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
    const QString file = QtSettingsStore().fileOf("Velmora2000");
    saved.isNull() ? qunsetenv("XDG_CONFIG_HOME") : qputenv("XDG_CONFIG_HOME", saved);
    EXPECT_EQ(file, home.path() + "/velmora2000/Velmora2000.ini");
}

}  // namespace
}  // namespace velmora::qt
