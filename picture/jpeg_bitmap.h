// The decoded picture of a JPEG graphic: rows of 24-bit blue-green-red pixels, or of 8-bit
// palette indexes with the decoder's palette. The decoder writes straight into its rows.
#pragma once

#include "picture/block_cache.h"

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
    TJPEGBitmap(const TJPEGBitmap&) = delete;
    TJPEGBitmap& operator=(const TJPEGBitmap&) = delete;

    /// Gives the bitmap its size and format, dropping any rows it had. The new rows hold
    /// whatever their memory held (it may have been another picture's): the caller writes
    /// every row or clears the rest with ClearRowsFrom. Returns false when the memory cannot
    /// be had; the bitmap is then empty.
    bool Allocate(int width, int height, Format format);
    /// Sets every pixel of row `y` and the rows below it to 0 (black, or palette entry 0).
    void ClearRowsFrom(int y);

    int Width() const { return width_; }
    int Height() const { return height_; }
    Format PixelFormat() const { return format_; }
    /// Bytes from one row to the next; rows start on 4-byte boundaries.
    std::ptrdiff_t Stride() const { return stride_; }
    std::uint8_t* Bits() { return rows_.Data(); }
    const std::uint8_t* Row(int y) const { return rows_.Data() + y * stride_; }

    const QVector<QRgb>& Palette() const { return palette_; }
    void SetPalette(QVector<QRgb> palette) { palette_ = std::move(palette); }

    /// A QImage over the bitmap's own rows, without copying them; valid while the bitmap lives.
    QImage View() const;

private:
    PictureBuffer rows_;
    int width_ = 0;
    int height_ = 0;
    std::ptrdiff_t stride_ = 0;
    Format format_ = Format::Bgr24;
    QVector<QRgb> palette_;
};
