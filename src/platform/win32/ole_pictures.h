// SPDX-License-Identifier: MIT
// Picture files through the system's OLE picture loader (OleLoadPicture), which reads BMP
// (RLE-compressed too), GIF, JPEG, ICO, WMF and EMF.
#pragma once

#include "platform/services.h"
#include "platform/win32/win32.h"

#include <olectl.h>

namespace velmora::win32 {

class OlePicture final : public Picture {
  public:
    explicit OlePicture(IPicture* picture);  // takes over the reference
    ~OlePicture() override;
    OlePicture(const OlePicture&) = delete;
    OlePicture& operator=(const OlePicture&) = delete;

    int width() const override { return width_; }  // pixels at the screen's dots per inch
    int height() const override { return height_; }
    // Draws the whole picture stretched to fill box.
    void render(HDC dc, const RECT& box) const;

  private:
    IPicture* picture_;
    OLE_XSIZE_HIMETRIC himetricWidth_ = 0;
    OLE_YSIZE_HIMETRIC himetricHeight_ = 0;
    int width_ = 0;
    int height_ = 0;
};

// The empty path gives no picture (clears the box). Throws Failure: 53 when the file is missing,
// 70 when it cannot be opened, 481 when it is not a picture.
PictureRef loadOlePicture(const std::string& path);

// HACK: the picture is still decoded on the UI thread, inside load(), and only its answer comes
// later: an OLE picture made on a worker's apartment would have to be marshalled to be drawn here.
class OlePictures final : public platform::Pictures {
  public:
    explicit OlePictures(platform::Ui& ui) : ui_(ui) {}
    std::unique_ptr<platform::PictureRequest> load(const std::string& path, Done done) override;

  private:
    platform::Ui& ui_;
};

}  // namespace velmora::win32
