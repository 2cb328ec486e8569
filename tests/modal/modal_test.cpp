// The modal example's solver and model: every computed eigenpair against a
// dense generalized eigen-solution of the same matrices, and the eigenvalues
// against the analytic modes of the box as the mesh is refined.
#include <Lobpcg.h>
#include <ModalProblem.h>

#include "support/ReferenceMatrix.h"

#include <mtx/ZylSrvMatrix.h>
#include <mtx/ZylSrvScratchDenseMatrix.h>
#include <mtx/ZylSrvSparseMatrix.h>
#include <platform/mem.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
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
};

Solved Solve(const zylmodal::BoxMesh& mesh, int modes, double tolerance)
{
    const int n = mesh.NumberOfNodes();
    ZylSrvSparseMatrix K(n, n), M(n, n);
    zylmodal::Assemble(mesh, zylmodal::Operator::Stiffness, K);
    zylmodal::Assemble(mesh, zylmodal::Operator::Mass, M);
    zylmodal::LobpcgOptions options;
    options.modes = modes;
    options.tolerance = tolerance;
    options.rowBlock = 16; // several row blocks in the mode set
    zylmodal::LobpcgResult result = zylmodal::SolveLowestModes(K, M, options);
    EXPECT_TRUE(result.converged);
    Solved s{Dense(K), Dense(M), result.eigenvalues, RefMatrix(n, modes)};
    s.modes.v = zylmodal::ReadColumns(*result.modes, modes);
    return s;
}

struct SmallCase {
    const char* name;
    zylmodal::BoxMesh mesh;
    int modes;
};

// A box with distinct and coinciding frequencies, and a cube whose first
// nonzero frequencies are threefold, cut after three such clusters.
const SmallCase kSmallCases[] = {
    {"box 4x3x3", {1.2, 0.8, 0.6, 4, 3, 3}, 12},
    {"cube 4x4x4", {1.0, 1.0, 1.0, 4, 4, 4}, 11},
};

TEST(ModalSolver, FindsEveryEigenpairOfTheDenseSolution)
{
    const double tolerance = 1e-9;
    for (const SmallCase& c : kSmallCases) {
        SCOPED_TRACE(c.name);
        Solved s = Solve(c.mesh, c.modes, tolerance);
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
            EXPECT_LT(std::sqrt(rr) / (normK * std::sqrt(xx)), tolerance) << "mode " << m;
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

} // namespace
