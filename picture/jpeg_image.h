// TJPEGImage: a JPEG picture held as its compressed bytes, decoded on its first draw and then
// drawn from the kept bitmap; EJPEG: what its decoder raises.
#pragma once

#include "picture/jpeg_bitmap.h"
#include "picture/stretch.h"
#include "platform/exception.h"
#include "platform/image.h"
#include "platform/memory_stream.h"

#include <QImage>

#include <cstdint>
#include <memory>

class ConcurrentStretch;

/// A decoder error ("JPEG error #<code>", the library's own message code), or one of the
/// graphic's own limits (a message of its own; Code() is then 0, which the library never raises).
class EJPEG : public Exception {
public:
    explicit EJPEG(int code);
    explicit EJPEG(std::string message);
    int Code() const noexcept { return code_; }

private:
    int code_ = 0;
};

enum class TJPEGPixelFormat { jf24Bit, jf8Bit };

class TJPEGImage : public TGraphic {
public:
    /// The largest decoded picture shown, in pixels: 2^28, about 268 million (16384 by 16384;
    /// a 100-megapixel snapshot is well inside). A bigger one fails at its first draw with an
    /// EJPEG saying so instead of taking the machine's memory: at the limit the 24-bit bitmap
    /// is 768 MiB, and the decoder's own buffers for a progressive JPEG take up to 8 bytes a
    /// pixel more (2 GiB). The check comes before the decoder allocates anything for the picture.
    static constexpr std::uint64_t kMaxPixels = kMaxPicturePixels;

    TJPEGImage();
    ~TJPEGImage() override;

    /// Drops any decoded bitmap and takes every byte from the stream's position to its end as
    /// the new compressed data; with at least one byte, reads the header (and nothing more).
    /// Raises EJPEG for a header the decoder rejects; the graphic is then unchanged.
    void LoadFromStream(TStream& stream);

    int Width() const override;
    int Height() const override;
    /// True until something is loaded; a load of zero bytes is 0 by 0 but not empty.
    bool Empty() const { return !data_; }
    bool Grayscale() const;
    bool ProgressiveEncoding() const { return progressive_; }
    TJPEGPixelFormat PixelFormat() const { return pixelFormat_; }

    /// Shares the compressed data and the decoded bitmap (which is never changed once made);
    /// the copy has the default settings.
    std::unique_ptr<TGraphic> Clone() const override;
    /// True when both hold the same block of compressed data.
    bool SharesDataWith(const TJPEGImage& other) const { return data_ && data_ == other.data_; }

    /// Draws the picture scaled into `dest`. The first draw decodes; an error there is raised
    /// after drawing what was decoded before it, and the graphic never decodes again.
    void Draw(QPainter& painter, const QRect& dest) override;
    bool Painted() const override;

    /// Makes the bitmap if no draw has yet, raising what the first draw would.
    void MakeBitmap();
    /// The decoded bitmap; null before the first draw.
    const TJPEGBitmap* Bitmap() const { return bitmap_.get(); }
    /// The bitmap scaled to the last destination drawn; repaints draw this.
    const QImage& Stretched() const { return stretched_; }
    /// How many times this graphic has decoded and scaled its picture.
    int DecodeCount() const { return decodeCount_; }
    int StretchCount() const { return stretchCount_; }

    /// The pixel format a new graphic starts with: 8-bit when the screen has 8 or fewer bits
    /// per pixel, else 24-bit.
    static TJPEGPixelFormat DefaultPixelFormat();
    /// The screen depth behind DefaultPixelFormat: 0 (the default) uses the one the
    /// application read at start-up; tests and tools give their own.
    static void SetScreenDepthForOutput(int bitsPerPixel);

private:
    struct Data;
    /// MakeBitmap, with the scaling to `size` made beside the decode when `alongside` is given.
    void Decode(ConcurrentStretch* alongside, QSize size);
    void DecodeInto(TJPEGBitmap& bitmap, ConcurrentStretch* alongside, QSize size) const;

    std::shared_ptr<const Data> data_;
    bool progressive_ = false;
    TJPEGPixelFormat pixelFormat_;
    std::shared_ptr<TJPEGBitmap> bitmap_;
    QImage stretched_;
    int decodeCount_ = 0;
    int stretchCount_ = 0;
    bool painted_ = false;  // the last draw painted the whole of its destination
};
