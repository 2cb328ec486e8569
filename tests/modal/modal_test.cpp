// The modal example's solver and model: every computed eigenpair against a
// dense generalized eigen-solution of the same matrices, and the eigenvalues
// against the analytic modes of the box as the mesh is refined; the multigrid
// preconditioner's transfers, V-cycle and iteration counts under refinement;
// the convergence plot read back from its SVG.
#include <ConvergencePlot.h>
#include <Lobpcg.h>
#include <ModalProblem.h>
#include <Multigrid.h>

#include "support/ReferenceMatrix.h"

#include <mtx/ZylSrvMatrix.h>
#include <mtx/ZylSrvScratchDenseMatrix.h>
#include <mtx/ZylSrvSparseMatrix.h>
#include <platform/mem.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

using zyltest::RefMatrix;

const double kPi = 3.14159265358979323846;

// The assembled matrix as a dense one, read entry by entry and made exactly
// symmetric (the dense solver accepts nothing else).
RefMatrix Dense(const ZylSrvSparseMatrix& A)
{
    RefMatrix d(A.NumberOfRows(), A.NumberOfColumns());
    int count = 0;
    ZylSrvSparseMatrixEntry* entries = A.GetEntries(count);
    for (int e = 0; e < count; ++e)
        d(static_cast<int>(entries[e].row), static_cast<int>(entries[e].column)) += entries[e].value;
    mem_Free(entries);
    for (int j = 0; j < d.cols; ++j)
        for (int i = j + 1; i < d.rows; ++i)
            d(i, j) = d(j, i) = 0.5 * (d(i, j) + d(j, i));
    return d;
}

struct Solved {
    RefMatrix K, M;
    std::vector<double> lambda;
    RefMatrix modes; // n x modes
    std::vector<double> residuals; // zylmodal::RelativeResiduals of the modes
};

// A V-cycle down to `coarsestUnknowns`, or Jacobi when 0; the shift that
// main takes, about the first nonzero eigenvalue.
zylmodal::LobpcgResult Lobpcg(const zylmodal::BoxMesh& mesh, const ZylSrvSparseMatrix& K,
                              const ZylSrvSparseMatrix& M, zylmodal::LobpcgOptions options, int coarsestUnknowns)
{
    options.shift = kPi * kPi / std::pow(std::max({mesh.lx, mesh.ly, mesh.lz}), 2);
    std::unique_ptr<zylmodal::Multigrid> multigrid;
    if (coarsestUnknowns > 0) {
        zylmodal::MultigridOptions mg;
        mg.shift = options.shift;
        mg.coarsestUnknowns = coarsestUnknowns;
        multigrid.reset(new zylmodal::Multigrid(mesh, mg));
        options.preconditioner = [&multigrid](double* w, int count) { multigrid->Apply(w, count); };
    }
    zylmodal::LobpcgResult result = zylmodal::SolveLowestModes(K, M, options);
    EXPECT_TRUE(result.converged);
    return result;
}

Solved Solve(const zylmodal::BoxMesh& mesh, int modes, double tolerance, int coarsestUnknowns = 0)
{
    const int n = mesh.NumberOfNodes();
    ZylSrvSparseMatrix K(n, n), M(n, n);
    zylmodal::Assemble(mesh, zylmodal::Operator::Stiffness, K);
    zylmodal::Assemble(mesh, zylmodal::Operator::Mass, M);
    zylmodal::LobpcgOptions options;
    options.modes = modes;
    options.tolerance = tolerance;
    options.rowBlock = 16; // several row blocks in the mode set
    zylmodal::LobpcgResult result = Lobpcg(mesh, K, M, options, coarsestUnknowns);
    Solved s{Dense(K), Dense(M), result.eigenvalues, RefMatrix(n, modes), {}};
    s.modes.v = zylmodal::ReadColumns(*result.modes, modes);
    s.residuals = zylmodal::RelativeResiduals(K, M, s.modes.v, s.lambda);
    return s;
}

