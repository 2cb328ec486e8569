#include <mtx/ZylSrvSparseMatrix.h>

#include <blac/blac.h>
#include <mtx/ZylSrvDenseMatrix.h>
#include <mtx/ZylSrvFindContiguousRanges.h>
#include <mtx/ZylSrvMatrix.h>
#include <mtx/impl/ZylSrvMtxErrors.h>
#include <mtx/impl/internal/ZylSrvBandShare.h>
#include <mtx/impl/internal/ZylSrvRowSort.h>
#include <mtx/impl/internal/ZylSrvTripletAssembly.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <utility>

namespace {

constexpr const char* kRaiseSource = zyl_mtx::kSparseMatrixSource;

// With this many runs of rows or more, one read of a whole column block of
// the dense operand is cheaper than a read per run.
constexpr int kWholeBlockRuns = 1000;

constexpr unsigned int kMaxDimension = std::numeric_limits<int>::max();

template <typename T>
void Replace(T*& member, mem_Array<T>& fresh)
{
    mem_Free(std::exchange(member, fresh.Release()));
}

template <typename T>
void Zero(mem_Array<T>& a)
{
    std::fill(a.begin(), a.end(), T{});
}

// Offsets from row lengths held at [i+1]: prefix sums in place.
void PrefixSums(unsigned int* offsets, int numRows)
{
    offsets[0] = 0;
    for (int i = 0; i < numRows; ++i)
        offsets[i + 1] += offsets[i];
}

void Inverse(const int* perm, int n, int* inverse)
{
    for (int i = 0; i < n; ++i)
        inverse[perm[i]] = i;
}

// Rows with at least one stored value, in increasing order; the array has
// numRows entries of which the first `count` are meaningful.
mem_Array<unsigned int> NontrivialRows(const unsigned int* offsets, int numRows, int& count)
{
    mem_Array<unsigned int> list(numRows);
    count = 0;
    for (int i = 0; i < numRows; ++i)
        if (offsets[i + 1] > offsets[i])
            list[count++] = static_cast<unsigned int>(i);
    return list;
}

// Columns with at least one stored value, marked in place and then compacted
// to the front.
mem_Array<unsigned int> NontrivialColumns(const int* columns, unsigned int stored, int numColumns, int& count)
{
    mem_Array<unsigned int> list(numColumns);
    Zero(list);
    for (unsigned int k = 0; k < stored; ++k)
        list[columns[k]] = 1;
    count = 0;
    for (int c = 0; c < numColumns; ++c)
        if (list[c] != 0)
            list[count++] = static_cast<unsigned int>(c);
    return list;
}

} // namespace

// ---- storage and assembly ---------------------------------------------------

ZylSrvSparseMatrix::ZylSrvSparseMatrix(int rows, int columns) : numRows(rows), numColumns(columns) {}

ZylSrvSparseMatrix::ZylSrvSparseMatrix(unsigned int* offsets, int* columns, double* stored, double* diag,
                                       int nonzeros, int rows, int cols)
    : values(stored), columnIndices(columns), rowOffsets(offsets), diagonal(diag), numNonzeros(nonzeros),
      numRows(rows), numColumns(cols), symmetry(diag != nullptr ? 1 : 0), isAssembled(true)
{
}

ZylSrvSparseMatrix::~ZylSrvSparseMatrix()
{
    mem_Free(values);
    mem_Free(columnIndices);
    mem_Free(rowOffsets);
    mem_Free(diagonal);
}

void* ZylSrvSparseMatrix::operator new(std::size_t size) { return mem_OperatorNewThrow(size); }
void ZylSrvSparseMatrix::operator delete(void* block) noexcept { mem_Free(block); }
void* ZylSrvSparseMatrix::operator new[](std::size_t size) { return mem_OperatorNewThrow(size); }
void ZylSrvSparseMatrix::operator delete[](void* block) noexcept { mem_Free(block); }

