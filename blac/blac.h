#ifndef BLAC_BLAC_H
#define BLAC_BLAC_H
/// \file
/// \ingroup blac
/// The Fortran-callable BLAS/LAPACK bridge.
///
/// Every BLAC_<routine> entry point takes exactly the argument list of the
/// BLAS or LAPACK routine it names, in Fortran calling form: every argument by
/// address, 32-bit integers (the LP64 interface), double precision reals
/// (except BLAC_IEEECK, whose ZERO and ONE are single precision as in IEEECK),
/// Fortran LOGICAL as int. Character arguments are single characters passed
/// by address; callers pass NO string lengths. The bridge appends a length of
/// 1 per character argument itself when it calls the routine underneath.
///
/// Exceptions to the length rule:
///   BLAC_ILAENV takes the lengths of NAME and OPTS from its caller, by value,
///               after its seven ordinary arguments, and forwards them.
///   BLAC_XERBLA passes SRNAME to the error reporter with a length of 6.
///
/// Argument errors are found by the routine reached, reported through the
/// BLAS library's error reporter (XERBLA) and, for routines with INFO, also
/// returned as the negative INFO reference LAPACK gives. Besides the composed
/// and reference-algorithm members below, the one forwarder that checks for
/// itself is BLAC_DGETRS: OpenBLAS's own DGETRS accepts TRANS 'R'
/// and leaves INFO unwritten when it refuses, so the wrapper makes reference
/// LAPACK's checks, in its order, before calling it.
/// Numerical failures come back only as a positive INFO.
///
/// Underneath is OpenBLAS (LP64). BLAC_DGEMM2, BLAC_DGESV, BLAC_DPPSV,
/// BLAC_HDMCON carry logic of their own (see below); BLAC_DSTEMR and
/// BLAC_DSTEVR reach the reference LAPACK algorithms (OpenBLAS's LAPACK part is
/// the reference LAPACK code for those routines).
///
/// The sparse multiply kernels at the end are members of the family by their
/// calling form only; they compute for themselves.
///
/// Fortran callers: `use blac_interface` (blac/blac_interface.f90) declares
/// every entry point with bind(C).

#include <platform/zyl_Export.h>

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

// ---- BLAS level 1 -------------------------------------------------------
/// DASUM: the sum of the absolute values of DX.
ZYL_EXPORT double BLAC_DASUM(const int* N, const double* DX, const int* INCX);
/// DAXPY: DY := DA * DX + DY.
ZYL_EXPORT void BLAC_DAXPY(const int* N, const double* DA, const double* DX, const int* INCX,
                           double* DY, const int* INCY);
/// DCOPY: DY := DX.
ZYL_EXPORT void BLAC_DCOPY(const int* N, const double* DX, const int* INCX, double* DY, const int* INCY);
/// DDOT: the dot product of DX and DY.
ZYL_EXPORT double BLAC_DDOT(const int* N, const double* DX, const int* INCX, const double* DY,
                            const int* INCY);
/// DNRM2: the Euclidean norm of X.
ZYL_EXPORT double BLAC_DNRM2(const int* N, const double* X, const int* INCX);
/// DROT: applies the plane rotation (C, S) to the pairs of DX and DY.
ZYL_EXPORT void BLAC_DROT(const int* N, double* DX, const int* INCX, double* DY, const int* INCY,
                          const double* C, const double* S);
/// DSCAL: DX := DA * DX.
ZYL_EXPORT void BLAC_DSCAL(const int* N, const double* DA, double* DX, const int* INCX);
/// DSWAP: exchanges DX and DY.
ZYL_EXPORT void BLAC_DSWAP(const int* N, double* DX, const int* INCX, double* DY, const int* INCY);
/// IDAMAX: the first index (from 1) of the largest absolute value of DX.
ZYL_EXPORT int BLAC_IDAMAX(const int* N, const double* DX, const int* INCX);

// ---- BLAS level 2 -------------------------------------------------------
/// DGEMV: Y := ALPHA * op(A) * X + BETA * Y for a general A.
ZYL_EXPORT void BLAC_DGEMV(const char* TRANS, const int* M, const int* N, const double* ALPHA,
                           const double* A, const int* LDA, const double* X, const int* INCX,
                           const double* BETA, double* Y, const int* INCY);
/// DGER: A := ALPHA * X * Y^T + A.
ZYL_EXPORT void BLAC_DGER(const int* M, const int* N, const double* ALPHA, const double* X,
                          const int* INCX, const double* Y, const int* INCY, double* A, const int* LDA);
