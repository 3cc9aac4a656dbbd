#include "picture/stretch.h"

#include "picture/block_cache.h"
#include "picture/row_progress.h"
#include "picture/stretch_axis.h"
#include "picture/stretch_horizontal.h"
#include "picture/stretch_kernels.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <new>

namespace {

// Full-weight rows are first summed in 16 bits, which holds this many rows of 255, and are
// added a few at a time.
constexpr int kRowsPerFlush = 257;
constexpr int kBatch = 8;
// A scaling that waits for rows still being decoded watches for them once the decode should
// end within this time: two of its looks, as a sleep of 100 us may last 150.
constexpr std::chrono::microseconds kWatchAhead{300};
// Indexed rows are expanded into kBatch + 1 slots, which must hold the rows weighted at once.
static_assert(kMaxWeightedRows <= kBatch + 1);

// The output image, in memory handed on from one scaled picture to the next: a fresh block
// costs a page fault per 4 KiB on its first touch.
QImage OutputImage(int width, int height) {
    const qsizetype stride = qsizetype(width) * 4;
    auto* buffer = new PictureBuffer(StretchedBlocks(), std::size_t(stride) * std::size_t(height));
    if (!*buffer) {
        delete buffer;
        throw std::bad_alloc();
    }
    return QImage(buffer->Data(), width, height, stride, QImage::Format_RGB32,
                  [](void* info) { delete static_cast<PictureBuffer*>(info); }, buffer);
}

// One scaling: the axes, the working rows, and the output, made row by row.
struct Scaler {
    Scaler(const QImage& source, QSize size, RowProgress* rows);
    const std::uint8_t* SourceRow(std::uint32_t y, int slot);
    /// How many source rows output row j takes, and the one after its last.
    std::uint32_t RowCount(std::uint32_t j) const { return ay.start[j + 1] - ay.start[j]; }
    std::uint32_t RowEnd(std::uint32_t j) const { return ay.first[j] + RowCount(j); }
    void WaitForRows(std::uint32_t j);
    void PrefetchRows(std::uint32_t j);
    void MakeRow(std::uint32_t j);

    const QImage source;
    RowProgress* const rows;   // null: every row is there
    std::uint32_t ready;       // rows known to be there
    const std::chrono::steady_clock::time_point begun = std::chrono::steady_clock::now();
    const bool indexed;
    const std::uint32_t sw, dh;
    const std::size_t n;  // bytes in a blue-green-red source row
    const Axis ax, ay;
    const HorizontalPass horizontal;
    std::array<std::uint8_t, 256 * 3> palette{};
    PictureBuffer scratch;
    std::uint32_t* acc;     // n sums and the few more the horizontal pass may read
    std::uint16_t* sum;     // n sums of full-weight rows
    std::uint8_t* expanded;  // indexed rows turned into blue-green-red ones
    QImage out;
};

Scaler::Scaler(const QImage& image, QSize size, RowProgress* progress)
    : source(image),
      rows(progress),
      ready(progress ? 0 : std::uint32_t(image.height())),
      indexed(image.format() == QImage::Format_Indexed8),
      sw(std::uint32_t(image.width())),
      dh(std::uint32_t(size.height())),
      n(std::size_t(sw) * 3),
      ax(MakeAxis(sw, std::uint32_t(size.width()))),
      ay(MakeAxis(std::uint32_t(image.height()), dh)),
      horizontal(ax, ax.total * ay.total, 255 * ay.total),
      out(OutputImage(size.width(), size.height())) {
    if (indexed) {
        const QList<QRgb> table = source.colorTable();
        for (int i = 0; i < table.size() && i < 256; ++i) {
            palette[3 * i] = std::uint8_t(qBlue(table[i]));
            palette[3 * i + 1] = std::uint8_t(qGreen(table[i]));
            palette[3 * i + 2] = std::uint8_t(qRed(table[i]));
        }
    }
    // One expanded row for each place in a batch, and one for a row of its own weight.
    const std::size_t accBytes = (n + HorizontalPass::kAccPadding) * sizeof *acc, sumBytes = n * sizeof *sum;
    const std::size_t expandedBytes = indexed ? n * (kBatch + 1) : 0;
    scratch = PictureBuffer(ScratchBlocks(), accBytes + sumBytes + expandedBytes);
    if (!scratch) throw std::bad_alloc();
    acc = reinterpret_cast<std::uint32_t*>(scratch.Data());
    sum = reinterpret_cast<std::uint16_t*>(scratch.Data() + accBytes);
    expanded = scratch.Data() + accBytes + sumBytes;
    std::memset(acc + n, 0, HorizontalPass::kAccPadding * sizeof *acc);
    std::memset(sum, 0, sumBytes);
}

const std::uint8_t* Scaler::SourceRow(std::uint32_t y, int slot) {
    const std::uint8_t* row = source.constScanLine(int(y));
    if (!indexed) return row;
    std::uint8_t* bgr = expanded + n * std::size_t(slot);
    for (std::uint32_t x = 0; x < sw; ++x) std::memcpy(&bgr[3 * x], &palette[3 * row[x]], 3);
    return bgr;
}

// Before output row j, when the source is still being decoded: waits for its source rows.
// They are watched for, rather than looked for now and then, once the decoder is expected to
// finish within about two looks at the pace it has kept so far, and before it has made a row
// (a small picture is decoded before the first look): the paint waits for whatever is still
// to be made once the last row is decoded.
void Scaler::WaitForRows(std::uint32_t j) {
    const std::uint32_t need = RowEnd(j);
    if (need <= ready) return;
    ready = rows->Ready();
    if (need <= ready) return;
    const std::uint32_t height = std::uint32_t(source.height());
    const double elapsed = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - begun).count();
    const bool soon = ready == 0 || double(height - ready) * elapsed / double(ready) <= kWatchAhead.count();
    ready = rows->WaitFor(need, soon);
}