struct SmallCase {
    const char* name;
    zylmodal::BoxMesh mesh;
    int modes;
    int coarsestUnknowns; // 0: Jacobi
};

// A box with distinct and coinciding frequencies, and a cube whose first
// nonzero frequencies are threefold, cut after three such clusters; with
// Jacobi and with V-cycles over nested and non-nested levels.
const SmallCase kSmallCases[] = {
    {"box 4x3x3", {1.2, 0.8, 0.6, 4, 3, 3}, 12, 0},
    {"cube 4x4x4", {1.0, 1.0, 1.0, 4, 4, 4}, 11, 0},
    {"box 4x3x3, multigrid", {1.2, 0.8, 0.6, 4, 3, 3}, 12, 8},
    {"cube 4x4x4, multigrid", {1.0, 1.0, 1.0, 4, 4, 4}, 11, 8},
};

TEST(ModalSolver, FindsEveryEigenpairOfTheDenseSolution)
{
    const double tolerance = 1e-9;
    for (const SmallCase& c : kSmallCases) {
        SCOPED_TRACE(c.name);
        Solved s = Solve(c.mesh, c.modes, tolerance, c.coarsestUnknowns);
        const int n = s.K.rows;
        ASSERT_EQ(static_cast<int>(s.lambda.size()), c.modes);

        // The dense reference: all n eigenvalues, ascending.
        ZylSrvMatrix a(n, n, s.K.data()), b(n, n, s.M.data()), values(n, 1), vectors(n, n);
        a.SolveEigenproblemSymmetric(b, values, vectors);
        const double largest = *std::max_element(s.lambda.begin(), s.lambda.end());
        std::vector<double> computed(s.lambda);
        std::sort(computed.begin(), computed.end());
        // The mesh's eigenvalues in closed form check the assembly as well.
        const std::vector<zylmodal::BoxMode> closedForm = zylmodal::LowestBoxModes(c.mesh, c.modes);
        for (int m = 0; m < c.modes; ++m) {
            EXPECT_NEAR(computed[m], values.Element(m, 0), 1e-10 * largest) << "mode " << m;
            EXPECT_NEAR(closedForm[m].discrete, values.Element(m, 0), 1e-10 * largest) << "mode " << m;
        }

        // Residuals from the dense matrices, and M-orthonormal modes, so a
        // repeated eigenvalue stands for as many independent modes.
        const RefMatrix kx = zyltest::NaiveProduct(s.K, false, s.modes);
        const RefMatrix mx = zyltest::NaiveProduct(s.M, false, s.modes);
        const RefMatrix gram = zyltest::NaiveProduct(s.modes, true, mx);
        double normK = 0.0;
        for (int i = 0; i < n; ++i) {
            double row = 0.0;
            for (int j = 0; j < n; ++j)
                row += std::fabs(s.K(i, j));
            normK = std::max(normK, row);
        }
        for (int m = 0; m < c.modes; ++m) {
            double rr = 0.0, xx = 0.0;
            for (int i = 0; i < n; ++i) {
                rr += std::pow(kx(i, m) - s.lambda[m] * mx(i, m), 2);
                xx += s.modes(i, m) * s.modes(i, m);
            }
            const double residual = std::sqrt(rr) / (normK * std::sqrt(xx));
            EXPECT_LT(residual, tolerance) << "mode " << m;
            EXPECT_NEAR(s.residuals[m], residual, 1e-3 * residual + 1e-15) << "mode " << m;
            for (int l = 0; l < c.modes; ++l)
                EXPECT_NEAR(gram(l, m), l == m ? 1.0 : 0.0, 1e-9) << "modes " << l << ", " << m;
        }
    }
}

