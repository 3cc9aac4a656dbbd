// The decoded picture of a JPEG graphic: rows of 24-bit blue-green-red pixels, or of 8-bit
// palette indexes with the decoder's palette. The decoder writes straight into its rows.
#pragma once

#include <QImage>
#include <QRgb>
#include <QVector>

#include <cstddef>
#include <cstdint>

class TJPEGBitmap {
public:
    enum class Format { Bgr24, Indexed8 };

    /// An empty bitmap, 0 by 0.
    TJPEGBitmap() = default;
    ~TJPEGBitmap();
    TJPEGBitmap(const TJPEGBitmap&) = delete;
    TJPEGBitmap& operator=(const TJPEGBitmap&) = delete;

    /// Gives the (empty) bitmap its size and format; every pixel starts at 0 (black, or
    /// palette entry 0). Returns false when the memory cannot be had; the bitmap stays empty.
    bool Allocate(int width, int height, Format format);

    int Width() const { return width_; }
    int Height() const { return height_; }
    Format PixelFormat() const { return format_; }
    /// Bytes from one row to the next; rows start on 4-byte boundaries.
    std::ptrdiff_t Stride() const { return stride_; }
    std::uint8_t* Bits() { return bits_; }
    const std::uint8_t* Row(int y) const { return bits_ + y * stride_; }

    const QVector<QRgb>& Palette() const { return palette_; }
    void SetPalette(QVector<QRgb> palette) { palette_ = std::move(palette); }

    /// A QImage over the bitmap's own rows, without copying them; valid while the bitmap lives.
    QImage View() const;

private:
    void Release();

    std::uint8_t* bits_ = nullptr;
    std::size_t mappedBytes_ = 0;  // nonzero when the rows are a private mapping
    std::uint8_t* mapping_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    std::ptrdiff_t stride_ = 0;
    Format format_ = Format::Bgr24;
    QVector<QRgb> palette_;
};
