#ifndef BLAC_INTERNAL_BLAC_FORTRAN_H
#define BLAC_INTERNAL_BLAC_FORTRAN_H
// The BLAS/LAPACK routines underneath the bridge, as OpenBLAS exports them:
// gfortran calling form (lower case with a trailing underscore), LP64
// integers, and after the ordinary arguments one hidden length per character
// argument, of the hidden-length type of gfortran 8 and later (size_t).
// Private to blac/*.cpp; never installed.

#include <stddef.h>

typedef size_t blac_strlen; // Fortran hidden character length

#ifdef __cplusplus
extern "C" {
#endif

// BLAS level 1
double dasum_(const int* n, const double* dx, const int* incx);
void daxpy_(const int* n, const double* da, const double* dx, const int* incx, double* dy,
            const int* incy);
void dcopy_(const int* n, const double* dx, const int* incx, double* dy, const int* incy);
double ddot_(const int* n, const double* dx, const int* incx, const double* dy,
             const int* incy);
double dnrm2_(const int* n, const double* x, const int* incx);
void drot_(const int* n, double* dx, const int* incx, double* dy, const int* incy,
           const double* c, const double* s);
void dscal_(const int* n, const double* da, double* dx, const int* incx);
void dswap_(const int* n, double* dx, const int* incx, double* dy, const int* incy);
int idamax_(const int* n, const double* dx, const int* incx);

// BLAS level 2
void dgemv_(const char* trans, const int* m, const int* n, const double* alpha,
            const double* a, const int* lda, const double* x, const int* incx,
            const double* beta, double* y, const int* incy, blac_strlen trans_len);
void dger_(const int* m, const int* n, const double* alpha, const double* x, const int* incx,
           const double* y, const int* incy, double* a, const int* lda);
void dspmv_(const char* uplo, const int* n, const double* alpha, const double* ap,
            const double* x, const int* incx, const double* beta, double* y,
            const int* incy, blac_strlen uplo_len);
void dspr_(const char* uplo, const int* n, const double* alpha, const double* x,
           const int* incx, double* ap, blac_strlen uplo_len);
void dspr2_(const char* uplo, const int* n, const double* alpha, const double* x,
            const int* incx, const double* y, const int* incy, double* ap,
            blac_strlen uplo_len);
void dsymv_(const char* uplo, const int* n, const double* alpha, const double* a,
            const int* lda, const double* x, const int* incx, const double* beta, double* y,
            const int* incy, blac_strlen uplo_len);
void dsyr_(const char* uplo, const int* n, const double* alpha, const double* x,
           const int* incx, double* a, const int* lda, blac_strlen uplo_len);
void dsyr2_(const char* uplo, const int* n, const double* alpha, const double* x,
            const int* incx, const double* y, const int* incy, double* a, const int* lda,
            blac_strlen uplo_len);
void dtpmv_(const char* uplo, const char* trans, const char* diag, const int* n,
            const double* ap, double* x, const int* incx, blac_strlen uplo_len,
            blac_strlen trans_len, blac_strlen diag_len);
void dtpsv_(const char* uplo, const char* trans, const char* diag, const int* n,
            const double* ap, double* x, const int* incx, blac_strlen uplo_len,
            blac_strlen trans_len, blac_strlen diag_len);
void dtrmv_(const char* uplo, const char* trans, const char* diag, const int* n,
            const double* a, const int* lda, double* x, const int* incx,
            blac_strlen uplo_len, blac_strlen trans_len, blac_strlen diag_len);
void dtrsv_(const char* uplo, const char* trans, const char* diag, const int* n,
            const double* a, const int* lda, double* x, const int* incx,
            blac_strlen uplo_len, blac_strlen trans_len, blac_strlen diag_len);

// BLAS level 3
void dgemm_(const char* transa, const char* transb, const int* m, const int* n, const int* k,
            const double* alpha, const double* a, const int* lda, const double* b,
            const int* ldb, const double* beta, double* c, const int* ldc,
            blac_strlen transa_len, blac_strlen transb_len);
void dsymm_(const char* side, const char* uplo, const int* m, const int* n,
            const double* alpha, const double* a, const int* lda, const double* b,
            const int* ldb, const double* beta, double* c, const int* ldc,
            blac_strlen side_len, blac_strlen uplo_len);
void dsyr2k_(const char* uplo, const char* trans, const int* n, const int* k,
             const double* alpha, const double* a, const int* lda, const double* b,
             const int* ldb, const double* beta, double* c, const int* ldc,
             blac_strlen uplo_len, blac_strlen trans_len);
void dsyrk_(const char* uplo, const char* trans, const int* n, const int* k,
            const double* alpha, const double* a, const int* lda, const double* beta,
            double* c, const int* ldc, blac_strlen uplo_len, blac_strlen trans_len);
void dtrmm_(const char* side, const char* uplo, const char* transa, const char* diag,
            const int* m, const int* n, const double* alpha, const double* a, const int* lda,
            double* b, const int* ldb, blac_strlen side_len, blac_strlen uplo_len,
            blac_strlen transa_len, blac_strlen diag_len);
void dtrsm_(const char* side, const char* uplo, const char* transa, const char* diag,
            const int* m, const int* n, const double* alpha, const double* a, const int* lda,
            double* b, const int* ldb, blac_strlen side_len, blac_strlen uplo_len,
            blac_strlen transa_len, blac_strlen diag_len);

// LAPACK: linear systems
void dgetrf_(const int* m, const int* n, double* a, const int* lda, int* ipiv, int* info);
void dgetrs_(const char* trans, const int* n, const int* nrhs, const double* a,
             const int* lda, const int* ipiv, double* b, const int* ldb, int* info,
             blac_strlen trans_len);
void dpotrf_(const char* uplo, const int* n, double* a, const int* lda, int* info,
             blac_strlen uplo_len);
void dpptrf_(const char* uplo, const int* n, double* ap, int* info, blac_strlen uplo_len);
void dpptri_(const char* uplo, const int* n, double* ap, int* info, blac_strlen uplo_len);
void dpptrs_(const char* uplo, const int* n, const int* nrhs, const double* ap, double* b,
             const int* ldb, int* info, blac_strlen uplo_len);
void dsytrf_(const char* uplo, const int* n, double* a, const int* lda, int* ipiv,
             double* work, const int* lwork, int* info, blac_strlen uplo_len);
void dsytrs_(const char* uplo, const int* n, const int* nrhs, const double* a,
             const int* lda, const int* ipiv, double* b, const int* ldb, int* info,
             blac_strlen uplo_len);
void dtptri_(const char* uplo, const char* diag, const int* n, double* ap, int* info,
             blac_strlen uplo_len, blac_strlen diag_len);

// LAPACK: eigenproblems
void dormtr_(const char* side, const char* uplo, const char* trans, const int* m,
             const int* n, const double* a, const int* lda, const double* tau, double* c,
             const int* ldc, double* work, const int* lwork, int* info,
             blac_strlen side_len, blac_strlen uplo_len, blac_strlen trans_len);
void dspevx_(const char* jobz, const char* range, const char* uplo, const int* n,
             double* ap, const double* vl, const double* vu, const int* il, const int* iu,
             const double* abstol, int* m, double* w, double* z, const int* ldz,
             double* work, int* iwork, int* ifail, int* info, blac_strlen jobz_len,
             blac_strlen range_len, blac_strlen uplo_len);
void dstemr_(const char* jobz, const char* range, const int* n, double* d, double* e,
             const double* vl, const double* vu, const int* il, const int* iu, int* m,
             double* w, double* z, const int* ldz, const int* nzc, int* isuppz,
             int* tryrac, double* work, const int* lwork, int* iwork, const int* liwork,
             int* info, blac_strlen jobz_len, blac_strlen range_len);
void dstevr_(const char* jobz, const char* range, const int* n, double* d, double* e,
             const double* vl, const double* vu, const int* il, const int* iu,
             const double* abstol, int* m, double* w, double* z, const int* ldz,
             int* isuppz, double* work, const int* lwork, int* iwork, const int* liwork,
             int* info, blac_strlen jobz_len, blac_strlen range_len);
void dsyev_(const char* jobz, const char* uplo, const int* n, double* a, const int* lda,
            double* w, double* work, const int* lwork, int* info, blac_strlen jobz_len,
            blac_strlen uplo_len);
void dsyevx_(const char* jobz, const char* range, const char* uplo, const int* n, double* a,
             const int* lda, const double* vl, const double* vu, const int* il,
             const int* iu, const double* abstol, int* m, double* w, double* z,
             const int* ldz, double* work, const int* lwork, int* iwork, int* ifail,
             int* info, blac_strlen jobz_len, blac_strlen range_len, blac_strlen uplo_len);
void dsygst_(const int* itype, const char* uplo, const int* n, double* a, const int* lda,
             const double* b, const int* ldb, int* info, blac_strlen uplo_len);
void dsygv_(const int* itype, const char* jobz, const char* uplo, const int* n, double* a,
            const int* lda, double* b, const int* ldb, double* w, double* work,
            const int* lwork, int* info, blac_strlen jobz_len, blac_strlen uplo_len);
void dsytrd_(const char* uplo, const int* n, double* a, const int* lda, double* d, double* e,
             double* tau, double* work, const int* lwork, int* info, blac_strlen uplo_len);

// LAPACK auxiliaries and the error reporter
double dlamch_(const char* cmach, blac_strlen cmach_len);
int ieeeck_(const int* ispec, const float* zero, const float* one);
int ilaenv_(const int* ispec, const char* name, const char* opts, const int* n1,
            const int* n2, const int* n3, const int* n4, blac_strlen name_len,
            blac_strlen opts_len);
int lsame_(const char* ca, const char* cb, blac_strlen ca_len, blac_strlen cb_len);
void xerbla_(const char* srname, const int* info, blac_strlen srname_len);

#ifdef __cplusplus
}
#endif

#endif