// With consistent mass the eigenvalues lie above the exact ones, by about
// h^2 lambda / 12 for the lowest modes, and halving h divides that by 4.
TEST(ModalSolver, EigenvalueErrorFallsAsTheSquareOfTheElementSize)
{
    const int divisions[] = {6, 12};
    std::vector<double> errors;
    for (int d : divisions) {
        SCOPED_TRACE(d);
        const zylmodal::BoxMesh cube{1.0, 1.0, 1.0, d, d, d};
        // The zero mode and the threefold first nonzero one, pi^2.
        const Solved s = Solve(cube, 4, 1e-10);
        std::vector<double> lambda(s.lambda);
        std::sort(lambda.begin(), lambda.end());
        EXPECT_LT(std::fabs(lambda[0]), 1e-10 * kPi * kPi);
        const double h = 1.0 / d;
        for (int m = 1; m < 4; ++m) {
            const double error = (lambda[m] - kPi * kPi) / (kPi * kPi);
            EXPECT_GT(error, 0.0);
            EXPECT_NEAR(error / (h * h * kPi * kPi / 12.0), 1.0, 0.05) << "mode " << m;
        }
        errors.push_back((lambda[1] - kPi * kPi) / (kPi * kPi));
    }
    EXPECT_GT(errors[0] / errors[1], 3.5);
    EXPECT_LT(errors[0] / errors[1], 4.5);
}

// A trilinear function is one of the coarse space's, so interpolating its
// coarse nodal values must give its fine nodal values exactly, on nested and
// on non-nested pairs of boxes.
TEST(ModalMultigrid, ProlongationIsExactForTrilinearFunctions)
{
    // Halving only while every count is even, else ceil(n / 2) for all.
    const struct {
        zylmodal::BoxMesh fine;
        int coarse[3];
    } kPairs[] = {
        {{1.2, 0.8, 0.6, 8, 4, 6}, {4, 2, 3}}, // nested
        {{1.2, 0.8, 0.6, 6, 4, 3}, {3, 2, 2}}, // not nested
        {{1.0, 2.0, 0.5, 7, 5, 9}, {4, 3, 5}}, // not nested
    };
    auto f = [](double x, double y, double z) {
        return 1.0 + 2.0 * x - y + 3.0 * z + x * y - 2.0 * y * z + x * z + 4.0 * x * y * z;
    };
    auto nodal = [&f](const zylmodal::BoxMesh& m) {
        std::vector<double> v(static_cast<std::size_t>(m.NumberOfNodes()));
        for (int k = 0; k <= m.nz; ++k)
            for (int j = 0; j <= m.ny; ++j)
                for (int i = 0; i <= m.nx; ++i)
                    v[m.Node(i, j, k)] = f(m.lx * i / m.nx, m.ly * j / m.ny, m.lz * k / m.nz);
        return v;
    };
    for (const auto& pair : kPairs) {
        const zylmodal::BoxMesh& fine = pair.fine;
        const zylmodal::BoxMesh coarse = zylmodal::CoarserBox(fine);
        SCOPED_TRACE(std::to_string(fine.nx) + "x" + std::to_string(fine.ny) + "x" + std::to_string(fine.nz));
        EXPECT_EQ(coarse.nx, pair.coarse[0]);
        EXPECT_EQ(coarse.ny, pair.coarse[1]);
        EXPECT_EQ(coarse.nz, pair.coarse[2]);
        ZylSrvSparseMatrix P(fine.NumberOfNodes(), coarse.NumberOfNodes());
        zylmodal::AssembleProlongation(fine, coarse, P);
        const std::vector<double> expected = nodal(fine), coarseValues = nodal(coarse);
        std::vector<double> values(expected.size());
        P.Multiply(coarseValues.data(), 1, values.data(), false);
        for (std::size_t i = 0; i < values.size(); ++i)
            ASSERT_NEAR(values[i], expected[i], 1e-12) << "node " << i;
    }
}

