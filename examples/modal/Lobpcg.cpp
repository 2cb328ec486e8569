#include "Lobpcg.h"

#include <blac/blac.h>
#include <mtx/ZylSrvMatrix.h>
#include <mtx/ZylSrvScratchDenseMatrix.h>
#include <mtx/ZylSrvSparseMatrix.h>
#include <platform/ZylBasException.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <random>
#include <stdexcept>

namespace zylmodal {

LobpcgResult::LobpcgResult() = default;
LobpcgResult::LobpcgResult(LobpcgResult&&) noexcept = default;
LobpcgResult::~LobpcgResult() = default;

namespace {

using Clock = std::chrono::steady_clock;

// Adds the seconds of its scope to a total.
class Stopwatch {
public:
    explicit Stopwatch(double& total) : m_total(total), m_start(Clock::now()) {}
    ~Stopwatch() { m_total += std::chrono::duration<double>(Clock::now() - m_start).count(); }

private:
    double& m_total;
    Clock::time_point m_start;
};

// A view of a caller's column-major array for the library's products.
ZylSrvMatrix Wrap(int rows, int columns, double* values) { return ZylSrvMatrix(rows, columns, values); }

// The diagonal and the largest absolute row sum, from one pass.
std::vector<double> Diagonal(const ZylSrvSparseMatrix& A, double& largestRowSum)
{
    std::vector<double> d, sums;
    zylmodal::DiagonalAndRowSums(A, d, sums);
    largestRowSum = sums.empty() ? 0.0 : *std::max_element(sums.begin(), sums.end());
    return d;
}

class Solver {
public:
    Solver(const ZylSrvSparseMatrix& K, const ZylSrvSparseMatrix& M, const LobpcgOptions& options,
           LobpcgResult& result)
        : m_K(K), m_M(M), m_options(options), m_result(result), m_stats(result.statistics),
          m_n(K.NumberOfRows())
    {
    }

    void Run();

private:
    // An n-row source block and the place its combination goes; the two may overlap.
    struct Part {
        const double* from;
        double* to;
    };

    double* Column(std::vector<double>& block, int j) { return Column(block.data(), j); }
    double* Column(double* block, int j) { return block + static_cast<std::size_t>(m_n) * j; }
    double* KS(int j) { return Column(m_images, j); }
    double* MS(int j) { return Column(m_images, m_massAt + j); }
    void Sparse(int which, double* x, int count, double* y);
    // c (ka x kb) = a^T b for n-row blocks.
    void Gram(double* a, int ka, double* b, int kb, std::vector<double>& c);
    // ga = S^T K S and gb = S^T M S (ns x ns) from one product S^T [KS .. MS].
    void Grams(int ns, std::vector<double>& ga, std::vector<double>& gb);
    // y (n x kc) = a (n x ka) c (ka x kc), or y += when accumulate.
    void Combine(double* a, int ka, double* c, int kc, double* y, bool accumulate);
    // Each part's first k columns times c (k x r) into its first r target
    // columns, a panel of rows at a time: every part's panel is read before
    // any is written, so a combination needs no second block of its size.
    void CombineInPlace(const std::vector<Part>& parts, int k, const double* c, int r);
    // Ascending eigenvalues and b-orthonormal eigenvectors of the k x k
    // pencil (a, b), b the identity when null; both are mirrored from their
    // lower triangles first, so rounding in the Gram products does not count
    // as asymmetry.
    void Eigen(std::vector<double>& a, std::vector<double>* b, int k, std::vector<double>& values,
               std::vector<double>& vectors);
    // Singular-value QR: t (k x r) with t^T g t = I for the k x k Gram
    // matrix g (scaled in place), dropping nearly dependent directions;
    // returns r.
    int Orthonormalizer(std::vector<double>& g, int k, std::vector<double>& t);
    void ProjectAgainstLocked(double* w, int kw);
    bool RayleighRitz(int ka, int kp, int kw);
    void MoveColumns(std::vector<double>& block, int from, int to, int count);
    // The block without the locked pairs: X keeps `keep` columns, P stays,
    // W follows them, and M's images move to where the next step expects them.
    void CloseUpAfterLocking(int lock, int keep);
    // w (n x count) := T w.
    void ApplyPreconditioner(const std::vector<double>& jacobi, double* w, int count);