ZylSrvSparseMatrix* ZylSrvSparseMatrix::Adopt(mem_Array<unsigned int>& offsets, mem_Array<int>& columns,
                                              mem_Array<double>& stored, mem_Array<double>& diag, int nonzeros,
                                              int rows, int cols)
{
    // The object comes first: its list allocates, and only a finished object
    // may take the arrays over.
    ZylSrvSparseMatrix* m = new ZylSrvSparseMatrix(nullptr, nullptr, nullptr, nullptr, nonzeros, rows, cols);
    m->rowOffsets = offsets.Release();
    m->columnIndices = columns.Release();
    m->values = stored.Release();
    m->diagonal = diag.Release();
    m->symmetry = m->diagonal != nullptr ? 1 : 0;
    return m;
}

void ZylSrvSparseMatrix::BeginAssembly()
{
    mem_Free(std::exchange(values, nullptr));
    mem_Free(std::exchange(columnIndices, nullptr));
    mem_Free(std::exchange(rowOffsets, nullptr));
    isAssembled = false;
}

void ZylSrvSparseMatrix::AddData(unsigned int row, unsigned int column, double value)
{
    // The dimensions are ints: an index they cannot reach is refused here
    // rather than turned into a negative size at the next assembly.
    ZYL_SRV_MTX_REFUSE_IF(row >= kMaxDimension || column >= kMaxDimension, "AddData");
    const int symmetryAfter = symmetry == 1 ? 2 : 0;
    if (isAssembled)
        KeepArraysValidFor(row);
    pendingEntries.Append({row, column, value});
    numRows = static_cast<int>(std::max(row + 1, static_cast<unsigned int>(numRows)));
    numColumns = static_cast<int>(std::max(column + 1, static_cast<unsigned int>(numColumns)));
    symmetry = symmetryAfter;
}

// An assembled matrix stays in use while triplets wait for the next assembly,
// and its arrays must keep matching its dimensions, which AddData grows at
// once. A symmetric form becomes the same matrix in the general form (a
// triplet stands for one place only); a new row gets empty rows up to it.
void ZylSrvSparseMatrix::KeepArraysValidFor(unsigned int row)
{
    if (diagonal != nullptr) {
        int count = 0;
        const mem_Unique<ZylSrvSparseMatrixEntry> entries(GetEntries(count));
        ResetData(entries.get(), count, numRows, numColumns);
        symmetry = 2;
    }
    if (row < static_cast<unsigned int>(numRows))
        return;
    const std::size_t oldEnd = static_cast<std::size_t>(numRows) + 1, newEnd = std::size_t{row} + 2;
    rowOffsets = static_cast<unsigned int*>(mem_Realloc(rowOffsets, mem_ArraySize(newEnd, sizeof(unsigned int))));
    std::fill(rowOffsets + oldEnd, rowOffsets + newEnd, rowOffsets[oldEnd - 1]);
}

void ZylSrvSparseMatrix::EndAssembly()
{
    if (isAssembled)
        return;
    if (pendingEntries.Count() == 0) {
        mem_Array<unsigned int> offsets(static_cast<std::size_t>(numRows) + 1);
        Zero(offsets);
        Replace(rowOffsets, offsets);
        numNonzeros = 0;
    } else {
        zyl_mtx::CompressedRows rows = zyl_mtx::AssembleTriplets(pendingEntries, numRows, numColumns);
        numNonzeros = static_cast<int>(rows.rowOffsets[numRows]);
        Replace(rowOffsets, rows.rowOffsets);
        Replace(columnIndices, rows.columnIndices);
        Replace(values, rows.values);
        pendingEntries.Resize(0);
    }
    // The new arrays hold the pending triplets alone: a diagonal left from an
    // earlier symmetric form belongs to nothing any more.
    mem_Free(std::exchange(diagonal, nullptr));
    if (symmetry == 1)
        symmetry = 0;
    isAssembled = true;
}

