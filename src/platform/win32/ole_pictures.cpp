// SPDX-License-Identifier: MIT
#include "platform/win32/ole_pictures.h"

#include "platform/win32/text.h"

namespace velmora::win32 {

namespace {

constexpr LONGLONG kLargestPicture = 64 << 20;  // bytes; anything larger is no disc picture

int himetricToPixels(long himetric, int dpi) {
    return static_cast<int>((static_cast<long long>(himetric) * dpi + 1270) / 2540);
}

// Whatever keeps a file from being shown, the board hears one error: "Invalid picture".
[[noreturn]] void invalid(const std::string& shown) {
    throw Failure(ErrorCode::InvalidPicture, "Invalid picture: " + shown);
}

struct Handle {
    HANDLE h;
    ~Handle() {
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
};

// The whole file in movable memory, for a stream; tells a missing file from one we may not read.
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
    const BOOL ok = ReadFile(file.h, GlobalLock(memory), bytes, &read, nullptr);
    GlobalUnlock(memory);
    if (!ok || read != bytes) {
        GlobalFree(memory);
        throw Failure(ErrorCode::PermissionDenied, "Cannot read " + shown);
    }
    return memory;
}

}  // namespace

OlePicture::OlePicture(IPicture* picture) : picture_(picture) {
    picture_->get_Width(&himetricWidth_);
    picture_->get_Height(&himetricHeight_);
    HDC screen = GetDC(nullptr);
    width_ = himetricToPixels(himetricWidth_, GetDeviceCaps(screen, LOGPIXELSX));
    height_ = himetricToPixels(himetricHeight_, GetDeviceCaps(screen, LOGPIXELSY));
    ReleaseDC(nullptr, screen);
}

OlePicture::~OlePicture() {
    picture_->Release();
}

void OlePicture::render(HDC dc, const RECT& box) const {
    // HIMETRIC runs bottom-up: start at the bottom edge and go up by the whole height.
    picture_->Render(dc, box.left, box.top, box.right - box.left, box.bottom - box.top, 0,
                     himetricHeight_, himetricWidth_, -himetricHeight_, nullptr);
}

PictureRef OlePictures::load(const std::string& path) {
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
    return std::make_shared<OlePicture>(picture);
}

}  // namespace velmora::win32
