// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <cerrno>
#include <chrono>
#include <functional>

#include "platform/qt/process_launch.h"

namespace velmora::qt {
namespace {

// Polls, for at most five seconds.
bool eventually(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        QThread::msleep(10);
    }
    return true;
}

QByteArray contentsOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class LaunchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(QDir(dir.path()).mkdir("saver folder"));
        // Records its arguments, waits for a go-ahead, then says it is done.
        script = dir.filePath("saver folder/rec;touch pwned");
        QFile file(script);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(
            "#!/bin/sh\n"
            "printf '%s\\n' \"$@\" > \"$0.args\"\n"
            "while [ ! -e \"$0.go\" ]; do sleep 0.01; done\n"
            "touch \"$0.done\"\n");
        file.close();
        ASSERT_TRUE(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        saved = QDir::currentPath();
        QDir::setCurrent(dir.path());  // where a shell would have made "pwned"
    }
    void TearDown() override { QDir::setCurrent(saved); }
    void goAhead() { QFile(script + ".go").open(QIODevice::WriteOnly); }

    QTemporaryDir dir;
    QString script;
    QString saved;
};

TEST_F(LaunchTest, RunsThatFileWithItsArgumentsAndNoShell) {
    const auto process = launchProcess(script.toStdString(), {"/S", "two words", "a;b $HOME"});
    ASSERT_TRUE(eventually([&] { return QFile::exists(script + ".args"); }));
    EXPECT_TRUE(process->running());
    EXPECT_TRUE(process->running());  // asking twice changes nothing

    goAhead();
    EXPECT_TRUE(eventually([&] { return !process->running(); }));
    EXPECT_FALSE(process->running());
    EXPECT_EQ(contentsOf(script + ".args"), "/S\ntwo words\na;b $HOME\n");
    EXPECT_FALSE(QFile::exists(dir.filePath("pwned")));
    errno = 0;
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);  // no child of ours left, zombie or not
    EXPECT_EQ(errno, ECHILD);
}

TEST_F(LaunchTest, TheProgramOutlivesItsProcessObject) {
    launchProcess(script.toStdString(), {"/S"}).reset();
    ASSERT_TRUE(eventually([&] { return QFile::exists(script + ".args"); }));
    goAhead();
    EXPECT_TRUE(eventually([&] { return QFile::exists(script + ".done"); }));
}

TEST_F(LaunchTest, WhatCannotBeStartedIsFileNotFound) {
    QFile text(dir.filePath("not executable.scr"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.close();
    for (const QString& program :
         {dir.filePath("missing.scr"), text.fileName(), dir.path(), QString()}) {
        SCOPED_TRACE(program.toStdString());
        try {
            launchProcess(program.toStdString(), {"/S"});
            ADD_FAILURE() << "started";
        } catch (const Failure& failure) {
            EXPECT_EQ(failure.code(), ErrorCode::FileNotFound);
        }
    }
}

}  // namespace
}  // namespace velmora::qt