void ZylSrvSparseMatrix::ResetData(const ZylSrvSparseMatrixEntry* entries, int count, int rows, int cols)
{
    // Everything is built aside first, so a failed allocation leaves the
    // matrix as it was.
    mem_Array<unsigned int> offsets(static_cast<std::size_t>(rows) + 1);
    mem_Array<int> columns(count);
    mem_Array<double> stored(count);
    Zero(offsets);
    for (int k = 0; k < count; ++k)
        ++offsets[entries[k].row + 1];
    PrefixSums(offsets.Get(), rows);
    for (int k = 0; k < count; ++k) {
        const unsigned int p = offsets[entries[k].row]++;
        columns[p] = static_cast<int>(entries[k].column);
        stored[p] = entries[k].value;
    }
    for (int i = rows - 1; i >= 0; --i)
        offsets[i + 1] = offsets[i];
    offsets[0] = 0;
    zyl_mtx::RowSorter(offsets.Get(), rows).SortEachRow(offsets.Get(), rows, columns.Get(), stored.Get());

    const unsigned int total = zyl_mtx::MergeRepeatsInPlace(offsets.Get(), rows, columns.Get(), stored.Get());
    // Summed repeats leave room at the ends: the matrix keeps arrays of its size.
    if (total != static_cast<unsigned int>(count)) {
        columns.Shrink(total);
        stored.Shrink(total);
    }
    Replace(rowOffsets, offsets);
    Replace(columnIndices, columns);
    Replace(values, stored);
    mem_Free(std::exchange(diagonal, nullptr));
    numRows = rows;
    numColumns = cols;
    numNonzeros = static_cast<int>(total);
    symmetry = 0;
    isAssembled = true;
}

ZylSrvSparseMatrixEntry* ZylSrvSparseMatrix::GetEntries(int& count) const
{
    if (!isAssembled) { // pending triplets are not entries yet
        count = 0;
        return mem_Array<ZylSrvSparseMatrixEntry>(0).Release();
    }
    const unsigned int stored = rowOffsets[numRows];
    const std::size_t n = diagonal != nullptr ? numRows + 2 * std::size_t{stored} : stored;
    ZYL_SRV_MTX_REFUSE_IF(n > kMaxDimension, "GetEntries"); // the count is an int
    mem_Array<ZylSrvSparseMatrixEntry> entries(n);
    std::size_t e = 0;
    if (diagonal != nullptr)
        for (int i = 0; i < numRows; ++i)
            entries[e++] = {static_cast<unsigned int>(i), static_cast<unsigned int>(i), diagonal[i]};
    for (int i = 0; i < numRows; ++i)
        for (unsigned int k = rowOffsets[i]; k < rowOffsets[i + 1]; ++k) {
            const auto row = static_cast<unsigned int>(i), column = static_cast<unsigned int>(columnIndices[k]);
            entries[e++] = {row, column, values[k]};
            if (diagonal != nullptr)
                entries[e++] = {column, row, values[k]};
        }
    count = static_cast<int>(n);
    return entries.Release();
}

bool ZylSrvSparseMatrix::IsNull() const
{
    // The counts and the diagonal outlive an open assembly; the compressed
    // arrays are not read.
    if (diagonal == nullptr)
        return numNonzeros == 0;
    return numNonzeros == numRows && std::all_of(diagonal, diagonal + numRows, [](double d) { return d == 0.0; });
}

// ---- products -----------------------------------------------------------------

