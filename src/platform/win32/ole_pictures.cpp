// SPDX-License-Identifier: MIT
#include "platform/win32/ole_pictures.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/picture_size.h"
#include "platform/win32/text.h"
#include "velmora/raster_kinds.h"

#include <olectl.h>

namespace velmora::win32 {

namespace {

constexpr LONGLONG kLargestPicture = 64 << 20;  // bytes; anything larger is no disc picture

int himetricToPixels(long himetric, int dpi) {
    return static_cast<int>((static_cast<long long>(himetric) * dpi + 1270) / 2540);
}

// Whatever keeps a file from being shown, the board hears one error: "Invalid picture".
Failure invalidPicture(const std::string& shown) {
    return Failure(ErrorCode::InvalidPicture, "Invalid picture: " + shown);
}
[[noreturn]] void invalid(const std::string& shown) {
    throw invalidPicture(shown);
}

// The system's loader allocates and decodes a raster picture whole, at the size its header gives:
// a small file may declare a picture of gigapixels. Icons and metafiles are drawn at the screen's
// size at most. JPEG keeps the larger bound of the Linux loader, which decodes it reduced: a
// camera's photo as a cover still shows, at the cost of a longer decode here.
bool sizeAllowed(std::string_view file) {
    const auto size = platform::declaredSize(file);
    return size ? size->allowed() : !rasterKind(file);
}

struct Handle {
    HANDLE h;
    ~Handle() {
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
};

// The whole file in movable memory, for a stream, once the size it declares is allowed; tells a
// missing file from one we may not read.
HGLOBAL readFile(const std::wstring& path, const std::string& shown) {
    Handle file{CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (file.h == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ||
            error == ERROR_LOCK_VIOLATION)
            throw Failure(ErrorCode::PermissionDenied, "Permission denied: " + shown);
        throw Failure(ErrorCode::FileNotFound, "File not found: " + shown);
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.h, &size) || size.QuadPart <= 0 || size.QuadPart > kLargestPicture)
        invalid(shown);
    const DWORD bytes = static_cast<DWORD>(size.QuadPart);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (!memory) invalid(shown);
    DWORD read = 0;
    auto* data = static_cast<char*>(GlobalLock(memory));
    const BOOL ok = ReadFile(file.h, data, bytes, &read, nullptr);
    const bool allowed = ok && sizeAllowed({data, read});
    GlobalUnlock(memory);
    if (!ok || read != bytes) {
        GlobalFree(memory);
        throw Failure(ErrorCode::PermissionDenied, "Cannot read " + shown);
    }
    if (!allowed) {
        GlobalFree(memory);
        throw Failure(ErrorCode::InvalidPicture, "Invalid picture (too large): " + shown);
    }
    return memory;
}

// The OLE picture drawn once into a top-down 32-bit bitmap of size. A transparent one (a metafile,
// an icon, a GIF with a clear colour) is drawn on white and on black: where the two differ, the
// background showed through.
HBITMAP rasterise(IPicture* picture, SIZE size, const std::string& shown) {
    OLE_XSIZE_HIMETRIC himetricWidth = 0;
    OLE_YSIZE_HIMETRIC himetricHeight = 0;
    picture->get_Width(&himetricWidth);
    picture->get_Height(&himetricHeight);
    DWORD attributes = 0;
    picture->get_Attributes(&attributes);
    const bool transparent = (attributes & PICTURE_TRANSPARENT) != 0;

    BITMAPINFO info{};
    info.bmiHeader = {sizeof info.bmiHeader, size.cx, -size.cy, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC dc = CreateCompatibleDC(nullptr);
    if (!bitmap || !dc) {
        if (bitmap) DeleteObject(bitmap);
        if (dc) DeleteDC(dc);
        invalid(shown);
    }
    HGDIOBJ before = SelectObject(dc, bitmap);
    SetStretchBltMode(dc, HALFTONE);  // a photo larger than the screen is reduced smoothly
    SetBrushOrgEx(dc, 0, 0, nullptr);
    auto* pixels = static_cast<std::uint32_t*>(bits);
    const std::size_t count = static_cast<std::size_t>(size.cx) * static_cast<std::size_t>(size.cy);
    auto draw = [&](std::uint32_t background) {
        std::fill(pixels, pixels + count, background);
        // HIMETRIC runs bottom-up: start at the bottom edge and go up by the whole height.
        picture->Render(dc, 0, 0, size.cx, size.cy, 0, himetricHeight, himetricWidth,
                        -himetricHeight, nullptr);
        GdiFlush();
    };
    std::vector<std::uint32_t> onWhite;
    if (transparent) {
        draw(0xFFFFFF);
        onWhite.assign(pixels, pixels + count);
    }
    draw(0);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t rgb = pixels[i] & 0xFFFFFF;
        pixels[i] = transparent && rgb != (onWhite[i] & 0xFFFFFF) ? 0 : rgb | 0xFF000000;
    }
    SelectObject(dc, before);
    DeleteDC(dc);
    return bitmap;
}

// A photo is kept at its own size, or the screen's if larger; a metafile is drawn to fit the
// screen.
SIZE rasterSize(int width, int height, bool scalable) {
    const double fit = std::min(double(GetSystemMetrics(SM_CXSCREEN)) / width,
                                double(GetSystemMetrics(SM_CYSCREEN)) / height);
    const double scale = scalable || fit < 1 ? fit : 1;
    return SIZE{std::max(1L, std::lround(width * scale)),
                std::max(1L, std::lround(height * scale))};
}

// What keeps COM going on a worker for as long as it runs.
struct Apartment {
    Apartment() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    ~Apartment() { CoUninitialize(); }
    Apartment(const Apartment&) = delete;
    Apartment& operator=(const Apartment&) = delete;
};

}  // namespace

OlePicture::OlePicture(HBITMAP bitmap, SIZE raster, int width, int height)
    : bitmap_(bitmap), raster_(raster), width_(width), height_(height) {}

OlePicture::~OlePicture() {
    DeleteObject(bitmap_);
}

void OlePicture::render(HDC dc, const RECT& box) const {
    HDC source = CreateCompatibleDC(dc);
    HGDIOBJ before = SelectObject(source, bitmap_);
    const BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    AlphaBlend(dc, box.left, box.top, box.right - box.left, box.bottom - box.top, source, 0, 0,
               raster_.cx, raster_.cy, blend);
    SelectObject(source, before);
    DeleteDC(source);
}

PictureRef loadOlePicture(const std::string& path) {
    if (path.empty()) return nullptr;
    HGLOBAL memory = readFile(widen(path), path);
    IStream* stream = nullptr;
    if (FAILED(CreateStreamOnHGlobal(memory, TRUE, &stream))) {
        GlobalFree(memory);
        invalid(path);
    }
    // The system's picture loader: bitmaps (run-length encoded too), GIF, JPEG, icons, WMF, EMF.
    IPicture* picture = nullptr;
    const HRESULT hr =
        OleLoadPicture(stream, 0, FALSE, IID_IPicture, reinterpret_cast<void**>(&picture));
    stream->Release();
    if (FAILED(hr) || !picture) invalid(path);
    std::unique_ptr<IPicture, void (*)(IPicture*)> held(picture, [](IPicture* p) { p->Release(); });

    OLE_XSIZE_HIMETRIC himetricWidth = 0;
    OLE_YSIZE_HIMETRIC himetricHeight = 0;
    picture->get_Width(&himetricWidth);
    picture->get_Height(&himetricHeight);
    HDC screen = GetDC(nullptr);
    const int width = himetricToPixels(himetricWidth, GetDeviceCaps(screen, LOGPIXELSX));
    const int height = himetricToPixels(himetricHeight, GetDeviceCaps(screen, LOGPIXELSY));
    ReleaseDC(nullptr, screen);
    if (width <= 0 || height <= 0) invalid(path);
    SHORT type = PICTYPE_NONE;
    picture->get_Type(&type);
    const SIZE raster =
        rasterSize(width, height, type == PICTYPE_METAFILE || type == PICTYPE_ENHMETAFILE);
    return std::make_shared<OlePicture>(rasterise(picture, raster, path), raster, width, height);
}

// The one worker's queue, and its way back to the UI thread; closed when the program lets go of
// its pictures.
struct OlePictures::Outlet {
    explicit Outlet(Win32Ui& to) : ui(&to) {}
    struct Job {
        std::string path;
        std::weak_ptr<Done> answer;  // expired: the request was let go of, a newer cover came
    };
    std::mutex mutex;
    std::condition_variable wake;
    Win32Ui* ui;  // null once closed
    std::deque<Job> jobs;
    bool working = false;  // the worker runs

