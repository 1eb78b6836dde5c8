// SPDX-License-Identifier: MIT
#include "backend/cover_shelf.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <boost/asio/post.hpp>
#include <cerrno>
#include <random>

#include "velmora/raster_kinds.h"

namespace velmora::web {
namespace {

// Held by the core while it waits; letting go cancels the answer, and a helper drawing it.
class Request final : public platform::PictureRequest {
  public:
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);
    std::shared_ptr<std::shared_ptr<void>> conversion = std::make_shared<std::shared_ptr<void>>();
    ~Request() override {
        *alive = false;
        conversion->reset();
    }
};

std::string_view mediaTypeOf(std::string_view format) {
    if (format == "bmp") return "image/bmp";
    if (format == "gif") return "image/gif";
    if (format == "jpeg") return "image/jpeg";
    return "image/png";
}

Failure failureOf(int error, const std::string& path) {
    switch (error) {
        case ENOENT:
        case ENOTDIR:
            return Failure(ErrorCode::FileNotFound, "File not found: " + path);
        case EACCES:
        case EPERM:
            return Failure(ErrorCode::PermissionDenied, "Permission denied: " + path);
        default:
            return Failure(ErrorCode::InvalidPicture, "Invalid picture: " + path);
    }
}

// Closes the descriptor on every way out.
struct Descriptor {
    int fd;
    ~Descriptor() {
        if (fd >= 0) ::close(fd);
    }
};

}  // namespace

std::string CoverShelf::readFile(const std::string& path) {
    // Not blocking on a FIFO in the picture's place, and not a device: ordinary files only.
    Descriptor file{::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
    if (file.fd < 0) throw failureOf(errno, path);
    struct stat info {};
    if (::fstat(file.fd, &info) != 0) throw failureOf(errno, path);
    if (!S_ISREG(info.st_mode) || static_cast<std::size_t>(info.st_size) > kMaxBytes)
        throw failureOf(0, path);
    std::string bytes(static_cast<std::size_t>(info.st_size), '\0');
    std::size_t have = 0;
    while (have < bytes.size()) {
        const ssize_t got = ::read(file.fd, bytes.data() + have, bytes.size() - have);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) throw failureOf(errno, path);
        if (got == 0) break;  // it shrank meanwhile
        have += static_cast<std::size_t>(got);
    }
    bytes.resize(have);
    return bytes;
}

std::unique_ptr<platform::PictureRequest> CoverShelf::load(const std::string& path, Done done) {
    auto request = std::make_unique<Request>();
    boost::asio::post(io_, [this, path, done = std::move(done), alive = request->alive,
                            conversion = request->conversion] {
        if (!*alive) return;
        platform::PictureResult result;
        if (!path.empty()) {
            try {
                std::string bytes = readFile(path);
                if (const RasterKind* kind = rasterKind(bytes)) {
                    result.picture = shelve(mediaTypeOf(kind->format), std::move(bytes));
                } else if (metafiles_ && metafiles_->handles(bytes)) {
                    // Drawn into a PNG by the helper: the answer comes when it is done.
                    *conversion =
                        metafiles_->convert(path, [this, path, done, alive](std::string png) {
                            if (!*alive) return;
                            platform::PictureResult drawn;
                            const RasterKind* kind = rasterKind(png);
                            if (kind && kind->format == "png")
                                drawn.picture = shelve("image/png", std::move(png));
                            else
                                drawn.failure = failureOf(0, path);
                            done(std::move(drawn));
                        });
                    if (*conversion) return;
                    throw failureOf(0, path);
                } else {
                    throw failureOf(0, path);
                }
            } catch (const Failure& failure) {
                result.failure = failure;
            }
        }
        done(std::move(result));
    });
    return request;
}

std::shared_ptr<const Cover> CoverShelf::shelve(std::string_view mediaType, std::string bytes) {
    auto cover = std::make_shared<const Cover>(freshName(), mediaType, std::move(bytes));
    std::erase_if(shelf_, [](const auto& entry) { return entry.second.expired(); });
    shelf_[cover->name()] = cover;
    return cover;
}

std::shared_ptr<const Cover> CoverShelf::find(std::string_view name) const {
    const auto found = shelf_.find(name);
    return found == shelf_.end() ? nullptr : found->second.lock();
}

std::string CoverShelf::freshName() const {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::random_device random;
    std::string name;
    while (name.size() < kNameLength) {
        unsigned bits = random();
        for (int i = 0; i < 8; ++i, bits >>= 4) name.push_back(kDigits[bits & 0xF]);
    }
    return name;
}

}  // namespace velmora::web