void ZylSrvSparseMatrix::Multiply(const double* x, int nvec, double* y, bool transpose) const
{
    if (numNonzeros == 0) // nothing to add, whether or not an assembly is open
        return;
    ZYL_SRV_MTX_REFUSE_IF(!isAssembled, "Multiply");
    if (diagonal == nullptr) {
        (transpose ? BLAC_SPARSE_UMTV : BLAC_SPARSE_UMV)(values, x, rowOffsets, columnIndices, y, &numRows,
                                                         &numColumns, &nvec);
        return;
    }
    // Each stored value stands for two places: its row's sum takes it times
    // x[column], its column's entry takes it times x[row].
    if (nvec <= 0)
        return;
    const std::size_t n = static_cast<std::size_t>(numRows);
    std::fill(y, y + n * std::max(nvec, 0), 0.0);
    mem_Array<double> xi(nvec), acc(nvec);
    for (int i = 0; i < numColumns; ++i) {
        for (int v = 0; v < nvec; ++v) {
            xi[v] = x[n * v + i];
            acc[v] = 0.0;
        }
        for (unsigned int k = rowOffsets[i]; k < rowOffsets[i + 1]; ++k) {
            const double a = values[k];
            const int j = columnIndices[k];
            for (int v = 0; v < nvec; ++v) {
                acc[v] += a * x[n * v + j];
                y[n * v + j] += a * xi[v];
            }
        }
        for (int v = 0; v < nvec; ++v)
            y[n * v + i] += diagonal[i] * xi[v] + acc[v];
    }
}

void ZylSrvSparseMatrix::MultiplyIndexed(const double* x, int nvec, double* y, bool transpose, int count,
                                         const unsigned int* rows) const
{
    if (!transpose)
        zyl_mtx::Raise<ZylSrvMtxNoTranspose>(kRaiseSource, __LINE__);
    if (numNonzeros == 0)
        return;
    BLAC_SPARSE_SPARSE_UMTV(values, x, rowOffsets, columnIndices, y, &count, &numColumns, &nvec, rows);
}

void ZylSrvSparseMatrix::MultiplyDense(const ZylSrvDenseMatrix& D, ZylSrvDenseMatrix& R, bool transpose) const
{
    const zyl_mtx::SharedResultBands sharedResult; // the result's bands reach every rank
    if (numNonzeros == 0) // nothing to add, whether or not an assembly is open
        return;
    ZYL_SRV_MTX_REFUSE_IF(!isAssembled, "MultiplyDense");
    const int outLen = transpose ? numColumns : numRows;
    const int inLen = transpose ? numRows : numColumns;
    const std::size_t m = static_cast<std::size_t>(D.MaxNumberOfColumnsInBlock());
    const int rR = R.NumberOfRows();
    zyl_mtx::WalkCollectively([&] {
        mem_Array<double> xbuf(inLen * m), ybuf(outLen * m), zeros;
        Zero(ybuf);
        if (rR > outLen) {
            zeros = mem_Array<double>((rR - outLen) * m);
            Zero(zeros);
        }
        // While a column block is multiplied, the next one comes from the disk.
        // Each process forms and writes the column blocks of its share.
        ZylDorvReadAhead ahead;
        const zyl_mtx::BandShare share = zyl_mtx::ShareOfBands(D.NumberOfColumnBlocks());
        for (int b = share.first; b < share.end; ++b) {
            const int nc = D.NumberOfColumnsInBlock(b);
            const int fc = D.FirstColumnInBlock(b), lc = fc + nc - 1;
            ZylSrvMatrix in(inLen, nc, xbuf.Get());
            D.GetValues(0, inLen - 1, fc, lc, in);
            if (b + 1 < share.end)
                D.ReadAhead(ahead, 0, inLen - 1, lc + 1, lc + D.NumberOfColumnsInBlock(b + 1));
            Multiply(xbuf.Get(), nc, ybuf.Get(), transpose);
            R.SetValues(0, outLen - 1, fc, lc, ZylSrvMatrix(outLen, nc, ybuf.Get()));
            if (rR > outLen)
                R.SetValues(outLen, rR - 1, fc, lc, ZylSrvMatrix(rR - outLen, nc, zeros.Get()));
        }
    });
}

