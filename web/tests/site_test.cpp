// SPDX-License-Identifier: MIT
// What each address answers, and the covers: only a picture the board holds, only under its
// opaque name, only a kind every browser shows.
#include "server/site.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <boost/asio/io_context.hpp>
#include <filesystem>
#include <fstream>

namespace velmora::web {
namespace {

namespace fs = std::filesystem;

class SiteTest : public ::testing::Test {
  protected:
    SiteTest() {
        folder = fs::temp_directory_path() /
                 ("velmora-web-site-" +
                  std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                  std::to_string(reinterpret_cast<std::uintptr_t>(this)));
        fs::create_directories(folder);
    }
    ~SiteTest() override { fs::remove_all(folder); }

    std::string file(const std::string& name, const std::string& bytes) {
        const fs::path path = folder / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path.string();
    }

    // The board asks for a picture and gets the answer on a later turn of the loop.
    platform::PictureResult load(const std::string& path) {
        platform::PictureResult result;
        bool answered = false;
        auto request = covers.load(path, [&](platform::PictureResult r) {
            result = std::move(r);
            answered = true;
        });
        EXPECT_FALSE(answered);  // never inside the call
        io.restart();
        io.poll();
        EXPECT_TRUE(answered);
        return result;
    }

    fs::path folder;
    boost::asio::io_context io;
    CoverShelf covers{io};
    Site site{covers};
};

constexpr char kPng[] = "\x89PNG\r\n\x1A\nrest of the picture";

TEST_F(SiteTest, ThePageAndItsFilesAndNothingElse) {
    const struct {
        const char* target;
        Status status;
        std::string_view type;
    } cases[] = {
        {"/", Status::Ok, "text/html; charset=utf-8"},
        {"/?idle=clock&title=ff0000", Status::Ok, "text/html; charset=utf-8"},
        {"/index.html", Status::Ok, "text/html; charset=utf-8"},
        {"/board.js", Status::Ok, "text/javascript; charset=utf-8"},
        {"/board.css#x", Status::Ok, "text/css; charset=utf-8"},
        {"/board.js/", Status::NotFound, {}},
        {"//board.js", Status::NotFound, {}},
        {"/../board.js", Status::NotFound, {}},
        {"/etc/passwd", Status::NotFound, {}},
        {"/cover/", Status::NotFound, {}},
        {"/cover/../../etc/passwd", Status::NotFound, {}},
        {"/cover/0123456789abcdef0123456789abcdef", Status::NotFound, {}},
        {"/CMakeLists.txt", Status::NotFound, {}},
    };
    for (const auto& c : cases) {
        const Reply reply = site.answer(c.target);
        EXPECT_EQ(reply.status, c.status) << c.target;
        if (c.status == Status::Ok) {
            EXPECT_EQ(reply.mediaType, c.type) << c.target;
            EXPECT_FALSE(reply.body.empty()) << c.target;
        }
    }
    EXPECT_TRUE(Site::isEvents("/events"));
    EXPECT_TRUE(Site::isEvents("/events?since=1"));
    EXPECT_FALSE(Site::isEvents("/events/"));
    EXPECT_NE(site.answer("/").body.find("/board.js"), std::string_view::npos);
}

TEST_F(SiteTest, ACoverIsServedUnderItsNameOnlyWhileTheBoardHoldsIt) {
    platform::PictureResult result = load(file("cover.png", kPng));
    ASSERT_FALSE(result.failure);
    const auto* cover = dynamic_cast<const Cover*>(result.picture.get());
    ASSERT_NE(cover, nullptr);
    EXPECT_EQ(cover->name().size(), CoverShelf::kNameLength);
    EXPECT_EQ(cover->name().find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_EQ(cover->name().find("cover"), std::string::npos);

    {
        const Reply reply = site.answer("/cover/" + cover->name());
        EXPECT_EQ(reply.status, Status::Ok);
        EXPECT_EQ(reply.mediaType, "image/png");
        EXPECT_EQ(reply.body, std::string_view(kPng, sizeof kPng - 1));
    }  // an answer being sent keeps its picture

    // The same file again is another picture under another name.
    platform::PictureResult again = load(file("cover.png", kPng));
    EXPECT_NE(dynamic_cast<const Cover*>(again.picture.get())->name(), cover->name());

    const std::string name = cover->name();
    result.picture.reset();
    EXPECT_EQ(site.answer("/cover/" + name).status, Status::NotFound);
    EXPECT_EQ(site.answer("/cover/" + name + "?x").status, Status::NotFound);
}

TEST_F(SiteTest, WhatIsNoPictureSaysWhy) {
    ::mkfifo((folder / "fifo").c_str(), 0600);
    const struct {
        std::string path;
        std::optional<ErrorCode> failure;
        std::string_view type;
    } cases[] = {
        {file("a.gif", "GIF89a..."), std::nullopt, "image/gif"},
        {file("a.jpg", "\xFF\xD8\xFF\xE0"), std::nullopt, "image/jpeg"},
        {file("a.bmp", "BM...."), std::nullopt, "image/bmp"},
        {file("a.svg", "<svg onload=alert(1)/>"), ErrorCode::InvalidPicture, {}},
        {file("a.wmf", "\xD7\xCD\xC6\x9A"), ErrorCode::InvalidPicture, {}},
        {file("empty.png", ""), ErrorCode::InvalidPicture, {}},
        {(folder / "missing.png").string(), ErrorCode::FileNotFound, {}},
        {folder.string(), ErrorCode::InvalidPicture, {}},
        {(folder / "fifo").string(), ErrorCode::InvalidPicture, {}},  // and it does not block
    };
    for (const auto& c : cases) {
        const platform::PictureResult result = load(c.path);
        ASSERT_EQ(result.failure.has_value(), c.failure.has_value()) << c.path;
        if (c.failure) {
            EXPECT_EQ(result.failure->code(), *c.failure) << c.path;
            EXPECT_EQ(result.picture, nullptr);
        } else {
            EXPECT_EQ(dynamic_cast<const Cover*>(result.picture.get())->mediaType(), c.type);
        }
    }
    // No path: no picture and no failure, as on every platform.
    const platform::PictureResult none = load("");
    EXPECT_FALSE(none.failure);
    EXPECT_EQ(none.picture, nullptr);
}

TEST_F(SiteTest, ARequestLetGoBeforeItsTurnNeverAnswers) {
    bool answered = false;
    covers.load(file("c.png", kPng), [&](platform::PictureResult) { answered = true; }).reset();
    io.poll();
    EXPECT_FALSE(answered);
}

}  // namespace
}  // namespace velmora::web
