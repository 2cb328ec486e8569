// How ZylSrvMatrix turns LAPACK's INFO into errors, for the answers that
// well-formed calls cannot provoke (an illegal argument, no convergence).
//
// This program defines its own BLAC_DGETRF, BLAC_DSYTRF, BLAC_DGETRS,
// BLAC_DSYTRS and BLAC_DSYGV. They interpose the library's entry points of
// the same name (the executable's definitions come first in symbol lookup),
// forward to them through dlsym(RTLD_NEXT, ...) and, when a test asks, replace
// INFO with a chosen value afterwards. The real operations run unchanged; only
// LAPACK's answer is forced.
#include "MatrixTestSupport.h"

#include <blac/blac.h>
#include <platform/mem.h>

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdlib>
#include <string>

using namespace matrix_test;

namespace {

struct Forced {
    bool active = false;
    int info = 0;
    int calls = 0;
};
Forced g_getrf, g_sytrf, g_getrs, g_sytrs, g_sygv;

template <typename F>
F Next(const char* name)
{
    void* symbol = dlsym(RTLD_NEXT, name);
    if (symbol == nullptr)
        std::abort();
    return reinterpret_cast<F>(symbol);
}

void Apply(Forced& f, int* info)
{
    ++f.calls;
    if (f.active)
        *info = f.info;
}

} // namespace

extern "C" {

void BLAC_DGETRF(const int* M, const int* N, double* A, const int* LDA, int* IPIV, int* INFO)
{
    static auto next = Next<decltype(&BLAC_DGETRF)>("BLAC_DGETRF");
    next(M, N, A, LDA, IPIV, INFO);
    Apply(g_getrf, INFO);
}

void BLAC_DSYTRF(const char* UPLO, const int* N, double* A, const int* LDA, int* IPIV, double* WORK,
                 const int* LWORK, int* INFO)
{
    static auto next = Next<decltype(&BLAC_DSYTRF)>("BLAC_DSYTRF");
    next(UPLO, N, A, LDA, IPIV, WORK, LWORK, INFO);
    Apply(g_sytrf, INFO);
}

void BLAC_DGETRS(const char* TRANS, const int* N, const int* NRHS, const double* A, const int* LDA,
                 const int* IPIV, double* B, const int* LDB, int* INFO)
{
    static auto next = Next<decltype(&BLAC_DGETRS)>("BLAC_DGETRS");
    next(TRANS, N, NRHS, A, LDA, IPIV, B, LDB, INFO);
    Apply(g_getrs, INFO);
}

void BLAC_DSYTRS(const char* UPLO, const int* N, const int* NRHS, const double* A, const int* LDA,
                 const int* IPIV, double* B, const int* LDB, int* INFO)
{
    static auto next = Next<decltype(&BLAC_DSYTRS)>("BLAC_DSYTRS");
    next(UPLO, N, NRHS, A, LDA, IPIV, B, LDB, INFO);
    Apply(g_sytrs, INFO);
}

void BLAC_DSYGV(const int* ITYPE, const char* JOBZ, const char* UPLO, const int* N, double* A,
                const int* LDA, double* B, const int* LDB, double* W, double* WORK, const int* LWORK,
                int* INFO)
{
    static auto next = Next<decltype(&BLAC_DSYGV)>("BLAC_DSYGV");
    next(ITYPE, JOBZ, UPLO, N, A, LDA, B, LDB, W, WORK, LWORK, INFO);
    Apply(g_sygv, INFO);
}

} // extern "C"

namespace {

class ForcedInfo : public testing::Test {
protected:
    void TearDown() override
    {
        for (Forced* f : {&g_getrf, &g_sytrf, &g_getrs, &g_sytrs, &g_sygv})
            *f = Forced();
    }
};

void Force(Forced& f, int info)
{
    f.active = true;
    f.info = info;
    f.calls = 0;
}

ZylSrvMatrix SpdPair(int n, unsigned seed, bool symmetric)
{
    Dense r = Random(n, n, seed);
    Dense s(n, n);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i)
            s(i, j) = 0.5 * (r(i, j) + r(j, i)) + (i == j ? 2.0 * n : 0.0);
    return MatrixOf(s, symmetric);
}

} // namespace

