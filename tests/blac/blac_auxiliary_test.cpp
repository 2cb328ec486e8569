// BLAC_HDMCON's constant table, the LSAME, ILAENV and DLAMCH forwarders, and
// the six-character name that BLAC_XERBLA hands on. IEEECK's single precision
// arguments are checked where they matter, from Fortran (blac_fortran_client).
#include <blac/blac.h>

#include "BlacTestSupport.h"

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

std::uint64_t Bits(double x)
{
    std::uint64_t u;
    std::memcpy(&u, &x, sizeof u);
    return u;
}

} // namespace

TEST(BlacHdmcon, EveryEntryIsBitExactAndOtherIndicesGiveEntryOne)
{
    const double want[17] = {0.0, 0.0, std::ldexp(1.0, 1022), DBL_MAX, DBL_MIN, DBL_EPSILON,
                             std::nextafter(std::ldexp(1.0, -53), 1.0), 2.0, 53.0, 709.0, -708.0,
                             static_cast<double>(INT_MAX), 4.0 * std::atan(1.0), std::exp(1.0),
                             0.5772156649015329, 0.017453292519943295, 57.29577951308232};
    for (int i = 2; i <= 16; ++i)
        EXPECT_EQ(Bits(BLAC_HDMCON(&i)), Bits(want[i])) << "entry " << i;
    // Entry 1: the NaN with every bit set except the sign bit.
    for (int i : {1, 0, 17, -1, INT_MIN, INT_MAX})
        EXPECT_EQ(Bits(BLAC_HDMCON(&i)), 0x7FFFFFFFFFFFFFFFull) << "index " << i;
}

TEST(BlacAuxiliaries, LsameDlamchIlaenvForwardTheirArguments)
{
    EXPECT_NE(BLAC_LSAME("t", "T"), 0);
    EXPECT_EQ(BLAC_LSAME("T", "N"), 0);
    EXPECT_EQ(BLAC_DLAMCH("E"), std::ldexp(1.0, -53));
    EXPECT_EQ(BLAC_DLAMCH("p"), DBL_EPSILON);

    // ILAENV takes the length of NAME from its caller: characters after it
    // are not read, and "DSYTRD" with length 3 is "DSY", which ILAENV does
    // not know (no blocking).
    const int nb = 1, n = 1000, unused = -1, badSpec = 99;
    const int dsytrd = BLAC_ILAENV(&nb, "DSYTRD", "U", &n, &unused, &unused, &unused, 6, 1);
    EXPECT_GT(dsytrd, 1);
    EXPECT_EQ(BLAC_ILAENV(&nb, "DSYTRDxxxx", "U", &n, &unused, &unused, &unused, 6, 1), dsytrd);
    EXPECT_EQ(BLAC_ILAENV(&nb, "DSYTRD", "U", &n, &unused, &unused, &unused, 3, 1), 1);
    EXPECT_EQ(BLAC_ILAENV(&badSpec, "DSYTRD", "U", &n, &unused, &unused, &unused, 6, 1), -1);
}

TEST(BlacXerbla, HandsExactlySixCharactersOfTheNameToTheReporter)
{
    struct Case {
        const char* name; // as many bytes as the call may read
        int argument;
        const char* shown;
    };
    const Case cases[] = {
        {"DGEMM DSYEVX", 3, "DGEMM "}, // as in a Fortran CHARACTER(6) array
        {"DTRSMXYZ", 12, "DTRSMX"},     // the seventh character is not part of the name
        {"AB", 3, "AB    "},            // a NUL within the six ends the name; blanks follow
        {"", 7, "      "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shown);
        EXPECT_EQ(blactest::CaptureStdout([&] { BLAC_XERBLA(c.name, &c.argument); }),
                  blactest::Report(c.shown, c.argument));
    }
}
