#include "picture/stretch_kernels.h"

#include "picture/vector_units.h"

#include <cstring>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace {

constexpr std::size_t kPrefetch = 1024;

}  // namespace

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
namespace {
// acc[0..8) += w * x, for eight 16-bit lanes and a 16-bit weight: the full 32-bit products
// are put together from their low and high halves.
inline void AddProducts(std::uint32_t* acc, __m128i x, __m128i w) {
    const __m128i lo = _mm_mullo_epi16(x, w), hi = _mm_mulhi_epu16(x, w);
    auto* a = reinterpret_cast<__m128i*>(acc);
    _mm_storeu_si128(a, _mm_add_epi32(_mm_loadu_si128(a), _mm_unpacklo_epi16(lo, hi)));
    _mm_storeu_si128(a + 1, _mm_add_epi32(_mm_loadu_si128(a + 1), _mm_unpackhi_epi16(lo, hi)));
}
}  // namespace
#endif

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

#if defined(__SSE2__)
namespace {
// Rows are taken in pairs, their bytes paired up in 16-bit lanes, so that one multiply-add
// step weights both; an odd row is paired with zeros. The sums stay in registers until every
// row is added, and the weights must fit signed 16-bit lanes.
template <int kCount>
std::size_t SetWeightedSse(std::uint32_t* acc, const std::uint8_t* const* rows, const std::uint32_t* w,
                           std::size_t n) {
    const __m128i zero = _mm_setzero_si128();
    __m128i weights[(kCount + 1) / 2];
    for (int r = 0; r < kCount; r += 2)
        weights[r / 2] = _mm_set1_epi32(int((r + 1 < kCount ? w[r + 1] << 16 : 0) | w[r]));
    std::size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        __m128i p0 = zero, p1 = zero, p2 = zero, p3 = zero;
        for (int r = 0; r < kCount; r += 2) {  // unrolled: kCount is a constant
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[r] + i));
            const __m128i b = r + 1 < kCount ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[r + 1] + i)) : zero;
            const __m128i lo = _mm_unpacklo_epi8(a, b), hi = _mm_unpackhi_epi8(a, b);
            p0 = _mm_add_epi32(p0, _mm_madd_epi16(_mm_unpacklo_epi8(lo, zero), weights[r / 2]));
            p1 = _mm_add_epi32(p1, _mm_madd_epi16(_mm_unpackhi_epi8(lo, zero), weights[r / 2]));
            p2 = _mm_add_epi32(p2, _mm_madd_epi16(_mm_unpacklo_epi8(hi, zero), weights[r / 2]));
            p3 = _mm_add_epi32(p3, _mm_madd_epi16(_mm_unpackhi_epi8(hi, zero), weights[r / 2]));
        }
        auto* out = reinterpret_cast<__m128i*>(acc + i);
        _mm_storeu_si128(out, p0);
        _mm_storeu_si128(out + 1, p1);
        _mm_storeu_si128(out + 2, p2);
        _mm_storeu_si128(out + 3, p3);
    }
    return i;
}
}  // namespace
#endif

#if defined(__SSE2__)
namespace {
// The same with AVX2, 16 bytes of each row at a time: widened to 16-bit lanes as they are
// loaded, a row pair interleaved and weighted by one multiply-add step. The interleaving works
// within each half of the register, so the halves of the products are put back in order
// before they are stored.
template <int kCount>
__attribute__((target("avx2"))) std::size_t SetWeightedAvx2(std::uint32_t* acc, const std::uint8_t* const* rows,
                                                            const std::uint32_t* w, std::size_t n) {
    __m256i weights[(kCount + 1) / 2];
    for (int r = 0; r < kCount; r += 2)
        weights[r / 2] = _mm256_set1_epi32(int((r + 1 < kCount ? w[r + 1] << 16 : 0) | w[r]));
    std::size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        __m256i lo = _mm256_setzero_si256(), hi = _mm256_setzero_si256();
        for (int r = 0; r < kCount; r += 2) {  // unrolled: kCount is a constant
            const __m256i a = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[r] + i)));
            const __m256i b = r + 1 < kCount
                                  ? _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[r + 1] + i)))
                                  : _mm256_setzero_si256();
            lo = _mm256_add_epi32(lo, _mm256_madd_epi16(_mm256_unpacklo_epi16(a, b), weights[r / 2]));
            hi = _mm256_add_epi32(hi, _mm256_madd_epi16(_mm256_unpackhi_epi16(a, b), weights[r / 2]));
        }
        // lo holds sums 0-3 and 8-11, hi 4-7 and 12-15.
        auto* out = reinterpret_cast<__m256i*>(acc + i);
        _mm256_storeu_si256(out, _mm256_permute2x128_si256(lo, hi, 0x20));
        _mm256_storeu_si256(out + 1, _mm256_permute2x128_si256(lo, hi, 0x31));
    }
    return i;
}

template <int kCount>
std::size_t SetWeightedVector(std::uint32_t* acc, const std::uint8_t* const* rows, const std::uint32_t* w,
                              std::size_t n) {
    return UseAvx2() ? SetWeightedAvx2<kCount>(acc, rows, w, n) : SetWeightedSse<kCount>(acc, rows, w, n);
}
}  // namespace
#endif

void SetWeighted(std::uint32_t* acc, const std::uint8_t* const* rows, const std::uint32_t* weights, int count,
                 std::size_t n) {
    std::size_t i = 0;
#if defined(__SSE2__)
    bool small = true;
    for (int r = 0; r < count; ++r) small = small && weights[r] <= 0x7FFF;
    if (small) {
        static_assert(kMaxWeightedRows == 8);
        switch (count) {
        case 1: i = SetWeightedVector<1>(acc, rows, weights, n); break;
        case 2: i = SetWeightedVector<2>(acc, rows, weights, n); break;
        case 3: i = SetWeightedVector<3>(acc, rows, weights, n); break;
        case 4: i = SetWeightedVector<4>(acc, rows, weights, n); break;
        case 5: i = SetWeightedVector<5>(acc, rows, weights, n); break;
        case 6: i = SetWeightedVector<6>(acc, rows, weights, n); break;
        case 7: i = SetWeightedVector<7>(acc, rows, weights, n); break;
        case 8: i = SetWeightedVector<8>(acc, rows, weights, n); break;
        }
    }
#endif
    for (; i < n; ++i) {
        std::uint32_t sum = 0;
        for (int r = 0; r < count; ++r) sum += weights[r] * rows[r][i];
        acc[i] = sum;
    }
}

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
