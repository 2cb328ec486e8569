// ZylSrvMatrix's handling of LAPACK answers that well-formed calls cannot
// provoke (illegal argument, no convergence, small block size). This
// program's BLAC_ entry points interpose the library's (the executable comes
// first in symbol lookup), forward through dlsym(RTLD_NEXT, ...), then may
// force the answer.
#include "MatrixTestSupport.h"

#include <blac/blac.h>
#include <platform/mem.h>

#include <dlfcn.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <type_traits>
#include <vector>

using namespace matrix_test;

namespace {

struct Forced {
    bool active = false;
    int answer = 0;
    int calls = 0;
};
Forced g_getrf, g_sytrf, g_getrs, g_sytrs, g_sygv, g_ilaenv;
int g_sygvLwork = 0;

template <typename F>
F Next(const char* name)
{
    void* symbol = dlsym(RTLD_NEXT, name);
    if (symbol == nullptr)
        std::abort();
    return reinterpret_cast<F>(symbol);
}

void Answer(Forced& f, int* info)
{
    ++f.calls;
    if (f.active)
        *info = f.answer;
}

} // namespace

// An interposer that forwards to the real entry point, then answers for it.
#define ZYL_INTERPOSE(NAME, PARAMS, ARGS, AFTER)                 \
    void NAME PARAMS                                             \
    {                                                            \
        static auto next = Next<decltype(&NAME)>(#NAME);         \
        next ARGS;                                               \
        AFTER;                                                   \
    }

extern "C" {

ZYL_INTERPOSE(BLAC_DGETRF, (const int* M, const int* N, double* A, const int* LDA, int* IPIV, int* INFO),
              (M, N, A, LDA, IPIV, INFO), Answer(g_getrf, INFO))
ZYL_INTERPOSE(BLAC_DSYTRF,
              (const char* UPLO, const int* N, double* A, const int* LDA, int* IPIV, double* WORK, const int* LWORK,
               int* INFO),
              (UPLO, N, A, LDA, IPIV, WORK, LWORK, INFO), Answer(g_sytrf, INFO))
ZYL_INTERPOSE(BLAC_DGETRS,
              (const char* TRANS, const int* N, const int* NRHS, const double* A, const int* LDA, const int* IPIV,
               double* B, const int* LDB, int* INFO),
              (TRANS, N, NRHS, A, LDA, IPIV, B, LDB, INFO), Answer(g_getrs, INFO))
ZYL_INTERPOSE(BLAC_DSYTRS,
              (const char* UPLO, const int* N, const int* NRHS, const double* A, const int* LDA, const int* IPIV,
               double* B, const int* LDB, int* INFO),
              (UPLO, N, NRHS, A, LDA, IPIV, B, LDB, INFO), Answer(g_sytrs, INFO))
ZYL_INTERPOSE(BLAC_DSYGV,
              (const int* ITYPE, const char* JOBZ, const char* UPLO, const int* N, double* A, const int* LDA,
               double* B, const int* LDB, double* W, double* WORK, const int* LWORK, int* INFO),
              (ITYPE, JOBZ, UPLO, N, A, LDA, B, LDB, W, WORK, LWORK, INFO),
              (g_sygvLwork = *LWORK, Answer(g_sygv, INFO)))

int BLAC_ILAENV(const int* ISPEC, const char* NAME, const char* OPTS, const int* N1, const int* N2, const int* N3,
                const int* N4, size_t NAME_LEN, size_t OPTS_LEN)
{
    static auto next = Next<decltype(&BLAC_ILAENV)>("BLAC_ILAENV");
    const int answer = next(ISPEC, NAME, OPTS, N1, N2, N3, N4, NAME_LEN, OPTS_LEN);
    return g_ilaenv.active ? g_ilaenv.answer : answer;
}

} // extern "C"

namespace {

class MatrixLapackReport : public testing::Test {
protected:
    void TearDown() override
    {
        for (Forced* f : {&g_getrf, &g_sytrf, &g_getrs, &g_sytrs, &g_sygv, &g_ilaenv})
            *f = Forced();
    }
    static void Force(Forced& f, int answer) { f = Forced{true, answer, 0}; }
};

} // namespace

TEST_F(MatrixLapackReport, EigenproblemMapsEveryInfoClassToItsError)
{
    const int n = 4;
    ZylSrvMatrix a = MatrixOf(RandomSymmetric(n, 1, 2.0 * n));
    const ZylSrvMatrix b = MatrixOf(RandomSymmetric(n, 2, 2.0 * n));
    ZylSrvMatrix values(n, 1), vectors(n, n);
    const long live = mem_LiveBlocks();
    a.SolveEigenproblemSymmetric(b, values, vectors);
    ASSERT_EQ(g_sygv.calls, 1) << "BLAC_DSYGV was not interposed; the forced answers below would not be tested";
    auto expect = [&](auto type, int info, int number, const std::string& text) {
        Force(g_sygv, info);
        zyltest::ExpectFamilyError<std::remove_pointer_t<decltype(type)>>(
            [&] { a.SolveEigenproblemSymmetric(b, values, vectors); }, number,
            "ZylSrvMatrix::SolveEigenproblemSymmetric - " + text, kSource);
        EXPECT_EQ(mem_LiveBlocks(), live) << "INFO " << info << ": work space released";
    };
    for (int info : {-1, -4, -6, -11})
        expect(static_cast<ZylSrvMtxSolveIllegalArg*>(nullptr), info, 213,
               "Illegal function argument " + std::to_string(-info) + ".");
    for (int info : {1, n}) // 0 < INFO <= n
        expect(static_cast<ZylSrvMtxSolveNotConverge*>(nullptr), info, 214, "Eigensolver did not converge.");
    for (int info : {n + 1, 2 * n}) // INFO > n
        expect(static_cast<ZylSrvMtxSolveNotPositive*>(nullptr), info, 215, "Matrix B is not positive-definite.");
}

TEST_F(MatrixLapackReport, FactorizeAndSolveReportOnlyANegativeInfo)
{
    const int n = 5;
    std::vector<int> pivots(n, 0), symPivots(n, 0);
    ZylSrvMatrix lu = MatrixOf(RandomSymmetric(n, 3, 2.0 * n)), sym = MatrixOf(RandomSymmetric(n, 4, 2.0 * n), true);
    ZylSrvMatrix rhs = MatrixOf(RandomMatrix(n, 2, 6));
    const long live = mem_LiveBlocks();
    Force(g_getrf, 2); // a zero pivot is not reported
    Force(g_sytrf, 3);
    lu.Factorize(pivots.data());
    sym.Factorize(symPivots.data());
    Force(g_getrf, -4);
    Force(g_sytrf, -7);
    Force(g_getrs, -8);
    Force(g_sytrs, -3);
    zyltest::ExpectIllegalInput([&] { lu.ForwardBackwardPass(pivots.data(), rhs, true); }, "ForwardBackwardPass",
                                kSource);
    zyltest::ExpectIllegalInput([&] { sym.ForwardBackwardPass(symPivots.data(), rhs, false); },
                                "ForwardBackwardPass", kSource);
    zyltest::ExpectIllegalInput([&] { lu.Factorize(pivots.data()); }, "Factorize", kSource);
    zyltest::ExpectIllegalInput([&] { sym.Factorize(symPivots.data()); }, "Factorize", kSource);
    EXPECT_EQ(g_getrf.calls + g_sytrf.calls + g_getrs.calls + g_sytrs.calls, 4);
    EXPECT_EQ(mem_LiveBlocks(), live) << "the work array is released on the error path";
}

TEST_F(MatrixLapackReport, EigenproblemWorkFollowsIlaenvAndNeverFallsBelowItsMinimum)
{
    // LWORK = (NB + 2) n, raised to 3n - 1 (DSYGV's minimum) when smaller
    // block sizes are forced.
    for (const auto& [nb, n] : {std::pair<int, int>{0, 4}, {1, 4}, {0, 1}, {-1, 1}, {2, 1}}) {
        SCOPED_TRACE(testing::Message() << "NB = " << nb << ", n = " << n);
        ZylSrvMatrix a = MatrixOf(RandomSymmetric(n, 70, 80.0)), b = MatrixOf(RandomSymmetric(n, 71, 80.0));
        ZylSrvMatrix values(n, 1), vectors(n, n);
        g_ilaenv = Forced{true, nb, 0};
        a.SolveEigenproblemSymmetric(b, values, vectors);
        EXPECT_EQ(g_sygvLwork, std::max((nb + 2) * n, 3 * n - 1));
    }
}