// Asks the cache for the source rows output row j adds that the row before it did not. A
// picture just decoded has left the cache mostly; read a few rows at a time, it would come in
// at the speed of memory, while rows asked for a row ahead arrive as the one before is made.
void Scaler::PrefetchRows(std::uint32_t j) {
    if (j >= dh || RowCount(j) > std::uint32_t(kMaxWeightedRows)) return;
    const std::uint32_t from = std::max(ay.first[j], j > 0 ? RowEnd(j - 1) : 0);
    const std::size_t bytes = std::size_t(source.bytesPerLine());
    // Rows still being decoded are left alone: asking for them would take them from the
    // decoding processor's cache while it writes them.
    for (std::uint32_t y = from; y < std::min(RowEnd(j), ready); ++y) {
        const std::uint8_t* row = source.constScanLine(int(y));
        for (std::size_t k = 0; k < bytes; k += 64) __builtin_prefetch(row + k);
    }
}

void Scaler::MakeRow(std::uint32_t j) {
    // Down the columns first, so that each source row is read once for the whole picture.
    const std::uint32_t t0 = ay.start[j], t1 = ay.start[j + 1];
    std::uint32_t y = ay.first[j];
    if (rows) WaitForRows(j);
    PrefetchRows(j + 1);
    if (RowCount(j) <= std::uint32_t(kMaxWeightedRows)) {
        // A few rows: weighted and added in one pass over the sums.
        const std::uint8_t* weighted[kMaxWeightedRows];
        for (std::uint32_t t = t0; t < t1; ++t, ++y) weighted[t - t0] = SourceRow(y, int(t - t0));
        SetWeighted(acc, weighted, &ay.weights[t0], int(t1 - t0), n);
    } else {
        // Many: the rows of full weight are summed in 16 bits, a batch at a time, and
        // multiplied once; the partly covered ones at the ends are weighted on their own.
        std::memset(acc, 0, n * sizeof *acc);
        const std::uint8_t* batch[kBatch];
        int batched = 0, pending = 0;
        auto addBatch = [&] {
            if (pending + batched > kRowsPerFlush) FlushSum(acc, sum, ay.full, n), pending = 0;
            AddRows(sum, batch, batched, n);
            pending += batched;
            batched = 0;
        };
        for (std::uint32_t t = t0; t < t1; ++t, ++y) {
            const std::uint32_t w = ay.weights[t];
            if (w != ay.full) {
                AddWeighted(acc, SourceRow(y, kBatch), w, n);
                continue;
            }
            batch[batched] = SourceRow(y, batched);
            if (++batched == kBatch) addBatch();
        }
        if (batched) addBatch();
        if (pending) FlushSum(acc, sum, ay.full, n);
    }
    // Then across the row of column sums.
    horizontal.Run(acc, reinterpret_cast<QRgb*>(out.scanLine(int(j))));
}

}  // namespace

QImage StretchPicture(const QImage& input, QSize size, RowProgress* rows) {
    if (input.isNull() || size.isEmpty()) return QImage();
    if (std::uint64_t(size.width()) * std::uint64_t(size.height()) > kMaxPicturePixels) throw std::bad_alloc();
    const bool readable = input.format() == QImage::Format_Indexed8 || input.format() == QImage::Format_BGR888;
    // A conversion reads every row, so it waits for them all.
    if (!readable && rows) rows->WaitFor(std::uint32_t(input.height()), false);
    const QImage source = readable ? input : input.convertToFormat(QImage::Format_BGR888);
    Scaler scaler(source, size, readable ? rows : nullptr);
    for (std::uint32_t j = 0; j < scaler.dh; ++j) scaler.MakeRow(j);
    return scaler.out;
}
