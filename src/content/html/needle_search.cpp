#include "content/html/needle_search.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kov {

std::size_t FindNeedle(std::string_view text, std::string_view needle, std::size_t from) {
    const std::size_t n = text.size();
    const std::size_t m = needle.size();
    if (m < 2 || from > n || n - from < m) return text.find(needle, from);
    const char* hay = text.data();
    const std::size_t last = n - m;  // the last place the needle fits
    // The first and the last byte: "<s" starts many tags, "<s" six bytes before "t" few.
    const char first = needle[0];
    const char end = needle[m - 1];
    const auto matches = [&](std::size_t p) {
        return std::memcmp(hay + p + 1, needle.data() + 1, m - 2) == 0;
    };
    std::size_t i = from;
#if defined(__SSE2__)
    const __m128i firsts = _mm_set1_epi8(first);
    const __m128i ends = _mm_set1_epi8(end);
    // Each round looks at the 16 places from i on, reading up to m + 15 bytes.
    for (; i <= last && n - i >= m + 15; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(hay + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(hay + i + m - 1));
        unsigned mask = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, firsts), _mm_cmpeq_epi8(b, ends))));
        for (; mask != 0; mask &= mask - 1) {
            const std::size_t p = i + static_cast<std::size_t>(__builtin_ctz(mask));
            if (matches(p)) return p;
        }
    }
#endif
    for (; i <= last; ++i) {
        if (hay[i] == first && hay[i + m - 1] == end && matches(i)) return i;
    }
    return std::string_view::npos;
}

namespace {

[[maybe_unused]] bool IsLowerLetter(char c) {
    return c >= 'a' && c <= 'z';
}

char Folded(char c) {
    return static_cast<char>(c + (static_cast<unsigned char>(c - 'A') < 26 ? 32 : 0));
}

}  // namespace

std::size_t FindNeedleNoCase(std::string_view text, std::string_view lowerNeedle,
                             std::size_t from) {
    const std::size_t n = text.size();
    const std::size_t m = lowerNeedle.size();
    if (from > n || n - from < m) return std::string_view::npos;
    if (m == 0) return from;
    const char* hay = text.data();
    const char* needle = lowerNeedle.data();
    const std::size_t last = n - m;
    const auto matches = [&](std::size_t p) {
        for (std::size_t k = 0; k < m; ++k) {
            if (Folded(hay[p + k]) != needle[k]) return false;
        }
        return true;
    };
    std::size_t i = from;
#if defined(__SSE2__)
    // A letter is compared with bit 5 set, which makes an upper-case ASCII letter lower-case
    // and no other byte a letter; any other byte is compared as it is.
    const char first = needle[0];
    const char end = needle[m - 1];
    const __m128i firstFold = _mm_set1_epi8(IsLowerLetter(first) ? 0x20 : 0);
    const __m128i endFold = _mm_set1_epi8(IsLowerLetter(end) ? 0x20 : 0);
    const __m128i firsts = _mm_set1_epi8(first);
    const __m128i ends = _mm_set1_epi8(end);
    for (; i <= last && n - i >= m + 15; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(hay + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(hay + i + m - 1));
        unsigned mask = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(_mm_or_si128(a, firstFold), firsts),
                                            _mm_cmpeq_epi8(_mm_or_si128(b, endFold), ends))));
        for (; mask != 0; mask &= mask - 1) {
            const std::size_t p = i + static_cast<std::size_t>(__builtin_ctz(mask));
            if (matches(p)) return p;
        }
    }
#endif
    for (; i <= last; ++i) {
        if (matches(i)) return i;
    }
    return std::string_view::npos;
}

}  // namespace kov
