#include "picture/jpeg_bitmap.h"

#include <cstring>
#include <limits>

bool TJPEGBitmap::Allocate(int width, int height, Format format) {
    rows_ = PictureBuffer();
    width_ = height_ = 0;
    stride_ = 0;
    if (width <= 0 || height <= 0) return true;
    const std::size_t bytesPerPixel = format == Format::Bgr24 ? 3 : 1;
    const std::size_t stride = (std::size_t(width) * bytesPerPixel + 3) & ~std::size_t(3);
    if (stride > std::numeric_limits<std::size_t>::max() / std::size_t(height)) return false;
    PictureBuffer rows(BitmapBlocks(), stride * std::size_t(height));
    if (!rows) return false;
    rows_ = std::move(rows);
    width_ = width;
    height_ = height;
    stride_ = static_cast<std::ptrdiff_t>(stride);
    format_ = format;
    return true;
}

void TJPEGBitmap::ClearRowsFrom(int y) {
    if (y < 0) y = 0;
    if (y >= height_) return;
    std::memset(Bits() + std::ptrdiff_t(y) * stride_, 0, std::size_t(height_ - y) * std::size_t(stride_));
}

QImage TJPEGBitmap::View() const {
    if (!rows_) return QImage();
    const QImage::Format format =
        format_ == Format::Bgr24 ? QImage::Format_BGR888 : QImage::Format_Indexed8;
    // The const constructor keeps QImage from ever writing to (or detaching from) our rows.
    QImage view(static_cast<const uchar*>(rows_.Data()), width_, height_, qsizetype(stride_), format);
    if (format_ == Format::Indexed8) view.setColorTable(palette_);
    return view;
}
