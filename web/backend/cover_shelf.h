// SPDX-License-Identifier: MIT
// The pictures the board is given, kept for the pages: each is read whole once and served under an
// opaque name for as long as the board shows it. A page can only ask for a name it was told; no
// request ever names a path. A picture is passed on as it is (the browser decodes it), so only
// the raster kinds every browser shows are taken, told by their first bytes.
#pragma once

#include <boost/asio/io_context.hpp>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "platform/services.h"

namespace velmora::web {

class Cover final : public Picture {
  public:
    Cover(std::string name, std::string_view mediaType, std::string bytes)
        : name_(std::move(name)), mediaType_(mediaType), bytes_(std::move(bytes)) {}
    // The browser decodes it; its size is the page's business.
    int width() const override { return 0; }
    int height() const override { return 0; }

    const std::string& name() const { return name_; }
    std::string_view mediaType() const { return mediaType_; }
    const std::string& bytes() const { return bytes_; }

  private:
    std::string name_;
    std::string_view mediaType_;
    std::string bytes_;
};

class CoverShelf final : public platform::Pictures {
  public:
    static constexpr std::size_t kMaxBytes = 32 * 1024 * 1024;  // as the native board reads
    static constexpr std::size_t kNameLength = 32;              // hex digits of 128 random bits

    explicit CoverShelf(boost::asio::io_context& io) : io_(io) {}

    std::unique_ptr<platform::PictureRequest> load(const std::string& path, Done done) override;

    // The picture under that name while the board still holds it, else null.
    std::shared_ptr<const Cover> find(std::string_view name) const;

    // Reads a picture file as the board's picture; a Failure says why it is none.
    static std::string readPicture(const std::string& path, std::string_view& mediaType);

  private:
    std::string freshName() const;

    boost::asio::io_context& io_;
    std::map<std::string, std::weak_ptr<const Cover>, std::less<>> shelf_;
};

}  // namespace velmora::web
