// BLAC_HDMCON's constant table, LSAME, ILAENV, IEEECK, DLAMCH and the error
// reporter behind BLAC_XERBLA.
#include <blac/blac.h>

#include <blac/internal/blac_fortran.h>

#include "BlacTestSupport.h"

#include <cctype>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <type_traits>

namespace {

std::uint64_t Bits(double x)
{
    std::uint64_t u;
    std::memcpy(&u, &x, sizeof u);
    return u;
}

double Hdmcon(int i)
{
    return BLAC_HDMCON(&i);
}

} // namespace

TEST(BlacHdmcon, EveryEntryIsBitExact)
{
    // Entry 1: the NaN with every bit set except the sign bit.
    EXPECT_EQ(Bits(Hdmcon(1)), 0x7FFFFFFFFFFFFFFFull);
    EXPECT_TRUE(std::isnan(Hdmcon(1)));

    const double want[17] = {
        0.0, // unused
        0.0, // entry 1, checked above
        std::ldexp(1.0, 1022),
        DBL_MAX,
        DBL_MIN,
        std::ldexp(1.0, -52),
        std::nextafter(std::ldexp(1.0, -53), 1.0),
        2.0,
        53.0,
        709.0,
        -708.0,
        2147483647.0,
        3.141592653589793,
        2.718281828459045,
        0.5772156649015329,
        0.017453292519943295,
        57.29577951308232,
    };
    for (int i = 2; i <= 16; ++i)
        EXPECT_EQ(Bits(Hdmcon(i)), Bits(want[i])) << "entry " << i;

    // Cross-checks by other routes.
    EXPECT_EQ(Hdmcon(2), 4.49423283715579e+307);
    EXPECT_EQ(Hdmcon(3), 1.7976931348623157e+308);
    EXPECT_EQ(Hdmcon(4), 2.2250738585072014e-308);
    EXPECT_EQ(Hdmcon(5), DBL_EPSILON);
    EXPECT_EQ(Hdmcon(6), 1.1102230246251568e-16);
    EXPECT_EQ(Hdmcon(11), static_cast<double>(INT_MAX));
    EXPECT_EQ(Hdmcon(12), 4.0 * std::atan(1.0));
    EXPECT_EQ(Hdmcon(13), std::exp(1.0));
    EXPECT_NEAR(Hdmcon(15), Hdmcon(12) / 180.0, 1e-18);
    EXPECT_NEAR(Hdmcon(16), 180.0 / Hdmcon(12), 1e-13);
    EXPECT_NEAR(Hdmcon(15) * Hdmcon(16), 1.0, 1e-15);
}

TEST(BlacHdmcon, AnIndexOutsideOneToSixteenGivesEntryOne)
{
    for (int i : {0, 17, -5, -1, 100, INT_MIN, INT_MAX})
        EXPECT_EQ(Bits(Hdmcon(i)), 0x7FFFFFFFFFFFFFFFull) << "index " << i;
}

TEST(BlacLsame, ComparesLettersRegardlessOfCase)
{
    for (char c = 'A'; c <= 'Z'; ++c) {
        const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_NE(BLAC_LSAME(&c, &c), 0) << c;
        EXPECT_NE(BLAC_LSAME(&c, &lower), 0) << c;
        EXPECT_NE(BLAC_LSAME(&lower, &c), 0) << c;
        EXPECT_NE(BLAC_LSAME(&lower, &lower), 0) << c;
        const char other = c == 'Z' ? 'a' : static_cast<char>(lower + 1);
        EXPECT_EQ(BLAC_LSAME(&c, &other), 0) << c << " against " << other;
        EXPECT_EQ(BLAC_LSAME(&other, &c), 0) << other << " against " << c;
    }
    const char one = '1', two = '2';
    EXPECT_NE(BLAC_LSAME(&one, &one), 0);
    EXPECT_EQ(BLAC_LSAME(&one, &two), 0);
}

