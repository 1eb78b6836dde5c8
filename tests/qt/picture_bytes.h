// SPDX-License-Identifier: MIT
// Picture files written byte by byte, for the formats Qt cannot write itself (GIF, run-length
// bitmaps, metafiles) and for headers that lie about their size.
#pragma once

#include <QByteArray>
#include <QtEndian>
#include <cstdint>
#include <initializer_list>

namespace velmora::qt::testing {

// Little-endian fields appended in order.
class Bytes {
  public:
    Bytes& u8(std::initializer_list<int> values) {
        for (int v : values) data_.append(static_cast<char>(v));
        return *this;
    }
    Bytes& u16(std::initializer_list<int> values) {
        for (int v : values) append<std::uint16_t>(static_cast<std::uint16_t>(v));
        return *this;
    }
    Bytes& u32(std::initializer_list<std::int64_t> values) {
        for (auto v : values) append<std::uint32_t>(static_cast<std::uint32_t>(v));
        return *this;
    }
    Bytes& text(const char* s) {
        data_.append(s);
        return *this;
    }
    Bytes& bytes(const QByteArray& more) {
        data_.append(more);
        return *this;
    }
    const QByteArray& data() const { return data_; }
    qsizetype size() const { return data_.size(); }

  private:
    template <typename T>
    void append(T value) {
        char raw[sizeof(T)];
        qToLittleEndian(value, raw);
        data_.append(raw, sizeof(T));
    }
    QByteArray data_;
};

// A 2 x 1 GIF: a red pixel, then a blue one (LZW codes clear, 0, 1, end in 3 bits each).
inline QByteArray gifRedBlue() {
    return Bytes()
        .text("GIF89a")
        .u16({2, 1})
        .u8({0x80, 0, 0})              // global colour table of two entries
        .u8({0xFF, 0, 0, 0, 0, 0xFF})  // red, blue
        .u8({0x2C})
        .u16({0, 0, 2, 1})
        .u8({0})                    // image descriptor
        .u8({2, 2, 0x44, 0x0A, 0})  // minimum code size, one data block
        .u8({0x3B})
        .data();
}

// A bitmap with a two-colour palette (index 0 red, 1 green) around the given pixel data.
inline QByteArray bitmap(int width, int height, int bitsPerPixel, int compression,
                         const QByteArray& pixels) {
    const int offset = 14 + 40 + 8;
    return Bytes()
        .text("BM")
        .u32({offset + pixels.size(), 0, offset})
        .u32({40, width, height})
        .u16({1, bitsPerPixel})
        .u32({compression, pixels.size(), 2835, 2835, 2, 0})
        .u32({0x00FF0000, 0x0000FF00})  // palette entries are B, G, R, 0
        .bytes(pixels)
        .data();
}

// 4 x 2, RLE8: bottom row four red; top row two green, two red.
inline QByteArray rle8Bitmap() {
    return bitmap(4, 2, 8, 1, Bytes().u8({4, 0, 0, 0, 2, 1, 2, 0, 0, 1}).data());
}

// 4 x 1, RLE4: green, red, green, red (one run alternating the two nibbles).
inline QByteArray rle4Bitmap() {
    return bitmap(4, 1, 4, 2, Bytes().u8({4, 0x10, 0, 1}).data());
}

// An uncompressed bitmap header claiming width x height, and no pixels at all.
inline QByteArray bitmapClaiming(int width, int height) {
    return bitmap(width, height, 24, 0, QByteArray());
}

// A 100 x 50 Windows metafile (placeable, 96 units an inch): left half red, right half blue.
// Both halves are drawn, as libwmf draws the extent of the drawing, not the declared frame.
inline QByteArray wmfRedBlue() {
    Bytes placeable;
    placeable.u32({0x9AC6CDD7}).u16({0, 0, 0, 100, 50, 96}).u32({0});
    std::uint16_t checksum = 0;
    for (qsizetype i = 0; i < placeable.size(); i += 2)
        checksum ^= qFromLittleEndian<std::uint16_t>(placeable.data().constData() + i);
    placeable.u16({checksum});

    Bytes records;
    records.u32({5}).u16({0x020B, 0, 0});                        // SETWINDOWORG y, x
    records.u32({5}).u16({0x020C, 50, 100});                     // SETWINDOWEXT height, width
    records.u32({7}).u16({0x02FC, 0}).u32({0x0000FF}).u16({0});  // CREATEBRUSHINDIRECT red
    records.u32({4}).u16({0x012D, 0});                           // SELECTOBJECT 0
    records.u32({7}).u16({0x041B, 50, 50, 0, 0});  // RECTANGLE bottom, right, top, left
    records.u32({7}).u16({0x02FC, 0}).u32({0xFF0000}).u16({0});  // CREATEBRUSHINDIRECT blue
    records.u32({4}).u16({0x012D, 1});                           // SELECTOBJECT 1
    records.u32({7}).u16({0x041B, 50, 100, 0, 50});              // RECTANGLE
    records.u32({3}).u16({0x0000});                              // EOF
    const auto words = (18 + records.size()) / 2;
    return placeable
        .bytes(Bytes()
                   .u16({1, 9, 0x0300})
                   .u32({words})
                   .u16({2})
                   .u32({7})
                   .u16({0})
                   .bytes(records.data())
                   .data())
        .data();
}

// A 100 x 50 pixel enhanced metafile: its left half a red-filled rectangle.
inline QByteArray emfRedRectangle() {
    Bytes records;
    records.u32({39, 24, 1, 0, 0xFF, 0});  // CREATEBRUSHINDIRECT #1 solid red
    records.u32({37, 12, 1});              // SELECTOBJECT #1
    records.u32({43, 24, 0, 0, 50, 49});   // RECTANGLE
    records.u32({14, 20, 0, 16, 20});      // EOF
    const qsizetype total = 88 + records.size();
    return Bytes()
        .u32({1, 88})
        .u32({0, 0, 99, 49})      // bounds, pixels
        .u32({0, 0, 2645, 1322})  // frame, hundredths of a millimetre
        .u32({0x464D4520, 0x10000, total, 5})
        .u16({2, 0})
        .u32({0, 0, 0})
        .u32({1024, 768, 271, 203})  // reference device: pixels, millimetres
        .bytes(records.data())
        .data();
}

}  // namespace velmora::qt::testing