/// DSPMV: Y := ALPHA * A * X + BETA * Y for a symmetric A in packed form.
ZYL_EXPORT void BLAC_DSPMV(const char* UPLO, const int* N, const double* ALPHA, const double* AP,
                           const double* X, const int* INCX, const double* BETA, double* Y,
                           const int* INCY);
/// DSPR: A := ALPHA * X * X^T + A for a symmetric A in packed form.
ZYL_EXPORT void BLAC_DSPR(const char* UPLO, const int* N, const double* ALPHA, const double* X,
                          const int* INCX, double* AP);
/// DSPR2: A := ALPHA * X * Y^T + ALPHA * Y * X^T + A for a symmetric A in packed form.
ZYL_EXPORT void BLAC_DSPR2(const char* UPLO, const int* N, const double* ALPHA, const double* X,
                           const int* INCX, const double* Y, const int* INCY, double* AP);
/// DSYMV: Y := ALPHA * A * X + BETA * Y for a symmetric A.
ZYL_EXPORT void BLAC_DSYMV(const char* UPLO, const int* N, const double* ALPHA, const double* A,
                           const int* LDA, const double* X, const int* INCX, const double* BETA,
                           double* Y, const int* INCY);
/// DSYR: A := ALPHA * X * X^T + A for a symmetric A.
ZYL_EXPORT void BLAC_DSYR(const char* UPLO, const int* N, const double* ALPHA, const double* X,
                          const int* INCX, double* A, const int* LDA);
/// DSYR2: A := ALPHA * X * Y^T + ALPHA * Y * X^T + A for a symmetric A.
ZYL_EXPORT void BLAC_DSYR2(const char* UPLO, const int* N, const double* ALPHA, const double* X,
                           const int* INCX, const double* Y, const int* INCY, double* A,
                           const int* LDA);
/// DTPMV: X := op(A) * X for a triangular A in packed form.
ZYL_EXPORT void BLAC_DTPMV(const char* UPLO, const char* TRANS, const char* DIAG, const int* N,
                           const double* AP, double* X, const int* INCX);
/// DTPSV: solves op(A) * x = X in place for a triangular A in packed form.
ZYL_EXPORT void BLAC_DTPSV(const char* UPLO, const char* TRANS, const char* DIAG, const int* N,
                           const double* AP, double* X, const int* INCX);
/// DTRMV: X := op(A) * X for a triangular A.
ZYL_EXPORT void BLAC_DTRMV(const char* UPLO, const char* TRANS, const char* DIAG, const int* N,
                           const double* A, const int* LDA, double* X, const int* INCX);
/// DTRSV: solves op(A) * x = X in place for a triangular A.
ZYL_EXPORT void BLAC_DTRSV(const char* UPLO, const char* TRANS, const char* DIAG, const int* N,
                           const double* A, const int* LDA, double* X, const int* INCX);

// ---- BLAS level 3 -------------------------------------------------------
/// C := ALPHA * op(A) * op(B) + BETA * C, optimized BLAS.
ZYL_EXPORT void BLAC_DGEMM(const char* TRANSA, const char* TRANSB, const int* M, const int* N,
                           const int* K, const double* ALPHA, const double* A, const int* LDA,
                           const double* B, const int* LDB, const double* BETA, double* C,
                           const int* LDC);
/// Same arguments and result as BLAC_DGEMM, computed by the reference BLAS
/// DGEMM algorithm (reference loop order, LSAME tests of TRANSA/TRANSB against
/// 'N', 'C', 'T'). Argument errors 1 (TRANSA), 2 (TRANSB), 3 (M < 0),
/// 4 (N < 0), 5 (K < 0), 8 (LDA), 10 (LDB), 13 (LDC < max(1,M)) go to XERBLA
/// as "DGEMM " and nothing else is done. Quick return when M = 0 or N = 0, or
/// when (ALPHA = 0 or K = 0) and BETA = 1. With ALPHA = 0, C := BETA * C, and
/// C is set to exact zeros when BETA = 0 (whatever C held, NaN included).
ZYL_EXPORT void BLAC_DGEMM2(const char* TRANSA, const char* TRANSB, const int* M, const int* N,
                            const int* K, const double* ALPHA, const double* A, const int* LDA,
                            const double* B, const int* LDB, const double* BETA, double* C,
                            const int* LDC);
/// DSYMM: C := ALPHA * A * B + BETA * C (or B * A by SIDE) for a symmetric A.
ZYL_EXPORT void BLAC_DSYMM(const char* SIDE, const char* UPLO, const int* M, const int* N,
                           const double* ALPHA, const double* A, const int* LDA, const double* B,
                           const int* LDB, const double* BETA, double* C, const int* LDC);
