#ifndef MTX_IMPL_INTERNAL_ZYLSRVTEXTNUMBERS_H
#define MTX_IMPL_INTERNAL_ZYLSRVTEXTNUMBERS_H
// Numbers in text, as the C library's "%d", "%lf" and "%18.15e" read and write
// them, without the C library: the same results, several times faster.
//
// Readers see a token as a run of non-space bytes and require a number to fill
// its token. The fast paths read eight bytes at a time, so the bytes after a
// token must be readable: callers keep at least kTextPadding bytes of spaces
// after their data.
#include <fast_float/fast_float.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace zyl_mtx {

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the eight-byte digit reading assumes little-endian loads");

inline constexpr std::size_t kTextPadding = 16;

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
inline int LeadingDigits(std::uint64_t v)
{
    const std::uint64_t x =
        (v & 0xF0F0F0F0F0F0F0F0ULL) | (((v + 0x0606060606060606ULL) & 0xF0F0F0F0F0F0F0F0ULL) >> 4);
    const std::uint64_t y = x ^ 0x3333333333333333ULL;
    return y == 0 ? 8 : __builtin_ctzll(y) >> 3;
}

// The value of the first n (1 to 8) digits: shifted so that they end the
// word, then combined pairwise (the bytes after them fall off the top).
inline std::uint64_t DigitsValue(std::uint64_t v, int n)
{
    v = (v - 0x3030303030303030ULL) << (8 * (8 - n));
    v = v * 10 + (v >> 8);
    return (((v & 0x000000FF000000FFULL) * (100 + (1000000ULL << 32))) +
            (((v >> 16) & 0x000000FF000000FFULL) * (1 + (10000ULL << 32)))) >>
           32;
}

inline constexpr std::uint64_t kPow10Int[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};
inline constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

} // namespace text_detail

// A decimal integer as "%d" reads it (optional sign, digits), filling its
// token. Returns the end of the token, or null when the token is no integer.
// The magnitude saturates at 2^40, far outside any range a caller accepts.
inline const char* ParseInteger(const char* p, const char* end, long long& value)
{
    using namespace text_detail;
    if (end - p > 8) { // unsigned, one to seven digits: one load
        const std::uint64_t v = Load8(p);
        const int n = LeadingDigits(v);
        if (n > 0 && n < 8 && IsSpace(p[n])) {
            value = static_cast<long long>(DigitsValue(v, n));
            return p + n;
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

// The common decimal form: [-]digits[.digits][e[+-]digits], at most 19
// significant digits, the mantissa below 2^53 and a power of ten within
// 1e+-22. Both are exact doubles then, so one division or product rounds the
// exact value correctly (Clinger), as strtod does. Null for anything else.
inline const char* ParseDecimalFast(const char* p, double& value)
{
    using namespace text_detail;
    const bool negative = *p == '-';
    const char* q = p + negative;
    std::uint64_t v = Load8(q);
    int n = LeadingDigits(v);
    if (n == 0 || n == 8)
        return nullptr;
    std::uint64_t mantissa = DigitsValue(v, n);
    int digits = n;
    int exponent = 0;
    q += n;
    if (*q == '.') {
        ++q;
        do {
            v = Load8(q);
            n = LeadingDigits(v);
            if (n == 0)
                break;
            if (digits + n > 19)
                return nullptr;
            mantissa = mantissa * kPow10Int[n] + DigitsValue(v, n);
            digits += n;
            exponent -= n;
            q += n;
        } while (n == 8);
    }
    if ((*q | 0x20) == 'e') {
        ++q;
        const bool negativeExponent = *q == '-';
        q += *q == '-' || *q == '+';
        v = Load8(q);
        n = LeadingDigits(v);
        if (n == 0 || n > 4)
            return nullptr;
        const int e = static_cast<int>(DigitsValue(v, n));
        exponent += negativeExponent ? -e : e;
        q += n;
    }
    if (!IsSpace(*q) || mantissa > (1ULL << 53) || exponent < -22 || exponent > 22)
        return nullptr;
    double d = static_cast<double>(mantissa);
    d = exponent < 0 ? d / kPow10[-exponent] : d * kPow10[exponent];
    value = negative ? -d : d;
    return q;
}

// A number as "%lf" (strtod) reads it, filling its token: decimal, "inf",
// "infinity", "nan", "nan(chars)" in any case, hexadecimal, a leading '+'.
// The decimal forms go through the fast path or fast_float, which round
// correctly like glibc; the rest through strtod on a copy of the token (at
// most 511 bytes).
inline const char* ParseReal(const char* p, const char* end, double& value)
{
    if (end - p > 8)
        if (const char* q = ParseDecimalFast(p, value))
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
