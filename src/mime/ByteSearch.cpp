#include "mime/ByteSearch.h"

#include <cstdint>
#include <cstring>
#include <string.h> // memmem

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vm {

namespace {

char FoldByte(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool EqualFolded(const char* text, const char* lower, qsizetype n)
{
    for (qsizetype k = 0; k < n; ++k)
        if (FoldByte(text[k]) != lower[k])
            return false;
    return true;
}

#if defined(__SSE2__)
// The sixteen bytes with A-Z turned into a-z.
__m128i Fold16(__m128i v)
{
    const __m128i upper = _mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8('A' - 1)),
                                        _mm_cmplt_epi8(v, _mm_set1_epi8('Z' + 1)));
    return _mm_or_si128(v, _mm_and_si128(upper, _mm_set1_epi8(0x20)));
}
#endif

} // namespace

qsizetype FindBytes(QByteArrayView text, qsizetype from, QByteArrayView pattern, bool foldCase)
{
    const qsizetype n = text.size();
    const qsizetype m = pattern.size();
    if (from < 0 || from > n || m > n - from)
        return -1;
    if (m == 0)
        return from;
    const char* const d = text.data();
    const char* const p = pattern.data();
    qsizetype at = from;
#if defined(__SSE2__)
    // Sixteen places at a time: only where the first and the last byte of
    // the pattern both fit is the rest compared.
    const __m128i first = _mm_set1_epi8(p[0]);
    const __m128i last = _mm_set1_epi8(p[m - 1]);
    for (; at + m - 1 + 16 <= n; at += 16) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + at));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + at + m - 1));
        if (foldCase) {
            a = Fold16(a);
            b = Fold16(b);
        }
        unsigned mask = unsigned(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, last))));
        while (mask) {
            const int bit = __builtin_ctz(mask);
            const char* candidate = d + at + bit;
            if (m <= 2 || (foldCase ? EqualFolded(candidate + 1, p + 1, m - 2)
                                    : std::memcmp(candidate + 1, p + 1, std::size_t(m - 2)) == 0))
                return at + bit;
            mask &= mask - 1;
        }
    }
#endif
    if (!foldCase) {
        const void* hit = memmem(d + at, std::size_t(n - at), p, std::size_t(m));
        return hit ? static_cast<const char*>(hit) - d : -1;
    }
    for (; at + m <= n; ++at)
        if (FoldByte(d[at]) == p[0] && EqualFolded(d + at, p, m))
            return at;
    return -1;
}

bool IsAsciiBytes(QByteArrayView bytes)
{
    const char* p = bytes.data();
    const qsizetype n = bytes.size();
    qsizetype i = 0;
#if defined(__SSE2__)
    __m128i any = _mm_setzero_si128();
    for (; i + 16 <= n; i += 16)
        any = _mm_or_si128(any, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i)));
    if (_mm_movemask_epi8(any) != 0)
        return false;
#endif
    unsigned char rest = 0;
    for (; i < n; ++i)
        rest |= static_cast<unsigned char>(p[i]);
    return rest < 0x80;
}

qsizetype FindHighByte(QByteArrayView text, qsizetype from)
{
    const char* const d = text.data();
    const qsizetype n = text.size();
    qsizetype i = from;
#if defined(__SSE2__)
    for (; i + 16 <= n; i += 16) {
        const unsigned mask =
            unsigned(_mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i))));
        if (mask)
            return i + __builtin_ctz(mask);
    }
#endif
    for (; i < n; ++i)
        if (static_cast<unsigned char>(d[i]) >= 0x80)
            return i;
    return n;
}

qsizetype FindEitherByte(QByteArrayView text, qsizetype from, char a, char b)
{
    const char* const d = text.data();
    const qsizetype n = text.size();
    qsizetype i = from;
#if defined(__SSE2__)
    const __m128i va = _mm_set1_epi8(a);
    const __m128i vb = _mm_set1_epi8(b);
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i));
        const unsigned mask =
            unsigned(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, va), _mm_cmpeq_epi8(v, vb))));
        if (mask)
            return i + __builtin_ctz(mask);
    }
#endif
    for (; i < n; ++i)
        if (d[i] == a || d[i] == b)
            return i;
    return n;
}

} // namespace vm
