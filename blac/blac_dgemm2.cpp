// BLAC_DGEMM2: C := ALPHA * op(A) * op(B) + BETA * C by the reference BLAS
// DGEMM algorithm, written here beside the optimized DGEMM that BLAC_DGEMM
// reaches. It keeps the reference routine's argument checks and their
// numbers, its quick returns and its loop order for each transpose case:
//   op(A) = A:      column j of C is scaled, then updated by the axpy
//                   C(:,j) += (ALPHA * op(B)(l,j)) * A(:,l) for l = 1..K;
//   op(A) = A**T:   each C(i,j) is ALPHA * (dot product over l) + BETA * C(i,j)
//                   (BETA * C(i,j) left out when BETA = 0).
// As in the current reference code, zero entries of B are not skipped, so
// NaN and infinity in A reach C.
#include <blac/blac.h>

#include <blac/internal/blac_arguments.h>

#include <cstddef>

namespace {

// Column-major element (i, j), both counted from 0, of an array with leading
// dimension ld; the offset is formed in ptrdiff_t so that it cannot overflow.
inline std::ptrdiff_t At(int i, int j, int ld)
{
    return static_cast<std::ptrdiff_t>(i) + static_cast<std::ptrdiff_t>(j) * ld;
}

} // namespace

extern "C" void BLAC_DGEMM2(const char* TRANSA, const char* TRANSB, const int* M,
                            const int* N, const int* K, const double* ALPHA, const double* A,
                            const int* LDA, const double* B, const int* LDB,
                            const double* BETA, double* C, const int* LDC)
{
    const int m = *M;
    const int n = *N;
    const int k = *K;
    const int lda = *LDA;
    const int ldb = *LDB;
    const int ldc = *LDC;
    const double alpha = *ALPHA;
    const double beta = *BETA;

    // op(X) = X is 'N'; anything else is taken as a transpose once it has
    // passed the check against 'C' and 'T' ('C' means 'T' for real data).
    const bool nota = blac_Lsame(TRANSA, 'N');
    const bool notb = blac_Lsame(TRANSB, 'N');
    const int nrowa = nota ? m : k;
    const int nrowb = notb ? k : n;

    int info = 0;
    if (!nota && !blac_Lsame(TRANSA, 'C') && !blac_Lsame(TRANSA, 'T'))
        info = 1;
    else if (!notb && !blac_Lsame(TRANSB, 'C') && !blac_Lsame(TRANSB, 'T'))
        info = 2;
    else if (m < 0)
        info = 3;
    else if (n < 0)
        info = 4;
    else if (k < 0)
        info = 5;
    else if (lda < blac_Max1(nrowa))
        info = 8;
    else if (ldb < blac_Max1(nrowb))
        info = 10;
    else if (ldc < blac_Max1(m))
        info = 13;
    if (blac_Refused("DGEMM ", -info))
        return;

    // Quick return if possible.
    if (m == 0 || n == 0 || ((alpha == 0.0 || k == 0) && beta == 1.0))
        return;

    // ALPHA = 0: C := BETA * C, exact zeros when BETA = 0 (even over NaN).
    if (alpha == 0.0) {
        if (beta == 0.0) {
            for (int j = 0; j < n; ++j)
                for (int i = 0; i < m; ++i)
                    C[At(i, j, ldc)] = 0.0;
        } else {
            for (int j = 0; j < n; ++j)
                for (int i = 0; i < m; ++i)
                    C[At(i, j, ldc)] = beta * C[At(i, j, ldc)];
        }
        return;
    }

    if (notb) {
        if (nota) {
            // C := ALPHA * A * B + BETA * C
            for (int j = 0; j < n; ++j) {
                if (beta == 0.0) {
                    for (int i = 0; i < m; ++i)
                        C[At(i, j, ldc)] = 0.0;
                } else if (beta != 1.0) {
                    for (int i = 0; i < m; ++i)
                        C[At(i, j, ldc)] = beta * C[At(i, j, ldc)];
                }
                for (int l = 0; l < k; ++l) {
                    const double temp = alpha * B[At(l, j, ldb)];
                    for (int i = 0; i < m; ++i)
                        C[At(i, j, ldc)] = C[At(i, j, ldc)] + temp * A[At(i, l, lda)];
                }
            }
        } else {
            // C := ALPHA * A**T * B + BETA * C
            for (int j = 0; j < n; ++j) {
                for (int i = 0; i < m; ++i) {
                    double temp = 0.0;
                    for (int l = 0; l < k; ++l)
                        temp = temp + A[At(l, i, lda)] * B[At(l, j, ldb)];
                    if (beta == 0.0)
                        C[At(i, j, ldc)] = alpha * temp;
                    else
                        C[At(i, j, ldc)] = alpha * temp + beta * C[At(i, j, ldc)];
                }
            }
        }
    } else {
        if (nota) {
            // C := ALPHA * A * B**T + BETA * C
            for (int j = 0; j < n; ++j) {
                if (beta == 0.0) {
                    for (int i = 0; i < m; ++i)
                        C[At(i, j, ldc)] = 0.0;
                } else if (beta != 1.0) {
                    for (int i = 0; i < m; ++i)
                        C[At(i, j, ldc)] = beta * C[At(i, j, ldc)];
                }
                for (int l = 0; l < k; ++l) {
                    const double temp = alpha * B[At(j, l, ldb)];
                    for (int i = 0; i < m; ++i)
                        C[At(i, j, ldc)] = C[At(i, j, ldc)] + temp * A[At(i, l, lda)];
                }
            }
        } else {
            // C := ALPHA * A**T * B**T + BETA * C
            for (int j = 0; j < n; ++j) {
                for (int i = 0; i < m; ++i) {
                    double temp = 0.0;
                    for (int l = 0; l < k; ++l)
                        temp = temp + A[At(l, i, lda)] * B[At(j, l, ldb)];
                    if (beta == 0.0)
                        C[At(i, j, ldc)] = alpha * temp;
                    else
                        C[At(i, j, ldc)] = alpha * temp + beta * C[At(i, j, ldc)];
                }
            }
        }
    }
}
