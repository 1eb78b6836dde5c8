// SPDX-License-Identifier: MIT
// Picture files through the system's OLE picture loader (OleLoadPicture), which reads BMP
// (RLE-compressed too), GIF, JPEG, ICO, WMF and EMF, decoded on a worker thread.
#pragma once

#include <memory>

#include "platform/services.h"
#include "platform/win32/win32.h"
#include "platform/win32/win32_ui.h"

namespace velmora::win32 {

// A decoded picture as a 32-bit bitmap with alpha (premultiplied). A bitmap belongs to the process,
// an OLE picture to the apartment that loaded it: so the loader draws the OLE picture once into
// the bitmap, on its own thread, and the UI thread only stretches the bitmap. A metafile is drawn
// at the screen's size then, which keeps a slow one off every later paint too.
class OlePicture final : public Picture {
  public:
    OlePicture(HBITMAP bitmap, SIZE raster, int width, int height);  // takes over the bitmap
    ~OlePicture() override;
    OlePicture(const OlePicture&) = delete;
    OlePicture& operator=(const OlePicture&) = delete;

    int width() const override { return width_; }  // pixels at the screen's dots per inch
    int height() const override { return height_; }
    // Draws the whole picture stretched to fill box.
    void render(HDC dc, const RECT& box) const;

  private:
    HBITMAP bitmap_;
    SIZE raster_;
    int width_;
    int height_;
};

// The empty path gives no picture (clears the box). Throws Failure: 53 when the file is missing,
// 70 when it cannot be opened, 481 when it is not a picture or declares more pixels than the
// board's bounds (platform/picture_size.h). Any thread that initialised COM.
PictureRef loadOlePicture(const std::string& path);

// One worker runs loadOlePicture for each load in turn and posts the answer to the UI thread; a
// load whose request was let go of before its turn (a newer cover came) is never decoded. The
// worker outliving this object (the program ending mid-decode) drops what it decoded.
class OlePictures final : public platform::Pictures {
  public:
    explicit OlePictures(Win32Ui& ui);
    ~OlePictures() override;
    OlePictures(const OlePictures&) = delete;
    OlePictures& operator=(const OlePictures&) = delete;
    std::unique_ptr<platform::PictureRequest> load(const std::string& path, Done done) override;

  private:
    struct Outlet;
    std::shared_ptr<Outlet> outlet_;  // shared with the workers
};

}  // namespace velmora::win32
