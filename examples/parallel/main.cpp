// A projection V^T (A V) on the MPI flavour: A (n x n) and V (n x k) live out
// of core in scratch database files that every rank shares. Each rank writes
// its own bands of rows of A and V from a formula (independent writes), then
// all ranks form W = A V (a result in the database, each rank writing the
// bands it owns) and G = V^T W (k x k in memory, summed over the bands in an
// order fixed by the bands, never by the ranks). Rank 0 prints the time, a
// check of three entries of G against sums taken straight from the formulas,
// and a digest of G's bytes: the same for every rank count.
//
//   mpirun -np 2 ./zyl_example_parallel [--size n] [--columns k] [--block b]
#include <mtx/ZylSrvLinearAlgebra.h>
#include <mtx/ZylSrvMatrix.h>
#include <mtx/ZylSrvScratchDenseMatrix.h>
#include <mtx/mpi/ZylSrvLinearAlgebraParallel.h>
#include <platform/ZylBasException.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

struct Options {
    int n = 4096, k = 256, block = 512;
};

Options Parse(int argc, char** argv)
{
    Options o;
    for (int i = 1; i + 1 < argc; i += 2) {
        const int value = std::atoi(argv[i + 1]);
        if (std::strcmp(argv[i], "--size") == 0)
            o.n = value;
        else if (std::strcmp(argv[i], "--columns") == 0)
            o.k = value;
        else if (std::strcmp(argv[i], "--block") == 0)
            o.block = value;
    }
    return o;
}

double AValue(int i, int j) { return 1.0 / (1.0 + std::abs(i - j)) + ((i + j) % 7 == 0 ? 0.25 : 0.0); }
double VValue(int i, int j) { return std::sin(0.001 * (i + 1) * (j + 1)); }

int Rank()
{
    int rank = 0;
    MPI_Comm_rank(MPI_COMM_WORLD, &rank);
    return rank;
}
int Ranks()
{
    int ranks = 1;
    MPI_Comm_size(MPI_COMM_WORLD, &ranks);
    return ranks;
}

// This rank's contiguous share of the row blocks, written band by band.
template <typename Formula>
void FillOwnRows(ZylSrvDenseMatrix& m, int block, Formula value)
{
    const int blocks = (m.NumberOfRows() + block - 1) / block;
    const int first = blocks * Rank() / Ranks(), end = blocks * (Rank() + 1) / Ranks();
    for (int b = first; b < end; ++b) {
        const int r0 = b * block, r1 = std::min(m.NumberOfRows(), r0 + block) - 1;
        ZylSrvMatrix band(r1 - r0 + 1, m.NumberOfColumns());
        for (int j = 0; j < m.NumberOfColumns(); ++j)
            for (int i = r0; i <= r1; ++i)
                band.Values()[(i - r0) + static_cast<std::size_t>(r1 - r0 + 1) * j] = value(i, j);
        m.SetValues(r0, r1, 0, m.NumberOfColumns() - 1, band);
    }
}

// G(a, b) straight from the formulas: sum over p, q of V(p, a) A(p, q) V(q, b).
double ProjectedEntry(int n, int a, int b)
{
    std::vector<double> vb(static_cast<std::size_t>(n));
    for (int q = 0; q < n; ++q)
        vb[q] = VValue(q, b);
    double sum = 0.0;
    for (int p = 0; p < n; ++p) {
        double row = 0.0;
        for (int q = 0; q < n; ++q)
            row += AValue(p, q) * vb[q];
        sum += VValue(p, a) * row;
    }
    return sum;
}

std::uint64_t Digest(const ZylSrvMatrix& m)
{
    std::uint64_t h = 1469598103934665603ull;
    const auto* bytes = reinterpret_cast<const unsigned char*>(m.Values());
    const std::size_t count = static_cast<std::size_t>(m.NumberOfRows()) * m.NumberOfColumns() * sizeof(double);
    for (std::size_t i = 0; i < count; ++i)
        h = (h ^ bytes[i]) * 1099511628211ull;
    return h;
}

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

int Project(const Options& o)
{
    ZylSrvScratchDenseMatrix A(o.n, o.n, o.block, o.block), V(o.n, o.k, o.block, o.block), W(o.n, o.k, o.block, o.block);
    FillOwnRows(A, o.block, AValue);
    FillOwnRows(V, o.block, VValue);
    MPI_Barrier(MPI_COMM_WORLD);
    const auto start = std::chrono::steady_clock::now();
    A.Multiply(V, W); // W = A V, out of core
    const double product = Seconds(start);
    ZylSrvMatrix G(o.k, o.k);
    V.TransposeMultiply(static_cast<const ZylSrvDenseMatrix*>(&W), G, 0); // G = V^T W, in memory
    const double total = Seconds(start);
    if (Rank() != 0)
        return 0;
    double worst = 0.0;
    const int samples[3][2] = {{0, 0}, {o.k / 2, 1}, {o.k - 1, o.k - 1}};
    for (const auto& s : samples) {
        const double exact = ProjectedEntry(o.n, s[0], s[1]);
        worst = std::max(worst, std::fabs(G.Element(s[0], s[1]) - exact) / std::max(1.0, std::fabs(exact)));
    }
    std::printf("ranks: %d  A: %d x %d, V: %d x %d, blocks of %d\n", Ranks(), o.n, o.n, o.n, o.k, o.block);
    std::printf("time: %.3f s (A V %.3f s, V^T (A V) %.3f s)\n", total, product, total - product);
    std::printf("check: largest relative error of 3 entries against the formulas %.2e\n", worst);
    std::printf("digest: %016llx\n", static_cast<unsigned long long>(Digest(G)));
    return worst < 1e-10 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    MPI_Init(&argc, &argv);
    int tally = 0, status = 1;
    try {
        ZylSrvLinearAlgebra_initialize_parallel(tally, MPI_COMM_WORLD);
        status = Project(Parse(argc, argv));
        ZylSrvLinearAlgebra_finalize(tally);
    } catch (const ZylBasException& e) {
        std::fprintf(stderr, "rank %d: %s\n", Rank(), e.DeveloperReport().Chars());
        MPI_Abort(MPI_COMM_WORLD, 1);
    }
    MPI_Finalize();
    return status;
}
