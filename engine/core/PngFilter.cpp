#include "engine/core/PngFilter.h"

#include <algorithm>
#include <cstdlib>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace pictrove::pngfilter {

namespace {

inline unsigned weight(std::uint8_t v) { return v < 128 ? v : 256u - v; }

inline int paeth(int a, int b, int c)
{
    const int p = a + b - c;
    const int pa = std::abs(p - a);
    const int pb = std::abs(p - b);
    const int pc = std::abs(p - c);
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

// The byte each filter predicts from the pixel to the left (a), above (b)
// and above left (c).
template <Type type>
inline int predict(int a, int b, int c)
{
    switch (type) {
    case None: return 0;
    case Sub: return a;
    case Up: return b;
    case Average: return (a + b) >> 1;
    case Paeth: return paeth(a, b, c);
    }
    return 0;
}

#if defined(__SSE2__)
// Choosing a filter means filtering every row five times: sixteen bytes at
// once make that a small part of the write instead of the largest.

inline __m128i abs16(__m128i v) { return _mm_max_epi16(v, _mm_sub_epi16(_mm_setzero_si128(), v)); }

inline __m128i select(__m128i mask, __m128i ifSet, __m128i ifClear)
{
    return _mm_or_si128(_mm_and_si128(mask, ifSet), _mm_andnot_si128(mask, ifClear));
}

// Paeth's predictor on eight pixels' bytes widened to 16 bits, with the
// same ties as the scalar one: a, then b, then c.
inline __m128i paeth16(__m128i a, __m128i b, __m128i c)
{
    const __m128i bc = _mm_sub_epi16(b, c);
    const __m128i ac = _mm_sub_epi16(a, c);
    const __m128i pa = abs16(bc);
    const __m128i pb = abs16(ac);
    const __m128i pc = abs16(_mm_add_epi16(bc, ac));
    const __m128i notA = _mm_or_si128(_mm_cmpgt_epi16(pa, pb), _mm_cmpgt_epi16(pa, pc));
    return select(notA, select(_mm_cmpgt_epi16(pb, pc), c, b), a);
}

template <Type type>
inline __m128i predict16(__m128i a, __m128i b, __m128i c)
{
    const __m128i zero = _mm_setzero_si128();
    switch (type) {
    case None: return zero;
    case Sub: return a;
    case Up: return b;
    case Average: // the rounding average, less the half it rounded up
        return _mm_sub_epi8(_mm_avg_epu8(a, b), _mm_and_si128(_mm_xor_si128(a, b), _mm_set1_epi8(1)));
    case Paeth:
        return _mm_packus_epi16(paeth16(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero),
                                        _mm_unpacklo_epi8(c, zero)),
                                paeth16(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero),
                                        _mm_unpackhi_epi8(c, zero)));
    }
    return zero;
}

// Each byte's distance from zero taken as a signed byte: the smaller of v
// and -v, unsigned.
inline __m128i weights(__m128i v) { return _mm_min_epu8(v, _mm_sub_epi8(_mm_setzero_si128(), v)); }
#endif

template <Type type>
std::uint64_t filterRowAs(const std::uint8_t *cur, const std::uint8_t *prev, std::size_t n, std::size_t bpp,
                          std::uint8_t *out)
{
    std::uint64_t sum = 0;
    std::size_t i = 0;
    for (const std::size_t first = std::min(bpp, n); i < first; ++i) { // nothing to the left
        const std::uint8_t f = std::uint8_t(cur[i] - predict<type>(0, prev[i], 0));
        sum += weight(f);
        out[i] = f;
    }
#if defined(__SSE2__)
    __m128i total = _mm_setzero_si128();
    for (; i + 16 <= n; i += 16) {
        const auto load = [](const std::uint8_t *p) { return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p)); };
        const __m128i f = _mm_sub_epi8(load(cur + i),
                                       predict16<type>(load(cur + i - bpp), load(prev + i), load(prev + i - bpp)));
        total = _mm_add_epi64(total, _mm_sad_epu8(weights(f), _mm_setzero_si128()));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + i), f);
    }
    sum += std::uint64_t(_mm_cvtsi128_si64(total)) + std::uint64_t(_mm_cvtsi128_si64(_mm_unpackhi_epi64(total, total)));
#endif
    for (; i < n; ++i) {
        const std::uint8_t f = std::uint8_t(cur[i] - predict<type>(cur[i - bpp], prev[i], prev[i - bpp]));
        sum += weight(f);
        out[i] = f;
    }
    return sum;
}

} // namespace

std::uint64_t filterRow(Type type, const std::uint8_t *cur, const std::uint8_t *prev, std::size_t n,
                        std::size_t bpp, std::uint8_t *out)
{
    switch (type) {
    case None: return filterRowAs<None>(cur, prev, n, bpp, out);
    case Sub: return filterRowAs<Sub>(cur, prev, n, bpp, out);
    case Up: return filterRowAs<Up>(cur, prev, n, bpp, out);
    case Average: return filterRowAs<Average>(cur, prev, n, bpp, out);
    case Paeth: return filterRowAs<Paeth>(cur, prev, n, bpp, out);
    }
    return 0;
}

} // namespace pictrove::pngfilter