/// DSYR2K: C := ALPHA * (A * B^T + B * A^T) + BETA * C (or the transposed form) for a symmetric C.
ZYL_EXPORT void BLAC_DSYR2K(const char* UPLO, const char* TRANS, const int* N, const int* K,
                            const double* ALPHA, const double* A, const int* LDA, const double* B,
                            const int* LDB, const double* BETA, double* C, const int* LDC);
/// DSYRK: C := ALPHA * A * A^T + BETA * C (or the transposed form) for a symmetric C.
ZYL_EXPORT void BLAC_DSYRK(const char* UPLO, const char* TRANS, const int* N, const int* K,
                           const double* ALPHA, const double* A, const int* LDA, const double* BETA,
                           double* C, const int* LDC);
/// DTRMM: B := ALPHA * op(A) * B (or B * op(A) by SIDE) for a triangular A.
ZYL_EXPORT void BLAC_DTRMM(const char* SIDE, const char* UPLO, const char* TRANSA, const char* DIAG,
                           const int* M, const int* N, const double* ALPHA, const double* A,
                           const int* LDA, double* B, const int* LDB);
/// DTRSM: solves op(A) * X = ALPHA * B (or X * op(A) by SIDE) into B for a triangular A.
ZYL_EXPORT void BLAC_DTRSM(const char* SIDE, const char* UPLO, const char* TRANSA, const char* DIAG,
                           const int* M, const int* N, const double* ALPHA, const double* A,
                           const int* LDA, double* B, const int* LDB);

// ---- LAPACK: linear systems ---------------------------------------------
/// DGESV driver: INFO = -1 (N < 0), -2 (NRHS < 0), -4 (LDA < max(1,N)),
/// -7 (LDB < max(1,N)) reported to XERBLA as "DGESV "; otherwise DGETRF and,
/// when that succeeded, DGETRS("No transpose"). A zero pivot comes back as the
/// positive INFO of DGETRF and B is left unsolved.
ZYL_EXPORT void BLAC_DGESV(const int* N, const int* NRHS, double* A, const int* LDA, int* IPIV,
                           double* B, const int* LDB, int* INFO);
/// DGETRF: LU factorization with partial pivoting of a general M x N matrix.
ZYL_EXPORT void BLAC_DGETRF(const int* M, const int* N, double* A, const int* LDA, int* IPIV, int* INFO);
/// DGETRS: solves with the LU factors of DGETRF (TRANS checked by the bridge, see above).
ZYL_EXPORT void BLAC_DGETRS(const char* TRANS, const int* N, const int* NRHS, const double* A,
                            const int* LDA, const int* IPIV, double* B, const int* LDB, int* INFO);
/// DPOTRF: Cholesky factorization of a symmetric positive definite matrix.
ZYL_EXPORT void BLAC_DPOTRF(const char* UPLO, const int* N, double* A, const int* LDA, int* INFO);
/// DPPSV driver: INFO = -1 (UPLO neither 'U' nor 'L', any case), -2 (N < 0),
/// -3 (NRHS < 0), -6 (LDB < max(1,N)) reported to XERBLA as "DPPSV ";
/// otherwise DPPTRF and, when that succeeded, DPPTRS.
ZYL_EXPORT void BLAC_DPPSV(const char* UPLO, const int* N, const int* NRHS, double* AP, double* B,
                           const int* LDB, int* INFO);
/// DPPTRF: Cholesky factorization of a symmetric positive definite matrix in packed form.
ZYL_EXPORT void BLAC_DPPTRF(const char* UPLO, const int* N, double* AP, int* INFO);
/// DPPTRI: the inverse from the packed Cholesky factor of DPPTRF.
ZYL_EXPORT void BLAC_DPPTRI(const char* UPLO, const int* N, double* AP, int* INFO);
/// DPPTRS: solves with the packed Cholesky factor of DPPTRF.
ZYL_EXPORT void BLAC_DPPTRS(const char* UPLO, const int* N, const int* NRHS, const double* AP,
                            double* B, const int* LDB, int* INFO);
/// DSYTRF: Bunch-Kaufman factorization of a symmetric matrix.
ZYL_EXPORT void BLAC_DSYTRF(const char* UPLO, const int* N, double* A, const int* LDA, int* IPIV,
                            double* WORK, const int* LWORK, int* INFO);
