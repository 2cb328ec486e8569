// BLAC_ forwarders to the BLAS routines: same arguments, a hidden length of
// 1 appended per character argument, the routine's result returned as is.
#include <blac/blac.h>

#include <blac/internal/blac_fortran.h>

namespace {
const blac_strlen kOne = 1; // length of a single-character argument
}

extern "C" {

double BLAC_DASUM(const int* N, const double* DX, const int* INCX)
{
    return dasum_(N, DX, INCX);
}

void BLAC_DAXPY(const int* N, const double* DA, const double* DX, const int* INCX, double* DY,
                const int* INCY)
{
    daxpy_(N, DA, DX, INCX, DY, INCY);
}

void BLAC_DCOPY(const int* N, const double* DX, const int* INCX, double* DY, const int* INCY)
{
    dcopy_(N, DX, INCX, DY, INCY);
}

double BLAC_DDOT(const int* N, const double* DX, const int* INCX, const double* DY,
                 const int* INCY)
{
    return ddot_(N, DX, INCX, DY, INCY);
}

double BLAC_DNRM2(const int* N, const double* X, const int* INCX)
{
    return dnrm2_(N, X, INCX);
}

void BLAC_DROT(const int* N, double* DX, const int* INCX, double* DY, const int* INCY,
               const double* C, const double* S)
{
    drot_(N, DX, INCX, DY, INCY, C, S);
}

void BLAC_DSCAL(const int* N, const double* DA, double* DX, const int* INCX)
{
    dscal_(N, DA, DX, INCX);
}

void BLAC_DSWAP(const int* N, double* DX, const int* INCX, double* DY, const int* INCY)
{
    dswap_(N, DX, INCX, DY, INCY);
}

int BLAC_IDAMAX(const int* N, const double* DX, const int* INCX)
{
    return idamax_(N, DX, INCX);
}

void BLAC_DGEMV(const char* TRANS, const int* M, const int* N, const double* ALPHA,
                const double* A, const int* LDA, const double* X, const int* INCX,
                const double* BETA, double* Y, const int* INCY)
{
    dgemv_(TRANS, M, N, ALPHA, A, LDA, X, INCX, BETA, Y, INCY, kOne);
}

void BLAC_DGER(const int* M, const int* N, const double* ALPHA, const double* X,
               const int* INCX, const double* Y, const int* INCY, double* A, const int* LDA)
{
    dger_(M, N, ALPHA, X, INCX, Y, INCY, A, LDA);
}

void BLAC_DSPMV(const char* UPLO, const int* N, const double* ALPHA, const double* AP,
                const double* X, const int* INCX, const double* BETA, double* Y,
                const int* INCY)
{
    dspmv_(UPLO, N, ALPHA, AP, X, INCX, BETA, Y, INCY, kOne);
}

void BLAC_DSPR(const char* UPLO, const int* N, const double* ALPHA, const double* X,
               const int* INCX, double* AP)
{
    dspr_(UPLO, N, ALPHA, X, INCX, AP, kOne);
}

void BLAC_DSPR2(const char* UPLO, const int* N, const double* ALPHA, const double* X,
                const int* INCX, const double* Y, const int* INCY, double* AP)
{
    dspr2_(UPLO, N, ALPHA, X, INCX, Y, INCY, AP, kOne);
}

void BLAC_DSYMV(const char* UPLO, const int* N, const double* ALPHA, const double* A,
                const int* LDA, const double* X, const int* INCX, const double* BETA,
                double* Y, const int* INCY)
{
    dsymv_(UPLO, N, ALPHA, A, LDA, X, INCX, BETA, Y, INCY, kOne);
}

void BLAC_DSYR(const char* UPLO, const int* N, const double* ALPHA, const double* X,
               const int* INCX, double* A, const int* LDA)
{
    dsyr_(UPLO, N, ALPHA, X, INCX, A, LDA, kOne);
}

void BLAC_DSYR2(const char* UPLO, const int* N, const double* ALPHA, const double* X,
                const int* INCX, const double* Y, const int* INCY, double* A,
                const int* LDA)
{
    dsyr2_(UPLO, N, ALPHA, X, INCX, Y, INCY, A, LDA, kOne);
}

void BLAC_DTPMV(const char* UPLO, const char* TRANS, const char* DIAG, const int* N,
                const double* AP, double* X, const int* INCX)
{
    dtpmv_(UPLO, TRANS, DIAG, N, AP, X, INCX, kOne, kOne, kOne);
}

void BLAC_DTPSV(const char* UPLO, const char* TRANS, const char* DIAG, const int* N,
                const double* AP, double* X, const int* INCX)
{
    dtpsv_(UPLO, TRANS, DIAG, N, AP, X, INCX, kOne, kOne, kOne);
}

void BLAC_DTRMV(const char* UPLO, const char* TRANS, const char* DIAG, const int* N,
                const double* A, const int* LDA, double* X, const int* INCX)
{
    dtrmv_(UPLO, TRANS, DIAG, N, A, LDA, X, INCX, kOne, kOne, kOne);
}

void BLAC_DTRSV(const char* UPLO, const char* TRANS, const char* DIAG, const int* N,
                const double* A, const int* LDA, double* X, const int* INCX)
{
    dtrsv_(UPLO, TRANS, DIAG, N, A, LDA, X, INCX, kOne, kOne, kOne);
}

void BLAC_DGEMM(const char* TRANSA, const char* TRANSB, const int* M, const int* N,
                const int* K, const double* ALPHA, const double* A, const int* LDA,
                const double* B, const int* LDB, const double* BETA, double* C,
                const int* LDC)
{
    dgemm_(TRANSA, TRANSB, M, N, K, ALPHA, A, LDA, B, LDB, BETA, C, LDC, kOne, kOne);
}

void BLAC_DSYMM(const char* SIDE, const char* UPLO, const int* M, const int* N,
                const double* ALPHA, const double* A, const int* LDA, const double* B,
                const int* LDB, const double* BETA, double* C, const int* LDC)
{
    dsymm_(SIDE, UPLO, M, N, ALPHA, A, LDA, B, LDB, BETA, C, LDC, kOne, kOne);
}

void BLAC_DSYR2K(const char* UPLO, const char* TRANS, const int* N, const int* K,
                 const double* ALPHA, const double* A, const int* LDA, const double* B,
                 const int* LDB, const double* BETA, double* C, const int* LDC)
{
    dsyr2k_(UPLO, TRANS, N, K, ALPHA, A, LDA, B, LDB, BETA, C, LDC, kOne, kOne);
}

void BLAC_DSYRK(const char* UPLO, const char* TRANS, const int* N, const int* K,
                const double* ALPHA, const double* A, const int* LDA, const double* BETA,
                double* C, const int* LDC)
{
    dsyrk_(UPLO, TRANS, N, K, ALPHA, A, LDA, BETA, C, LDC, kOne, kOne);
}

void BLAC_DTRMM(const char* SIDE, const char* UPLO, const char* TRANSA, const char* DIAG,
                const int* M, const int* N, const double* ALPHA, const double* A,
                const int* LDA, double* B, const int* LDB)
{
    dtrmm_(SIDE, UPLO, TRANSA, DIAG, M, N, ALPHA, A, LDA, B, LDB, kOne, kOne, kOne, kOne);
}

void BLAC_DTRSM(const char* SIDE, const char* UPLO, const char* TRANSA, const char* DIAG,
                const int* M, const int* N, const double* ALPHA, const double* A,
                const int* LDA, double* B, const int* LDB)
{
    dtrsm_(SIDE, UPLO, TRANSA, DIAG, M, N, ALPHA, A, LDA, B, LDB, kOne, kOne, kOne, kOne);
}

} // extern "C"
