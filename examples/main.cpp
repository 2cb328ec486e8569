// The dense matrices, small and out of core (the main example, the modal
// analysis, lives in examples/modal/).
//
// First, small matrices in memory: an LU solve with its residual, a 2 x 2
// generalized symmetric eigenproblem and an error of the library's family.
//
// Then, out of core: two 4096 x 4096 matrices of doubles (128 MiB each)
// live in scratch database files in blocks of 512 x 512. They are filled
// band by band from a formula, so this program never holds a whole matrix:
// its own staging is one band of 512 rows (16 MiB). They are multiplied
// twice: dense by dense into a third scratch matrix (the library stages
// bands sized from its memory budget), and as a row-block stream against a
// narrow matrix in memory. Sampled entries of both products are checked
// against dot products computed directly from the formula. The scratch files
// lie in the current directory and are gone when the matrices are.
#include <mtx/ZylSrvLinearAlgebra.h>
#include <mtx/ZylSrvMatrix.h>
#include <mtx/ZylSrvScratchDenseMatrix.h>
#include <platform/ZylBasException.h>

#include <dirent.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// ---- small matrices ---------------------------------------------------------

void SolveASmallSystem()
{
    // A x = b with x = (1, 2, 3).
    double aValues[9] = {4, 3, 2, -2, 6, 1, 1, -4, 8}; // column-major
    const ZylSrvMatrix a(3, 3, aValues, false, false);
    double exact[3] = {1, 2, 3};
    const ZylSrvMatrix x(3, 1, exact);
    ZylSrvMatrix b(3, 1);
    a.Multiply(x, b, 0, 0); // b := a * x

    ZylSrvMatrix factors(a); // Factorize works in place: keep a intact
    int pivots[3];
    factors.Factorize(pivots);
    ZylSrvMatrix solution(b);
    factors.ForwardBackwardPass(pivots, solution, false);

    ZylSrvMatrix residual(b);
    a.Multiply(solution, residual, 0, 0);
    residual.Add(-1.0, b); // a * solution - b
    double largest = 0.0;
    for (int i = 0; i < 3; ++i)
        largest = std::fmax(largest, std::fabs(residual.Element(i, 0)));
    std::printf("LU solve: x = (%.15g, %.15g, %.15g), max |A x - b| = %.3g\n", solution.Element(0, 0),
                solution.Element(1, 0), solution.Element(2, 0), largest);
}

void SolveAnEigenproblem()
{
    // A z = lambda B z with A = [[6, 2], [2, 3]], B = diag(2, 1).
    double aValues[4] = {6, 2, 2, 3};
    double bDiagonal[2] = {2, 1};
    ZylSrvMatrix a(2, 2, aValues, true, false);
    const ZylSrvMatrix b(2, 2, bDiagonal, true, true);
    ZylSrvMatrix lambda(2, 1);
    ZylSrvMatrix z(2, 2);
    a.SolveEigenproblemSymmetric(b, lambda, z);
    std::printf("eigenvalues: %.15g, %.15g\n", lambda.Element(0, 0), lambda.Element(1, 0));
}

void ReportAnError()
{
    double diagonal[3] = {2, 0, 4};
    ZylSrvMatrix d(3, 3, diagonal, false, true);
    try {
        d.Factorize(nullptr); // a diagonal matrix inverts in place; the zero stops it
    } catch (const ZylBasException& e) {
        std::printf("error %d: %s\n", e.ErrorCode(), e.AsString().Chars());
    }
}

// ---- out of core ------------------------------------------------------------

const int kOrder = 4096;  // both matrices are kOrder x kOrder
const int kBlock = 512;   // block size of the scratch drawers
const int kNarrow = 64;   // columns of the in-memory right-hand side
const int kSamples = 64;  // entries checked per product

// The formulas. Every value is a multiple of 1/8 below 4 in magnitude, so
// each product term is a multiple of 1/64 and every partial sum of a dot
// product of length 4096 is exact in double precision, in any order: DGEMM
// and the direct loops below must agree to the last bit.
double AValue(int i, int j) { return ((i + 2 * j) % 7 - 3) * 0.25; }
double BValue(int i, int j) { return ((3 * i + j) % 5 - 2) * 0.5; }
double XValue(int i, int j) { return ((i + 5 * j) % 3 - 1) * 0.125; }

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Writes value(i, j) into m one row block at a time through one band.
template <typename Formula>
void FillByBands(ZylSrvDenseMatrix& m, const char* name, Formula value)
{
    const auto start = std::chrono::steady_clock::now();
    const int columns = m.NumberOfColumns();
    ZylSrvMatrix band(m.MaxNumberOfRowsInBlock(), columns); // the only staging
    std::printf("  filling %s:", name);
    for (int b = 0; b < m.NumberOfRowBlocks(); ++b) {
        const int r0 = m.FirstRowInBlock(b);
        const int rows = m.NumberOfRowsInBlock(b);
        double* v = band.Values(); // packed: leading dimension `rows`
        for (int j = 0; j < columns; ++j)
            for (int i = 0; i < rows; ++i)
                v[i + static_cast<std::int64_t>(rows) * j] = value(r0 + i, j);
        m.SetRows(r0, r0 + rows - 1, band);
        std::printf(" %d/%d", b + 1, m.NumberOfRowBlocks());
        std::fflush(stdout);
    }
    std::printf("  (%.2f s)\n", Seconds(start));
}