namespace {

// The reads that gather rows list[0 .. c-1] of columns fc .. fc+nc-1 of D:
// one per run of consecutive rows, or with many runs one of the whole block.
// visit(first, last, s) for each: D's rows first..last, which are the rows
// list[s ..] (s = -1 for the whole block).
template <typename Visit>
void ForEachGatherRead(const ZylSrvDenseMatrix& D, const unsigned int* list, const int* runs, int numRuns,
                       Visit&& visit)
{
    if (numRuns >= kWholeBlockRuns) {
        visit(0, D.NumberOfRows() - 1, -1);
        return;
    }
    for (int r = 0; r < numRuns; ++r) {
        const int first = static_cast<int>(list[runs[r]]);
        visit(first, first + runs[r + 1] - runs[r] - 1, runs[r]);
    }
}

void AnnounceRows(const ZylSrvDenseMatrix& D, ZylDorvReadAhead& ahead, const unsigned int* list, const int* runs,
                  int numRuns, int fc, int nc)
{
    ForEachGatherRead(D, list, runs, numRuns,
                      [&](int first, int last, int) { D.ReadAhead(ahead, first, last, fc, fc + nc - 1); });
}

// The gathered rows packed with leading dimension c.
void GatherRows(const ZylSrvDenseMatrix& D, const unsigned int* list, int c, const int* runs, int numRuns, int fc,
                int nc, double* compact)
{
    ForEachGatherRead(D, list, runs, numRuns, [&](int first, int last, int s) {
        const int len = last - first + 1;
        ZylSrvMatrix part(len, nc);
        D.GetValues(first, last, fc, fc + nc - 1, part);
        for (int j = 0; j < nc; ++j) {
            const double* column = part.Values() + std::size_t(len) * j;
            double* target = compact + std::size_t(c) * j;
            if (s < 0)
                for (int k = 0; k < c; ++k)
                    target[k] = column[list[k]];
            else
                std::memcpy(target + s, column, sizeof(double) * len);
        }
    });
}

} // namespace

void ZylSrvSparseMatrix::MultiplyDense(const ZylSrvDenseMatrix& D, double* out, bool transpose) const
{
    if (numNonzeros == 0) // nothing to add, whether or not an assembly is open
        return;
    ZYL_SRV_MTX_REFUSE_IF(!isAssembled, "MultiplyDense");
    if (diagonal != nullptr)
        zyl_mtx::Raise<ZylSrvMtxNoSymmetricTrue>(kRaiseSource, __LINE__, "MultiplyDense");
    const int outLen = transpose ? numColumns : numRows;
    // Each process forms the column blocks of its share; `out` holds the
    // columns one after the other, so every share is one run of values.
    const zyl_mtx::BandShare share = zyl_mtx::ShareOfBands(D.NumberOfColumnBlocks());
    const auto valuesBefore = [&](int b) {
        const int column = b < D.NumberOfColumnBlocks() ? D.FirstColumnInBlock(b) : D.NumberOfColumns();
        return static_cast<std::int64_t>(outLen) * column;
    };
    zyl_mtx::WalkCollectively([&] {
        int c = 0;
        const mem_Array<unsigned int> list = transpose ? NontrivialRows(rowOffsets, numRows, c)
                                                       : NontrivialColumns(columnIndices, rowOffsets[numRows],
                                                                           numColumns, c);
        int numRuns = 0;
        const mem_Unique<int> runs(
            ZylSrvFindContiguousRanges(reinterpret_cast<const int*>(list.Get()), c, c, numRuns));
        const std::size_t m = static_cast<std::size_t>(D.MaxNumberOfColumnsInBlock());
        mem_Array<double> compact(c * m), result(outLen * m);
        ZylDorvReadAhead ahead;
        double* next = out + valuesBefore(share.first);
        for (int b = share.first; b < share.end; ++b) {
            const int nc = D.NumberOfColumnsInBlock(b);
            GatherRows(D, list.Get(), c, runs.get(), numRuns, D.FirstColumnInBlock(b), nc, compact.Get());
            if (b + 1 < share.end)
                AnnounceRows(D, ahead, list.Get(), runs.get(), numRuns, D.FirstColumnInBlock(b + 1),
                             D.NumberOfColumnsInBlock(b + 1));
            MultiplyIndexed(compact.Get(), nc, result.Get(), transpose, c, list.Get());
            const std::size_t n = std::size_t(outLen) * nc;
            std::memcpy(next, result.Get(), sizeof(double) * n);
            next += n;
        }
    });
    zyl_mtx::GatherBandRows(out, valuesBefore(D.NumberOfColumnBlocks()), 1, valuesBefore(share.first),
                            valuesBefore(share.end));
}

