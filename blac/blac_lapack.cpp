// BLAC_ forwarders to the LAPACK routines: same arguments, a hidden length
// of 1 appended per character argument, INFO and results returned as is.
// Where the routine underneath is OpenBLAS's own and not the reference code,
// it may answer a bad argument otherwise than reference LAPACK; the wrapper
// then checks the arguments itself, as reference LAPACK does.
#include <blac/blac.h>

#include <blac/internal/blac_arguments.h>
#include <blac/internal/blac_fortran.h>

namespace {
const blac_strlen kOne = 1; // length of a single-character argument
}

extern "C" {

void BLAC_DGETRF(const int* M, const int* N, double* A, const int* LDA, int* IPIV, int* INFO)
{
    dgetrf_(M, N, A, LDA, IPIV, INFO);
}

void BLAC_DGETRS(const char* TRANS, const int* N, const int* NRHS, const double* A,
                 const int* LDA, const int* IPIV, double* B, const int* LDB, int* INFO)
{
    // OpenBLAS's DGETRS reports a bad argument without writing INFO, and takes
    // TRANS = 'R' as 'N'; reference LAPACK refuses it.
    *INFO = 0;
    if (!blac_Lsame(TRANS, 'N') && !blac_Lsame(TRANS, 'T') && !blac_Lsame(TRANS, 'C'))
        *INFO = -1;
    else if (*N < 0)
        *INFO = -2;
    else if (*NRHS < 0)
        *INFO = -3;
    else if (*LDA < blac_Max1(*N))
        *INFO = -5;
    else if (*LDB < blac_Max1(*N))
        *INFO = -8;
    if (blac_Refused("DGETRS", *INFO))
        return;
    dgetrs_(TRANS, N, NRHS, A, LDA, IPIV, B, LDB, INFO, kOne);
}

void BLAC_DPOTRF(const char* UPLO, const int* N, double* A, const int* LDA, int* INFO)
{
    dpotrf_(UPLO, N, A, LDA, INFO, kOne);
}

void BLAC_DPPTRF(const char* UPLO, const int* N, double* AP, int* INFO)
{
    dpptrf_(UPLO, N, AP, INFO, kOne);
}

void BLAC_DPPTRI(const char* UPLO, const int* N, double* AP, int* INFO)
{
    dpptri_(UPLO, N, AP, INFO, kOne);
}

void BLAC_DPPTRS(const char* UPLO, const int* N, const int* NRHS, const double* AP,
                 double* B, const int* LDB, int* INFO)
{
    dpptrs_(UPLO, N, NRHS, AP, B, LDB, INFO, kOne);
}

void BLAC_DSYTRF(const char* UPLO, const int* N, double* A, const int* LDA, int* IPIV,
                 double* WORK, const int* LWORK, int* INFO)
{
    dsytrf_(UPLO, N, A, LDA, IPIV, WORK, LWORK, INFO, kOne);
}

void BLAC_DSYTRS(const char* UPLO, const int* N, const int* NRHS, const double* A,
                 const int* LDA, const int* IPIV, double* B, const int* LDB, int* INFO)
{
    dsytrs_(UPLO, N, NRHS, A, LDA, IPIV, B, LDB, INFO, kOne);
}

void BLAC_DTPTRI(const char* UPLO, const char* DIAG, const int* N, double* AP, int* INFO)
{
    dtptri_(UPLO, DIAG, N, AP, INFO, kOne, kOne);
}

void BLAC_DORMTR(const char* SIDE, const char* UPLO, const char* TRANS, const int* M,
                 const int* N, const double* A, const int* LDA, const double* TAU,
                 double* C, const int* LDC, double* WORK, const int* LWORK, int* INFO)
{
    dormtr_(SIDE, UPLO, TRANS, M, N, A, LDA, TAU, C, LDC, WORK, LWORK, INFO, kOne, kOne, kOne);
}

void BLAC_DSPEVX(const char* JOBZ, const char* RANGE, const char* UPLO, const int* N,
                 double* AP, const double* VL, const double* VU, const int* IL,
                 const int* IU, const double* ABSTOL, int* M, double* W, double* Z,
                 const int* LDZ, double* WORK, int* IWORK, int* IFAIL, int* INFO)
{
    dspevx_(JOBZ, RANGE, UPLO, N, AP, VL, VU, IL, IU, ABSTOL, M, W, Z, LDZ, WORK, IWORK,
            IFAIL, INFO, kOne, kOne, kOne);
}

// DSTEMR and DSTEVR must be the reference LAPACK algorithms (MRRR). OpenBLAS
// optimizes BLAS and a few LAPACK factorizations only; its LAPACK part for
// these two routines is the reference LAPACK code, so forwarding to it gives
// the reference algorithm. Their argument errors go to the same default
// reporter (XERBLA) as everything else.
void BLAC_DSTEMR(const char* JOBZ, const char* RANGE, const int* N, double* D, double* E,
                 const double* VL, const double* VU, const int* IL, const int* IU, int* M,
                 double* W, double* Z, const int* LDZ, const int* NZC, int* ISUPPZ,
                 int* TRYRAC, double* WORK, const int* LWORK, int* IWORK,
                 const int* LIWORK, int* INFO)
{
    dstemr_(JOBZ, RANGE, N, D, E, VL, VU, IL, IU, M, W, Z, LDZ, NZC, ISUPPZ, TRYRAC, WORK,
            LWORK, IWORK, LIWORK, INFO, kOne, kOne);
}

void BLAC_DSTEVR(const char* JOBZ, const char* RANGE, const int* N, double* D, double* E,
                 const double* VL, const double* VU, const int* IL, const int* IU,
                 const double* ABSTOL, int* M, double* W, double* Z, const int* LDZ,
                 int* ISUPPZ, double* WORK, const int* LWORK, int* IWORK,
                 const int* LIWORK, int* INFO)
{
    dstevr_(JOBZ, RANGE, N, D, E, VL, VU, IL, IU, ABSTOL, M, W, Z, LDZ, ISUPPZ, WORK, LWORK,
            IWORK, LIWORK, INFO, kOne, kOne);
}

void BLAC_DSYEV(const char* JOBZ, const char* UPLO, const int* N, double* A, const int* LDA,
                double* W, double* WORK, const int* LWORK, int* INFO)
{
    dsyev_(JOBZ, UPLO, N, A, LDA, W, WORK, LWORK, INFO, kOne, kOne);
}

void BLAC_DSYEVX(const char* JOBZ, const char* RANGE, const char* UPLO, const int* N,
                 double* A, const int* LDA, const double* VL, const double* VU,
                 const int* IL, const int* IU, const double* ABSTOL, int* M, double* W,
                 double* Z, const int* LDZ, double* WORK, const int* LWORK, int* IWORK,
                 int* IFAIL, int* INFO)
{
    dsyevx_(JOBZ, RANGE, UPLO, N, A, LDA, VL, VU, IL, IU, ABSTOL, M, W, Z, LDZ, WORK, LWORK,
            IWORK, IFAIL, INFO, kOne, kOne, kOne);
}

void BLAC_DSYGST(const int* ITYPE, const char* UPLO, const int* N, double* A,
                 const int* LDA, const double* B, const int* LDB, int* INFO)
{
    dsygst_(ITYPE, UPLO, N, A, LDA, B, LDB, INFO, kOne);
}

void BLAC_DSYGV(const int* ITYPE, const char* JOBZ, const char* UPLO, const int* N,
                double* A, const int* LDA, double* B, const int* LDB, double* W,
                double* WORK, const int* LWORK, int* INFO)
{
    dsygv_(ITYPE, JOBZ, UPLO, N, A, LDA, B, LDB, W, WORK, LWORK, INFO, kOne, kOne);
}

void BLAC_DSYTRD(const char* UPLO, const int* N, double* A, const int* LDA, double* D,
                 double* E, double* TAU, double* WORK, const int* LWORK, int* INFO)
{
    dsytrd_(UPLO, N, A, LDA, D, E, TAU, WORK, LWORK, INFO, kOne);
}

} // extern "C"
