// Scaling a decoded picture to the picture area, each direction on its own: area averaging
// where a direction shrinks (every source pixel counts by how much of it an output pixel
// covers, so fine patterns come out as their average, not as moiré), linear interpolation
// between pixel centres where it grows, and a plain copy where it keeps its size.
#pragma once

#include <QImage>
#include <QSize>

#include <cstdint>

class RowProgress;

/// The most pixels a picture may have here, decoded or scaled: 2^28 (16384 by 16384).
constexpr std::uint64_t kMaxPicturePixels = std::uint64_t(1) << 28;

/// Scales `source` (any format; 24-bit blue-green-red and 8-bit indexed are read as they are)
/// to `size`; the result is a Format_RGB32 image ready to paint. An empty source or size
/// gives a null image. Raises std::bad_alloc when the memory cannot be had, and for sizes of
/// more than kMaxPicturePixels (a GiB of output), before taking any. With `rows`, the source
/// is still being written by another thread: each source row is read only once `rows` has it.
QImage StretchPicture(const QImage& source, QSize size, RowProgress* rows = nullptr);
