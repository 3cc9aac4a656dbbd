#include "picture/stretch.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr std::size_t kPrefetch = 1024;

// How the source samples along one direction make up each output sample: output i takes the
// weights weights[start[i]] .. weights[start[i+1] - 1] of the source samples from first[i] on.
// Every output's weights add up to `total`.
struct Axis {
    std::vector<std::uint32_t> first;
    std::vector<std::uint32_t> start;
    std::vector<std::uint32_t> weights;
    std::uint64_t total = 1;
    std::uint32_t full = 0;  // the weight of a source sample lying wholly inside one output
};

// Shrinking: in units where a source sample is `dst` long and an output sample `src` long,
// each weight is the length of the overlap, which makes the averaging exact.
Axis AreaAxis(std::uint32_t src, std::uint32_t dst) {
    Axis axis;
    axis.total = src;
    axis.full = dst;
    for (std::uint64_t i = 0; i < dst; ++i) {
        const std::uint64_t lo = i * src, hi = lo + src;
        const std::uint64_t k0 = lo / dst, k1 = (hi - 1) / dst;
        axis.first.push_back(std::uint32_t(k0));
        axis.start.push_back(std::uint32_t(axis.weights.size()));
        for (std::uint64_t k = k0; k <= k1; ++k)
            axis.weights.push_back(std::uint32_t(std::min(hi, (k + 1) * dst) - std::max(lo, k * dst)));
    }
    axis.start.push_back(std::uint32_t(axis.weights.size()));
    return axis;
}

// Enlarging: linear interpolation between the two source samples whose centres surround the
// output sample's centre, in 1/256 steps; the edges repeat the outermost samples.
Axis LinearAxis(std::uint32_t src, std::uint32_t dst) {
    constexpr std::uint32_t kOne = 256;
    Axis axis;
    axis.total = kOne;
    for (std::int64_t i = 0; i < std::int64_t(dst); ++i) {
        // The centre of output i lies at (2i + 1) * src / (2 * dst) - 1/2 source samples.
        const std::int64_t num = (2 * i + 1) * std::int64_t(src) - std::int64_t(dst);
        const std::int64_t den = 2 * std::int64_t(dst);
        std::int64_t k = 0;
        std::uint32_t f = 0;
        if (num > 0) {
            k = num / den;
            f = std::uint32_t(((num % den) * kOne + dst) / den);
            if (f == kOne) ++k, f = 0;
        }
        if (k >= std::int64_t(src) - 1) k = src - 1, f = 0;
        axis.first.push_back(std::uint32_t(k));
        axis.start.push_back(std::uint32_t(axis.weights.size()));
        axis.weights.push_back(kOne - f);
        if (f) axis.weights.push_back(f);
    }
    axis.start.push_back(std::uint32_t(axis.weights.size()));
    return axis;
}

Axis CopyAxis(std::uint32_t n) {
    Axis axis;
    axis.full = 1;
    for (std::uint32_t i = 0; i <= n; ++i) axis.start.push_back(i);
    for (std::uint32_t i = 0; i < n; ++i) axis.first.push_back(i), axis.weights.push_back(1);
    return axis;
}

Axis MakeAxis(std::uint32_t src, std::uint32_t dst) {
    if (dst < src) return AreaAxis(src, dst);
    if (dst > src) return LinearAxis(src, dst);
    return CopyAxis(src);
}

// The inner loops, SSE2 where available (every x86-64), with the plain loop for the rest.

// sum[i] += rows[0][i] + ... + rows[count - 1][i], keeping each slice of the sums in registers
// while it goes down the rows.
void AddRows(std::uint16_t* sum, const std::uint8_t* const* rows, int count, std::size_t n) {
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= n; i += 16) {
        auto* s = reinterpret_cast<__m128i*>(sum + i);
        __m128i lo = _mm_loadu_si128(s), hi = _mm_loadu_si128(s + 1);
        for (int r = 0; r < count; ++r) {
            // Going down several rows at once defeats the hardware's prefetching; a cache line
            // asked for this far ahead arrives in time.
            if ((i & 63) == 0) _mm_prefetch(reinterpret_cast<const char*>(rows[r] + i + kPrefetch), _MM_HINT_T0);
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[r] + i));
            lo = _mm_add_epi16(lo, _mm_unpacklo_epi8(v, zero));
            hi = _mm_add_epi16(hi, _mm_unpackhi_epi8(v, zero));
        }
        _mm_storeu_si128(s, lo);
        _mm_storeu_si128(s + 1, hi);
    }
#endif
    for (; i < n; ++i)
        for (int r = 0; r < count; ++r) sum[i] = std::uint16_t(sum[i] + rows[r][i]);
}

