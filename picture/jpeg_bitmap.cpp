#include "picture/jpeg_bitmap.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <limits>

namespace {
// Large bitmaps get their own mapping, aligned to the 2 MiB huge-page size and marked for huge
// pages: a freshly allocated buffer is otherwise first touched a 4 KiB page at a time by the
// decoder, and those page faults cost more than decoding itself.
constexpr std::size_t kHugePage = std::size_t(2) << 20;
constexpr std::size_t kMapThreshold = 4 * kHugePage;
}  // namespace

TJPEGBitmap::~TJPEGBitmap() { Release(); }

void TJPEGBitmap::Release() {
    if (mapping_) munmap(mapping_, mappedBytes_);
    else std::free(bits_);
    bits_ = mapping_ = nullptr;
    mappedBytes_ = 0;
    width_ = height_ = 0;
    stride_ = 0;
}

bool TJPEGBitmap::Allocate(int width, int height, Format format) {
    Release();
    if (width <= 0 || height <= 0) return true;
    const std::size_t bytesPerPixel = format == Format::Bgr24 ? 3 : 1;
    const std::size_t stride = (std::size_t(width) * bytesPerPixel + 3) & ~std::size_t(3);
    if (stride > std::numeric_limits<std::size_t>::max() / std::size_t(height)) return false;
    const std::size_t bytes = stride * std::size_t(height);
    if (bytes >= kMapThreshold) {
        const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
        const std::size_t kept = (bytes + page - 1) / page * page;
        const std::size_t length = kept + kHugePage;
        void* raw = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (raw == MAP_FAILED) return false;
        auto* start = static_cast<std::uint8_t*>(raw);
        const std::size_t misalign = reinterpret_cast<std::uintptr_t>(start) % kHugePage;
        const std::size_t head = misalign ? kHugePage - misalign : 0;
        if (head) munmap(start, head);
        if (length - head > kept) munmap(start + head + kept, length - head - kept);
        mapping_ = bits_ = start + head;
        mappedBytes_ = kept;
        madvise(mapping_, mappedBytes_, MADV_HUGEPAGE);
    } else {
        bits_ = static_cast<std::uint8_t*>(std::calloc(bytes, 1));
        if (!bits_) return false;
    }
    width_ = width;
    height_ = height;
    stride_ = static_cast<std::ptrdiff_t>(stride);
    format_ = format;
    return true;
}

QImage TJPEGBitmap::View() const {
    if (!bits_) return QImage();
    const QImage::Format format =
        format_ == Format::Bgr24 ? QImage::Format_BGR888 : QImage::Format_Indexed8;
    // The const constructor keeps QImage from ever writing to (or detaching from) our rows.
    QImage view(static_cast<const uchar*>(bits_), width_, height_, qsizetype(stride_), format);
    if (format_ == Format::Indexed8) view.setColorTable(palette_);
    return view;
}
