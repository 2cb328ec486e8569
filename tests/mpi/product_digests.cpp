// Digests of the distributed products, for comparison across rank counts:
// every product of the dense, Hermitian and sparse classes on out-of-core
// operands that rank 0 alone wrote, each result digested (FNV-1a over its
// bytes) on every rank. The ranks must agree on every digest; rank 0 writes
// them, one line a product, to the file named by the first argument. ctest
// runs this on 1, 2 and 3 ranks and then compares the three files: a band
// sum combined in arrival order or grouped by rank would tell them apart.
#include <mtx/ZylSrvHermitianScrDenseMatrix.h>
#include <mtx/ZylSrvLinearAlgebra.h>
#include <mtx/ZylSrvMatrix.h>
#include <mtx/ZylSrvScratchDenseMatrix.h>
#include <mtx/ZylSrvSparseMatrix.h>
#include <mtx/mpi/ZylSrvLinearAlgebraParallel.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using Values = std::vector<double>;

std::uint64_t Digest(const double* values, std::size_t count)
{
    std::uint64_t h = 1469598103934665603ull;
    const auto* bytes = reinterpret_cast<const unsigned char*>(values);
    for (std::size_t k = 0; k < count * sizeof(double); ++k)
        h = (h ^ bytes[k]) * 1099511628211ull;
    return h;
}
std::uint64_t Digest(const Values& v) { return Digest(v.data(), v.size()); }
std::uint64_t Digest(const ZylSrvMatrix& m)
{
    return Digest(m.Values(), static_cast<std::size_t>(m.NumberOfRows()) * m.NumberOfColumns());
}

// Deterministic, not too regular values (no two products share structure).
double Value(int i, int j, int seed)
{
    return ((i * 7919 + j * 104729 + seed * 31) % 1009) / 1009.0 - 0.5 + 1e-3 * ((i * 31 + j + seed) % 17);
}

ZylSrvMatrix Filled(int rows, int columns, int seed)
{
    ZylSrvMatrix m(rows, columns);
    for (int j = 0; j < columns; ++j)
        for (int i = 0; i < rows; ++i)
            m.Values()[i + static_cast<std::size_t>(rows) * j] = Value(i, j, seed);
    return m;
}

bool WritesOperands()
{
    int rank = 0;
    MPI_Comm_rank(MPI_COMM_WORLD, &rank);
    return rank == 0;
}

// Rank 0 alone writes (an independent call); the products order it first.
void Fill(ZylSrvDenseMatrix& m, int seed)
{
    if (WritesOperands())
        m.SetValues(0, m.NumberOfRows() - 1, 0, m.NumberOfColumns() - 1,
                    Filled(m.NumberOfRows(), m.NumberOfColumns(), seed));
}

ZylSrvMatrix Stored(const ZylSrvDenseMatrix& m)
{
    ZylSrvMatrix all(m.NumberOfRows(), m.NumberOfColumns());
    m.GetValues(0, m.NumberOfRows() - 1, 0, m.NumberOfColumns() - 1, all);
    return all;
}

std::vector<int> GroupsOf(int rows, int size)
{
    std::vector<int> groups;
    for (int left = rows; left > 0; left -= size)
        groups.push_back(left < size ? left : size);
    return groups;
}

class Report {
public:
    explicit Report(const char* path) : m_file(WritesOperands() ? std::fopen(path, "w") : nullptr) {}
    ~Report()
    {
        if (m_file != nullptr)
            std::fclose(m_file);
    }
    bool Opened() const { return m_file != nullptr || !WritesOperands(); }
    bool Agreed() const { return m_agreed; }

    // Every rank must hold the same digest.
    void Add(const char* product, std::uint64_t digest)
    {
        std::uint64_t low = digest, high = digest;
        MPI_Allreduce(MPI_IN_PLACE, &low, 1, MPI_UINT64_T, MPI_MIN, MPI_COMM_WORLD);
        MPI_Allreduce(MPI_IN_PLACE, &high, 1, MPI_UINT64_T, MPI_MAX, MPI_COMM_WORLD);
        if (low != high) {
            std::fprintf(stderr, "%s: the ranks disagree\n", product);
            m_agreed = false;
        }
        if (m_file != nullptr)
            std::fprintf(m_file, "%s %016llx\n", product, static_cast<unsigned long long>(digest));
    }

private:
    std::FILE* m_file;
    bool m_agreed = true;
};