// Sampled (row, column) pairs: the four corners, block borders and a
// scatter of pseudo-random entries.
std::vector<std::pair<int, int>> Samples(int rows, int columns)
{
    std::vector<std::pair<int, int>> s = {{0, 0}, {rows - 1, 0}, {0, columns - 1}, {rows - 1, columns - 1},
                                          {kBlock - 1, columns - 1}, {kBlock, 0}};
    if (columns > kBlock) // across a column block border too
        s.insert(s.end(), {{kBlock - 1, kBlock}, {kBlock, kBlock - 1}});
    std::uint64_t state = 12345;
    for (int k = static_cast<int>(s.size()); k < kSamples; ++k) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        const int i = static_cast<int>((state >> 33) % static_cast<std::uint64_t>(rows));
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        const int j = static_cast<int>((state >> 33) % static_cast<std::uint64_t>(columns));
        s.push_back({i, j});
    }
    return s;
}

// Largest difference between `actual(i, j)` and the direct dot product of
// row i of A with column j of `right` over the samples.
template <typename Actual, typename Right>
double LargestSampleError(int columns, Actual actual, Right right)
{
    double largest = 0.0;
    for (const auto& [i, j] : Samples(kOrder, columns)) {
        double expected = 0.0;
        for (int l = 0; l < kOrder; ++l)
            expected += AValue(i, l) * right(l, j);
        largest = std::fmax(largest, std::fabs(actual(i, j) - expected));
    }
    return largest;
}

// Number of scratch database files in the current directory.
int ScratchFilesHere()
{
    int count = 0;
    if (DIR* d = opendir(".")) {
        while (dirent* e = readdir(d))
            if (std::strncmp(e->d_name, "ZylSrvScratchDenseMatrix", 24) == 0)
                ++count;
        closedir(d);
    }
    return count;
}

bool MultiplyOutOfCore()
{
    const double mib = static_cast<double>(kOrder) * kOrder * sizeof(double) / (1024.0 * 1024.0);
    std::printf("out of core: A and B of %d x %d (%.0f MiB each) in blocks of %d\n", kOrder, kOrder, mib, kBlock);
    bool good = true;
    {
        ZylSrvScratchDenseMatrix a(kOrder, kOrder, kBlock, kBlock);
        ZylSrvScratchDenseMatrix b(kOrder, kOrder, kBlock, kBlock);
        ZylSrvScratchDenseMatrix c(kOrder, kOrder, kBlock, kBlock);
        std::printf("  %d scratch files, %d x %d blocks each; own staging one band of %d x %d (%.0f MiB)\n",
                    ScratchFilesHere(), a.NumberOfRowBlocks(), a.NumberOfColumnBlocks(), kBlock, kOrder,
                    mib / a.NumberOfRowBlocks());
        FillByBands(a, "A", AValue);
        FillByBands(b, "B", BValue);

        // Dense by dense, all three in the database.
        std::printf("  C = A B (dense x dense into the database) ...");
        std::fflush(stdout);
        auto start = std::chrono::steady_clock::now();
        a.Multiply(b, c);
        double seconds = Seconds(start);
        std::printf(" %.2f s, %.1f GFLOP/s\n", seconds, 2.0 * kOrder * kOrder * kOrder / seconds * 1e-9);
        ZylSrvMatrix one(1, 1);
        const double errorC = LargestSampleError(
            kOrder,
            [&](int i, int j) {
                c.GetValues(i, i, j, j, one);
                return one.Values()[0];
            },
            BValue);
        std::printf("  C: largest difference from direct dot products on %d samples: %g\n", kSamples, errorC);
        good = good && errorC == 0.0;

        // Row-block stream against a narrow matrix in memory.
        ZylSrvMatrix x(kOrder, kNarrow);
        for (int j = 0; j < kNarrow; ++j)
            for (int i = 0; i < kOrder; ++i)
                x.Values()[i + static_cast<std::int64_t>(kOrder) * j] = XValue(i, j);
        ZylSrvMatrix y(kOrder, kNarrow);
        std::printf("  Y = A X (row blocks of A against X of %d x %d in memory) ...", kOrder, kNarrow);
        std::fflush(stdout);
        start = std::chrono::steady_clock::now();
        a.Multiply(x, y);
        seconds = Seconds(start);
        std::printf(" %.2f s\n", seconds);
        const double errorY =
            LargestSampleError(kNarrow, [&](int i, int j) { return y.Element(i, j); }, XValue);
        std::printf("  Y: largest difference from direct dot products on %d samples: %g\n", kSamples, errorY);
        good = good && errorY == 0.0;
    } // the three matrices go, and their files with them
    const int left = ScratchFilesHere();
    std::printf("  scratch files left: %d\n", left);
    return good && left == 0;
}

} // namespace

int main()
{
    int tally = 0;
    ZylSrvLinearAlgebra_initialize(tally);
    std::printf("library started (%d start-ups)\n", tally);
    int status = 0;
    try {
        SolveASmallSystem();
        SolveAnEigenproblem();
        ReportAnError();
        if (!MultiplyOutOfCore()) {
            std::printf("out-of-core check FAILED\n");
            status = 1;
        }
    } catch (const ZylBasException& e) {
        std::printf("unexpected error %d: %s\n", e.ErrorCode(), e.DeveloperReport().Chars());
        status = 1;
    }
    ZylSrvLinearAlgebra_finalize(tally);
    std::printf("library stopped (%d start-ups left)\n", tally);
    return status == 0 && tally == 0 ? 0 : 1;
}