TEST_F(ForcedInfo, EigenproblemMapsEveryInfoClassToItsError)
{
    const int n = 4;
    const ZylSrvMatrix a = SpdPair(n, 1, false), b = SpdPair(n, 2, false);
    ZylSrvMatrix values(n, 1), vectors(n, n);
    const long live = mem_LiveBlocks();

    // The untouched answer: no error, and the interposed entry was reached.
    g_sygv.calls = 0;
    a.SolveEigenproblemSymmetric(b, values, vectors);
    ASSERT_EQ(g_sygv.calls, 1) << "BLAC_DSYGV was not interposed; the forced answers below would not be tested";

    const int illegal[] = {-1, -4, -11};
    for (int info : illegal) {
        Force(g_sygv, info);
        ExpectError<ZylSrvMtxSolveIllegalArg>(
            [&] { a.SolveEigenproblemSymmetric(b, values, vectors); }, 213,
            "ZylSrvMatrix::SolveEigenproblemSymmetric - Illegal function argument " + std::to_string(-info) + ".");
        EXPECT_EQ(g_sygv.calls, 1);
        EXPECT_EQ(mem_LiveBlocks(), live) << "INFO " << info << ": work space released";
    }
    try {
        Force(g_sygv, -6);
        a.SolveEigenproblemSymmetric(b, values, vectors);
        FAIL();
    } catch (const ZylSrvMtxSolveIllegalArg& e) {
        EXPECT_EQ(e.ArgumentNumber(), 6);
    }

    for (int info : {1, n}) { // 0 < INFO <= n
        Force(g_sygv, info);
        ExpectError<ZylSrvMtxSolveNotConverge>(
            [&] { a.SolveEigenproblemSymmetric(b, values, vectors); }, 214,
            "ZylSrvMatrix::SolveEigenproblemSymmetric - Eigensolver did not converge.");
        EXPECT_EQ(mem_LiveBlocks(), live);
    }
    for (int info : {n + 1, 2 * n}) { // INFO > n
        Force(g_sygv, info);
        ExpectError<ZylSrvMtxSolveNotPositive>(
            [&] { a.SolveEigenproblemSymmetric(b, values, vectors); }, 215,
            "ZylSrvMatrix::SolveEigenproblemSymmetric - Matrix B is not positive-definite.");
        EXPECT_EQ(mem_LiveBlocks(), live);
    }
}

TEST_F(ForcedInfo, FactorizeReportsOnlyANegativeInfo)
{
    const int n = 5;
    std::vector<int> pivots(n, 0);
    ZylSrvMatrix lu = SpdPair(n, 3, false);
    ZylSrvMatrix sym = SpdPair(n, 4, true);
    const long live = mem_LiveBlocks();

    Force(g_getrf, -4);
    ExpectIllegalInput([&] { lu.Factorize(pivots.data()); }, "Factorize");
    EXPECT_EQ(g_getrf.calls, 1);
    lu = SpdPair(n, 3, false);
    Force(g_getrf, 2); // a zero pivot is not reported
    EXPECT_NO_THROW(lu.Factorize(pivots.data()));

    Force(g_sytrf, -7);
    ExpectIllegalInput([&] { sym.Factorize(pivots.data()); }, "Factorize");
    EXPECT_EQ(g_sytrf.calls, 1);
    EXPECT_EQ(mem_LiveBlocks(), live) << "the work array is released on the error path";
    sym = SpdPair(n, 4, true);
    Force(g_sytrf, 3);
    EXPECT_NO_THROW(sym.Factorize(pivots.data()));
    EXPECT_EQ(mem_LiveBlocks(), live);
}

TEST_F(ForcedInfo, ForwardBackwardPassReportsANegativeInfo)
{
    const int n = 4;
    std::vector<int> pivots(n, 0);
    ZylSrvMatrix lu = SpdPair(n, 5, false);
    lu.Factorize(pivots.data());
    ZylSrvMatrix rhs = MatrixOf(Random(n, 2, 6));
    Force(g_getrs, -8);
    ExpectIllegalInput([&] { lu.ForwardBackwardPass(pivots.data(), rhs, true); }, "ForwardBackwardPass");
    EXPECT_EQ(g_getrs.calls, 1);

    ZylSrvMatrix sym = SpdPair(n, 7, true);
    sym.Factorize(pivots.data());
    Force(g_sytrs, -3);
    ExpectIllegalInput([&] { sym.ForwardBackwardPass(pivots.data(), rhs, false); }, "ForwardBackwardPass");
    EXPECT_EQ(g_sytrs.calls, 1);
    EXPECT_EQ(g_getrs.calls, 1) << "the declared-symmetric matrix takes DSYTRS";
}