// x <- x + B (b - A x) with the V-cycle B: the A-norm of the error must fall
// by a factor per cycle that does not grow with refinement, and as much as
// the smoother's degree makes it (within 15 % of the factors measured; a
// smoother without its Chebyshev momentum gives 0.082 for 0.058, one step
// too many 0.05 for 0.20); B must be symmetric (u^T B v = v^T B u) for LOBPCG.
TEST(ModalMultigrid, VCycleContractsIndependentlyOfTheMesh)
{
    const struct {
        zylmodal::BoxMesh mesh;
        int smoothingSteps;
        double contraction;
    } kCases[] = {
        {{1.0, 1.0, 1.0, 8, 8, 8}, 1, 0.212},
        {{1.0, 1.0, 1.0, 16, 16, 16}, 1, 0.200},
        {{1.2, 0.8, 0.6, 18, 10, 14}, 1, 0.342}, // non-nested below 9 x 5 x 7
        {{1.2, 0.8, 0.6, 18, 10, 14}, 3, 0.0576},
    };
    const int cycles = 5;
    const long live = mem_LiveBlocks();
    for (const auto& c : kCases) {
        const zylmodal::BoxMesh& mesh = c.mesh;
        SCOPED_TRACE(std::to_string(mesh.nx) + "x" + std::to_string(mesh.ny) + "x" + std::to_string(mesh.nz) +
                     ", smoothing steps " + std::to_string(c.smoothingSteps));
        zylmodal::MultigridOptions options;
        options.smoothingSteps = c.smoothingSteps;
        options.shift = kPi * kPi;
        options.coarsestUnknowns = 30;
        const zylmodal::Multigrid mg(mesh, options);
        ASSERT_GE(mg.NumberOfLevels(), 3);
        const ZylSrvSparseMatrix& A = mg.Operator(0);
        const std::size_t n = static_cast<std::size_t>(A.NumberOfRows());
        std::mt19937 engine(3);
        std::uniform_real_distribution<double> uniform(-1.0, 1.0);
        std::vector<double> solution(n), x(n, 0.0), b(n), r(n), ae(n);
        for (double& v : solution)
            v = uniform(engine);
        A.Multiply(solution.data(), 1, b.data(), false);
        auto energyOfError = [&]() {
            std::vector<double> e(n);
            for (std::size_t i = 0; i < n; ++i)
                e[i] = x[i] - solution[i];
            A.Multiply(e.data(), 1, ae.data(), false);
            double sum = 0.0;
            for (std::size_t i = 0; i < n; ++i)
                sum += e[i] * ae[i];
            return std::sqrt(sum);
        };
        const double initial = energyOfError();
        for (int cycle = 0; cycle < cycles; ++cycle) {
            A.Multiply(x.data(), 1, r.data(), false);
            for (std::size_t i = 0; i < n; ++i)
                r[i] = b[i] - r[i];
            mg.Apply(r.data(), 1);
            for (std::size_t i = 0; i < n; ++i)
                x[i] += r[i];
        }
        EXPECT_NEAR(std::pow(energyOfError() / initial, 1.0 / cycles), c.contraction, 0.15 * c.contraction);

        std::vector<double> uv(2 * n);
        for (double& v : uv)
            v = uniform(engine);
        std::vector<double> buv(uv);
        mg.Apply(buv.data(), 2);
        double uBv = 0.0, vBu = 0.0, scale = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            uBv += uv[i] * buv[n + i];
            vBu += uv[n + i] * buv[i];
            scale += std::fabs(uv[i] * buv[n + i]);
        }
        EXPECT_NEAR(uBv, vBu, 1e-12 * scale);
    }
    EXPECT_EQ(mem_LiveBlocks(), live) << "the hierarchies leaked";
}

// LOBPCG with the V-cycle takes about as many iterations at every mesh size.
TEST(ModalMultigrid, IterationsStayFlatUnderRefinement)
{
    std::vector<int> iterations;
    for (int d : {8, 16, 32}) {
        SCOPED_TRACE(d);
        const zylmodal::BoxMesh cube{1.0, 1.0, 1.0, d, d, d};
        const int n = cube.NumberOfNodes();
        ZylSrvSparseMatrix K(n, n), M(n, n);
        zylmodal::Assemble(cube, zylmodal::Operator::Stiffness, K);
        zylmodal::Assemble(cube, zylmodal::Operator::Mass, M);
        zylmodal::LobpcgOptions options;
        options.modes = 8;
        options.tolerance = 1e-8;
        iterations.push_back(Lobpcg(cube, K, M, options, 2000).statistics.iterations);
    }
    const auto [fewest, most] = std::minmax_element(iterations.begin(), iterations.end());
    EXPECT_LE(*most, 1.5 * *fewest) << iterations[0] << ", " << iterations[1] << ", " << iterations[2];
}

