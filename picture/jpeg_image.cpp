#include "picture/jpeg_image.h"

#include "picture/concurrent_stretch.h"
#include "picture/jpeg_decoder.h"
#include "picture/stretch.h"
#include "platform/application.h"

#include <QPainter>

#include <cstdio>
#include <exception>
#include <new>

// The compressed bytes and what the header said about them, shared by graphics assigned from
// one another and freed with the last.
struct TJPEGImage::Data {
    PictureBuffer bytes;
    std::size_t size = 0;
    int width = 0;
    int height = 0;
    bool grayscale = false;
};

namespace {
int screenDepthForOutput = 0;

std::string Format(const char* format, auto... args) {
    char text[256];
    std::snprintf(text, sizeof text, format, args...);
    return text;
}
}  // namespace

EJPEG::EJPEG(int code) : Exception(Format("JPEG error #%d", code)), code_(code) {}
EJPEG::EJPEG(std::string message) : Exception(std::move(message)) {}

TJPEGImage::TJPEGImage() : pixelFormat_(DefaultPixelFormat()) {}
TJPEGImage::~TJPEGImage() = default;

void TJPEGImage::SetScreenDepthForOutput(int bitsPerPixel) { screenDepthForOutput = bitsPerPixel; }

TJPEGPixelFormat TJPEGImage::DefaultPixelFormat() {
    int depth = screenDepthForOutput;
    if (depth == 0) depth = Application ? Application->ScreenDepth() : 24;
    return depth <= 8 ? TJPEGPixelFormat::jf8Bit : TJPEGPixelFormat::jf24Bit;
}

int TJPEGImage::Width() const { return data_ ? data_->width : 0; }
int TJPEGImage::Height() const { return data_ ? data_->height : 0; }
bool TJPEGImage::Grayscale() const { return data_ && data_->grayscale; }

void TJPEGImage::LoadFromStream(TStream& stream) {
    auto data = std::make_shared<Data>();
    const std::size_t size = stream.Size() > stream.Position() ? stream.Size() - stream.Position() : 0;
    // The one copy of the compressed bytes; left uninitialised, as Read fills it.
    data->bytes = PictureBuffer(CompressedBlocks(), size);
    if (!data->bytes) throw std::bad_alloc();
    data->size = stream.Read(data->bytes.Data(), size);
    bool progressive = false;
    if (data->size > 0) {
        JpegDecoderGuard guard;
        JpegHeader header{};
        if (!JpegOpen(&guard.decoder, data->bytes.Data(), data->size, &header))
            throw EJPEG(JpegErrorCode(&guard.decoder));
        data->width = header.width;
        data->height = header.height;
        data->grayscale = header.grayscale;
        progressive = header.progressive;
    }
    data_ = std::move(data);
    progressive_ = progressive;
    bitmap_.reset();
    stretched_ = QImage();
}

std::unique_ptr<TGraphic> TJPEGImage::Clone() const {
    auto copy = std::make_unique<TJPEGImage>();
    copy->data_ = data_;
    copy->progressive_ = progressive_;
    copy->bitmap_ = bitmap_;
    copy->stretched_ = stretched_;
    return copy;
}

void TJPEGImage::MakeBitmap() { Decode(nullptr, QSize()); }

void TJPEGImage::Decode(ConcurrentStretch* alongside, QSize size) {
    if (bitmap_ || !data_) return;
    // Attached before decoding, so that whatever an error leaves is what later draws show.
    bitmap_ = std::make_shared<TJPEGBitmap>();
    ++decodeCount_;
    DecodeInto(*bitmap_, alongside, size);
}

void TJPEGImage::DecodeInto(TJPEGBitmap& bitmap, ConcurrentStretch* alongside, QSize size) const {
    JpegDecoderGuard guard;
    JpegDecoder* decoder = &guard.decoder;
    auto check = [decoder](bool ok) {
        if (!ok) throw EJPEG(JpegErrorCode(decoder));
    };
    JpegHeader header{};
    check(JpegOpen(decoder, data_->bytes.Data(), data_->size, &header));
    check(JpegConfigure(decoder, pixelFormat_ == TJPEGPixelFormat::jf8Bit));

    const jpeg_decompress_struct& cinfo = decoder->cinfo;
    const std::uint64_t pixels = std::uint64_t(cinfo.output_width) * cinfo.output_height;
    if (pixels > kMaxPixels)
        throw EJPEG(Format("The picture is too large to show (%u x %u pixels; the limit is %llu pixels)",
                           cinfo.output_width, cinfo.output_height,
                           static_cast<unsigned long long>(kMaxPixels)));

    check(JpegStart(decoder));
    const bool quantized = cinfo.quantize_colors;
    if (!bitmap.Allocate(int(cinfo.output_width), int(cinfo.output_height),
                         quantized ? TJPEGBitmap::Format::Indexed8 : TJPEGBitmap::Format::Bgr24))
        throw EJPEG(Format("Not enough memory to show the picture (%u x %u pixels)",
                           cinfo.output_width, cinfo.output_height));
    if (quantized) {
        // The palette is complete once decompression has started (a two-pass quantizer chose
        // it in its first pass), so rows that an error leaves are shown in their own colours.
        QVector<QRgb> palette(cinfo.actual_number_of_colors);
        const bool grey = cinfo.out_color_components == 1;
        for (int i = 0; i < cinfo.actual_number_of_colors; ++i) {
            const int r = cinfo.colormap[0][i];
            palette[i] = grey ? qRgb(r, r, r) : qRgb(r, cinfo.colormap[1][i], cinfo.colormap[2][i]);
        }
        bitmap.SetPalette(std::move(palette));
    }
    // The scaling reads each row as soon as it is finished; the rows an error leaves are
    // cleared below before the caller tells it that all are there. Nothing may raise between
    // here and that clearing, so a scaling that cannot start leaves the draw to scale after.
    bool scaling = false;
    if (alongside && bitmap.Width() > 0) {
        try {
            scaling = alongside->Start(bitmap.View(), size);
        } catch (const std::exception&) {
        }
    }
    const bool read = JpegReadRows(decoder, bitmap.Bits(), bitmap.Stride(), scaling ? &alongside->Rows() : nullptr);
    // Rows an error left unwritten show black, not what the recycled memory held.
    bitmap.ClearRowsFrom(int(cinfo.output_scanline));
    check(read);
    check(JpegFinish(decoder));
}

bool TJPEGImage::Painted() const { return painted_; }

void TJPEGImage::Draw(QPainter& painter, const QRect& dest) {
    painted_ = false;
    // A first draw that scales has the scaled copy made on another processor while it decodes.
    const bool scales = !dest.isEmpty() && dest.size() != QSize(Width(), Height());
    ConcurrentStretch alongside;
    std::exception_ptr failure;
    try {
        Decode(scales ? &alongside : nullptr, dest.size());
    } catch (...) {
        failure = std::current_exception();
    }
    if (bitmap_ && bitmap_->Width() > 0 && !dest.isEmpty()) {
        if (dest.size() == QSize(bitmap_->Width(), bitmap_->Height())) {
            painter.drawImage(dest.topLeft(), bitmap_->View());
        } else {
            if (alongside.Started()) {
                stretched_ = alongside.Finish();
                ++stretchCount_;
            } else if (stretched_.size() != dest.size()) {
                stretched_ = StretchPicture(bitmap_->View(), dest.size());
                ++stretchCount_;
            }
            painter.drawImage(dest.topLeft(), stretched_);
        }
        painted_ = true;
    }
    if (failure) std::rethrow_exception(failure);
}
