#include "picture/stretch_horizontal.h"

#include "picture/vector_units.h"

#include <algorithm>
#include <bit>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace {

using Span = HorizontalPass::Span;
using VectorSpan = HorizontalPass::VectorSpan;
__extension__ typedef unsigned __int128 Wide;

// The plain version, in integers. The division by the total weight, three per pixel, is a
// multiplication and a shift (a 64-bit division takes several times as long); see the
// constructor for why it is exact.
void RunPlain(const std::uint32_t* acc, const std::vector<Span>& spans, std::uint64_t full,
              std::uint64_t total, std::uint64_t multiplier, int shift, QRgb* line) {
    const std::uint64_t half = total / 2;
    auto divide = [=](std::uint64_t x) {
        return std::uint32_t(shift ? std::uint64_t((Wide(x) * multiplier) >> shift) : x / total);
    };
    for (std::size_t i = 0; i < spans.size(); ++i) {
        const Span& s = spans[i];
        const std::uint32_t* a = acc + 3 * std::size_t(s.first);
        std::uint64_t b = std::uint64_t(s.firstWeight) * a[0] + half;
        std::uint64_t g = std::uint64_t(s.firstWeight) * a[1] + half;
        std::uint64_t r = std::uint64_t(s.firstWeight) * a[2] + half;
        if (s.count > 1) {
            // The columns of full weight are added up first and multiplied once.
            std::uint64_t mb = 0, mg = 0, mr = 0;
            const std::uint32_t* m = a + 3;
            for (std::uint32_t k = 2; k < s.count; ++k, m += 3) mb += m[0], mg += m[1], mr += m[2];
            b += full * mb + std::uint64_t(s.lastWeight) * m[0];
            g += full * mg + std::uint64_t(s.lastWeight) * m[1];
            r += full * mr + std::uint64_t(s.lastWeight) * m[2];
        }
        line[i] = 0xFF000000u | divide(r) << 16 | divide(g) << 8 | divide(b);
    }
}

#if defined(__x86_64__) || defined(__i386__)
// The vector version (AVX2 with fused multiply-add): the three sums of a pixel are three
// lanes of one vector of doubles, the fourth lane a bystander. Every product and sum is a
// whole number below 2^53, so doubles hold them exactly. The quotient is then taken as
// (x + half) * (1 / total) + 2^-36: within 2^-44 of the true quotient, which lies either on a
// whole number or at least 1 / total below the next one, so with total below 2^35 the nudged
// value truncates to the true floor.
#define CAMVIEW_VECTOR __attribute__((target("avx2,fma")))

CAMVIEW_VECTOR inline __m256d Column(const std::uint32_t* a) {
    return _mm256_cvtepi32_pd(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a)));
}

CAMVIEW_VECTOR inline QRgb Pixel(__m256d x, __m256d scale, __m256d nudge) {
    // Bytes 0, 4 and 8 of the quotients (blue, green, red) to bytes 0, 1 and 2.
    const __m128i gather = _mm_setr_epi8(0, 4, 8, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m128i q = _mm256_cvttpd_epi32(_mm256_fmadd_pd(x, scale, nudge));
    return QRgb(_mm_cvtsi128_si32(_mm_shuffle_epi8(q, gather))) | 0xFF000000u;
}

// The sums of one pixel weighted by the `kCount` weights of its columns, plus half the total.
template <int kCount>
CAMVIEW_VECTOR inline __m256d DenseSums(const std::uint32_t* a, const double* weights, __m256d half) {
    __m256d x = half;
#pragma GCC unroll 4
    for (int k = 0; k < kCount; ++k) x = _mm256_fmadd_pd(Column(a + 3 * k), _mm256_broadcast_sd(weights + k), x);
    return x;
}

// Every pixel with the same number of columns, `kCount`, those it does not cover weighted 0:
// no branches, for the small shrinking factors of the usual snapshot sizes. Two pixels are
// finished together: their quotients, whole numbers 0 to 255 in the blue, green and red
// lanes, are narrowed to bytes in two saturating steps, the bystander lanes set to 255, and
// stored as one 8-byte piece of the row.
template <int kCount>
CAMVIEW_VECTOR void RunDense(const std::uint32_t* acc, const std::vector<std::uint32_t>& offsets,
                             const double* weights, std::uint64_t total, QRgb* line) {
    const __m256d half = _mm256_set1_pd(double(total / 2));
    const __m256d scale = _mm256_set1_pd(1.0 / double(total));
    const __m256d nudge = _mm256_set1_pd(0x1p-36);
    const __m128i opaque = _mm_set1_epi32(int(0xFF000000u));
    const std::size_t n = offsets.size();
    std::size_t i = 0;
    for (; i + 2 <= n; i += 2) {
        const __m256d x0 = DenseSums<kCount>(acc + offsets[i], weights + i * kCount, half);
        const __m256d x1 = DenseSums<kCount>(acc + offsets[i + 1], weights + (i + 1) * kCount, half);
        const __m128i q0 = _mm256_cvttpd_epi32(_mm256_fmadd_pd(x0, scale, nudge));
        const __m128i q1 = _mm256_cvttpd_epi32(_mm256_fmadd_pd(x1, scale, nudge));
        const __m128i words = _mm_packus_epi32(q0, q1);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(line + i), _mm_or_si128(_mm_packus_epi16(words, words), opaque));
    }
    if (i < n) line[i] = Pixel(DenseSums<kCount>(acc + offsets[i], weights + i * kCount, half), scale, nudge);
}