#if defined(__SSE2__)
// acc[0..8) += w * x, for eight 16-bit lanes and a 16-bit weight: the full 32-bit products
// are put together from their low and high halves.
inline void AddProducts(std::uint32_t* acc, __m128i x, __m128i w) {
    const __m128i lo = _mm_mullo_epi16(x, w), hi = _mm_mulhi_epu16(x, w);
    auto* a = reinterpret_cast<__m128i*>(acc);
    _mm_storeu_si128(a, _mm_add_epi32(_mm_loadu_si128(a), _mm_unpacklo_epi16(lo, hi)));
    _mm_storeu_si128(a + 1, _mm_add_epi32(_mm_loadu_si128(a + 1), _mm_unpackhi_epi16(lo, hi)));
}
#endif

// acc[i] += w * row[i]
void AddWeighted(std::uint32_t* acc, const std::uint8_t* row, std::uint32_t w, std::size_t n) {
    std::size_t i = 0;
#if defined(__SSE2__)
    if (w <= 0xFFFF) {
        const __m128i zero = _mm_setzero_si128(), weight = _mm_set1_epi16(short(w));
        for (; i + 16 <= n; i += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i));
            AddProducts(acc + i, _mm_unpacklo_epi8(v, zero), weight);
            AddProducts(acc + i + 8, _mm_unpackhi_epi8(v, zero), weight);
        }
    }
#endif
    for (; i < n; ++i) acc[i] += w * row[i];
}

// acc[i] += w * sum[i]; sum[i] = 0
void FlushSum(std::uint32_t* acc, std::uint16_t* sum, std::uint32_t w, std::size_t n) {
    std::size_t i = 0;
#if defined(__SSE2__)
    if (w <= 0xFFFF) {
        const __m128i weight = _mm_set1_epi16(short(w));
        for (; i + 8 <= n; i += 8)
            AddProducts(acc + i, _mm_loadu_si128(reinterpret_cast<const __m128i*>(sum + i)), weight);
    }
#endif
    for (; i < n; ++i) acc[i] += w * sum[i];
    std::memset(sum, 0, n * sizeof *sum);
}

__extension__ typedef unsigned __int128 Wide;

// x / d rounded down by a multiplication and a shift, for every x up to a bound known in
// advance: a 64-bit division takes several times as long, and there are three per output
// pixel. With n bits for the largest x, s = n + ceil(log2 d) and m = floor(2^s / d) + 1, the
// error of m / 2^s against 1 / d is below 2^-n / d, too little to carry any x < 2^n across a
// multiple of d, so floor(x * m / 2^s) = floor(x / d).
class Divider {
public:
    Divider(std::uint64_t divisor, std::uint64_t largest) : divisor_(divisor) {
        const int n = std::bit_width(largest);
        const int l = std::bit_width(divisor - 1);
        if (n <= 62) {  // keeps m below 2^64
            shift_ = n + l;
            multiplier_ = std::uint64_t((Wide(1) << shift_) / divisor) + 1;
            exact_ = true;
        }
    }
    std::uint64_t operator()(std::uint64_t x) const {
        return exact_ ? std::uint64_t((Wide(x) * multiplier_) >> shift_) : x / divisor_;
    }

private:
    std::uint64_t divisor_;
    std::uint64_t multiplier_ = 0;
    int shift_ = 0;
    bool exact_ = false;
};

// An output sample of an axis in the form the horizontal pass uses: the weight of its first
// and of its last source sample, and `count` samples in all, those between the two each with
// the axis' full weight (which holds for every axis made above).
struct Span {
    std::uint32_t first, count, firstWeight, lastWeight;
};

std::vector<Span> Spans(const Axis& axis) {
    std::vector<Span> spans(axis.first.size());
    for (std::size_t i = 0; i < spans.size(); ++i) {
        const std::uint32_t t0 = axis.start[i], t1 = axis.start[i + 1];
        spans[i] = {axis.first[i], t1 - t0, axis.weights[t0], axis.weights[t1 - 1]};
    }
    return spans;
}

