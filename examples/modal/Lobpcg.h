#ifndef EXAMPLES_MODAL_LOBPCG_H
#define EXAMPLES_MODAL_LOBPCG_H
// The lowest eigenpairs of K x = lambda M x (K symmetric positive
// semi-definite, M symmetric positive definite, both sparse) by the locally
// optimal block preconditioned conjugate gradient method.
//
// Each iteration takes the Rayleigh-Ritz step on the basis [X P W]: X the
// current Ritz vectors, P the previous step's direction, W the residuals
// through a preconditioner T (the caller's, or Jacobi's diag(K + shift M)^-1),
// applied to the whole residual block at once. The sparse products
// K W and M W go through ZylSrvSparseMatrix::Multiply a block at a time;
// K X, M X, K P and M P follow from them by the same linear combinations
// that make X and P. The basis is kept M-orthonormal, so that the small
// generalized eigenproblems (ZylSrvMatrix::SolveEigenproblemSymmetric) stay
// well conditioned near convergence, when W and P shrink towards the span of
// X: W is projected out of the locked modes, X and P and then orthonormalized
// by singular-value QR (directions whose Gram eigenvalue falls below 1e-10 of
// the largest are dropped), and P is M-orthogonalized against X in the small
// space. Should the Gram matrix still not be positive definite, the step is
// taken again without P.
//
// Converged leading Ritz pairs are locked, hard: their vectors (and M times
// them) move into out-of-core scratch dense matrices of n x modes and leave
// the block, and every later W is projected against them through the dense
// products of those matrices. The active block then shrinks to the smallest
// multiple of 8 that still keeps 4 spare vectors beyond the wanted ones, so
// the sparse products keep running on the eight-vector kernels.
//
// Storage: the basis (n x 3 block) and, side by side in one n x 6 block
// array, K and M times it, nothing else of that size: both Gram matrices
// S^T K S and S^T M S come from one product S^T [KS MS], and the new X and P
// (and their images) from one product per array with their coefficients side
// by side, done a panel of rows at a time in place.
//
// Convergence of a pair: ||K x - theta M x|| / (||K|| ||x||) below the
// tolerance, ||K|| the largest absolute row sum (less pencilShift ||M|| for a
// shifted pencil), ||x|| the Euclidean norm.
#include <mtx/ZylSrvSparseMatrix.h>
#include <platform/mem.h>

#include <functional>
#include <map>
#include <memory>
#include <utility>
#include <vector>

class ZylSrvScratchDenseMatrix;
class ZylSrvDenseMatrix;

namespace zylmodal {

struct LobpcgOptions {
    int modes = 20;
    int blockSize = 0; // 0: the smallest multiple of 8 of at least modes + max(4, modes / 4)
    double tolerance = 1e-10;
    double shift = 0.0; // sigma of the preconditioner, makes K + sigma M definite
    // The K given is K0 + pencilShift M, a shifted pencil (eigenvalues
    // lambda + pencilShift): residuals are measured against ||K|| -
    // pencilShift ||M||, at most ||K0||, so a converged pair passes for K0.
    double pencilShift = 0.0;
    int maxIterations = 2000;
    int rowBlock = 4096; // rows per block of the scratch mode set
    unsigned seed = 1;   // of the random start block
    // Replaces the residual block w (n x count, column-major) by T w; null
    // for the Jacobi preconditioner T = diag(K + shift M)^-1. T must be
    // symmetric positive definite.
    std::function<void(double* w, int count)> preconditioner;
    // Called after each iteration: iteration, modes converged, largest
    // residual among the wanted modes not yet locked.
    std::function<void(int, int, double)> progress;
    // Called after each iteration with the residuals of the wanted modes that
    // were not locked before it: residuals[j] belongs to mode first + j
    // (modes counted from 0 in ascending order of eigenvalue).
    std::function<void(int iteration, int first, const std::vector<double>& residuals)> history;
};

struct LobpcgStatistics {
    int iterations = 0;
    double setupSeconds = 0.0;      // preconditioner, buffers, mode set (part of totalSeconds)
    double sparseSeconds = 0.0;     // K and M times blocks of vectors
    double denseSeconds = 0.0;      // products of the n-row blocks in memory
    double outOfCoreSeconds = 0.0;  // projections against, and writes into, the locked modes
    double eigenSeconds = 0.0;      // the small eigenproblems
    double preconditionerSeconds = 0.0; // W = T R
    double totalSeconds = 0.0;
    // Calls of Multiply by (matrix: 0 K, 1 M; vectors per call) -> count.
    std::map<std::pair<int, int>, long> sparseCalls;
};

struct LobpcgResult {
    bool converged = false;
    // The locked eigenvalues in the order locked, which is ascending up to the
    // tolerance; as many as columns of `modes` that hold modes.
    std::vector<double> eigenvalues;
    // n x modes, M-orthonormal columns; column j holds the mode of eigenvalue j.
    std::unique_ptr<ZylSrvScratchDenseMatrix> modes;
    LobpcgStatistics statistics;

    LobpcgResult();
    LobpcgResult(LobpcgResult&&) noexcept;
    ~LobpcgResult();
};

LobpcgResult SolveLowestModes(const ZylSrvSparseMatrix& K, const ZylSrvSparseMatrix& M, const LobpcgOptions& options);

// The diagonal of A and its absolute row sums, from one pass over its entries.
void DiagonalAndRowSums(const ZylSrvSparseMatrix& A, std::vector<double>& diagonal, std::vector<double>& rowSums);
// The largest absolute row sum.
double LargestRowSum(const ZylSrvSparseMatrix& A);
// Calls visit(entry) for every stored entry of an assembled matrix (from a
// copy of them, released after the walk).
template <class Visit>
void ForEachEntry(const ZylSrvSparseMatrix& A, Visit visit)
{
    int count = 0;
    ZylSrvSparseMatrixEntry* entries = A.GetEntries(count);
    for (int e = 0; e < count; ++e)
        visit(entries[e]);
    mem_Free(entries);
}
// The first `count` columns of a dense matrix, column-major in memory.
std::vector<double> ReadColumns(const ZylSrvDenseMatrix& modes, int count);
// ||K x_j - lambda_j M x_j|| / (||K|| ||x_j||) for the columns x_j of
// vectors (n x lambda.size(), column-major), recomputed from the matrices.
std::vector<double> RelativeResiduals(const ZylSrvSparseMatrix& K, const ZylSrvSparseMatrix& M,
                                      const std::vector<double>& vectors, const std::vector<double>& lambda);

} // namespace zylmodal

#endif