    const ZylSrvSparseMatrix& m_K;
    const ZylSrvSparseMatrix& m_M;
    const LobpcgOptions& m_options;
    LobpcgResult& m_result;
    LobpcgStatistics& m_stats;
    const int m_n;
    // The basis S = [X P W] (n x 3 m), and K S and M S side by side in one
    // n x 6 m block: K S from column 0, M S from column m_massAt, the width
    // the basis has at the next Rayleigh-Ritz step, so that both Gram
    // matrices come from one product and the gap between the images is empty
    // unless W lost directions.
    std::vector<double> m_S, m_images;
    int m_massAt = 0;
    std::vector<double> m_panels; // CombineInPlace's row panels
    std::vector<double> m_theta;
    int m_locked = 0;
    std::unique_ptr<ZylSrvScratchDenseMatrix> m_MQ; // M times the locked modes
    std::unique_ptr<ZylSrvDenseMatrix> m_lockedView, m_lockedMassView;
    int m_ka = 0, m_kp = 0;
};

void Solver::Sparse(int which, double* x, int count, double* y)
{
    Stopwatch watch(m_stats.sparseSeconds);
    (which == 0 ? m_K : m_M).Multiply(x, count, y, false);
    ++m_stats.sparseCalls[{which, count}];
}

void Solver::Gram(double* a, int ka, double* b, int kb, std::vector<double>& c)
{
    Stopwatch watch(m_stats.denseSeconds);
    c.assign(static_cast<std::size_t>(ka) * kb, 0.0);
    ZylSrvMatrix result = Wrap(ka, kb, c.data());
    Wrap(m_n, ka, a).TransposeMultiply(Wrap(m_n, kb, b), result, 0, 0);
}

void Solver::Grams(int ns, std::vector<double>& ga, std::vector<double>& gb)
{
    Stopwatch watch(m_stats.denseSeconds);
    const int width = m_massAt + ns;
    const double one = 1.0, zero = 0.0;
    std::vector<double> g(static_cast<std::size_t>(ns) * width);
    BLAC_DGEMM("T", "N", &ns, &width, &m_n, &one, m_S.data(), &m_n, m_images.data(), &m_n, &zero, g.data(), &ns);
    ga.assign(g.begin(), g.begin() + static_cast<std::ptrdiff_t>(ns) * ns);
    gb.assign(g.begin() + static_cast<std::ptrdiff_t>(ns) * m_massAt, g.end());
}

void Solver::CombineInPlace(const std::vector<Part>& parts, int k, const double* c, int r)
{
    Stopwatch watch(m_stats.denseSeconds);
    // Rows per panel: a panel of every part and its result stay in cache.
    const int panelRows = 512;
    const std::size_t panelSize = static_cast<std::size_t>(panelRows) * r;
    m_panels.resize(parts.size() * panelSize);
    const double one = 1.0, zero = 0.0;
    for (int first = 0; first < m_n; first += panelRows) {
        const int rows = std::min(panelRows, m_n - first);
        for (std::size_t p = 0; p < parts.size(); ++p)
            BLAC_DGEMM("N", "N", &rows, &r, &k, &one, parts[p].from + first, &m_n, c, &k, &zero,
                       &m_panels[p * panelSize], &rows);
        for (std::size_t p = 0; p < parts.size(); ++p)
            for (int j = 0; j < r; ++j)
                std::memcpy(Column(parts[p].to, j) + first, &m_panels[p * panelSize + static_cast<std::size_t>(rows) * j],
                            sizeof(double) * rows);
    }
}

void Solver::Combine(double* a, int ka, double* c, int kc, double* y, bool accumulate)
{
    Stopwatch watch(m_stats.denseSeconds);
    ZylSrvMatrix result = Wrap(m_n, kc, y);
    Wrap(m_n, ka, a).Multiply(Wrap(ka, kc, c), result, 0, accumulate ? 1 : 0);
}

void Solver::Eigen(std::vector<double>& a, std::vector<double>* b, int k, std::vector<double>& values,
                   std::vector<double>& vectors)
{
    Stopwatch watch(m_stats.eigenSeconds);
    ZylSrvMatrix am = Wrap(k, k, a.data());
    am.SetSymmetricResults();
    std::vector<double> ones(static_cast<std::size_t>(k), 1.0);
    ZylSrvMatrix bm = b != nullptr ? Wrap(k, k, b->data()) : ZylSrvMatrix(k, k, ones.data(), false, true);
    if (b != nullptr)
        bm.SetSymmetricResults();
    values.assign(static_cast<std::size_t>(k), 0.0);
    vectors.assign(static_cast<std::size_t>(k) * k, 0.0);
    ZylSrvMatrix lambda = Wrap(k, 1, values.data());
    ZylSrvMatrix z = Wrap(k, k, vectors.data());
    am.SolveEigenproblemSymmetric(bm, lambda, z);
}

int Solver::Orthonormalizer(std::vector<double>& g, int k, std::vector<double>& t)
{
    std::vector<double> scale(static_cast<std::size_t>(k));
    for (int i = 0; i < k; ++i) {
        const double d = g[i + static_cast<std::size_t>(k) * i];
        scale[i] = d > 0.0 ? 1.0 / std::sqrt(d) : 0.0; // a zero column drops out
    }
    for (int j = 0; j < k; ++j)
        for (int i = 0; i < k; ++i)
            g[i + static_cast<std::size_t>(k) * j] *= scale[i] * scale[j];
    std::vector<double> mu, u;
    Eigen(g, nullptr, k, mu, u);
    t.clear();
    int r = 0;
    for (int j = 0; j < k; ++j) {
        if (!(mu[j] > 1e-10 * mu[k - 1]))
            continue;
        for (int i = 0; i < k; ++i)
            t.push_back(scale[i] * u[i + static_cast<std::size_t>(k) * j] / std::sqrt(mu[j]));
        ++r;
    }
    return r;
}

void Solver::ApplyPreconditioner(const std::vector<double>& jacobi, double* w, int count)
{
    Stopwatch watch(m_stats.preconditionerSeconds);
    if (m_options.preconditioner) {
        m_options.preconditioner(w, count);
        return;
    }
    for (int j = 0; j < count; ++j)
        for (int i = 0; i < m_n; ++i)
            Column(w, j)[i] *= jacobi[i];
}

void Solver::MoveColumns(std::vector<double>& block, int from, int to, int count)
{
    if (from != to && count > 0)
        std::memmove(Column(block, to), Column(block, from), sizeof(double) * m_n * count);
}

void Solver::CloseUpAfterLocking(int lock, int keep)
{
    const int ka = m_ka, kp = m_kp;
    MoveColumns(m_S, lock, 0, keep);
    MoveColumns(m_S, ka, keep, kp);
    MoveColumns(m_S, ka + kp + lock, keep + kp, keep);
    MoveColumns(m_images, lock, 0, keep);
    MoveColumns(m_images, ka, keep, kp);
    // Leftwards, X before P: keep <= ka - lock, so no move overwrites a
    // column still to be moved.
    const int massAt = 2 * keep + kp;
    MoveColumns(m_images, m_massAt + lock, massAt, keep);
    MoveColumns(m_images, m_massAt + ka, massAt + keep, kp);
    m_massAt = massAt;
}

void Solver::ProjectAgainstLocked(double* w, int kw)
{
    // w -= Q (MQ^T w), twice: one pass leaves what rounding put back in.
    Stopwatch watch(m_stats.outOfCoreSeconds);
    std::vector<double> c(static_cast<std::size_t>(m_locked) * kw);
    for (int pass = 0; pass < 2; ++pass) {
        std::fill(c.begin(), c.end(), 0.0);
        m_lockedMassView->TransposeMultiply(w, kw, c.data(), m_n);
        for (double& x : c)
            x = -x;
        m_lockedView->Multiply(c.data(), kw, w);
    }
}

// Rayleigh-Ritz on S = [X P W] (ka, kp, kw columns): the next X (ka columns)
// and P into the spares, which then become the basis. False when the Gram
// matrix is not positive definite even without P.
bool Solver::RayleighRitz(int ka, int kp, int kw)
{
    const int ns = ka + kp + kw;
    std::vector<double> ga, gb;
    Grams(ns, ga, gb);
    std::vector<int> used;
    for (int j = 0; j < ns; ++j)
        used.push_back(j);
    std::vector<double> theta, y;
    for (;;) {
        const int nu = static_cast<int>(used.size());
        std::vector<double> a(static_cast<std::size_t>(nu) * nu), b(a.size());
        for (int j = 0; j < nu; ++j)
            for (int i = 0; i < nu; ++i) {
                a[i + static_cast<std::size_t>(nu) * j] = ga[used[i] + static_cast<std::size_t>(ns) * used[j]];
                b[i + static_cast<std::size_t>(nu) * j] = gb[used[i] + static_cast<std::size_t>(ns) * used[j]];
            }
        try {
            Eigen(a, &b, nu, theta, y);
            break;
        } catch (const ZylBasException&) {
            if (kp == 0)
                return false;
            used.erase(used.begin() + ka, used.begin() + ka + kp); // without P
            kp = 0;
        }
    }
    // c (ns x ka): the coefficients of the new X in the whole basis.
    const int nu = static_cast<int>(used.size());
    const int kx = std::min(ka, nu);
    std::vector<double> c(static_cast<std::size_t>(ns) * kx, 0.0);
    for (int j = 0; j < kx; ++j)
        for (int i = 0; i < nu; ++i)
            c[used[i] + static_cast<std::size_t>(ns) * j] = y[i + static_cast<std::size_t>(nu) * j];
    // P: the part of the new X outside the old X, made M-orthogonal to the
    // new X and orthonormal, all in the small space: d = z - c (c^T gb z).
    std::vector<double> z(c);
    for (int j = 0; j < kx; ++j)
        std::fill(z.begin() + static_cast<std::ptrdiff_t>(ns) * j,
                  z.begin() + static_cast<std::ptrdiff_t>(ns) * j + ka, 0.0);
    std::vector<double> gbz(static_cast<std::size_t>(ns) * kx), coef(static_cast<std::size_t>(kx) * kx);
    std::vector<double> d(z), gp(static_cast<std::size_t>(kx) * kx);
    {
        Stopwatch watch(m_stats.denseSeconds);
        ZylSrvMatrix gbzm = Wrap(ns, kx, gbz.data()), coefm = Wrap(kx, kx, coef.data());
        ZylSrvMatrix dm = Wrap(ns, kx, d.data()), gpm = Wrap(kx, kx, gp.data());
        Wrap(ns, ns, gb.data()).Multiply(Wrap(ns, kx, z.data()), gbzm, 0, 0);
        Wrap(ns, kx, c.data()).TransposeMultiply(gbzm, coefm, 0, 0);
        coefm.Multiply(-1.0);
        Wrap(ns, kx, c.data()).Multiply(coefm, dm, 0, 1);
        Wrap(ns, ns, gb.data()).Multiply(dm, gbzm, 0, 0);
        dm.TransposeMultiply(gbzm, gpm, 0, 0);
    }
    std::vector<double> t;
    const int kpNew = kx > 0 && kp + kw > 0 ? Orthonormalizer(gp, kx, t) : 0;
    // [c d t]: the coefficients of the new X and P side by side, so one
    // pass over each block makes both.
    c.resize(static_cast<std::size_t>(ns) * (kx + kpNew));
    if (kpNew > 0) {
        ZylSrvMatrix dtm = Wrap(ns, kpNew, c.data() + static_cast<std::size_t>(ns) * kx);
        Wrap(ns, kx, d.data()).Multiply(Wrap(kx, kpNew, t.data()), dtm, 0, 0);
    }
    const int massAt = 2 * kx + kpNew; // W will have as many columns as X
    CombineInPlace({{m_S.data(), m_S.data()}, {KS(0), KS(0)}, {MS(0), Column(m_images, massAt)}}, ns, c.data(),
                   kx + kpNew);
    m_massAt = massAt;
    m_theta.assign(theta.begin(), theta.begin() + kx);
    m_ka = kx;
    m_kp = kpNew;
    return true;
}

void Solver::Run()
{
    const Clock::time_point start = Clock::now();
    const int n = m_n;
    const int nev = std::min(m_options.modes, n);
    int m = m_options.blockSize > 0 ? m_options.blockSize : (nev + std::max(4, nev / 4) + 7) / 8 * 8;
    m = std::min(m, n);
    // The diagonals first: reading them takes a copy of each matrix's
    // entries for a moment, better before the blocks than beside them.
    double normK = 0.0, normM = 0.0;
    std::vector<double> preconditioner = Diagonal(m_K, normK);
    const std::vector<double> massDiagonal = Diagonal(m_M, normM);
    const double normMeasure = normK - m_options.pencilShift * normM;
    for (int i = 0; i < n; ++i)
        preconditioner[i] = 1.0 / (preconditioner[i] + m_options.shift * massDiagonal[i]);
    // [X P W] needs 3 m columns, its images twice that.
    m_S.resize(static_cast<std::size_t>(n) * 3 * m);
    m_images.resize(2 * m_S.size());

    const int rowBlock = std::min(m_options.rowBlock, n);
    m_result.modes.reset(new ZylSrvScratchDenseMatrix(n, nev, rowBlock, -1));
    m_MQ.reset(new ZylSrvScratchDenseMatrix(n, nev, rowBlock, -1));

    m_stats.setupSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::mt19937 engine(m_options.seed);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    for (std::size_t i = 0; i < static_cast<std::size_t>(n) * m; ++i)
        m_S[i] = uniform(engine);
    m_massAt = m;
    Sparse(0, m_S.data(), m, KS(0));
    Sparse(1, m_S.data(), m, MS(0));
    if (!RayleighRitz(m, 0, 0))
        throw std::runtime_error("LOBPCG: the start block is not M-definite");

    std::vector<double> residual(static_cast<std::size_t>(m));
    for (int iteration = 1; iteration <= m_options.maxIterations; ++iteration) {
        m_stats.iterations = iteration;
        const int ka = m_ka, kp = m_kp;
        // Residuals into the basis behind P, where T R replaces them.
        for (int j = 0; j < ka; ++j) {
            const double* ax = KS(j);
            const double* bx = MS(j);
            const double* x = Column(m_S, j);
            double* w = Column(m_S, ka + kp + j);
            double rr = 0.0, xx = 0.0;
            for (int i = 0; i < n; ++i) {
                const double r = ax[i] - m_theta[j] * bx[i];
                rr += r * r;
                xx += x[i] * x[i];
                w[i] = r;
            }
            residual[j] = std::sqrt(rr) / (normMeasure * std::sqrt(xx));
        }
        ApplyPreconditioner(preconditioner, Column(m_S, ka + kp), ka);
        const int wanted = std::min(ka, nev - m_locked);
        int lock = 0;
        while (lock < wanted && residual[lock] < m_options.tolerance)
            ++lock;
        int converged = m_locked;
        double largest = 0.0;
        for (int j = 0; j < wanted; ++j) {
            converged += residual[j] < m_options.tolerance;
            if (j >= lock)
                largest = std::max(largest, residual[j]);
        }
        if (lock > 0) {
            Stopwatch watch(m_stats.outOfCoreSeconds);
            m_result.modes->SetValues(0, n - 1, m_locked, m_locked + lock - 1, Wrap(n, lock, m_S.data()));
            m_MQ->SetValues(0, n - 1, m_locked, m_locked + lock - 1, Wrap(n, lock, MS(0)));
            m_result.eigenvalues.insert(m_result.eigenvalues.end(), m_theta.begin(), m_theta.begin() + lock);
            m_locked += lock;
            m_lockedView.reset(m_result.modes->Submatrix(0, n - 1, 0, m_locked - 1));
            m_lockedMassView.reset(m_MQ->Submatrix(0, n - 1, 0, m_locked - 1));
        }
        if (m_options.history)
            m_options.history(iteration, m_locked - lock, std::vector<double>(residual.begin(), residual.begin() + wanted));
        if (m_options.progress)
            m_options.progress(iteration, converged, largest);
        if (m_locked >= nev) {
            m_result.converged = true;
            break;
        }
        // The block without the locked pairs, cut to a multiple of 8.
        const int keep = std::min(ka - lock, (nev - m_locked + 4 + 7) / 8 * 8);
        CloseUpAfterLocking(lock, keep);
        m_theta.erase(m_theta.begin(), m_theta.begin() + lock);
        m_ka = keep;
        int kw = keep;
        const int kxp = keep + kp;
        double* w = Column(m_S, kxp);
        if (m_locked > 0)
            ProjectAgainstLocked(w, kw);
        // W against X and P: their M-products are at hand, so no sparse
        // product is needed before W's own.
        std::vector<double> coef;
        for (int pass = 0; pass < 2; ++pass) {
            Gram(MS(0), kxp, w, kw, coef);
            for (double& x : coef)
                x = -x;
            Combine(m_S.data(), kxp, coef.data(), kw, w, true);
        }
        Sparse(0, w, kw, KS(kxp));
        Sparse(1, w, kw, MS(kxp));
        std::vector<double> g, t;
        Gram(w, kw, MS(kxp), kw, g);
        kw = Orthonormalizer(g, kw, t);
        if (kw > 0)
            CombineInPlace({{w, w}, {KS(kxp), KS(kxp)}, {MS(kxp), MS(kxp)}}, keep, t.data(), kw);
        if (!RayleighRitz(keep, kp, kw))
            throw std::runtime_error("LOBPCG: the basis lost M-definiteness");
    }
    m_stats.totalSeconds = std::chrono::duration<double>(Clock::now() - start).count();
}

} // namespace

LobpcgResult SolveLowestModes(const ZylSrvSparseMatrix& K, const ZylSrvSparseMatrix& M, const LobpcgOptions& options)
{
    LobpcgResult result;
    Solver(K, M, options, result).Run();
    return result;
}

void DiagonalAndRowSums(const ZylSrvSparseMatrix& A, std::vector<double>& diagonal, std::vector<double>& rowSums)
{
    diagonal.assign(static_cast<std::size_t>(A.NumberOfRows()), 0.0);
    rowSums.assign(diagonal.size(), 0.0);
    ForEachEntry(A, [&](const ZylSrvSparseMatrixEntry& e) {
        if (e.row == e.column)
            diagonal[e.row] += e.value;
        rowSums[e.row] += std::fabs(e.value);
    });
}

double LargestRowSum(const ZylSrvSparseMatrix& A)
{
    double largest = 0.0;
    Diagonal(A, largest);
    return largest;
}

std::vector<double> ReadColumns(const ZylSrvDenseMatrix& modes, int count)
{
    std::vector<double> values(static_cast<std::size_t>(modes.NumberOfRows()) * count);
    if (count > 0) {
        ZylSrvMatrix buffer = Wrap(modes.NumberOfRows(), count, values.data());
        modes.GetValues(0, modes.NumberOfRows() - 1, 0, count - 1, buffer);
    }
    return values;
}

std::vector<double> RelativeResiduals(const ZylSrvSparseMatrix& K, const ZylSrvSparseMatrix& M,
                                      const std::vector<double>& vectors, const std::vector<double>& lambda)
{
    const int n = K.NumberOfRows();
    const int k = static_cast<int>(lambda.size());
    std::vector<double> kx(vectors.size()), mx(vectors.size()), result;
    K.Multiply(vectors.data(), k, kx.data(), false);
    M.Multiply(vectors.data(), k, mx.data(), false);
    const double normK = LargestRowSum(K);
    for (int j = 0; j < k; ++j) {
        double rr = 0.0, xx = 0.0;
        for (std::size_t i = static_cast<std::size_t>(n) * j; i < static_cast<std::size_t>(n) * (j + 1); ++i) {
            const double r = kx[i] - lambda[j] * mx[i];
            rr += r * r;
            xx += vectors[i] * vectors[i];
        }
        result.push_back(std::sqrt(rr) / (normK * std::sqrt(xx)));
    }
    return result;
}

} // namespace zylmodal
