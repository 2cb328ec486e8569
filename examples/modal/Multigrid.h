#ifndef EXAMPLES_MODAL_MULTIGRID_H
#define EXAMPLES_MODAL_MULTIGRID_H
// A geometric multigrid approximation of (K + shift M)^-1 on the box mesh, the
// LOBPCG preconditioner whose quality does not fall as the mesh is refined.
//
// Levels: the box is coarsened by two along every edge while every element
// count is even (nested meshes), then by ceil(n / 2) on meshes that no longer
// nest, until the coarsest one has at most `coarsestUnknowns` nodes. Each
// level's operator is K + shift M assembled anew on its own box (no Galerkin
// product); the transfer from a coarse level to the next finer one is the
// trilinear interpolation of the coarse nodal values at the fine nodes, a
// sparse matrix P, and the restriction is P^T (a transposed product).
//
// Smoothing: Chebyshev polynomials in D^-1 A (D the diagonal of the level's
// A) of degree `smoothingSteps`, on the interval [upper / 4, upper] with upper
// the Gershgorin bound of D^-1 A's eigenvalues, so the smoother never
// amplifies a component. The same polynomial before and after the coarse
// correction, and an exact coarsest solve (dense Bunch-Kaufman factors), keep
// one V-cycle a symmetric positive definite operator, as LOBPCG needs.
//
// Apply runs one V-cycle from a zero guess on a whole block of vectors at
// once; every sparse product takes the block through
// ZylSrvSparseMatrix::Multiply.
#include "ModalProblem.h"

#include <memory>
#include <vector>

class ZylSrvMatrix;
class ZylSrvSparseMatrix;

namespace zylmodal {

// The next coarser box of the hierarchy (same edge lengths).
BoxMesh CoarserBox(const BoxMesh& fine);

// P (fine nodes x coarse nodes): the trilinear interpolation on `coarse` of
// nodal values, evaluated at the nodes of `fine`; both boxes span the same
// edges. matrix: newly constructed with those dimensions.
void AssembleProlongation(const BoxMesh& fine, const BoxMesh& coarse, ZylSrvSparseMatrix& matrix);

struct MultigridOptions {
    double shift = 1.0;           // sigma of K + sigma M
    // Degree of the Chebyshev smoother, before and after. A second step saves
    // no LOBPCG iteration on the box meshes and costs two sparse products
    // per level and cycle.
    int smoothingSteps = 1;
    int coarsestUnknowns = 2000;  // the coarsest level has at most this many nodes
};

class Multigrid {
public:
    Multigrid(const BoxMesh& mesh, const MultigridOptions& options);
    ~Multigrid();
    Multigrid(const Multigrid&) = delete;
    Multigrid& operator=(const Multigrid&) = delete;

    // w (n x count, column-major) := one V-cycle applied to w.
    void Apply(double* w, int count) const;

    int NumberOfLevels() const { return static_cast<int>(m_levels.size()); }
    const BoxMesh& Mesh(int level) const; // level 0 the finest
    const ZylSrvSparseMatrix& Operator(int level) const;
    double SetupSeconds() const { return m_setupSeconds; }

private:
    struct Level;
    void Cycle(int level, double* x, int count) const;
    void Smooth(const Level& level, double* x, int count, bool fromZero) const;

    MultigridOptions m_options;
    std::vector<std::unique_ptr<Level>> m_levels;
    std::unique_ptr<ZylSrvMatrix> m_coarsestFactors;
    std::vector<int> m_pivots;
    double m_setupSeconds = 0.0;
};

} // namespace zylmodal

#endif
