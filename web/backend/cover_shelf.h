// SPDX-License-Identifier: MIT
// The pictures the board is given, kept for the pages: each is read whole once and served under an
// opaque name for as long as the board shows it. A page can only ask for a name it was told; no
// request ever names a path. A picture is passed on as it is (the browser decodes it), so only
// the raster kinds every browser shows are taken, told by their first bytes; a metafile is drawn
// into a PNG by the converter, when there is one.
#pragma once

#include <boost/asio/io_context.hpp>
#include <functional>
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

// What turns a picture no browser shows (a metafile) into a PNG.
class MetafileConverter {
  public:
    using Done = std::function<void(std::string png)>;  // empty: no picture
    virtual ~MetafileConverter() = default;
    virtual bool handles(std::string_view head) const = 0;
    // done runs later on the loop; letting go of the result cancels it. Null: it did not start.
    virtual std::shared_ptr<void> convert(const std::string& path, Done done) = 0;
};

class CoverShelf final : public platform::Pictures {
  public:
    static constexpr std::size_t kMaxBytes = 32 * 1024 * 1024;  // as the native board reads
    static constexpr std::size_t kNameLength = 32;              // hex digits of 128 random bits

    explicit CoverShelf(boost::asio::io_context& io, MetafileConverter* metafiles = nullptr)
        : io_(io), metafiles_(metafiles) {}

    std::unique_ptr<platform::PictureRequest> load(const std::string& path, Done done) override;

    // The picture under that name while the board still holds it, else null.
    std::shared_ptr<const Cover> find(std::string_view name) const;

    // Reads an ordinary file of at most kMaxBytes whole; a Failure says why it cannot.
    static std::string readFile(const std::string& path);

  private:
    std::string freshName() const;
    std::shared_ptr<const Cover> shelve(std::string_view mediaType, std::string bytes);

    boost::asio::io_context& io_;
    MetafileConverter* metafiles_;
    std::map<std::string, std::weak_ptr<const Cover>, std::less<>> shelf_;
};

}  // namespace velmora::web