/// DSYTRS: solves with the factors of DSYTRF.
ZYL_EXPORT void BLAC_DSYTRS(const char* UPLO, const int* N, const int* NRHS, const double* A,
                            const int* LDA, const int* IPIV, double* B, const int* LDB, int* INFO);
/// DTPTRI: the inverse of a triangular matrix in packed form.
ZYL_EXPORT void BLAC_DTPTRI(const char* UPLO, const char* DIAG, const int* N, double* AP, int* INFO);

// ---- LAPACK: eigenproblems ----------------------------------------------
/// DORMTR: multiplies C by the orthogonal matrix of DSYTRD.
ZYL_EXPORT void BLAC_DORMTR(const char* SIDE, const char* UPLO, const char* TRANS, const int* M,
                            const int* N, const double* A, const int* LDA, const double* TAU,
                            double* C, const int* LDC, double* WORK, const int* LWORK, int* INFO);
/// DSPEVX: selected eigenvalues and eigenvectors of a symmetric matrix in packed form.
ZYL_EXPORT void BLAC_DSPEVX(const char* JOBZ, const char* RANGE, const char* UPLO, const int* N,
                            double* AP, const double* VL, const double* VU, const int* IL,
                            const int* IU, const double* ABSTOL, int* M, double* W, double* Z,
                            const int* LDZ, double* WORK, int* IWORK, int* IFAIL, int* INFO);
///@{
/// BLAC_DSTEMR and BLAC_DSTEVR: the reference LAPACK algorithms (MRRR).
/// OpenBLAS's LAPACK part is the reference LAPACK code for these routines, so
/// they are forwarded to it unchanged. TRYRAC is a Fortran LOGICAL (in/out).
ZYL_EXPORT void BLAC_DSTEMR(const char* JOBZ, const char* RANGE, const int* N, double* D, double* E,
                            const double* VL, const double* VU, const int* IL, const int* IU, int* M,
                            double* W, double* Z, const int* LDZ, const int* NZC, int* ISUPPZ,
                            int* TRYRAC, double* WORK, const int* LWORK, int* IWORK,
                            const int* LIWORK, int* INFO);
ZYL_EXPORT void BLAC_DSTEVR(const char* JOBZ, const char* RANGE, const int* N, double* D, double* E,
                            const double* VL, const double* VU, const int* IL, const int* IU,
                            const double* ABSTOL, int* M, double* W, double* Z, const int* LDZ,
                            int* ISUPPZ, double* WORK, const int* LWORK, int* IWORK,
                            const int* LIWORK, int* INFO);
///@}
/// DSYEV: all eigenvalues and, optionally, eigenvectors of a symmetric matrix.
ZYL_EXPORT void BLAC_DSYEV(const char* JOBZ, const char* UPLO, const int* N, double* A, const int* LDA,
                           double* W, double* WORK, const int* LWORK, int* INFO);
/// DSYEVX: selected eigenvalues and eigenvectors of a symmetric matrix.
ZYL_EXPORT void BLAC_DSYEVX(const char* JOBZ, const char* RANGE, const char* UPLO, const int* N,
                            double* A, const int* LDA, const double* VL, const double* VU,
                            const int* IL, const int* IU, const double* ABSTOL, int* M, double* W,
                            double* Z, const int* LDZ, double* WORK, const int* LWORK, int* IWORK,
                            int* IFAIL, int* INFO);
/// DSYGST: reduces a symmetric-definite generalized eigenproblem to standard form.
ZYL_EXPORT void BLAC_DSYGST(const int* ITYPE, const char* UPLO, const int* N, double* A,
                            const int* LDA, const double* B, const int* LDB, int* INFO);
/// DSYGV: all eigenvalues and, optionally, eigenvectors of a symmetric-definite generalized eigenproblem.
ZYL_EXPORT void BLAC_DSYGV(const int* ITYPE, const char* JOBZ, const char* UPLO, const int* N,
                           double* A, const int* LDA, double* B, const int* LDB, double* W,
                           double* WORK, const int* LWORK, int* INFO);
/// DSYTRD: reduces a symmetric matrix to tridiagonal form.
ZYL_EXPORT void BLAC_DSYTRD(const char* UPLO, const int* N, double* A, const int* LDA, double* D,
                            double* E, double* TAU, double* WORK, const int* LWORK, int* INFO);

