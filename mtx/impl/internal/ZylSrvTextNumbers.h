#ifndef MTX_IMPL_INTERNAL_ZYLSRVTEXTNUMBERS_H
#define MTX_IMPL_INTERNAL_ZYLSRVTEXTNUMBERS_H
// Numbers in text, as the C library's "%d", "%lf" and "%18.15e" read and write
// them, without the C library: the same results, several times faster.
//
// Readers see a token as a run of non-space bytes and require a number to fill
// its token. The fast paths read up to 25 bytes past a token's start and 8
// past its end, so the bytes after the data must be readable: callers keep
// kTextPadding bytes of spaces there.
#include <fast_float/fast_float.h>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace zyl_mtx {

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the eight-byte digit reading assumes little-endian loads");

inline constexpr std::size_t kTextPadding = 32;

// The whitespace of scanf in the C locale: space, \t, \n, \v, \f, \r.
inline bool IsSpace(unsigned char c) { return c == ' ' || static_cast<unsigned char>(c - 9) < 5; }
inline bool AtTokenEnd(const char* p, const char* end) { return p == end || IsSpace(*p); }

namespace text_detail {

inline std::uint64_t Load8(const char* p)
{
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

// How many of the eight bytes, from the first, are decimal digits. A carry out
// of a byte >= 0xFA only reaches the bytes after it, past the first non-digit.
// Without a branch: the top bit set aside, eight digits count as seven, and
// the test for none left adds the eighth.
inline int LeadingDigits(std::uint64_t v)
{
    const std::uint64_t x =
        (v & 0xF0F0F0F0F0F0F0F0ULL) | (((v + 0x0606060606060606ULL) & 0xF0F0F0F0F0F0F0F0ULL) >> 4);
    const std::uint64_t y = x ^ 0x3333333333333333ULL;
    return y == 0 ? 8 : __builtin_ctzll(y) >> 3;
}

// 2^(8 (8 - n)): the multiplier that moves the first n bytes of a word to
// its end (n from 1 to 8), and drops all of them for n = 0.
inline constexpr std::uint64_t kToWordEnd[] = {0,          1ULL << 56, 1ULL << 48, 1ULL << 40, 1ULL << 32,
                                               1ULL << 24, 1ULL << 16, 1ULL << 8,  1};

// The value of the first n (0 to 8) digits: moved to the end of the word
// (the bytes after them fall off the top), then combined pairwise.
inline std::uint64_t DigitsValue(std::uint64_t v, int n)
{
    v = (v - 0x3030303030303030ULL) * kToWordEnd[n];
    v = v * 10 + (v >> 8);
    return (((v & 0x000000FF000000FFULL) * (100 + (1000000ULL << 32))) +
            (((v >> 16) & 0x000000FF000000FFULL) * (1 + (10000ULL << 32)))) >>
           32;
}

inline constexpr std::uint64_t kPow10Int[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};
inline constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

#ifdef __SSE2__
// All ones in the lanes from k (0 to 16) on: a load, not a broadcast and a
// comparison.
alignas(16) inline constexpr unsigned char kLanesFrom[32] = {0,    0,    0,    0,    0,    0,    0,    0,
                                                             0,    0,    0,    0,    0,    0,    0,    0,
                                                             0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                                             0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
inline __m128i LanesFrom(int k)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(kLanesFrom + 16 - k));
}
#endif

} // namespace text_detail

// A run of one to ten digits, eight at a time: the end of the run, or null
// (none, or more than ten); the caller checks what follows.
inline const char* DigitRun(const char* p, std::uint64_t& value)
{
    using namespace text_detail;
    std::uint64_t w = Load8(p);
    int n = LeadingDigits(w);
    if (n == 0)
        return nullptr;
    value = DigitsValue(w, n);
    if (n == 8) {
        w = Load8(p + 8);
        const int more = LeadingDigits(w);
        if (more > 2)
            return nullptr;
        value = value * kPow10Int[more] + DigitsValue(w, more);
        n += more;
    }
    return p + n;
}