void DenseProducts(Report& report)
{
    const int m = 1000, k = 300, n = 40;
    ZylSrvScratchDenseMatrix A(m, k, 64, 64), Bm(m, n, 64, 64), Bk(k, n, 64, 64);
    Fill(A, 1);
    Fill(Bm, 2);
    Fill(Bk, 3);
    const ZylSrvMatrix X = Filled(k, n, 4), Y = Filled(m, n, 5);

    Values y5(static_cast<std::size_t>(m) * n, 0.25);
    A.Multiply(X.Values(), n, y5.data());
    report.Add("slot5", Digest(y5));
    ZylSrvMatrix c6(m, n);
    A.Multiply(X, c6);
    report.Add("slot6", Digest(c6));
    Values c7(static_cast<std::size_t>(m) * n);
    A.Multiply(&Bk, c7.data());
    report.Add("slot7", Digest(c7));
    ZylSrvScratchDenseMatrix C8(m, n, 64, 64);
    A.Multiply(Bk, C8);
    report.Add("slot8", Digest(Stored(C8)));
    // Deep and wide: the memory budget makes all of C's rows one band on one
    // rank, cut into one band per rank on more.
    ZylSrvScratchDenseMatrix Adeep(200, 1000, 64, 64), Bwide(1000, 600, 64, 64), Cwide(200, 600, 64, 64);
    Fill(Adeep, 11);
    Fill(Bwide, 12);
    Adeep.Multiply(Bwide, Cwide);
    report.Add("slot8wide", Digest(Stored(Cwide)));
    ZylSrvScratchDenseMatrix C9(m, n, 64, 64);
    Fill(C9, 6);
    A.Multiply(1.5, X, 0.5, C9);
    report.Add("slot9", Digest(Stored(C9)));
    ZylSrvScratchDenseMatrix C10(m, k, 64, 64);
    Fill(C10, 7);
    C10.MultiplyAssign(Filled(k, k, 8));
    report.Add("slot10", Digest(Stored(C10)));
    Values y11(static_cast<std::size_t>(k) * n, 0.5);
    A.TransposeMultiply(Y.Values(), n, y11.data(), m);
    report.Add("slot11", Digest(y11));
    ZylSrvMatrix c12(k, n);
    A.TransposeMultiply(nullptr, Y, c12, 1.5, 0.0);
    report.Add("slot12", Digest(c12));
    ZylSrvMatrix c14(k, n);
    A.TransposeMultiply(Y, c14, 0);
    report.Add("slot14", Digest(c14));
    ZylSrvScratchDenseMatrix C15(k, n, 64, 64);
    A.TransposeMultiply(static_cast<const ZylSrvDenseMatrix*>(&Bm), &C15, 0);
    report.Add("slot15", Digest(Stored(C15)));
    ZylSrvMatrix c17(k, n), s17(k, k);
    A.TransposeMultiply(static_cast<const ZylSrvDenseMatrix*>(&Bm), c17, 0);
    report.Add("slot17", Digest(c17));
    A.TransposeMultiply(static_cast<const ZylSrvDenseMatrix*>(&A), s17, 1);
    report.Add("slot17 symmetric", Digest(s17));
}

void HermitianProducts(Report& report)
{
    const int m = 1000, k = 150, n = 40;
    const std::vector<int> groups = GroupsOf(m, 6); // straddling the 64-row blocks
    ZylSrvHermitianScrDenseMatrix H(m, k, static_cast<int>(groups.size()), groups.data(), 64, 64, 0);
    ZylSrvScratchDenseMatrix B(m, n, 64, 64);
    Fill(H, 9);
    Fill(B, 10);
    const ZylSrvMatrix X = Filled(2 * k, n, 11), Y = Filled(m, n, 12);

    Values y5(static_cast<std::size_t>(m) * n, 0.125);
    H.Multiply(X.Values(), n, y5.data());
    report.Add("hermitian slot5", Digest(y5));
    ZylSrvScratchDenseMatrix Y9(m, n, 64, 64);
    Fill(Y9, 13);
    H.Multiply(0.75, X, 0.5, Y9);
    report.Add("hermitian slot9", Digest(Stored(Y9)));
    Values y11(static_cast<std::size_t>(2) * k * n);
    H.TransposeMultiply(Y.Values(), n, y11.data(), m);
    report.Add("hermitian slot11", Digest(y11));
    ZylSrvMatrix c17(2 * k, n);
    H.TransposeMultiply(static_cast<const ZylSrvDenseMatrix*>(&B), c17, 0);
    report.Add("hermitian slot17", Digest(c17));
    const std::vector<int> fives = GroupsOf(m, 5);
    ZylSrvHermitianScrDenseMatrix H10(m, m / 2, static_cast<int>(fives.size()), fives.data(), 64, 64, 0);
    Fill(H10, 14);
    H10.MultiplyAssign(Filled(m, m / 2, 15));
    report.Add("hermitian slot10", Digest(Stored(H10)));
}

void SparseProducts(Report& report)
{
    const int m = 1000, k = 300, n = 90;
    ZylSrvSparseMatrix S(m, k); // replicated, as the solver holds it
    for (int i = 0; i < m; ++i) {
        S.AddData(i, (i * 7) % k, Value(i, 1, 16));
        S.AddData(i, (i * 13 + 5) % k, Value(i, 2, 16));
    }
    S.EndAssembly();
    ZylSrvScratchDenseMatrix D(m, n, 64, 16), R(k, n, 64, 16);
    Fill(D, 17);
    Values out(static_cast<std::size_t>(k) * n);
    S.MultiplyDense(D, out.data(), true);
    report.Add("sparse into memory", Digest(out));
    S.MultiplyDense(D, R, true);
    report.Add("sparse into the database", Digest(Stored(R)));
}

} // namespace

int main(int argc, char** argv)
{
    MPI_Init(&argc, &argv);
    int tally = 0;
    bool agreed = false, opened = false;
    ZylSrvLinearAlgebra_initialize_parallel(tally, MPI_COMM_WORLD);
    {
        Report report(argc > 1 ? argv[1] : "");
        opened = report.Opened();
        if (opened) {
            DenseProducts(report);
            HermitianProducts(report);
            SparseProducts(report);
        }
        agreed = report.Agreed();
    }
    ZylSrvLinearAlgebra_finalize(tally);
    MPI_Finalize();
    return opened && agreed ? 0 : 1;
}