// Any number of columns: those between the first and the last are added up first and
// multiplied once, with the full weight.
CAMVIEW_VECTOR void RunSpans(const std::uint32_t* acc, const std::vector<VectorSpan>& spans, std::uint64_t full,
                             std::uint64_t total, QRgb* line) {
    const __m256d fullWeight = _mm256_set1_pd(double(full));
    const __m256d half = _mm256_set1_pd(double(total / 2));
    const __m256d scale = _mm256_set1_pd(1.0 / double(total));
    const __m256d nudge = _mm256_set1_pd(0x1p-36);
    for (std::size_t i = 0; i < spans.size(); ++i) {
        const VectorSpan& s = spans[i];
        const std::uint32_t* a = acc + s.offset;
        __m256d x = _mm256_fmadd_pd(Column(a), _mm256_broadcast_sd(&s.firstWeight), half);
        if (s.count > 1) {
            const std::uint32_t* last = a + 3 * std::size_t(s.count - 1);
            if (a + 3 < last) {
                __m256d middle = Column(a + 3);
                for (a += 6; a < last; a += 3) middle = _mm256_add_pd(middle, Column(a));
                x = _mm256_fmadd_pd(middle, fullWeight, x);
            }
            x = _mm256_fmadd_pd(Column(last), _mm256_broadcast_sd(&s.lastWeight), x);
        }
        line[i] = Pixel(x, scale, nudge);
    }
}

#endif

}  // namespace

HorizontalPass::HorizontalPass(const Axis& axis, std::uint64_t total, std::uint64_t largestSum)
    : spans_(axis.first.size()), full_(axis.full), total_(total) {
    for (std::size_t i = 0; i < spans_.size(); ++i) {
        const std::uint32_t t0 = axis.start[i], t1 = axis.start[i + 1];
        spans_[i] = {axis.first[i], t1 - t0, axis.weights[t0], axis.weights[t1 - 1]};
    }
    // x / total rounded down, for every x below 2^n: with s = n + ceil(log2 total) and
    // m = floor(2^s / total) + 1, m / 2^s exceeds 1 / total by less than 2^-n / total, too
    // little to carry any such x across a multiple of total, so floor(x * m / 2^s) is exact.
    const std::uint64_t largest = 255 * total + total / 2;
    const int n = std::bit_width(largest);
    if (n <= 62) {  // keeps m below 2^64
        shift_ = n + std::bit_width(total - 1);
        multiplier_ = std::uint64_t((Wide(1) << shift_) / total) + 1;
    }
#if defined(__x86_64__) || defined(__i386__)
    // The vector version reads the sums as signed 32-bit numbers.
    vector_ = UseAvx2() && total < (std::uint64_t(1) << 35) &&
              largestSum < (std::uint64_t(1) << 31);
    if (!vector_) return;
    std::uint32_t most = 0;
    for (const Span& s : spans_) most = std::max(most, s.count);
    if (most <= std::uint32_t(kMaxDenseColumns)) {
        denseCount_ = int(most);
        denseOffsets_.reserve(spans_.size());
        denseWeights_.reserve(spans_.size() * most);
        for (std::size_t i = 0; i < spans_.size(); ++i) {
            denseOffsets_.push_back(3 * spans_[i].first);
            for (std::uint32_t t = axis.start[i]; t < axis.start[i] + most; ++t)
                denseWeights_.push_back(t < axis.start[i + 1] ? double(axis.weights[t]) : 0.0);
        }
    } else {
        vectorSpans_.reserve(spans_.size());
        for (const Span& s : spans_)
            vectorSpans_.push_back({3 * s.first, s.count, double(s.firstWeight), double(s.lastWeight)});
    }
#else
    (void)largestSum;
#endif
}

void HorizontalPass::Run(const std::uint32_t* acc, QRgb* line) const {
#if defined(__x86_64__) || defined(__i386__)
    if (vector_) {
        switch (denseCount_) {
        case 1: return RunDense<1>(acc, denseOffsets_, denseWeights_.data(), total_, line);
        case 2: return RunDense<2>(acc, denseOffsets_, denseWeights_.data(), total_, line);
        case 3: return RunDense<3>(acc, denseOffsets_, denseWeights_.data(), total_, line);
        case 4: return RunDense<4>(acc, denseOffsets_, denseWeights_.data(), total_, line);
        default: return RunSpans(acc, vectorSpans_, full_, total_, line);
        }
    }
#endif
    RunPlain(acc, spans_, full_, total_, multiplier_, shift_, line);
}