TEST(BlacIlaenv, GivesBlockSizesForLapackRoutines)
{
    const int nb = 1, n = 1000, unused = -1;
    const char* names[] = {"DSYTRD", "dsytrd", "DGETRF", "DSYTRF"};
    int dsytrd = 0;
    for (const char* name : names) {
        const char* opts = "U";
        const int got = BLAC_ILAENV(&nb, name, opts, &n, &unused, &unused, &unused, 6, 1);
        EXPECT_GT(got, 1) << name;
        if (std::string(name) == "DSYTRD")
            dsytrd = got;
    }
    // NAME's length comes from the caller: characters after it are not read.
    const char* longer = "DSYTRDxxxx";
    EXPECT_EQ(BLAC_ILAENV(&nb, longer, "U", &n, &unused, &unused, &unused, 6, 1), dsytrd);
    // ... and it is forwarded: "DSYTRD" with length 3 is the routine "DSY",
    // which ILAENV does not know, so no blocking, as ILAENV itself says.
    const int shortened = BLAC_ILAENV(&nb, "DSYTRD", "U", &n, &unused, &unused, &unused, 3, 1);
    EXPECT_EQ(shortened, ilaenv_(&nb, "DSYTRD", "U", &n, &unused, &unused, &unused, 3, 1));
    EXPECT_EQ(shortened, 1);
    EXPECT_NE(dsytrd, 1);

    // An unknown routine has no blocking: block size 1.
    EXPECT_EQ(BLAC_ILAENV(&nb, "XXXXXX", "U", &n, &unused, &unused, &unused, 6, 1), 1);
    // An invalid ISPEC is reported as -1.
    const int badSpec = 99;
    EXPECT_EQ(BLAC_ILAENV(&badSpec, "DSYTRD", "U", &n, &unused, &unused, &unused, 6, 1), -1);
}

TEST(BlacIeeeck, TakesZeroAndOneInSinglePrecisionLikeTheRoutine)
{
    // IEEECK's ZERO and ONE are REAL: the wrapper has the same argument list.
    static_assert(std::is_same<decltype(&BLAC_IEEECK),
                               int (*)(const int*, const float*, const float*)>::value,
                  "BLAC_IEEECK(const int*, const float*, const float*)");
    static_assert(std::is_same<decltype(&BLAC_IEEECK), decltype(&ieeeck_)>::value,
                  "BLAC_IEEECK has the argument list of IEEECK");
}

TEST(BlacIeeeck, ConfirmsInfinityAndNaNArithmetic)
{
    const float zero = 0.0f, one = 1.0f;
    for (int ispec : {0, 1}) {
        EXPECT_EQ(BLAC_IEEECK(&ispec, &zero, &one), 1) << "ISPEC " << ispec;
        EXPECT_EQ(BLAC_IEEECK(&ispec, &zero, &one), ieeeck_(&ispec, &zero, &one));
    }
    // With a ZERO that is not zero, ONE / ZERO is no infinity: the check fails.
    const float notZero = 1.0f;
    for (int ispec : {0, 1}) {
        EXPECT_EQ(BLAC_IEEECK(&ispec, &notZero, &one), 0) << "ISPEC " << ispec;
        EXPECT_EQ(BLAC_IEEECK(&ispec, &notZero, &one), ieeeck_(&ispec, &notZero, &one));
    }
}

TEST(BlacDlamch, ReturnsTheDoublePrecisionMachineParameters)
{
    struct Case {
        char c;
        double value;
    };
    const Case cases[] = {
        {'E', std::ldexp(1.0, -53)}, // relative machine precision (rounding)
        {'P', DBL_EPSILON},          // eps * base
        {'S', DBL_MIN},              // safe minimum
        {'B', 2.0},
        {'N', 53.0},
        {'R', 1.0},
        {'M', -1021.0},
        {'U', DBL_MIN},
        {'L', 1024.0},
        {'O', DBL_MAX},
    };
    for (const Case& c : cases) {
        const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(c.c)));
        EXPECT_EQ(BLAC_DLAMCH(&c.c), c.value) << c.c;
        EXPECT_EQ(BLAC_DLAMCH(&lower), c.value) << lower;
    }
}

