// The two composed LAPACK drivers of the bridge. Each checks its own
// arguments in the LAPACK order, reports the first bad one through XERBLA
// under its own six-character name and returns; otherwise it factors and,
// when the factorization succeeded, solves. A positive INFO of the
// factorization (zero pivot, matrix not positive definite) comes back as is
// and B is left unsolved.
#include <blac/blac.h>

#include <blac/internal/blac_arguments.h>

namespace {
const blac_strlen kOne = 1;
}

extern "C" {

void BLAC_DGESV(const int* N, const int* NRHS, double* A, const int* LDA, int* IPIV,
                double* B, const int* LDB, int* INFO)
{
    *INFO = 0;
    if (*N < 0)
        *INFO = -1;
    else if (*NRHS < 0)
        *INFO = -2;
    else if (*LDA < blac_Max1(*N))
        *INFO = -4;
    else if (*LDB < blac_Max1(*N))
        *INFO = -7;
    if (blac_Refused("DGESV ", *INFO))
        return;

    // A = P * L * U, then solve A * X = B with the factors.
    dgetrf_(N, N, A, LDA, IPIV, INFO);
    if (*INFO == 0) {
        static const char kNoTranspose[] = "No transpose";
        dgetrs_(kNoTranspose, N, NRHS, A, LDA, IPIV, B, LDB, INFO, sizeof kNoTranspose - 1);
    }
}

void BLAC_DPPSV(const char* UPLO, const int* N, const int* NRHS, double* AP, double* B,
                const int* LDB, int* INFO)
{
    *INFO = 0;
    if (!blac_Lsame(UPLO, 'U') && !blac_Lsame(UPLO, 'L'))
        *INFO = -1;
    else if (*N < 0)
        *INFO = -2;
    else if (*NRHS < 0)
        *INFO = -3;
    else if (*LDB < blac_Max1(*N))
        *INFO = -6;
    if (blac_Refused("DPPSV ", *INFO))
        return;

    // A = U**T * U or L * L**T in packed storage, then solve with the factor.
    dpptrf_(UPLO, N, AP, INFO, kOne);
    if (*INFO == 0)
        dpptrs_(UPLO, N, NRHS, AP, B, LDB, INFO, kOne);
}

} // extern "C"