// ---- LAPACK: auxiliaries --------------------------------------------------
/// DLAMCH(CMACH): machine parameters ('E', 'S', 'B', 'P', 'N', 'R', 'M', 'U',
/// 'L', 'O').
ZYL_EXPORT double BLAC_DLAMCH(const char* CMACH);
/// IEEECK(ISPEC, ZERO, ONE): 1 when infinity (ISPEC = 0) or NaN (ISPEC = 1)
/// arithmetic works, computed from ZERO (0.0) and ONE (1.0). The one member of
/// the family with single precision reals: IEEECK's ZERO and ONE are REAL, so
/// they are float here, by address, handed on unchanged.
ZYL_EXPORT int BLAC_IEEECK(const int* ISPEC, const float* ZERO, const float* ONE);
/// ILAENV: NAME_LEN and OPTS_LEN are the Fortran hidden lengths of NAME and
/// OPTS, supplied by the caller and forwarded unchanged.
ZYL_EXPORT int BLAC_ILAENV(const int* ISPEC, const char* NAME, const char* OPTS, const int* N1,
                           const int* N2, const int* N3, const int* N4, size_t NAME_LEN,
                           size_t OPTS_LEN);
/// LSAME(CA, CB): nonzero (Fortran .TRUE.) when the two characters are equal
/// regardless of case.
ZYL_EXPORT int BLAC_LSAME(const char* CA, const char* CB);
/// XERBLA(SRNAME, INFO): hands the six-character routine name SRNAME and the
/// argument number INFO to the BLAS library's default error reporter. Exactly
/// six characters of SRNAME are read, so a Fortran CHARACTER(6) name without a
/// terminating NUL is fine; a NUL among the six ends the name early, the rest
/// is reported as blanks and nothing after the NUL is read.
ZYL_EXPORT void BLAC_XERBLA(const char* SRNAME, const int* INFO);

// ---- constants ------------------------------------------------------------
/// HDMCON(I): double constant number I (1..16); any other I gives entry 1.
///   1 NaN, every bit set except the sign bit (0x7FFFFFFFFFFFFFFF)
///   2 2^1022            3 largest finite double   4 smallest normal double
///   5 2^-52             6 the double just above 2^-53
///   7 2.0   8 53.0   9 709.0   10 -708.0   11 2147483647.0
///  12 pi   13 e   14 Euler's constant   15 pi/180   16 180/pi
ZYL_EXPORT double BLAC_HDMCON(const int* I);

// ---- Sparse multiply kernels --------------------------------------------
/// \name Sparse multiply kernels
/// A is in compressed-row form: row i owns the stored positions
/// rowOffsets[i] .. rowOffsets[i + 1] - 1 of values and columnIndices (column
/// numbers from 0). x and y hold numVectors column-major vectors one after
/// another, each as long as the table says (the distance to the next vector):
///
///   kernel                    x vector length   y vector length
///   BLAC_SPARSE_UMV           numColumns        numRows
///   BLAC_SPARSE_UMTV          numRows           numColumns
///   BLAC_SPARSE_SPARSE_UMTV   numListed         numColumns
///
/// y is overwritten, never accumulated into. Nothing is checked: offsets must
/// not decrease, columns must lie below numColumns and listed rows below the
/// number of rows of A. numVectors <= 0 does nothing; the transposed kernels
/// zero y for numVectors > 0 even with no rows. Each vector's sums run in row
/// order and storage order whatever the number of vectors, so a vector's
/// result is the same bit for bit as when it is multiplied alone. No state, no
/// allocation: calls on disjoint y may run at the same time.
///@{

/// y_v[i] = sum over row i of values[k] * x_v[columnIndices[k]].
ZYL_EXPORT void BLAC_SPARSE_UMV(const double* values, const double* x, const unsigned int* rowOffsets,
                                const int* columnIndices, double* y, const int* numRows,
                                const int* numColumns, const int* numVectors);
/// y = A^T x: y_v zeroed, then y_v[columnIndices[k]] += x_v[i] * values[k]
/// for every row i in order.
ZYL_EXPORT void BLAC_SPARSE_UMTV(const double* values, const double* x, const unsigned int* rowOffsets,
                                 const int* columnIndices, double* y, const int* numRows,
                                 const int* numColumns, const int* numVectors);
/// y = B^T x where row p of B is row rowList[p] of A: y_v zeroed, then
/// y_v[columnIndices[k]] += x_v[p] * values[k] over row rowList[p], for
/// p = 0 .. numListed - 1 in order. x is indexed by list position; a row
/// listed twice contributes twice.
ZYL_EXPORT void BLAC_SPARSE_SPARSE_UMTV(const double* values, const double* x, const unsigned int* rowOffsets,
                                        const int* columnIndices, double* y, const int* numListed,
                                        const int* numColumns, const int* numVectors,
                                        const unsigned int* rowList);
///@}

#ifdef __cplusplus
}
#endif

#endif