// A decimal integer as "%d" reads it (optional sign, digits), filling its
// token. Returns the end of the token, or null when the token is no integer.
// The magnitude saturates at 2^40, far outside any range a caller accepts.
inline const char* ParseInteger(const char* p, const char* end, long long& value)
{
    if (end - p > 8) { // unsigned, the digit run
        std::uint64_t v = 0;
        const char* const q = DigitRun(p, v);
        if (q != nullptr && IsSpace(*q)) {
            value = static_cast<long long>(v);
            return q;
        }
    }
    bool negative = false;
    if (p != end && (*p == '+' || *p == '-'))
        negative = *p++ == '-';
    const char* digits = p;
    unsigned long long v = 0;
    for (; p != end && static_cast<unsigned char>(*p - '0') < 10; ++p)
        v = v < (1ULL << 40) ? v * 10 + static_cast<unsigned>(*p - '0') : (1ULL << 40);
    if (p == digits || !AtTokenEnd(p, end))
        return nullptr;
    value = negative ? -static_cast<long long>(v) : static_cast<long long>(v);
    return p;
}

// The common decimal form: [-]digits[.digits][e[+-]digits] with one to
// fifteen integer digits, its digits (at most 23) a mantissa that fits in 64
// bits, and one to four exponent digits. The value is fast_float's correctly
// rounded one (Eisel-Lemire, as strtod rounds); the rare case that step
// cannot decide, and anything else, gives null (the caller then goes the
// whole way).
//
// The digits are read sixteen at a time in a vector register, the '.'
// squeezed out by taking the bytes after it from a load one byte further on:
// the first sixteen digits become one integer through three multiply-adds
// (a value with fewer keeps zeros at its end, which the power of ten takes
// back), and up to eight more follow the eight-byte way. Without SSE2 there
// is no quick way and the caller goes the whole way.
//
// kPreferDivision: a mantissa below 2^53 with a power of ten within 1e+-22 is
// exact in a double, as the power is, so one division or product rounds the
// exact value too (Clinger), for less than Eisel-Lemire's product; but the
// choice is a branch per value. Worth it where most values qualify (16
// digits, as "%18.15e" writes them); not in a shortest-form file, whose 16-
// and 17-digit values alternate and would mispredict it.
template <bool kPreferDivision>
inline const char* ParseDecimalFast(const char* p, double& value)
{
#ifdef __SSE2__
    using namespace text_detail;
    const bool negative = *p == '-';
    const char* const q = p + negative;
    // The integer digits and whether a '.' follows them, from the same
    // sixteen bytes; the digits after the '.' come from a load one byte on.
    const __m128i nine = _mm_set1_epi8(9);
    const auto digitLanes = [&nine](__m128i bytes) {
        const __m128i d = _mm_sub_epi8(bytes, _mm_set1_epi8('0'));
        return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(d, nine), nine)));
    };
    const __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
    const __m128i after = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + 1));
    const unsigned beforeDigits = digitLanes(before), afterDigits = digitLanes(after);
    const int integerDigits = __builtin_ctz(~beforeDigits | 0x10000U);
    if (integerDigits == 0 || integerDigits > 15)
        return nullptr;
    const unsigned points = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(before, _mm_set1_epi8('.'))));
    const int dot = static_cast<int>(points >> integerDigits) & 1;
    // The fraction's digits in `after` start where the integer digits end;
    // counted from the masks, so that the end of the number does not wait
    // for the lanes to be merged.
    const int fractionDigits = __builtin_ctz(~(afterDigits >> integerDigits) | (0x10000U >> integerDigits));
    const int count = integerDigits + (dot != 0 ? fractionDigits : 0); // of the first sixteen
    const __m128i pastPoint = LanesFrom(dot != 0 ? integerDigits : 16);
    const __m128i merged = _mm_or_si128(_mm_and_si128(pastPoint, after), _mm_andnot_si128(pastPoint, before));
    const __m128i digits = _mm_sub_epi8(merged, _mm_set1_epi8('0'));
    const __m128i kept = _mm_andnot_si128(LanesFrom(count), digits);
    // Pairs, fours, eights: 10 a + b at each step, the bytes widened first.
    const __m128i zero = _mm_setzero_si128();
    const __m128i ten = _mm_setr_epi16(10, 1, 10, 1, 10, 1, 10, 1);
    const __m128i pairs = _mm_packs_epi32(_mm_madd_epi16(_mm_unpacklo_epi8(kept, zero), ten),
                                          _mm_madd_epi16(_mm_unpackhi_epi8(kept, zero), ten));
    const __m128i fours = _mm_madd_epi16(pairs, _mm_setr_epi16(100, 1, 100, 1, 100, 1, 100, 1));
    const __m128i eights = _mm_madd_epi16(_mm_packs_epi32(fours, fours), _mm_setr_epi16(10000, 1, 10000, 1, 0, 0, 0, 0));
    std::uint64_t mantissa = static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm_cvtsi128_si32(eights))) * 100000000ULL +
                             static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(eights, 4)));
    // Digits beyond sixteen: only when all sixteen were digits.
    const std::uint64_t tail = dot != 0 ? Load8(q + 17) : Load8(q + 16); // both loads start early
    const int tailDigits = LeadingDigits(tail) & -(count == 16);
    bool overflow = tailDigits == 8;
    overflow |= __builtin_mul_overflow(mantissa, kPow10Int[tailDigits], &mantissa);
    overflow |= __builtin_add_overflow(mantissa, DigitsValue(tail, tailDigits), &mantissa);
    const char* end = q + dot + count + tailDigits;
    // The sixteen lanes stand for 10^(integerDigits - 16): the zeros after a
    // shorter run and the digits past the point both count.
    int exponent = integerDigits - 16 - tailDigits;
    if ((*end | 0x20) == 'e') {
        ++end;
        const bool negativeExponent = *end == '-';
        end += *end == '-' || *end == '+';
        const std::uint64_t e = Load8(end);
        const int n = LeadingDigits(e);
        if (n == 0 || n > 4)
            return nullptr;
        const int magnitude = static_cast<int>(DigitsValue(e, n));
        exponent += negativeExponent ? -magnitude : magnitude;
        end += n;
    }
    if (overflow || !IsSpace(*end))
        return nullptr;
    if (kPreferDivision && mantissa <= (1ULL << 53) && exponent >= -22 && exponent <= 22) {
        const double d = static_cast<double>(mantissa);
        const double m = exponent < 0 ? d / kPow10[-exponent] : d * kPow10[exponent];
        value = negative ? -m : m;
        return end;
    }
    const fast_float::adjusted_mantissa am = fast_float::compute_float<fast_float::binary_format<double>>(exponent, mantissa);
    if (am.power2 < 0)
        return nullptr;
    fast_float::to_float(negative, am, value);
    return end;