// One output row from the column sums `acc`: each pixel is its weighted sum over the columns
// it covers, divided by `total` and rounded. The columns between the first and the last are
// added up first and multiplied once, with their common weight.
void HorizontalPass(const std::uint32_t* acc, const std::vector<Span>& spans, std::uint64_t full,
                    std::uint64_t total, const Divider& divide, QRgb* line) {
    const std::uint64_t half = total / 2;
    for (std::size_t i = 0; i < spans.size(); ++i) {
        const Span& s = spans[i];
        const std::uint32_t* a = acc + 3 * std::size_t(s.first);
        std::uint64_t b = std::uint64_t(s.firstWeight) * a[0] + half;
        std::uint64_t g = std::uint64_t(s.firstWeight) * a[1] + half;
        std::uint64_t r = std::uint64_t(s.firstWeight) * a[2] + half;
        if (s.count > 1) {
            std::uint64_t mb = 0, mg = 0, mr = 0;
            const std::uint32_t* m = a + 3;
            for (std::uint32_t k = 2; k < s.count; ++k, m += 3) mb += m[0], mg += m[1], mr += m[2];
            b += full * mb + std::uint64_t(s.lastWeight) * m[0];
            g += full * mg + std::uint64_t(s.lastWeight) * m[1];
            r += full * mr + std::uint64_t(s.lastWeight) * m[2];
        }
        line[i] = 0xFF000000u | std::uint32_t(divide(r)) << 16 | std::uint32_t(divide(g)) << 8 |
                  std::uint32_t(divide(b));
    }
}

// Full-weight rows are first summed in 16 bits, which holds this many rows of 255, and are
// added a few at a time.
constexpr int kRowsPerFlush = 257;
constexpr int kBatch = 8;

}  // namespace

QImage StretchPicture(const QImage& input, QSize size) {
    if (input.isNull() || size.isEmpty()) return QImage();
    const bool indexed = input.format() == QImage::Format_Indexed8;
    const QImage source = indexed || input.format() == QImage::Format_BGR888
                              ? input
                              : input.convertToFormat(QImage::Format_BGR888);
    const std::uint32_t sw = source.width(), sh = source.height();
    const std::uint32_t dw = size.width(), dh = size.height();
    const Axis ax = MakeAxis(sw, dw), ay = MakeAxis(sh, dh);
    const std::size_t n = std::size_t(sw) * 3;

    QImage out(int(dw), int(dh), QImage::Format_RGB32);
    if (out.isNull()) throw std::bad_alloc();

    // Indexed rows are turned into blue-green-red ones through the palette, one row at a time.
    std::array<std::uint8_t, 256 * 3> palette{};
    if (indexed) {
        const QList<QRgb> table = source.colorTable();
        for (int i = 0; i < table.size() && i < 256; ++i) {
            palette[3 * i] = std::uint8_t(qBlue(table[i]));
            palette[3 * i + 1] = std::uint8_t(qGreen(table[i]));
            palette[3 * i + 2] = std::uint8_t(qRed(table[i]));
        }
    }
    // One row for each place in a batch, and one for a row of its own weight.
    std::vector<std::uint8_t> expanded(indexed ? n * (kBatch + 1) : 0);
    auto sourceRow = [&](std::uint32_t y, int slot) -> const std::uint8_t* {
        const std::uint8_t* row = source.constScanLine(int(y));
        if (!indexed) return row;
        std::uint8_t* out = &expanded[n * std::size_t(slot)];
        for (std::uint32_t x = 0; x < sw; ++x) std::memcpy(&out[3 * x], &palette[3 * row[x]], 3);
        return out;
    };

    std::vector<std::uint16_t> sum(n);
    std::vector<std::uint32_t> acc(n);
    const std::uint64_t total = ax.total * ay.total;
    const std::vector<Span> spans = Spans(ax);
    const Divider divide(total, 255 * total + total / 2);
    for (std::uint32_t j = 0; j < dh; ++j) {
        // Down the columns first, so that each source row is read once for the whole picture.
        std::fill(acc.begin(), acc.end(), 0u);
        const std::uint8_t* batch[kBatch];
        int batched = 0, pending = 0;
        auto addBatch = [&] {
            if (pending + batched > kRowsPerFlush) FlushSum(acc.data(), sum.data(), ay.full, n), pending = 0;
            AddRows(sum.data(), batch, batched, n);
            pending += batched;
            batched = 0;
        };
        std::uint32_t y = ay.first[j];
        for (std::uint32_t t = ay.start[j]; t < ay.start[j + 1]; ++t, ++y) {
            const std::uint32_t w = ay.weights[t];
            if (w != ay.full) {
                AddWeighted(acc.data(), sourceRow(y, kBatch), w, n);
                continue;
            }
            batch[batched] = sourceRow(y, batched);
            if (++batched == kBatch) addBatch();
        }
        if (batched) addBatch();
        if (pending) FlushSum(acc.data(), sum.data(), ay.full, n);

        // Then across the row of column sums.
        HorizontalPass(acc.data(), spans, ax.full, total, divide, reinterpret_cast<QRgb*>(out.scanLine(int(j))));
    }
    return out;
}
