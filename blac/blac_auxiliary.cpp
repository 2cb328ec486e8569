// BLAC_ auxiliaries: the constant table of BLAC_HDMCON and the forwarders to
// LSAME, DLAMCH, IEEECK, ILAENV and the BLAS error reporter XERBLA.
#include <blac/blac.h>

#include <blac/internal/blac_fortran.h>

#include <cstdint>
#include <cstring>

namespace {

const blac_strlen kOne = 1;         // length of a single-character argument
const blac_strlen kRoutineName = 6; // length of a routine name given to XERBLA

// Constants of BLAC_HDMCON, kept as bit patterns so that every entry,
// the NaN of entry 1 included, is exactly the double intended.
const std::uint64_t kHdmcon[16] = {
    0x7FFFFFFFFFFFFFFFull, //  1 NaN: every bit set except the sign bit
    0x7FD0000000000000ull, //  2 2^1022 = 4.49423283715579e+307
    0x7FEFFFFFFFFFFFFFull, //  3 largest finite double 1.7976931348623157e+308
    0x0010000000000000ull, //  4 smallest normal double 2.2250738585072014e-308
    0x3CB0000000000000ull, //  5 2^-52 = 2.220446049250313e-16
    0x3CA0000000000001ull, //  6 one ulp above 2^-53: 1.1102230246251568e-16
    0x4000000000000000ull, //  7 2.0
    0x404A800000000000ull, //  8 53.0
    0x4086280000000000ull, //  9 709.0
    0xC086200000000000ull, // 10 -708.0
    0x41DFFFFFFFC00000ull, // 11 2147483647.0
    0x400921FB54442D18ull, // 12 pi 3.141592653589793
    0x4005BF0A8B145769ull, // 13 e 2.718281828459045
    0x3FE2788CFC6FB619ull, // 14 Euler's constant 0.5772156649015329
    0x3F91DF46A2529D39ull, // 15 pi/180 0.017453292519943295
    0x404CA5DC1A63C1F8ull, // 16 180/pi 57.29577951308232
};

} // namespace

extern "C" {

double BLAC_HDMCON(const int* I)
{
    const int i = *I;
    const std::uint64_t bits = (i >= 1 && i <= 16) ? kHdmcon[i - 1] : kHdmcon[0];
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

int BLAC_LSAME(const char* CA, const char* CB)
{
    return lsame_(CA, CB, kOne, kOne);
}

double BLAC_DLAMCH(const char* CMACH)
{
    return dlamch_(CMACH, kOne);
}

// ZERO and ONE are REAL, as in IEEECK itself.
int BLAC_IEEECK(const int* ISPEC, const float* ZERO, const float* ONE)
{
    return ieeeck_(ISPEC, ZERO, ONE);
}

int BLAC_ILAENV(const int* ISPEC, const char* NAME, const char* OPTS, const int* N1,
                const int* N2, const int* N3, const int* N4, size_t NAME_LEN, size_t OPTS_LEN)
{
    return ilaenv_(ISPEC, NAME, OPTS, N1, N2, N3, N4, NAME_LEN, OPTS_LEN);
}

// OpenBLAS's reporter ignores the hidden length and prints up to a NUL, but a
// Fortran CHARACTER(6) name has none (in "character(6) names(3)" the next name
// follows directly). So exactly six characters are copied into a terminated
// local name; a NUL within the six ends the name, which is padded with blanks
// as Fortran would, and nothing after that NUL is read.
void BLAC_XERBLA(const char* SRNAME, const int* INFO)
{
    char name[kRoutineName + 1];
    blac_strlen i = 0;
    for (; i < kRoutineName && SRNAME[i] != '\0'; ++i)
        name[i] = SRNAME[i];
    for (; i < kRoutineName; ++i)
        name[i] = ' ';
    name[kRoutineName] = '\0';
    xerbla_(name, INFO, kRoutineName);
}

} // extern "C"