// On the example's default box both preconditioners find the mesh's
// eigenvalues in closed form, and so agree with each other.
TEST(ModalMultigrid, BothPreconditionersFindTheDefaultBoxModes)
{
    const zylmodal::BoxMesh box;
    const int n = box.NumberOfNodes(), modes = 20;
    ZylSrvSparseMatrix K(n, n), M(n, n);
    zylmodal::Assemble(box, zylmodal::Operator::Stiffness, K);
    zylmodal::Assemble(box, zylmodal::Operator::Mass, M);
    const std::vector<zylmodal::BoxMode> closedForm = zylmodal::LowestBoxModes(box, modes);
    zylmodal::LobpcgOptions options;
    options.modes = modes;
    options.tolerance = 1e-10;
    for (int coarsestUnknowns : {0, 2000}) {
        SCOPED_TRACE(coarsestUnknowns == 0 ? "Jacobi" : "multigrid");
        std::vector<double> lambda = Lobpcg(box, K, M, options, coarsestUnknowns).eigenvalues;
        ASSERT_EQ(static_cast<int>(lambda.size()), modes);
        std::sort(lambda.begin(), lambda.end());
        for (int m = 0; m < modes; ++m)
            EXPECT_NEAR(lambda[m], closedForm[m].discrete, 1e-8 * std::max(closedForm[m].discrete, 1.0))
                << "mode " << m;
    }
}

// Three modes locked after iterations 3, 5 and 7, mode m at 10^-(i + m) in
// iteration i: one line per mode with as many points as it had iterations,
// left to right, each at the height of its decade's label.
TEST(ModalConvergencePlot, DrawsEachModeAgainstTheDecadeLabels)
{
    const int lockedAfter[] = {3, 5, 7};
    zylmodal::ConvergencePlot plot;
    int first = 0; // the modes locked before iteration i
    for (int i = 1; i <= 7; ++i) {
        while (lockedAfter[first] < i)
            ++first;
        std::vector<double> residuals;
        for (int m = first; m < 3; ++m)
            residuals.push_back(std::pow(10.0, -(i + m)));
        plot.Add(i, first, residuals);
    }
    ASSERT_TRUE(plot.Write("convergence.svg", "three modes", 1e-8));
    std::stringstream text;
    text << std::ifstream("convergence.svg").rdbuf();
    std::remove("convergence.svg");
    const std::string svg = text.str();

    std::map<int, double> labelHeight; // decade -> y
    const std::regex label(R"svg(<text[^>]* y="([-0-9.]+)"[^>]*>1e(-?[0-9]+)</text>)svg");
    for (auto it = std::sregex_iterator(svg.begin(), svg.end(), label); it != std::sregex_iterator(); ++it)
        labelHeight[std::stoi((*it)[2])] = std::stod((*it)[1]);
    const std::regex polyline(R"svg(<polyline[^>]* points="([^"]*)")svg");
    int m = 0;
    for (auto it = std::sregex_iterator(svg.begin(), svg.end(), polyline); it != std::sregex_iterator(); ++it, ++m) {
        SCOPED_TRACE("mode " + std::to_string(m));
        ASSERT_LT(m, 3);
        std::istringstream points((*it)[1]);
        double x = 0.0, y = 0.0, previousX = -1.0;
        char comma = 0;
        int i = 0;
        while (points >> x >> comma >> y) {
            ++i;
            EXPECT_GT(x, previousX);
            previousX = x;
            ASSERT_EQ(labelHeight.count(-(i + m)), 1u) << "no label 1e" << -(i + m);
            EXPECT_NEAR(y, labelHeight[-(i + m)], 1.0) << "iteration " << i;
        }
        EXPECT_EQ(i, lockedAfter[m]);
    }
    EXPECT_EQ(m, 3);
}

} // namespace
