#ifndef MTX_IMPL_INTERNAL_ZYLSRVGEMM_H
#define MTX_IMPL_INTERNAL_ZYLSRVGEMM_H
// The one door through which the matrix classes reach DGEMM.
#include <blac/blac.h>

namespace zyl_mtx {

// C := alpha * op(A) * op(B) + beta * C as one BLAC_DGEMM call with the
// arguments exactly as given: no size or leading dimension is adjusted and no
// empty case is answered here, so callers see what BLAS does. BLAS checks its
// arguments in its documented order and reports an impossible one (a leading
// dimension below max(1, rows), a negative size) through its error reporter,
// then writes nothing; with M or N of 0 it returns at once, and with K of 0
// it only scales C by beta.
inline void Gemm(char transA, char transB, int m, int n, int k, double alpha, const double* a, int lda,
                 const double* b, int ldb, double beta, double* c, int ldc)
{
    BLAC_DGEMM(&transA, &transB, &m, &n, &k, &alpha, a, &lda, b, &ldb, &beta, c, &ldc);
}

} // namespace zyl_mtx

#endif