    // On the worker, for as long as the outlet is open: decodes what is still asked for, in turn.
    static void work(const std::shared_ptr<Outlet>& outlet) {
        const Apartment com;
        std::unique_lock lock(outlet->mutex);
        for (;;) {
            outlet->wake.wait(lock, [&] { return !outlet->ui || !outlet->jobs.empty(); });
            if (!outlet->ui) return;
            Job job = std::move(outlet->jobs.front());
            outlet->jobs.pop_front();
            if (job.answer.expired()) continue;
            lock.unlock();
            platform::PictureResult result;
            try {
                result.picture = loadOlePicture(job.path);
            } catch (const Failure& failure) {
                result.failure = failure;
            } catch (const std::exception&) {  // out of memory on the way: no picture either
                result.failure = invalidPicture(job.path);
            }
            lock.lock();
            if (!outlet->ui) return;  // the program is ending: the picture goes with this thread
            outlet->ui->post([answer = std::move(job.answer), result = std::move(result)] {
                // Held while it runs: the completion may let go of its own request.
                if (const auto done = answer.lock()) (*done)(result);
            });
        }
    }
};

namespace {
// The core's completion stays on the UI thread, held here; letting go of it cancels the answer.
class Request final : public platform::PictureRequest {
  public:
    explicit Request(platform::Pictures::Done done)
        : done_(std::make_shared<platform::Pictures::Done>(std::move(done))) {}
    std::weak_ptr<platform::Pictures::Done> done() const { return done_; }

  private:
    std::shared_ptr<platform::Pictures::Done> done_;
};
}  // namespace

OlePictures::OlePictures(Win32Ui& ui) : outlet_(std::make_shared<Outlet>(ui)) {}

OlePictures::~OlePictures() {
    const std::lock_guard lock(outlet_->mutex);
    outlet_->ui = nullptr;
    outlet_->jobs.clear();
    outlet_->wake.notify_all();
}

std::unique_ptr<platform::PictureRequest> OlePictures::load(const std::string& path, Done done) {
    auto request = std::make_unique<Request>(std::move(done));
    const std::lock_guard lock(outlet_->mutex);
    std::erase_if(outlet_->jobs, [](const Outlet::Job& job) { return job.answer.expired(); });
    if (!outlet_->working) {
        try {
            std::thread([outlet = outlet_] { Outlet::work(outlet); }).detach();
            outlet_->working = true;
        } catch (const std::system_error&) {  // no thread to be had: no picture either
            outlet_->ui->post([answer = request->done(), path] {
                if (const auto done = answer.lock()) (*done)({nullptr, invalidPicture(path)});
            });
            return request;
        }
    }
    outlet_->jobs.push_back({path, request->done()});
    outlet_->wake.notify_one();
    return request;
}

}  // namespace velmora::win32