#else
    static_cast<void>(p);
    static_cast<void>(value);
    return nullptr;
#endif
}

// A number as "%lf" (strtod) reads it, filling its token: decimal, "inf",
// "infinity", "nan", "nan(chars)" in any case, hexadecimal, a leading '+'.
// The decimal forms go through the fast path or fast_float, which round
// correctly like glibc; the rest through strtod on a copy of the token (at
// most 511 bytes).
inline const char* ParseReal(const char* p, const char* end, double& value)
{
    if (end - p > 8)
        if (const char* q = ParseDecimalFast<true>(p, value))
            return q;
    const fast_float::from_chars_result r = fast_float::from_chars(p, end, value);
    if (r.ec == std::errc() && AtTokenEnd(r.ptr, end))
        return r.ptr;
    const char* tokenEnd = p;
    while (!AtTokenEnd(tokenEnd, end))
        ++tokenEnd;
    char copy[512];
    const std::size_t length = static_cast<std::size_t>(tokenEnd - p);
    if (length == 0 || length >= sizeof copy)
        return nullptr;
    std::memcpy(copy, p, length);
    copy[length] = '\0';
    char* stop = nullptr;
    value = std::strtod(copy, &stop);
    return stop == copy + length ? tokenEnd : nullptr;
}

inline char* PutInteger(char* p, long long v) { return std::to_chars(p, p + 24, v).ptr; }

// "%18.15e" as glibc's printf writes it. A finite value always takes at least
// 21 characters, so the width pads only inf and nan; both carry their sign
// bit ("-nan" for a negative NaN). to_chars with a precision rounds the exact
// binary value correctly, ties to even, as glibc does.
inline char* PutE15(char* p, double v)
{
    if (std::isfinite(v))
        return std::to_chars(p, p + 32, v, std::chars_format::scientific, 15).ptr;
    const char* text = std::isnan(v) ? (std::signbit(v) ? "-nan" : "nan") : (std::signbit(v) ? "-inf" : "inf");
    const std::size_t length = std::strlen(text);
    std::memset(p, ' ', 18 - length);
    std::memcpy(p + 18 - length, text, length);
    return p + 18;
}

// The shortest text strtod reads back as the same double (at most 17
// significant digits).
inline char* PutShortest(char* p, double v) { return std::to_chars(p, p + 32, v).ptr; }

} // namespace zyl_mtx

#endif
