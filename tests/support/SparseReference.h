#ifndef TESTS_SUPPORT_SPARSEREFERENCE_H
#define TESTS_SUPPORT_SPARSEREFERENCE_H
// Sparse matrices next to their independent reference: random triplets with
// repeats, empty rows and columns; the dense matrix they sum to; the dense
// matrix a sparse matrix stands for (the symmetric form expanded); and the
// inspector that reads the compressed arrays and builds the symmetric form,
// which no public operation makes by itself.
#include <mtx/ZylSrvSparseMatrix.h>
#include <platform/mem.h>

#include <support/ReferenceMatrix.h>

#include <cstring>
#include <random>
#include <tuple>
#include <vector>

struct ZylSrvSparseMatrixInspector {
    static const unsigned int* RowOffsets(const ZylSrvSparseMatrix& a) { return a.rowOffsets; }
    static const int* ColumnIndices(const ZylSrvSparseMatrix& a) { return a.columnIndices; }
    static const double* Values(const ZylSrvSparseMatrix& a) { return a.values; }
    static const double* Diagonal(const ZylSrvSparseMatrix& a) { return a.diagonal; }
    static int Symmetry(const ZylSrvSparseMatrix& a) { return a.symmetry; }
    static bool IsAssembled(const ZylSrvSparseMatrix& a) { return a.isAssembled; }
    // Offsets, columns, values, diagonal, rows, columns, nonzeros, symmetry:
    // everything a stored matrix is, for comparisons of whole matrices.
    static auto Arrays(const ZylSrvSparseMatrix& a)
    {
        const int n = a.numRows;
        const unsigned m = a.rowOffsets[n];
        const double* d = a.diagonal;
        return std::make_tuple(std::vector<unsigned>(a.rowOffsets, a.rowOffsets + n + 1),
                               std::vector<int>(a.columnIndices, a.columnIndices + m),
                               std::vector<double>(a.values, a.values + m),
                               d ? std::vector<double>(d, d + n) : std::vector<double>(), n, a.numColumns,
                               a.numNonzeros, a.symmetry);
    }
    static long Pending(const ZylSrvSparseMatrix& a) { return a.pendingEntries.Count(); }
    static void ResetData(ZylSrvSparseMatrix& a, const std::vector<ZylSrvSparseMatrixEntry>& entries, int rows,
                          int cols)
    {
        a.ResetData(entries.data(), static_cast<int>(entries.size()), rows, cols);
    }
    // A matrix from compressed arrays through the private constructor; with a
    // diagonal it is in the symmetric form.
    static ZylSrvSparseMatrix* FromArrays(const std::vector<unsigned int>& offsets, const std::vector<int>& columns,
                                          const std::vector<double>& values, const std::vector<double>& diagonal,
                                          int numNonzeros, int rows, int cols)
    {
        mem_Array<unsigned int> o = Copy(offsets);
        mem_Array<int> c = Copy(columns);
        mem_Array<double> v = Copy(values), d = diagonal.empty() ? mem_Array<double>() : Copy(diagonal);
        return ZylSrvSparseMatrix::Adopt(o, c, v, d, numNonzeros, rows, cols);
    }

private:
    template <typename T>
    static mem_Array<T> Copy(const std::vector<T>& v)
    {
        mem_Array<T> a(v.size());
        if (!v.empty())
            std::memcpy(a.Get(), v.data(), v.size() * sizeof(T));
        return a;
    }
};

namespace zyltest {

using SparseHolder = mem_Unique<ZylSrvSparseMatrix>;

// `count` triplets on a rows x cols matrix with values in [-1, 1): positions
// drawn from a few rows and columns only, so rows and columns stay empty and
// positions repeat.
inline std::vector<ZylSrvSparseMatrixEntry> RandomTriplets(int rows, int cols, int count, unsigned seed)
{
    std::mt19937 engine(seed);
    std::uniform_int_distribution<int> row(0, rows - 1), col(0, cols - 1);
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    std::vector<ZylSrvSparseMatrixEntry> t;
    for (int k = 0; k < count; ++k) {
        unsigned r = static_cast<unsigned>(row(engine) | 1) % rows; // even rows stay empty when rows > 1
        t.push_back({r, static_cast<unsigned>(col(engine) * 3 % cols), value(engine)});
    }
    return t;
}

inline RefMatrix DenseOfTriplets(const std::vector<ZylSrvSparseMatrixEntry>& t, int rows, int cols)
{
    RefMatrix d(rows, cols);
    for (const ZylSrvSparseMatrixEntry& e : t)
        d(static_cast<int>(e.row), static_cast<int>(e.column)) += e.value;
    return d;
}

// The matrix a sparse matrix stands for, read from its arrays: in the
// symmetric form the diagonal plus each stored value at both places.
inline RefMatrix DenseOf(const ZylSrvSparseMatrix& a)
{
    using I = ZylSrvSparseMatrixInspector;
    RefMatrix d(a.NumberOfRows(), a.NumberOfColumns());
    const unsigned* offsets = I::RowOffsets(a);
    for (int i = 0; i < a.NumberOfRows(); ++i)
        for (unsigned k = offsets[i]; k < offsets[i + 1]; ++k) {
            const int j = I::ColumnIndices(a)[k];
            d(i, j) += I::Values(a)[k];
            if (I::Diagonal(a) != nullptr)
                d(j, i) += I::Values(a)[k];
        }
    if (I::Diagonal(a) != nullptr)
        for (int i = 0; i < a.NumberOfRows(); ++i)
            d(i, i) += I::Diagonal(a)[i];
    return d;
}

inline SparseHolder AssembledOf(const std::vector<ZylSrvSparseMatrixEntry>& t, int rows, int cols)
{
    SparseHolder a(mem_New<ZylSrvSparseMatrix>(rows, cols));
    for (const ZylSrvSparseMatrixEntry& e : t)
        a->AddData(e.row, e.column, e.value);
    a->EndAssembly();
    return a;
}

} // namespace zyltest

#endif
