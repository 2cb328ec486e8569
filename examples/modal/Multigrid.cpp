#include "Multigrid.h"

#include "Lobpcg.h"

#include <mtx/ZylSrvMatrix.h>
#include <mtx/ZylSrvSparseMatrix.h>

#include <algorithm>
#include <chrono>
#include <cmath>

namespace zylmodal {

namespace {

// The coarse nodes and weights that interpolate linearly at fine node i of
// an edge cut into `fine` and `coarse` elements: the fine node lies at
// coarse coordinate i coarse / fine, in integers so that nested nodes get
// the exact weights 1 and 0.
struct EdgeWeights {
    int count = 0;
    int node[2];
    double weight[2];
};

EdgeWeights InterpolateOnEdge(int i, int fine, int coarse)
{
    const long scaled = static_cast<long>(i) * coarse;
    const int element = static_cast<int>(std::min<long>(scaled / fine, coarse - 1));
    const double t = static_cast<double>(scaled - static_cast<long>(element) * fine) / fine;
    EdgeWeights e;
    if (t < 1.0) {
        e.node[e.count] = element, e.weight[e.count] = 1.0 - t, ++e.count;
    }
    if (t > 0.0) {
        e.node[e.count] = element + 1, e.weight[e.count] = t, ++e.count;
    }
    return e;
}

// max_i sum_j |a_ij| / a_ii, an upper bound of the eigenvalues of D^-1 A,
// and the reciprocal diagonal from the same pass.
double GershgorinOfJacobi(const ZylSrvSparseMatrix& A, std::vector<double>& inverseDiagonal)
{
    std::vector<double> sums;
    DiagonalAndRowSums(A, inverseDiagonal, sums);
    double bound = 0.0;
    for (std::size_t i = 0; i < inverseDiagonal.size(); ++i) {
        inverseDiagonal[i] = 1.0 / inverseDiagonal[i];
        bound = std::max(bound, sums[i] * inverseDiagonal[i]);
    }
    return bound;
}

// The Chebyshev interval's lower end as a share of its upper end: the
// smoother damps the part of the spectrum above it, the coarse levels
// take what lies below.
const double kSmoothedShare = 1.0 / 4.0;

} // namespace

BoxMesh CoarserBox(const BoxMesh& fine)
{
    BoxMesh coarse = fine;
    const bool nested = fine.nx % 2 == 0 && fine.ny % 2 == 0 && fine.nz % 2 == 0;
    for (int* n : {&coarse.nx, &coarse.ny, &coarse.nz})
        *n = nested ? *n / 2 : (*n + 1) / 2;
    return coarse;
}

void AssembleProlongation(const BoxMesh& fine, const BoxMesh& coarse, ZylSrvSparseMatrix& matrix)
{
    for (int k = 0; k <= fine.nz; ++k) {
        const EdgeWeights z = InterpolateOnEdge(k, fine.nz, coarse.nz);
        for (int j = 0; j <= fine.ny; ++j) {
            const EdgeWeights y = InterpolateOnEdge(j, fine.ny, coarse.ny);
            for (int i = 0; i <= fine.nx; ++i) {
                const EdgeWeights x = InterpolateOnEdge(i, fine.nx, coarse.nx);
                const unsigned int row = static_cast<unsigned int>(fine.Node(i, j, k));
                for (int c = 0; c < z.count; ++c)
                    for (int b = 0; b < y.count; ++b)
                        for (int a = 0; a < x.count; ++a)
                            matrix.AddData(row, static_cast<unsigned int>(coarse.Node(x.node[a], y.node[b], z.node[c])),
                                           x.weight[a] * y.weight[b] * z.weight[c]);
            }
        }
    }
    matrix.EndAssembly();
}

struct Multigrid::Level {
    BoxMesh mesh;
    int n = 0;
    std::unique_ptr<ZylSrvSparseMatrix> A;
    std::unique_ptr<ZylSrvSparseMatrix> P; // from the next coarser level to this one
    std::vector<double> inverseDiagonal;
    double upper = 0.0; // of the eigenvalues of D^-1 A
    // Work blocks of n x count, grown as needed: the right-hand side and then
    // the correction (the finest level's is the caller's block), and, but on
    // the coarsest level, the residual, the Chebyshev direction and a product.
    mutable std::vector<double> x, r, d, t;
};

Multigrid::Multigrid(const BoxMesh& mesh, const MultigridOptions& options) : m_options(options)
{
    const auto start = std::chrono::steady_clock::now();
    BoxMesh box = mesh;
    for (;;) {
        std::unique_ptr<Level> level(new Level);
        level->mesh = box;
        level->n = box.NumberOfNodes();
        level->A.reset(new ZylSrvSparseMatrix(level->n, level->n));
        AssembleShifted(box, options.shift, *level->A);
        level->upper = GershgorinOfJacobi(*level->A, level->inverseDiagonal);
        const bool coarsest = level->n <= options.coarsestUnknowns;
        if (!coarsest) {
            const BoxMesh coarser = CoarserBox(box);
            level->P.reset(new ZylSrvSparseMatrix(level->n, coarser.NumberOfNodes()));
            AssembleProlongation(box, coarser, *level->P);
            box = coarser;
        }
        m_levels.push_back(std::move(level));
        if (coarsest)
            break;
    }
    const Level& last = *m_levels.back();
    m_coarsestFactors.reset(new ZylSrvMatrix(last.n, last.n, nullptr, true));
    std::fill(m_coarsestFactors->Values(), m_coarsestFactors->Values() + static_cast<std::size_t>(last.n) * last.n,
              0.0);
    double* dense = m_coarsestFactors->Values();
    ForEachEntry(*last.A, [&](const ZylSrvSparseMatrixEntry& e) {
        dense[e.row + static_cast<std::size_t>(last.n) * e.column] += e.value;
    });
    m_pivots.resize(static_cast<std::size_t>(last.n));
    m_coarsestFactors->Factorize(m_pivots.data());
    m_setupSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

Multigrid::~Multigrid() = default;

const BoxMesh& Multigrid::Mesh(int level) const { return m_levels[static_cast<std::size_t>(level)]->mesh; }

const ZylSrvSparseMatrix& Multigrid::Operator(int level) const { return *m_levels[static_cast<std::size_t>(level)]->A; }

void Multigrid::Apply(double* w, int count) const
{
    for (std::size_t index = 0; index < m_levels.size(); ++index) {
        Level& level = *m_levels[index];
        const bool coarsest = index + 1 == m_levels.size();
        const std::size_t size = static_cast<std::size_t>(level.n) * count;
        for (std::vector<double>* block : {&level.x, &level.r, &level.d, &level.t}) {
            const bool needed = block == &level.x ? index > 0 : !coarsest;
            if (needed && block->size() < size)
                block->resize(size);
        }
    }
    Cycle(0, w, count);
}

// The level's right-hand side arrives in x, and the correction leaves there.
void Multigrid::Cycle(int index, double* x, int count) const
{
    const Level& level = *m_levels[static_cast<std::size_t>(index)];
    if (index + 1 == NumberOfLevels()) {
        ZylSrvMatrix rhs(level.n, count, x);
        m_coarsestFactors->ForwardBackwardPass(m_pivots.data(), rhs, false);
        return;
    }
    const Level& coarse = *m_levels[static_cast<std::size_t>(index) + 1];
    Smooth(level, x, count, true);
    level.P->Multiply(level.r.data(), count, coarse.x.data(), true);
    Cycle(index + 1, coarse.x.data(), count);
    level.P->Multiply(coarse.x.data(), count, level.t.data(), false);
    level.A->Multiply(level.t.data(), count, level.d.data(), false);
    Smooth(level, x, count, false);
}

// Chebyshev iteration on D^-1 A x = D^-1 b over [share upper, upper].
// Before the coarse correction b arrives in x and the iteration starts from
// zero; it leaves r = b - A x for the restriction. After it the start is
// x + t, with residual r - d (t the prolongated correction, d = A t), taken
// in the same pass as the first step. Each step is one sparse product and one
// pass over the blocks.
void Multigrid::Smooth(const Level& level, double* x, int count, bool pre) const
{
    const std::size_t n = static_cast<std::size_t>(level.n);
    const std::size_t size = n * count;
    double* r = level.r.data();
    double* d = level.d.data();
    double* t = level.t.data();
    const std::vector<double>& inverse = level.inverseDiagonal;
    const double lower = kSmoothedShare * level.upper;
    const double theta = 0.5 * (level.upper + lower), delta = 0.5 * (level.upper - lower);
    const double sigma = theta / delta;
    double rho = 1.0 / sigma;
    for (std::size_t j = 0; j < size; j += n) {
        if (pre) {
            for (std::size_t i = 0; i < n; ++i) {
                r[j + i] = x[j + i];
                d[j + i] = inverse[i] * r[j + i] / theta;
                x[j + i] = d[j + i];
            }
        } else {
            for (std::size_t i = 0; i < n; ++i) {
                r[j + i] -= d[j + i];
                const double start = x[j + i] + t[j + i];
                d[j + i] = inverse[i] * r[j + i] / theta;
                x[j + i] = start + d[j + i];
            }
        }
    }
    for (int step = 1; step < m_options.smoothingSteps; ++step) {
        level.A->Multiply(d, count, t, false);
        const double rhoNext = 1.0 / (2.0 * sigma - rho);
        const double keep = rhoNext * rho, add = 2.0 * rhoNext / delta;
        for (std::size_t j = 0; j < size; j += n)
            for (std::size_t i = 0; i < n; ++i) {
                r[j + i] -= t[j + i];
                d[j + i] = keep * d[j + i] + add * inverse[i] * r[j + i];
                x[j + i] += d[j + i];
            }
        rho = rhoNext;
    }
    if (pre) {
        level.A->Multiply(d, count, t, false);
        for (std::size_t i = 0; i < size; ++i)
            r[i] -= t[i];
    }
}

} // namespace zylmodal