TEST(BlacXerbla, HandsTheNameAndArgumentNumberToTheDefaultReporter)
{
    const int info = 7;
    const std::string text = blactest::CaptureStdout([&] { BLAC_XERBLA("DSYGV ", &info); });
    EXPECT_EQ(text, " ** On entry to DSYGV  parameter number  7 had an illegal value\n");
    EXPECT_ONE_REPORT(blactest::ParseReports(text), "DSYGV ", 7);

    // Exactly six characters are passed: the seventh is not part of the name.
    const int twelve = 12;
    EXPECT_EQ(blactest::CaptureStdout([&] { BLAC_XERBLA("DTRSMXYZ", &twelve); }),
              " ** On entry to DTRSMX parameter number 12 had an illegal value\n");
}

TEST(BlacXerbla, ReadsSixCharactersOfANameWithoutTerminatingNul)
{
    // A Fortran CHARACTER(6) array: the names follow one another with no NUL
    // in between, as in "character(6) names(3)".
    const char names[3][6] = {{'D', 'G', 'E', 'M', 'M', ' '},
                              {'D', 'S', 'Y', 'E', 'V', 'X'},
                              {'D', 'T', 'R', 'S', 'M', ' '}};
    const int three = 3, four = 4, eleven = 11;
    EXPECT_EQ(blactest::CaptureStdout([&] { BLAC_XERBLA(names[0], &three); }),
              " ** On entry to DGEMM  parameter number  3 had an illegal value\n");
    EXPECT_EQ(blactest::CaptureStdout([&] { BLAC_XERBLA(names[1], &four); }),
              " ** On entry to DSYEVX parameter number  4 had an illegal value\n");

    // A name of six characters followed by other bytes in the same buffer.
    const char buffer[12] = {'D', 'P', 'P', 'S', 'V', ' ', 'g', 'a', 'r', 'b', 'a', 'g'};
    EXPECT_EQ(blactest::CaptureStdout([&] { BLAC_XERBLA(buffer, &eleven); }),
              " ** On entry to DPPSV  parameter number 11 had an illegal value\n");

    // A NUL before the sixth character ends the name; the rest is blanks and
    // nothing after the NUL is read.
    const char shortName[3] = {'A', 'B', '\0'};
    EXPECT_EQ(blactest::CaptureStdout([&] { BLAC_XERBLA(shortName, &three); }),
              " ** On entry to AB     parameter number  3 had an illegal value\n");
    const char empty[1] = {'\0'};
    EXPECT_EQ(blactest::CaptureStdout([&] { BLAC_XERBLA(empty, &three); }),
              " ** On entry to        parameter number  3 had an illegal value\n");
}

TEST(BlacXerbla, ForwardedRoutinesReportTheirOwnBadArguments)
{
    // The wrappers check nothing: the routine reached finds and reports.
    const int m = 2, n = 2, bad = -1, one = 1, zeroStep = 0;
    double a[4] = {1, 2, 3, 4}, x[2] = {1, 1}, y[2] = {0, 0};
    const double alpha = 1.0, beta = 0.0;
    const char trans = 'N', wrong = 'Q';
    EXPECT_ONE_REPORT(blactest::CaptureReports([&] {
                          BLAC_DGEMV(&wrong, &m, &n, &alpha, a, &m, x, &one, &beta, y, &one);
                      }),
                      "DGEMV ", 1);
    EXPECT_ONE_REPORT(blactest::CaptureReports([&] {
                          BLAC_DGEMV(&trans, &m, &n, &alpha, a, &m, x, &zeroStep, &beta, y, &one);
                      }),
                      "DGEMV ", 8);
    int ipiv[2], info = 0;
    EXPECT_ONE_REPORT(
        blactest::CaptureReports([&] { BLAC_DGETRF(&bad, &n, a, &m, ipiv, &info); }),
        "DGETRF", 1);
    EXPECT_EQ(info, -1);
    const char uplo = 'U';
    EXPECT_ONE_REPORT(blactest::CaptureReports([&] { BLAC_DPOTRF(&uplo, &n, a, &one, &info); }),
                      "DPOTRF", 4);
    EXPECT_EQ(info, -4);
}
