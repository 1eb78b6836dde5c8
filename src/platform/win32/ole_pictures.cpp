#include "platform/win32/ole_pictures.h"

#include "platform/win32/text.h"

namespace velmora::win32 {

namespace {

int himetricToPixels(long himetric, int dpi) {
    return static_cast<int>((static_cast<long long>(himetric) * dpi + 1270) / 2540);
}

// Tells a missing file from one we may not read, before the loader turns both into one error.
void checkReadable(const std::wstring& path, const std::string& shown) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        return;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ||
        error == ERROR_LOCK_VIOLATION)
        throw Failure(ErrorCode::PermissionDenied, "Permission denied: " + shown);
    throw Failure(ErrorCode::FileNotFound, "File not found: " + shown);
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
    std::wstring wide = widen(path);
    checkReadable(wide, path);
    IPicture* picture = nullptr;
    HRESULT hr = OleLoadPicturePath(wide.data(), nullptr, 0, 0, IID_IPicture,
                                    reinterpret_cast<void**>(&picture));
    if (FAILED(hr) || !picture)
        throw Failure(ErrorCode::InvalidPicture, "Invalid picture: " + path);
    return std::make_shared<OlePicture>(picture);
}

}  // namespace velmora::win32