// ---- operations on the stored values -------------------------------------------

void ZylSrvSparseMatrix::Scale(double s)
{
    ZYL_SRV_MTX_REFUSE_IF(!isAssembled, "Scale");
    for (unsigned int k = 0; k < rowOffsets[numRows]; ++k)
        values[k] *= s;
    if (diagonal != nullptr)
        for (int i = 0; i < numRows; ++i)
            diagonal[i] *= s;
}

void ZylSrvSparseMatrix::Subtract(const ZylSrvSparseMatrix& A, const ZylSrvSparseMatrix& B)
{
    ZYL_SRV_MTX_REFUSE_IF(&A == this || &B == this || !A.isAssembled || !B.isAssembled, "Subtract");
    BeginAssembly();
    int count = 0;
    {
        const mem_Unique<ZylSrvSparseMatrixEntry> a(A.GetEntries(count));
        for (int k = 0; k < count; ++k)
            AddData(a.get()[k].row, a.get()[k].column, a.get()[k].value);
    }
    {
        const mem_Unique<ZylSrvSparseMatrixEntry> b(B.GetEntries(count));
        for (int k = 0; k < count; ++k)
            AddData(b.get()[k].row, b.get()[k].column, -0.0 - b.get()[k].value);
    }
    EndAssembly();
}

ZylSrvSparseMatrix* ZylSrvSparseMatrix::Transpose() const
{
    ZYL_SRV_MTX_REFUSE_IF(!isAssembled, "Transpose");
    const unsigned int stored = rowOffsets[numRows];
    mem_Array<unsigned int> offsets(static_cast<std::size_t>(numColumns) + 1);
    mem_Array<int> columns(stored);
    mem_Array<double> moved(stored), diag;
    Zero(offsets);
    for (unsigned int k = 0; k < stored; ++k)
        ++offsets[columnIndices[k] + 1];
    PrefixSums(offsets.Get(), numColumns);
    for (int i = 0; i < numRows; ++i)
        for (unsigned int k = rowOffsets[i]; k < rowOffsets[i + 1]; ++k) {
            const unsigned int p = offsets[columnIndices[k]]++;
            columns[p] = i;
            moved[p] = values[k];
        }
    for (int j = numColumns - 1; j >= 0; --j)
        offsets[j + 1] = offsets[j];
    offsets[0] = 0;
    if (diagonal != nullptr) {
        diag = mem_Array<double>(numRows);
        std::copy(diagonal, diagonal + numRows, diag.Get());
    }
    return Adopt(offsets, columns, moved, diag, numNonzeros, numColumns, numRows);
}

ZylSrvSparseMatrix* ZylSrvSparseMatrix::Permute(const int* perm) const
{
    ZYL_SRV_MTX_REFUSE_IF(!isAssembled, "Permute");
    const unsigned int stored = rowOffsets[numRows];
    mem_Array<int> inverse(numRows);
    mem_Array<unsigned int> offsets(static_cast<std::size_t>(numRows) + 1);
    mem_Array<int> columns(stored);
    mem_Array<double> moved(stored), diag;
    Inverse(perm, numRows, inverse.Get());
    for (int i = 0; i < numRows; ++i)
        offsets[inverse[i] + 1] = rowOffsets[i + 1] - rowOffsets[i];
    PrefixSums(offsets.Get(), numRows);
    for (int i = 0; i < numRows; ++i) {
        unsigned int p = offsets[inverse[i]];
        for (unsigned int k = rowOffsets[i]; k < rowOffsets[i + 1]; ++k, ++p) {
            columns[p] = inverse[columnIndices[k]];
            moved[p] = values[k];
        }
    }
    zyl_mtx::RowSorter(offsets.Get(), numRows).SortEachRow(offsets.Get(), numRows, columns.Get(), moved.Get());
    if (diagonal != nullptr) {
        diag = mem_Array<double>(numRows);
        for (int i = 0; i < numRows; ++i)
            diag[i] = diagonal[perm[i]];
    }
    return Adopt(offsets, columns, moved, diag, numNonzeros, numRows, numColumns);
}

