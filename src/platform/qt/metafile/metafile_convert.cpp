// SPDX-License-Identifier: MIT
#include "metafile_convert.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdlib>
#include <memory>

#include "platform/qt/metafile_kind.h"

extern "C" {
#include <emf2svg.h>
#include <libwmf/api.h>
#include <libwmf/gd.h>
}

namespace velmora::metafile {
namespace {

// The drawing's own size, shrunk to fit the square kMaxSide wide, never below one pixel.
QSize fitted(double width, double height) {
    if (!(width > 0 && height > 0)) return {};
    const double scale = std::min(1.0, kMaxSide / std::max(width, height));
    return {std::max(1, static_cast<int>(width * scale + 0.5)),
            std::max(1, static_cast<int>(height * scale + 0.5))};
}

struct WmfApiDeleter {
    void operator()(wmfAPI* api) const { wmf_api_destroy(api); }
};

// Collects what libwmf writes out.
int appendTo(void* buffer, char* bytes, int length) {
    if (length > 0) static_cast<QByteArray*>(buffer)->append(bytes, length);
    return length;
}

QByteArray renderWmf(const QByteArray& data) {
    wmfAPI_Options options{};
    options.function = wmf_gd_function;
    const unsigned long flags =
        WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
    wmfAPI* raw = nullptr;
    const wmf_error_t created = wmf_api_create(&raw, flags, &options);
    std::unique_ptr<wmfAPI, WmfApiDeleter> api(raw);
    if (created != wmf_E_None) return {};

    QByteArray bytes = data;  // libwmf wants a writable buffer
    if (wmf_mem_open(api.get(), reinterpret_cast<unsigned char*>(bytes.data()), bytes.size()) !=
        wmf_E_None)
        return {};
    wmfD_Rect box{};
    unsigned int width = 0, height = 0;
    if (wmf_scan(api.get(), 0, &box) != wmf_E_None ||
        wmf_display_size(api.get(), &width, &height, 96, 96) != wmf_E_None)
        return {};
    const QSize size = fitted(width, height);
    if (size.isEmpty()) return {};

    // Handed over as PNG: an image left in gd's own form could not be freed through libwmf.
    wmf_gd_t* device = WMF_GD_GetData(api.get());
    if (!(device->flags & WMF_GD_SUPPORTS_PNG)) return {};
    QByteArray png;
    device->type = wmf_gd_png;
    device->flags |= WMF_GD_OUTPUT_MEMORY | WMF_GD_OWN_BUFFER;
    device->sink.context = &png;
    device->sink.function = &appendTo;
    device->bbox = box;
    device->width = static_cast<unsigned>(size.width());
    device->height = static_cast<unsigned>(size.height());
    if (wmf_play(api.get(), 0, &box) != wmf_E_None) return {};
    wmf_mem_close(api.get());
    return png;
}

QImage renderEmf(const QByteArray& data) {
    QByteArray bytes = data;  // the converter wants a writable buffer
    generatorOptions options{};
    options.nameSpace = nullptr;
    options.emfplus = true;
    options.svgDelimiter = true;
    char* svg = nullptr;
    size_t length = 0;
    const int converted =
        emf2svg(bytes.data(), static_cast<size_t>(bytes.size()), &svg, &length, &options);
    const std::unique_ptr<char, decltype(&std::free)> owned(svg, &std::free);
    if (!converted || !svg || length == 0) return {};

    QSvgRenderer renderer(QByteArray(svg, static_cast<qsizetype>(length)));
    if (!renderer.isValid()) return {};
    const QSize size = fitted(renderer.defaultSize().width(), renderer.defaultSize().height());
    if (size.isEmpty()) return {};
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter);
    return image;
}

}  // namespace

QByteArray convertToPng(const QByteArray& data) {
    if (data.size() > kMaxInputBytes) return {};
    if (qt::isWmf(data)) return renderWmf(data);  // libwmf writes PNG itself
    if (!qt::isEmf(data)) return {};
    const QImage image = renderEmf(data);
    if (image.isNull()) return {};
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG")) return {};
    return png;
}

}  // namespace velmora::metafile
