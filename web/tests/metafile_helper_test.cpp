// SPDX-License-Identifier: MIT
// Metafiles on the page: drawn into a PNG by the board's real helper, and every way a helper can
// fail (an error, a hang, too much output, a crash) is no picture rather than a stuck board.
#include "backend/metafile_helper.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <boost/asio/io_context.hpp>
#include <filesystem>
#include <fstream>

#include "qt/picture_bytes.h"
#include "seccomp_probe.h"

namespace velmora::web {
namespace {

namespace fs = std::filesystem;

// This process's children, as the kernel lists them.
std::vector<pid_t> children() {
    std::ifstream list("/proc/self/task/" + std::to_string(::gettid()) + "/children");
    std::vector<pid_t> pids;
    for (pid_t pid; list >> pid;) pids.push_back(pid);
    return pids;
}

class MetafileTest : public ::testing::Test {
  protected:
    MetafileTest() {
        folder = fs::temp_directory_path() /
                 ("velmora-web-metafile-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(folder);
        const QByteArray wmf = qt::testing::wmfRedBlue();
        wmfPath = write("cover.wmf", std::string(wmf.constData(), std::size_t(wmf.size())));
    }
    ~MetafileTest() override {
        // Every helper killed on the way is reaped by the loop: none is left behind.
        while (!children().empty()) io.run_for(std::chrono::milliseconds(5));
        fs::remove_all(folder);
    }

    std::string write(const std::string& name, const std::string& bytes, bool program = false) {
        const fs::path path = folder / name;
        std::ofstream(path, std::ios::binary) << bytes;
        if (program) fs::permissions(path, fs::perms::owner_all);
        return path.string();
    }

    // The board asks for the picture and the loop runs until the answer.
    platform::PictureResult load(CoverShelf& covers, const std::string& path) {
        std::optional<platform::PictureResult> result;
        auto request = covers.load(path, [&](platform::PictureResult r) { result = std::move(r); });
        while (!result) io.run_one();
        return *result;
    }

    fs::path folder;
    std::string wmfPath;
    boost::asio::io_context io;
};

TEST_F(MetafileTest, TheBoardsHelperDrawsAWmfIntoAPngThePageShows) {
    if (!velmora::testing::seccompFiltersWork())
        GTEST_SKIP() << "this system refuses seccomp filters (as qemu-user does), and the "
                        "metafile helper draws nothing without its own";
    MetafileHelper helper(io, VELMORA_METAFILE_HELPER);
    CoverShelf covers(io, &helper);
    const platform::PictureResult result = load(covers, wmfPath);
    ASSERT_FALSE(result.failure) << result.failure->what();
    const auto* cover = dynamic_cast<const Cover*>(result.picture.get());
    ASSERT_NE(cover, nullptr);
    EXPECT_EQ(cover->mediaType(), "image/png");
    EXPECT_TRUE(cover->bytes().starts_with("\x89PNG\r\n\x1A\n"));
    EXPECT_EQ(covers.find(cover->name()), result.picture);
}

TEST_F(MetafileTest, EveryFailingHelperIsNoPicture) {
    MetafileHelper::Limits limits;
    limits.wallMs = 300;
    limits.outputBytes = 64 * 1024;
    const struct {
        const char* name;
        std::string script;
    } helpers[] = {
        {"says no", "#!/bin/sh\nexit 1\n"},
        {"hangs", "#!/bin/sh\nexec sleep 30\n"},
        {"floods", "#!/bin/sh\nexec yes\n"},
        {"crashes", "#!/bin/sh\nkill -SEGV $$\n"},
        {"writes no PNG", "#!/bin/sh\necho GIF89a\n"},
        {"closes its output and stays", "#!/bin/sh\nexec >&-\nexec sleep 30\n"},
    };
    for (const auto& h : helpers) {
        MetafileHelper helper(io, write("helper", h.script, true), limits);
        CoverShelf covers(io, &helper);
        const platform::PictureResult result = load(covers, wmfPath);
        ASSERT_TRUE(result.failure) << h.name;
        EXPECT_EQ(result.failure->code(), ErrorCode::InvalidPicture) << h.name;
        EXPECT_EQ(result.picture, nullptr) << h.name;
    }
    // Without the helper installed, a metafile is no picture, as any other file.
    MetafileHelper missing(io, (folder / "nowhere").string());
    CoverShelf covers(io, &missing);
    EXPECT_EQ(load(covers, wmfPath).failure->code(), ErrorCode::InvalidPicture);
}

TEST_F(MetafileTest, ARequestLetGoKillsItsHelperAndReapsIt) {
    MetafileHelper helper(io, write("helper", "#!/bin/sh\nexec sleep 30\n", true));
    CoverShelf covers(io, &helper);
    bool answered = false;
    auto request = covers.load(wmfPath, [&](platform::PictureResult) { answered = true; });
    while (children().empty()) io.run_for(std::chrono::milliseconds(5));
    const pid_t pid = children().front();
    request.reset();
    // Gone from the process table: killed and reaped, no zombie left behind.
    while (fs::exists("/proc/" + std::to_string(pid))) io.run_for(std::chrono::milliseconds(5));
    io.poll();
    EXPECT_FALSE(answered);
}

}  // namespace
}  // namespace velmora::web