void ZylSrvSparseMatrix::PermuteRows(const int* perm)
{
    ZYL_SRV_MTX_REFUSE_IF(!isAssembled, "PermuteRows");
    if (diagonal != nullptr)
        zyl_mtx::Raise<ZylSrvMtxNoSymmetricTrue>(kRaiseSource, __LINE__, "PermuteRows");
    const unsigned int stored = rowOffsets[numRows];
    mem_Array<unsigned int> offsets(static_cast<std::size_t>(numRows) + 1);
    mem_Array<int> columns(stored);
    mem_Array<double> moved(stored);
    for (int i = 0; i < numRows; ++i)
        offsets[perm[i] + 1] = rowOffsets[i + 1] - rowOffsets[i];
    PrefixSums(offsets.Get(), numRows);
    for (int i = 0; i < numRows; ++i) {
        const unsigned int first = rowOffsets[i], n = rowOffsets[i + 1] - first;
        std::copy(columnIndices + first, columnIndices + first + n, columns.Get() + offsets[perm[i]]);
        std::copy(values + first, values + first + n, moved.Get() + offsets[perm[i]]);
    }
    symmetry = 0;
    Replace(rowOffsets, offsets);
    Replace(columnIndices, columns);
    Replace(values, moved);
}

void ZylSrvSparseMatrix::PermuteInPlace(const int* perm)
{
    ZYL_SRV_MTX_REFUSE_IF(!isAssembled, "PermuteInPlace");
    // Every allocation comes before the first change, so a refusal leaves the
    // matrix as it was.
    const unsigned int stored = rowOffsets[numRows];
    mem_Array<int> inverse(numRows);
    mem_Array<unsigned int> gather(stored), offsets(static_cast<std::size_t>(numRows) + 1);
    mem_Array<double> diag(diagonal != nullptr ? numRows : 0);
    const zyl_mtx::RowSorter sorter(rowOffsets, numRows);
    Inverse(perm, numRows, inverse.Get());
    for (unsigned int k = 0; k < stored; ++k)
        columnIndices[k] = inverse[columnIndices[k]];
    sorter.SortEachRow(rowOffsets, numRows, columnIndices, values);

    unsigned int g = 0;
    for (int i = 0; i < numRows; ++i)
        for (unsigned int k = rowOffsets[perm[i]]; k < rowOffsets[perm[i] + 1]; ++k)
            gather[g++] = k;
    for (int i = 0; i < numRows; ++i)
        offsets[inverse[i] + 1] = rowOffsets[i + 1] - rowOffsets[i];
    PrefixSums(offsets.Get(), numRows);
    Replace(rowOffsets, offsets);

    // New position k takes the old entry at gather[k], cycle by cycle.
    for (unsigned int k = 0; k < stored; ++k) {
        if (gather[k] == k)
            continue;
        const int savedColumn = columnIndices[k];
        const double savedValue = values[k];
        unsigned int j = k;
        while (gather[j] != k) {
            const unsigned int from = gather[j];
            columnIndices[j] = columnIndices[from];
            values[j] = values[from];
            gather[j] = j;
            j = from;
        }
        columnIndices[j] = savedColumn;
        values[j] = savedValue;
        gather[j] = j;
    }
    symmetry = 0;
    if (diagonal != nullptr) {
        for (int i = 0; i < numRows; ++i)
            diag[i] = diagonal[perm[i]];
        Replace(diagonal, diag);
        symmetry = 1;
    }
}

// ---- questions about the structure ----------------------------------------------

bool ZylSrvSparseMatrix::IsSymmetric() const
{
    ZYL_SRV_MTX_REFUSE_IF(!isAssembled, "IsSymmetric");
    if (symmetry == 1)
        return true;
    if (symmetry == 2)
        return false;
    long upper = 0, lower = 0;
    for (int i = 0; i < numRows; ++i)
        for (unsigned int k = rowOffsets[i]; k < rowOffsets[i + 1]; ++k) {
            upper += columnIndices[k] > i ? 1 : 0;
            lower += columnIndices[k] < i ? 1 : 0;
        }
    // A positive answer is not recorded: 1 would mean the symmetric form,
    // which a matrix without a diagonal array is not.
    if (upper != lower) {
        symmetry = 2;
        return false;
    }
    for (int i = 0; i < numRows; ++i)
        for (unsigned int k = rowOffsets[i]; k < rowOffsets[i + 1]; ++k) {
            const int j = columnIndices[k];
            if (j < i && !MirrorMatches(j, i, values[k])) {
                symmetry = 2;
                return false;
            }
        }
    return true;
}

// Looks up A(row, column) by binary search over the row's increasing columns
// and compares it with b relative to itself (absolutely when it is 0.0).
bool ZylSrvSparseMatrix::MirrorMatches(int row, int column, double b) const
{
    const int* cols = columnIndices + rowOffsets[row];
    int lo = 0, hi = static_cast<int>(rowOffsets[row + 1] - rowOffsets[row]) - 1;
    while (hi >= lo) {
        const int mid = (lo + hi) / 2;
        if (cols[mid] == column) {
            const double a = values[rowOffsets[row] + mid];
            const double d = (a - b) * (a == 0.0 ? 1.0 : 1.0 / a);
            return !(std::fabs(d) > 1e-16);
        }
        if (column < cols[mid])
            hi = mid - 1;
        else
            lo = mid + 1;
    }
    return false;
}

unsigned int* ZylSrvSparseMatrix::FindNontrivialRows(int& count) const
{
    ZYL_SRV_MTX_REFUSE_IF(!isAssembled, "FindNontrivialRows");
    return NontrivialRows(rowOffsets, numRows, count).Release();
}

unsigned int* ZylSrvSparseMatrix::FindNontrivialColumns(int& count) const
{
    ZYL_SRV_MTX_REFUSE_IF(!isAssembled, "FindNontrivialColumns");
    if (diagonal != nullptr)
        zyl_mtx::Raise<ZylSrvMtxNoSymmetricTrue>(kRaiseSource, __LINE__, "FindNontrivialColumns");
    return NontrivialColumns(columnIndices, rowOffsets[numRows], numColumns, count).Release();
}

unsigned int* ZylSrvSparseMatrix::EliminateTrivialColumns(int& count)
{
    ZYL_SRV_MTX_REFUSE_IF(!isAssembled, "EliminateTrivialColumns");
    if (diagonal != nullptr)
        zyl_mtx::Raise<ZylSrvMtxNoSymmetricTrue>(kRaiseSource, __LINE__, "EliminateTrivialColumns");
    int found = 0;
    mem_Array<unsigned int> list = NontrivialColumns(columnIndices, rowOffsets[numRows], numColumns, found);
    mem_Array<int> map(numColumns);
    for (int k = 0; k < found; ++k)
        map[list[k]] = k;
    for (unsigned int k = 0; k < rowOffsets[numRows]; ++k)
        columnIndices[k] = map[columnIndices[k]];
    numColumns = found;
    count = found;
    return list.Release();
}

void ZylSrvSparseMatrix::SetColumnsToZero(const int* columns, int n)
{
    ZYL_SRV_MTX_REFUSE_IF(!isAssembled, "SetColumnsToZero");
    if (diagonal != nullptr)
        zyl_mtx::Raise<ZylSrvMtxNoSymmetricTrue>(kRaiseSource, __LINE__, "SetcolumnsToZero");
    mem_Array<unsigned char> marked(numColumns);
    Zero(marked);
    for (int k = 0; k < n; ++k)
        marked[columns[k]] = 1;
    for (unsigned int k = 0; k < rowOffsets[numRows]; ++k)
        if (marked[columnIndices[k]] != 0)
            values[k] = 0.0;
}
