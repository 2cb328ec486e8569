#include <mtx/ZylSrvDenseMatrix.h>

#include <blac/blac.h>
#include <mtx/impl/ZylSrvMtxErrors.h>
#include <platform/dorv/ZylDorvAPI.h>
#include <platform/mem.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>
#include <utility>

namespace {

// Raise sites here record this class's implementation file.
constexpr const char* kRaiseSource = zyl_mtx::kDenseMatrixSource;

// The range errors of GetValues and SetValues; the composite operations raise
// them too when their whole range is checked before the first transfer.
[[noreturn]] void RaiseGetRange()
{
    zyl_mtx::Raise<ZylSrvMtxInvalidGetRange>(kRaiseSource, zyl_mtx::kContractLineGetValuesRange);
}

[[noreturn]] void RaiseSetRange()
{
    zyl_mtx::Raise<ZylSrvMtxInvalidSetRange>(kRaiseSource, zyl_mtx::kContractLineSetValuesRange);
}

bool RangeInside(int r0, int r1, int c0, int c1, int rows, int columns)
{
    return r0 >= 0 && r0 <= r1 && r1 < rows && c0 >= 0 && c0 <= c1 && c1 < columns;
}

// Staging memory from the foundation allocator, released on every path.
// Never empty, so that a ZylSrvMatrix made over it always wraps it.
template <typename T>
class Staging {
public:
    explicit Staging(std::int64_t count)
        : m_data(static_cast<T*>(mem_OperatorNewThrowBuiltin(
              mem_ArraySize(static_cast<std::size_t>(std::max<std::int64_t>(count, 1)), sizeof(T)))))
    {
    }
    ~Staging() { mem_Free(m_data); }
    Staging(const Staging&) = delete;
    Staging& operator=(const Staging&) = delete;
    T* Get() const { return m_data; }

private:
    T* m_data;
};

std::int64_t Count(std::int64_t a, std::int64_t b) { return a * b; }

// One call of DGEMM; an empty result does not reach BLAS, and a leading
// dimension of an empty operand is raised to the 1 that BLAS insists on.
void Gemm(char transA, char transB, int m, int n, int k, double alpha, const double* a, int lda, const double* b,
          int ldb, double beta, double* c, int ldc)
{
    if (m <= 0 || n <= 0)
        return;
    lda = std::max(lda, 1);
    ldb = std::max(ldb, 1);
    ldc = std::max(ldc, 1);
    BLAC_DGEMM(&transA, &transB, &m, &n, &k, &alpha, a, &lda, b, &ldb, &beta, c, &ldc);
}

// ---- block arithmetic of one side --------------------------------------
// count N, blocks B, per-block P, first-block F, last-block L.

int BlockSize(int b, int blocks, int perBlock, int first, int last)
{
    if (b < 0)
        return 0;
    if (b == 0)
        return first;
    if (b >= blocks - 1)
        return last;
    return perBlock;
}

int MaxBlockSize(int blocks, int perBlock, int first, int last)
{
    return blocks > 2 ? perBlock : std::max(first, last);
}

int RangeSize(int b0, int b1, int blocks, int perBlock, int first, int last)
{
    const std::int64_t n = static_cast<std::int64_t>(b1) - b0 + 1;
    if (n < 1 || b0 < 0 || b1 < 0)
        return 0;
    std::int64_t size = BlockSize(b0, blocks, perBlock, first, last);
    if (n >= 2)
        size += BlockSize(b1, blocks, perBlock, first, last);
    if (n >= 3)
        size += static_cast<std::int64_t>(perBlock) * (n - 2);
    return static_cast<int>(size);
}

int FirstInBlock(int b, int perBlock, int first)
{
    if (b <= 0)
        return 0;
    if (b == 1)
        return first;
    return static_cast<int>(first + static_cast<std::int64_t>(perBlock) * (b - 1));
}

int BlockContaining(int index, int count, int blocks, int perBlock, int first, int last)
{
    if (index < first)
        return 0;
    if (static_cast<std::int64_t>(count) - index <= last)
        return blocks - 1;
    return (index - first) / perBlock + 1;
}

// Blocks, first-block and last-block size of a side of `count` members cut
// into blocks of `perBlock` (count >= 1, perBlock >= 1).
void DivideSide(int count, int perBlock, int& blocks, int& first, int& last)
{
    blocks = (count - 1) / perBlock + 1;
    last = count % perBlock;
    if (last == 0)
        last = perBlock;
    first = blocks == 1 ? last : perBlock;
}

// A transfer on `distribution` prepared for both directions without padding,
// on memory of the foundation allocator.
ZylDorvTransfer* NewPreparedTransfer(const ZylDorvDistribution& distribution)
{
    ZylDorvTransfer prepared(distribution);
    prepared.SetRead();
    prepared.SetWrite();
    prepared.SetBufferPadding(false);
    void* memory = mem_OperatorNewThrow(sizeof(ZylDorvTransfer));
    return new (memory) ZylDorvTransfer(std::move(prepared));
}

// Binds the ordinal ranges of one rectangle to a copy of the prepared transfer.
void SelectRange(ZylDorvTransfer& transfer, ZylDorvCSetID rowCSet, ZylDorvCSetID columnCSet, int rowOffset,
                 int columnOffset, int r0, int r1, int c0, int c1)
{
    if (!columnCSet.IsNull()) {
        transfer.SetDimOrdinalRange(0, columnCSet.CollectionID(), columnOffset + c0, columnOffset + c1);
        transfer.SetDimOrdinalRange(1, rowCSet.CollectionID(), rowOffset + r0, rowOffset + r1);
    } else { // one-dimensional: the rows are dimension 0, the one column is implied
        transfer.SetDimOrdinalRange(0, rowCSet.CollectionID(), rowOffset + r0, rowOffset + r1);
    }
}

std::int64_t BufferBytes(const ZylSrvMatrix& matrix)
{
    return matrix.NumberOfStoredValues() * static_cast<std::int64_t>(sizeof(double));
}

// The `count` members of `cset`, in order.
void ReadMembers(const ZylDorvCSet& cset, int count, int* members)
{
    if (count > 0)
        cset.OrderedMembers(members);
}

// The CSet of positions first .. first+count-1 of `parent`: parent itself
// when it has exactly count members, else a temporary ordered CSet of its
// collection.
ZylDorvCSetID CutCSet(ZylDorvCSetID parent, int first, int count)
{
    const ZylDorvCSet cset(parent);
    const int size = cset.Size();
    if (size == count)
        return parent;
    // a parent whose CSet is shorter than its side
    ZYL_SRV_MTX_REFUSE_IF(static_cast<std::int64_t>(first) + count > size, "Submatrix");
    Staging<int> members(size);
    ReadMembers(cset, size, members.Get());
    return ZylDorvCollection(parent.CollectionID()).CreateTempOrderedCSet(members.Get() + first, count);
}

// Largest number of members in a band of `perBand` consecutive blocks, the
// bands starting at block 0. `rangeSize(b0, b1)` gives the size of blocks
// b0..b1.
template <typename RangeSizeOf>
int LargestBand(int blocks, int perBand, RangeSizeOf rangeSize)
{
    int largest = 0;
    for (int b = 0; b < blocks; b += perBand)
        largest = std::max(largest, rangeSize(b, std::min(blocks - b, perBand) + b - 1));
    return largest;
}

// Blocks per band from a band length in members (the memory-budgeted bands).
int BlocksPerBand(double length, int perBlock, int blocks)
{
    int count = 1;
    if (length > 1.0)
        count = static_cast<int>((static_cast<std::int64_t>(std::trunc(length)) + perBlock - 1) / perBlock);
    return std::max(1, std::min(count, blocks));
}

// C = A^T * B summed over bands of `perBand` row blocks of A, B's band rows
// supplied by fetchB(r0, r1, staging) which returns the matrix to use.
template <typename FetchB>
void TransposeProductInBands(const ZylSrvDenseMatrix& a, int perBand, int bColumns, bool stageB, ZylSrvMatrix& c,
                             int symmetric, FetchB fetchB)
{
    const int k = a.NumberOfColumns();
    const int blocks = a.NumberOfRowBlocks();
    const int largest = LargestBand(blocks, perBand,
                                    [&](int b0, int b1) { return a.NumberOfRowsInBlockRange(b0, b1); });
    Staging<double> aStaging(blocks > 0 ? Count(largest, k) : 0);
    Staging<double> bStaging(blocks > 0 && stageB ? Count(largest, bColumns) : 0);
    for (int b = 0; b < blocks; b += perBand) {
        const int lastBlock = std::min(blocks - b, perBand) + b - 1;
        const int r0 = a.FirstRowInBlock(b);
        const int rows = a.NumberOfRowsInBlockRange(b, lastBlock);
        const int r1 = r0 + rows - 1;
        ZylSrvMatrix aBand(rows, k, aStaging.Get());
        a.GetRows(r0, r1, aBand);
        ZylSrvMatrix bBand(rows, bColumns, bStaging.Get());
        const ZylSrvMatrix& bUsed = fetchB(r0, r1, bBand);
        aBand.TransposeMultiply(bUsed, c, symmetric, b == 0 ? 0 : 1);
    }
    if (symmetric != 0)
        c.SetSymmetricResults();
}

// Band height in row blocks for the transposed products: a band of that many
// row blocks of A holds about as many values as one full-height column block.
int TransposeBandHeight(const ZylSrvDenseMatrix& a, int bRows, int width)
{
    const std::int64_t numerator = static_cast<std::int64_t>(a.MaxNumberOfColumnsInBlock()) * bRows;
    const std::int64_t denominator = static_cast<std::int64_t>(a.MaxNumberOfRowsInBlock()) * width;
    std::int64_t q = denominator > 0 ? numerator / denominator : 1;
    q = std::max<std::int64_t>(q, 1);
    q = std::min<std::int64_t>(q, std::max(a.NumberOfRowBlocks(), 1));
    return static_cast<int>(q);
}

// Upper triangle of the n x n column-major `values`, column by column.
void PackUpper(const double* values, int n, double* out)
{
    std::int64_t next = 0;
    for (int j = 0; j < n; ++j) {
        const double* column = values + Count(n, j);
        for (int i = 0; i <= j; ++i)
            out[next++] = column[i];
    }
}

} // namespace

// ---- construction and identity ----------------------------------------------

void ZylSrvDenseMatrix::TransferDeleter::operator()(ZylDorvTransfer* prepared) const noexcept
{
    if (prepared != nullptr) {
        prepared->~ZylDorvTransfer();
        mem_Free(prepared);
    }
}

ZylSrvDenseMatrix::ZylSrvDenseMatrix()
    : distribution(),
      isSubmatrix(false),
      numRows(0),
      numColumns(0),
      numRowBlocks(0),
      numColumnBlocks(0),
      rowsPerBlock(0),
      columnsPerBlock(0),
      rowsInFirstBlock(0),
      columnsInFirstBlock(0),
      rowsInLastBlock(0),
      columnsInLastBlock(0),
      rowOffset(0),
      columnOffset(0),
      transfer(),
      rowCSetID(),
      columnCSetID()
{
}

ZylSrvDenseMatrix::ZylSrvDenseMatrix(ZylDorvDistributionID distributionID) : ZylSrvDenseMatrix()
{
    if (!distributionID.IsNull())
        AttachDistribution(ZylDorvDistribution(distributionID));
}

ZylSrvDenseMatrix::ZylSrvDenseMatrix(ZylDorvDistribution handle) : ZylSrvDenseMatrix()
{
    AttachDistribution(handle);
}

ZylSrvDenseMatrix::ZylSrvDenseMatrix(const ZylSrvDenseMatrix& parent, int firstRow, int lastRow, int firstColumn,
                                     int lastColumn)
    : ZylSrvDenseMatrix()
{
    ZYL_SRV_MTX_REFUSE_IF(firstRow < 0 || lastRow < firstRow || lastRow >= parent.numRows || firstColumn < 0 ||
                              lastColumn < firstColumn || lastColumn >= parent.numColumns,
                          "Submatrix");

    distribution = parent.distribution;
    isSubmatrix = true;
    numRows = lastRow - firstRow + 1;
    numColumns = lastColumn - firstColumn + 1;
    rowsPerBlock = parent.rowsPerBlock;
    columnsPerBlock = parent.columnsPerBlock;

    const int firstRowBlock = parent.BlockContainingRow(firstRow);
    const int lastRowBlock = parent.BlockContainingRow(lastRow);
    numRowBlocks = lastRowBlock - firstRowBlock + 1;
    if (numRowBlocks == 1) {
        rowsInFirstBlock = rowsInLastBlock = numRows;
    } else {
        rowsInFirstBlock = parent.FirstRowInBlock(firstRowBlock) + parent.NumberOfRowsInBlock(firstRowBlock) - firstRow;
        rowsInLastBlock = lastRow - parent.FirstRowInBlock(lastRowBlock) + 1;
    }
    const int firstColumnBlock = parent.BlockContainingColumn(firstColumn);
    const int lastColumnBlock = parent.BlockContainingColumn(lastColumn);
    numColumnBlocks = lastColumnBlock - firstColumnBlock + 1;
    if (numColumnBlocks == 1) {
        columnsInFirstBlock = columnsInLastBlock = numColumns;
    } else {
        columnsInFirstBlock = parent.FirstColumnInBlock(firstColumnBlock) +
                              parent.NumberOfColumnsInBlock(firstColumnBlock) - firstColumn;
        columnsInLastBlock = lastColumn - parent.FirstColumnInBlock(lastColumnBlock) + 1;
    }
    rowOffset = parent.rowOffset + firstRow;
    columnOffset = parent.columnOffset + firstColumn;

    rowCSetID = CutCSet(parent.rowCSetID, firstRow, numRows);
    if (!parent.columnCSetID.IsNull())
        columnCSetID = CutCSet(parent.columnCSetID, firstColumn, numColumns);
    transfer.reset(NewPreparedTransfer(distribution));
}

ZylSrvDenseMatrix::~ZylSrvDenseMatrix() = default;

void ZylSrvDenseMatrix::AttachDistribution(const ZylDorvDistribution& handle)
{
    ZylDorvArray<ZylDorvPersistentDrawerDesc> drawers;
    handle.QueryDrawers(drawers);
    ZYL_SRV_MTX_REFUSE_IF(drawers.IsEmpty(), "AttachDistribution");
    const ZylDorvPersistentDrawerDesc& drawer = drawers[0];

    int rows = 0;
    int columns = 1;
    int rowBlockSize = 0;
    int columnBlockSize = 1;
    ZylDorvCSetID rowCSet;
    ZylDorvCSetID columnCSet;
    if (handle.NumDimensions() != 1) {
        rows = drawer.DimSize(1);
        columns = drawer.DimSize(0);
        rowBlockSize = drawer.IsChunked() ? drawer.ChunkSizes()[1] : rows;
        columnBlockSize = drawer.IsChunked() ? drawer.ChunkSizes()[0] : columns;
        rowCSet = drawer.DimCSetID(1);
        columnCSet = drawer.DimCSetID(0);
    } else {
        rows = drawer.DimSize(0);
        rowBlockSize = drawer.IsChunked() ? drawer.ChunkSizes()[0] : rows;
        rowCSet = drawer.DimCSetID(0);
    }
    // A side without members has no block to compute with.
    ZYL_SRV_MTX_REFUSE_IF(rows < 1 || columns < 1 || rowBlockSize < 1 || columnBlockSize < 1, "AttachDistribution");

    int rowBlocks = 0, firstRows = 0, lastRows = 0;
    int columnBlocks = 0, firstColumns = 0, lastColumns = 0;
    DivideSide(rows, rowBlockSize, rowBlocks, firstRows, lastRows);
    DivideSide(columns, columnBlockSize, columnBlocks, firstColumns, lastColumns);
    std::unique_ptr<ZylDorvTransfer, TransferDeleter> prepared(NewPreparedTransfer(handle));

    distribution = handle;
    numRows = rows;
    numColumns = columns;
    numRowBlocks = rowBlocks;
    numColumnBlocks = columnBlocks;
    rowsPerBlock = rowBlockSize;
    columnsPerBlock = columnBlockSize;
    rowsInFirstBlock = firstRows;
    columnsInFirstBlock = firstColumns;
    rowsInLastBlock = lastRows;
    columnsInLastBlock = lastColumns;
    rowOffset = 0;
    columnOffset = 0;
    transfer = std::move(prepared);
    rowCSetID = rowCSet;
    columnCSetID = columnCSet;
}

ZylDorvCSetID ZylSrvDenseMatrix::RowCSetID() const { return rowCSetID; }

ZylDorvCSetID ZylSrvDenseMatrix::ColumnCSetID() const { return columnCSetID; }

ZylSrvDenseMatrix* ZylSrvDenseMatrix::Submatrix(int firstRow, int lastRow, int firstColumn, int lastColumn) const
{
    return new ZylSrvDenseMatrix(*this, firstRow, lastRow, firstColumn, lastColumn);
}

bool ZylSrvDenseMatrix::IsNull() const { return !distribution.IsValid() || distribution.ID().IsNull(); }

ZylDorvDistributionID ZylSrvDenseMatrix::DistributionID() const { return distribution.ID(); }

// ---- block geometry ------------------------------------------------------------

int ZylSrvDenseMatrix::NumberOfRowsInBlock(int block) const
{
    return BlockSize(block, numRowBlocks, rowsPerBlock, rowsInFirstBlock, rowsInLastBlock);
}

int ZylSrvDenseMatrix::NumberOfColumnsInBlock(int block) const
{
    return BlockSize(block, numColumnBlocks, columnsPerBlock, columnsInFirstBlock, columnsInLastBlock);
}

int ZylSrvDenseMatrix::MaxNumberOfRowsInBlock() const
{
    return MaxBlockSize(numRowBlocks, rowsPerBlock, rowsInFirstBlock, rowsInLastBlock);
}

int ZylSrvDenseMatrix::MaxNumberOfColumnsInBlock() const
{
    return MaxBlockSize(numColumnBlocks, columnsPerBlock, columnsInFirstBlock, columnsInLastBlock);
}

int ZylSrvDenseMatrix::NumberOfRowsInBlockRange(int firstBlock, int lastBlock) const
{
    return RangeSize(firstBlock, lastBlock, numRowBlocks, rowsPerBlock, rowsInFirstBlock, rowsInLastBlock);
}

int ZylSrvDenseMatrix::NumberOfColumnsInBlockRange(int firstBlock, int lastBlock) const
{
    return RangeSize(firstBlock, lastBlock, numColumnBlocks, columnsPerBlock, columnsInFirstBlock,
                     columnsInLastBlock);
}

int ZylSrvDenseMatrix::FirstRowInBlock(int block) const { return FirstInBlock(block, rowsPerBlock, rowsInFirstBlock); }

int ZylSrvDenseMatrix::FirstColumnInBlock(int block) const
{
    return FirstInBlock(block, columnsPerBlock, columnsInFirstBlock);
}

int ZylSrvDenseMatrix::BlockContainingRow(int row) const
{
    return BlockContaining(row, numRows, numRowBlocks, rowsPerBlock, rowsInFirstBlock, rowsInLastBlock);
}

int ZylSrvDenseMatrix::BlockContainingColumn(int column) const
{
    return BlockContaining(column, numColumns, numColumnBlocks, columnsPerBlock, columnsInFirstBlock,
                           columnsInLastBlock);
}

// ---- extension -------------------------------------------------------------------

int ZylSrvDenseMatrix::ExtendableDim() const
{
    ZylDorvArray<ZylDorvPersistentDrawerDesc> drawers;
    distribution.QueryDrawers(drawers);
    return drawers.IsEmpty() ? -1 : drawers[0].ExtendableDim();
}

int ZylSrvDenseMatrix::ExtendDim(int dim, int count, const int* members)
{
    if (dim != 0 && dim != 1)
        return 3;
    const ZylDorvCSetID current = dim == 0 ? columnCSetID : rowCSetID;
    if (current.IsNull()) // the columns of a one-dimensional (or null) matrix
        return 3;
    ZylDorvCollection collection(current.CollectionID());
    const ZylDorvCSetID added = members != nullptr
                                    ? collection.CreateOrderedCSet(members, count)
                                    : collection.CreateCSetStrided(dim == 0 ? numColumns : numRows, count, 1, 1);

    if (isSubmatrix)
        return 1;
    const ZylDorvCSet addedSet(added);
    const int addedCount = addedSet.Size();
    if (addedCount == 0)
        return 2;
    bool columns = false;
    if (ZylDorvDynamicID::Equal(added.CollectionID(), columnCSetID.CollectionID()))
        columns = true;
    else if (ZylDorvDynamicID::Equal(added.CollectionID(), rowCSetID.CollectionID()))
        columns = false;
    else
        return 3;
    const ZylDorvCSetID side = columns ? columnCSetID : rowCSetID;
    if (addedSet.HasOverlap(side))
        return 4;

    // Old members in order, then the new ones.
    const ZylDorvCSet sideSet(side);
    const int oldCount = sideSet.Size();
    Staging<int> labels(static_cast<std::int64_t>(oldCount) + addedCount);
    ReadMembers(sideSet, oldCount, labels.Get());
    ReadMembers(addedSet, addedCount, labels.Get() + oldCount);

    // The extension runs on a copy, so a database failure leaves the
    // prepared transfer as it was.
    {
        ZylDorvTransfer extension(*transfer);
        extension.SetDimExtension(added);
        extension.CheckView();
        extension.InitializeExtension();
        extension.RelinquishBuffers();
    }
    std::unique_ptr<ZylDorvTransfer, TransferDeleter> fresh(NewPreparedTransfer(distribution));
    const ZylDorvCSetID grown =
        ZylDorvCollection(side.CollectionID()).CreateOrderedCSet(labels.Get(), oldCount + addedCount);

    transfer = std::move(fresh);
    if (columns) {
        columnCSetID = grown;
        numColumns += addedCount;
        DivideSide(numColumns, columnsPerBlock, numColumnBlocks, columnsInFirstBlock, columnsInLastBlock);
    } else {
        rowCSetID = grown;
        numRows += addedCount;
        DivideSide(numRows, rowsPerBlock, numRowBlocks, rowsInFirstBlock, rowsInLastBlock);
    }
    return 0;
}

// ---- data access ---------------------------------------------------------------

void ZylSrvDenseMatrix::GetValues(int r0, int r1, int c0, int c1, ZylSrvMatrix& out) const
{
    if (!RangeInside(r0, r1, c0, c1, numRows, numColumns))
        RaiseGetRange();
    ZylDorvTransfer read(*transfer);
    SelectRange(read, rowCSetID, columnCSetID, rowOffset, columnOffset, r0, r1, c0, c1);
    read.CheckView();
    read.SetBuffer(0, static_cast<void*>(out.Values()), BufferBytes(out));
    read.ExecRead();
    read.RelinquishBuffers();
}

void ZylSrvDenseMatrix::SetValues(int r0, int r1, int c0, int c1, const ZylSrvMatrix& in)
{
    if (!RangeInside(r0, r1, c0, c1, numRows, numColumns))
        RaiseSetRange();
    try {
        ZylDorvTransfer write(*transfer);
        SelectRange(write, rowCSetID, columnCSetID, rowOffset, columnOffset, r0, r1, c0, c1);
        write.CheckView();
        write.SetBuffer(0, static_cast<const void*>(in.Values()), BufferBytes(in));
        write.ExecWrite();
        write.RelinquishBuffers();
    } catch (const ZylDorvException& failure) {
        // The copy of the transfer is gone. Only a failed write of values is
        // reported; any other database error leaves the range as the
        // database holds it.
        if (failure.Number() != ZylDorvError_ValueWriteFailed)
            return;
        ZylDorvDebugOutString detail;
        detail.Append("ZylSrvDenseMatrix::SetValues");
        detail.Append("\n");
        failure.Write(detail);
        zyl_mtx::Raise<ZylSrvMtxFileWriteFailure>(kRaiseSource, zyl_mtx::kContractLineSetValuesWriteFailure,
                                                  detail.Chars());
    }
}

void ZylSrvDenseMatrix::GetRows(int r0, int r1, ZylSrvMatrix& out) const { GetValues(r0, r1, 0, numColumns - 1, out); }

void ZylSrvDenseMatrix::SetRows(int r0, int r1, const ZylSrvMatrix& in) { SetValues(r0, r1, 0, numColumns - 1, in); }

void ZylSrvDenseMatrix::GetColumns(int c0, int c1, ZylSrvMatrix& out) const { GetValues(0, numRows - 1, c0, c1, out); }

void ZylSrvDenseMatrix::SetColumns(int c0, int c1, const ZylSrvMatrix& in) { SetValues(0, numRows - 1, c0, c1, in); }

void ZylSrvDenseMatrix::GetSubmatrix(ZylSrvDenseMatrix& dest, int r0, int r1, int c0, int c1) const
{
    // The whole read range first, and a destination that the range fills,
    // so that nothing is written when the call fails.
    if (!RangeInside(r0, r1, c0, c1, numRows, numColumns) || dest.numRows > r1 - r0 + 1)
        RaiseGetRange();
    const int width = c1 - c0 + 1;
    Staging<double> staging(Count(dest.MaxNumberOfRowsInBlock(), width));
    for (int b = 0; b < dest.NumberOfRowBlocks(); ++b) {
        const int f = dest.FirstRowInBlock(b);
        const int l = std::min(r1 - r0, f + dest.NumberOfRowsInBlock(b) - 1);
        ZylSrvMatrix band(l - f + 1, width, staging.Get());
        GetValues(f + r0, l + r0, c0, c1, band);
        dest.SetValues(f, l, 0, c1 - c0, band);
    }
}

void ZylSrvDenseMatrix::CopyRowsToMemory(const int* rowMap, int ld, ZylSrvMatrix& out) const
{
    Staging<double> staging(Count(numRows, numColumns));
    ZylSrvMatrix whole(numRows, numColumns, staging.Get());
    GetValues(0, numRows - 1, 0, numColumns - 1, whole);
    double* target = out.Values();
    std::fill(target, target + Count(ld, numColumns), 0.0);
    const double* values = staging.Get();
    for (int c = 0; c < numColumns; ++c) {
        const double* column = values + Count(numRows, c);
        double* targetColumn = target + Count(ld, c);
        for (int r = 0; r < numRows; ++r)
            targetColumn[rowMap[r]] = column[r];
    }
}

void ZylSrvDenseMatrix::CopyValues(const ZylSrvDenseMatrix* src)
{
    // Same rows, and no more columns than this matrix: checked before the
    // first write.
    if (src->numRows != numRows || src->numColumns > numColumns)
        RaiseSetRange();
    const int rows = src->NumberOfRows();
    Staging<double> staging(Count(rows, src->MaxNumberOfColumnsInBlock()));
    int first = 0;
    for (int b = 0; b < src->NumberOfColumnBlocks(); ++b) {
        const int width = src->NumberOfColumnsInBlock(b);
        const int last = first + width - 1;
        ZylSrvMatrix band(rows, width, staging.Get());
        src->GetColumns(first, last, band);
        SetColumns(first, last, band);
        first = last + 1;
    }
}

void ZylSrvDenseMatrix::CopyMappedRows(const ZylSrvDenseMatrix* src, bool clear)
{
    if (src->numColumns > numColumns)
        RaiseSetRange();
    const ZylDorvCSet sourceSet(src->RowCSetID());
    const ZylDorvCSet targetSet(RowCSetID());
    const int sourceCount = sourceSet.Size();
    const int targetCount = targetSet.Size();
    Staging<int> sourceLabels(sourceCount);
    Staging<int> targetLabels(targetCount);
    ReadMembers(sourceSet, sourceCount, sourceLabels.Get());
    ReadMembers(targetSet, targetCount, targetLabels.Get());

    // Position of each label among this matrix's rows (-1: not a row here).
    int largest = -1;
    for (int i = 0; i < sourceCount; ++i)
        largest = std::max(largest, sourceLabels.Get()[i]);
    for (int i = 0; i < targetCount; ++i)
        largest = std::max(largest, targetLabels.Get()[i]);
    Staging<int> position(static_cast<std::int64_t>(largest) + 1);
    std::fill(position.Get(), position.Get() + (static_cast<std::int64_t>(largest) + 1), -1);
    for (int k = 0; k < targetCount; ++k)
        position.Get()[targetLabels.Get()[k]] = k;

    // Destination row of every source row, and whether every row of this
    // matrix receives one (labels are unique within a CSet).
    const int sourceRows = src->NumberOfRows();
    const int targetRows = numRows;
    Staging<int> destination(sourceRows);
    int covered = 0;
    for (int i = 0; i < sourceRows; ++i) {
        int k = i < sourceCount ? position.Get()[sourceLabels.Get()[i]] : -1;
        if (k >= targetRows)
            k = -1;
        destination.Get()[i] = k;
        if (k >= 0)
            ++covered;
    }
    const bool keepUncovered = !clear && covered < targetRows;

    const int widest = src->MaxNumberOfColumnsInBlock();
    Staging<double> sourceStaging(Count(sourceRows, widest));
    Staging<double> targetStaging(Count(targetRows, widest));
    int first = 0;
    for (int b = 0; b < src->NumberOfColumnBlocks(); ++b) {
        const int width = src->NumberOfColumnsInBlock(b);
        const int last = first + width - 1;
        ZylSrvMatrix sourceBand(sourceRows, width, sourceStaging.Get());
        ZylSrvMatrix targetBand(targetRows, width, targetStaging.Get());
        src->GetColumns(first, last, sourceBand);
        if (clear)
            std::fill(targetStaging.Get(), targetStaging.Get() + Count(width, targetRows), 0.0);
        else if (keepUncovered)
            GetColumns(first, last, targetBand);
        for (int c = 0; c < width; ++c) {
            const double* from = sourceStaging.Get() + Count(sourceRows, c);
            double* to = targetStaging.Get() + Count(targetRows, c);
            for (int i = 0; i < sourceRows; ++i) {
                const int k = destination.Get()[i];
                if (k >= 0)
                    to[k] = from[i];
            }
        }
        SetColumns(first, last, targetBand);
        first = last + 1;
    }
}

void ZylSrvDenseMatrix::GetAllValues(double* out) const
{
    ZylSrvMatrix whole(numRows, numColumns, out);
    GetValues(0, numRows - 1, 0, numColumns - 1, whole);
}

namespace {

// Reads a square matrix whole into a temporary and hands it to `pack`, which
// writes one of the packed forms; `operation` names the refusal of a matrix
// that is not square.
template <class Pack>
void PackWholeSquare(const ZylSrvDenseMatrix& matrix, const char* operation, int line, Pack pack)
{
    const int n = matrix.NumberOfRows();
    if (n != matrix.NumberOfColumns())
        zyl_mtx::Raise<ZylSrvMtxIllegalInput>(kRaiseSource, line, operation);
    Staging<double> staging(Count(n, n));
    ZylSrvMatrix whole(n, n, staging.Get());
    matrix.GetValues(0, n - 1, 0, n - 1, whole);
    pack(whole, n);
}

} // namespace

void ZylSrvDenseMatrix::GetUpperValues(double* out) const
{
    PackWholeSquare(*this, "GetUpperValues", __LINE__,
                    [out](ZylSrvMatrix& whole, int n) { PackUpper(whole.Values(), n, out); });
}

void ZylSrvDenseMatrix::GetLowerValues(double* out) const
{
    PackWholeSquare(*this, "GetLowerValues", __LINE__, [out](ZylSrvMatrix& whole, int n) {
        whole.Transpose(); // the lower triangle row by row is the upper one of the transpose
        PackUpper(whole.Values(), n, out);
    });
}

void ZylSrvDenseMatrix::GetSymmetricValues(double* out) const
{
    PackWholeSquare(*this, "GetSymmetricValues", __LINE__, [out](ZylSrvMatrix& whole, int n) {
        const double* values = whole.Values();
        std::int64_t next = 0;
        for (int j = 0; j < n; ++j) {
            for (int i = 0; i < j; ++i)
                out[next++] = (values[i + Count(n, j)] + values[j + Count(n, i)]) * 0.5;
            out[next++] = values[j + Count(n, j)];
        }
    });
}

// ---- products ----------------------------------------------------------------------

void ZylSrvDenseMatrix::Multiply(const double* X, int nrhs, double* Y) const
{
    const int m = numRows;
    const int k = numColumns;
    Staging<double> staging(Count(MaxNumberOfRowsInBlock(), k));
    for (int b = 0; b < numRowBlocks; ++b) {
        const int r0 = FirstRowInBlock(b);
        const int rows = NumberOfRowsInBlock(b);
        ZylSrvMatrix band(rows, k, staging.Get());
        GetRows(r0, r0 + rows - 1, band);
        Gemm('N', 'N', rows, nrhs, k, 1.0, staging.Get(), rows, X, k, 1.0, Y + r0, m);
    }
}

void ZylSrvDenseMatrix::Multiply(const ZylSrvMatrix& B, ZylSrvMatrix& C) const
{
    const int m = numRows;
    const int k = numColumns;
    Staging<double> staging(Count(MaxNumberOfRowsInBlock(), k));
    for (int b = 0; b < numRowBlocks; ++b) {
        const int r0 = FirstRowInBlock(b);
        const int rows = NumberOfRowsInBlock(b);
        ZylSrvMatrix band(rows, k, staging.Get());
        GetRows(r0, r0 + rows - 1, band);
        Gemm('N', 'N', rows, B.NumberOfColumns(), k, 1.0, staging.Get(), rows, B.Values(), k, 0.0, C.Values() + r0,
             m);
    }
}

void ZylSrvDenseMatrix::Multiply(const ZylSrvDenseMatrix* B, double* C) const
{
    const int m = numRows;
    const int n = B->NumberOfColumns();
    std::fill(C, C + Count(m, n), 0.0);
    const int largestRowsA = MaxNumberOfRowsInBlock();
    const int largestRowsB = B->MaxNumberOfRowsInBlock();
    Staging<double> aStaging(Count(largestRowsA, largestRowsB));
    Staging<double> bStaging(Count(largestRowsB, n));
    for (int kb = 0; kb < B->NumberOfRowBlocks(); ++kb) {
        const int k0 = B->FirstRowInBlock(kb);
        const int depth = B->NumberOfRowsInBlock(kb);
        const int k1 = k0 + depth - 1;
        ZylSrvMatrix bBand(depth, n, bStaging.Get());
        B->GetRows(k0, k1, bBand);
        for (int ib = 0; ib < numRowBlocks; ++ib) {
            const int i0 = FirstRowInBlock(ib);
            const int rows = NumberOfRowsInBlock(ib);
            ZylSrvMatrix aBlock(rows, depth, aStaging.Get());
            GetValues(i0, i0 + rows - 1, k0, k1, aBlock);
            // The product of each block pair is added straight into C.
            for (int jb = 0; jb < B->NumberOfColumnBlocks(); ++jb) {
                const int j0 = B->FirstColumnInBlock(jb);
                Gemm('N', 'N', rows, B->NumberOfColumnsInBlock(jb), depth, 1.0, aStaging.Get(), rows,
                     bStaging.Get() + Count(depth, j0), depth, 1.0, C + i0 + Count(m, j0), m);
            }
        }
    }
}

void ZylSrvDenseMatrix::Multiply(const ZylSrvDenseMatrix& B, ZylSrvDenseMatrix& C) const
{
    if (numRowBlocks == 0 || numColumnBlocks == 0 || B.NumberOfColumnBlocks() == 0)
        return; // an empty product
    const double m = numRows;
    const double k = numColumns;
    const double n = B.NumberOfColumns();
    const int pm = MaxNumberOfRowsInBlock();
    const int pk = MaxNumberOfColumnsInBlock();
    const int pn = B.MaxNumberOfColumnsInBlock();
    const double Pm = pm;
    const double Pk = pk;

    // Band lengths from a budget of values.
    const double budget = n * k + (Pm * k > m ? Pm * k : m);
    double bn = (budget - Pk * Pm) / (Pk + Pm);
    if (bn > n)
        bn = n;
    double bm = (budget - bn * Pk) / (bn + Pk);
    if (bm > m)
        bm = m;
    if (!(bm > 0.0))
        bm = Pm;
    double bk = (budget - bm * bn) / (bm + bn);
    if (bk > k)
        bk = k;
    if (!(bk > 0.0))
        bk = Pk;
    const int rowBlocksPerBand = BlocksPerBand(bm, pm, numRowBlocks);
    const int depthBlocksPerBand = BlocksPerBand(bk, pk, numColumnBlocks);
    const int columnBlocksPerBand = BlocksPerBand(bn, pn, B.NumberOfColumnBlocks());

    const std::int64_t mcap = LargestBand(numRowBlocks, rowBlocksPerBand,
                                          [&](int b0, int b1) { return NumberOfRowsInBlockRange(b0, b1); });
    const std::int64_t kcap = LargestBand(numColumnBlocks, depthBlocksPerBand,
                                          [&](int b0, int b1) { return NumberOfColumnsInBlockRange(b0, b1); });
    const std::int64_t ncap = LargestBand(B.NumberOfColumnBlocks(), columnBlocksPerBand,
                                          [&](int b0, int b1) { return B.NumberOfColumnsInBlockRange(b0, b1); });
    // One allocation: the A band, the C band, the B band.
    Staging<double> staging((kcap + mcap) * ncap + kcap * mcap);
    double* aBand = staging.Get();
    double* cBand = aBand + mcap * kcap;
    double* bBand = cBand + mcap * ncap;

    for (int jb = 0; jb < B.NumberOfColumnBlocks(); jb += columnBlocksPerBand) {
        const int j0 = B.FirstColumnInBlock(jb);
        const int columns =
            B.NumberOfColumnsInBlockRange(jb, std::min(B.NumberOfColumnBlocks() - jb, columnBlocksPerBand) + jb - 1);
        const int j1 = j0 + columns - 1;
        for (int ib = 0; ib < numRowBlocks; ib += rowBlocksPerBand) {
            const int i0 = FirstRowInBlock(ib);
            const int rows = NumberOfRowsInBlockRange(ib, std::min(numRowBlocks - ib, rowBlocksPerBand) + ib - 1);
            const int i1 = i0 + rows - 1;
            double beta = 0.0;
            for (int kb = 0; kb < numColumnBlocks; kb += depthBlocksPerBand) {
                const int k0 = FirstColumnInBlock(kb);
                const int depth =
                    NumberOfColumnsInBlockRange(kb, std::min(numColumnBlocks - kb, depthBlocksPerBand) + kb - 1);
                const int k1 = k0 + depth - 1;
                ZylSrvMatrix a(rows, depth, aBand);
                ZylSrvMatrix b(depth, columns, bBand);
                GetValues(i0, i1, k0, k1, a);
                B.GetValues(k0, k1, j0, j1, b);
                Gemm('N', 'N', rows, columns, depth, 1.0, aBand, rows, bBand, depth, beta, cBand, rows);
                beta = 1.0;
            }
            ZylSrvMatrix c(rows, columns, cBand);
            C.SetValues(i0, i1, j0, j1, c);
        }
    }
}

void ZylSrvDenseMatrix::Multiply(double alpha, const ZylSrvMatrix& B, double beta, ZylSrvDenseMatrix& C) const
{
    const int k = numColumns;
    const int cColumns = C.NumberOfColumns();
    const int bColumns = B.NumberOfColumns();
    const bool readC = !(beta == 0.0); // a NaN beta counts as non-zero
    const int largestRows = C.MaxNumberOfRowsInBlock();
    Staging<double> aStaging(Count(largestRows, k));
    // Wide enough for the product even when B has more columns than C.
    Staging<double> cStaging(Count(largestRows, std::max(cColumns, bColumns)));
    for (int b = 0; b < C.NumberOfRowBlocks(); ++b) {
        const int r0 = C.FirstRowInBlock(b);
        const int rows = C.NumberOfRowsInBlock(b);
        const int r1 = r0 + rows - 1;
        ZylSrvMatrix cBand(rows, cColumns, cStaging.Get());
        ZylSrvMatrix aBand(rows, k, aStaging.Get());
        if (readC)
            C.GetRows(r0, r1, cBand);
        GetRows(r0, r1, aBand);
        double* c = cStaging.Get();
        const double* a = aStaging.Get();
        if (B.IsDiagonal()) {
            const std::int64_t count = Count(rows, cColumns);
            if (beta == 0.0)
                std::fill(c, c + count, 0.0);
            else if (beta != 1.0)
                for (std::int64_t i = 0; i < count; ++i)
                    c[i] *= beta;
            const double* d = B.Values();
            const int columns = std::min(k, cColumns);
            for (int j = 0; j < columns; ++j) {
                const double factor = alpha * d[j];
                double* cColumn = c + Count(rows, j);
                const double* aColumn = a + Count(rows, j);
                for (int i = 0; i < rows; ++i)
                    cColumn[i] += factor * aColumn[i];
            }
        } else {
            Gemm('N', 'N', rows, bColumns, k, alpha, a, rows, B.Values(), B.NumberOfRows(), beta, c, rows);
        }
        C.SetRows(r0, r1, cBand);
    }
}

void ZylSrvDenseMatrix::MultiplyAssign(const ZylSrvMatrix& B)
{
    const int k = numColumns;
    const std::int64_t size = Count(MaxNumberOfRowsInBlock(), k);
    Staging<double> staging(size);
    Staging<double> product(size);
    for (int b = 0; b < numRowBlocks; ++b) {
        const int r0 = FirstRowInBlock(b);
        const int rows = NumberOfRowsInBlock(b);
        ZylSrvMatrix band(rows, k, staging.Get());
        ZylSrvMatrix result(rows, k, product.Get());
        GetRows(r0, r0 + rows - 1, band);
        Gemm('N', 'N', rows, k, k, 1.0, staging.Get(), rows, B.Values(), k, 0.0, product.Get(), rows);
        SetRows(r0, r0 + rows - 1, result);
    }
}

void ZylSrvDenseMatrix::TransposeMultiply(const double* X, int nrhs, double* Y, int nk) const
{
    if (nk == 0)
        return; // the sum over no rows
    const int k = numColumns;
    Staging<double> staging(Count(std::max(nk, 0), MaxNumberOfColumnsInBlock()));
    for (int b = 0; b < numColumnBlocks; ++b) {
        const int c0 = FirstColumnInBlock(b);
        const int width = NumberOfColumnsInBlock(b);
        ZylSrvMatrix block(std::max(nk, 0), width, staging.Get());
        GetValues(0, nk - 1, c0, c0 + width - 1, block);
        Gemm('T', 'N', width, nrhs, nk, 1.0, staging.Get(), nk, X, nk, 1.0, Y + c0, k);
    }
}

void ZylSrvDenseMatrix::TransposeMultiply(const int* perm, const ZylSrvMatrix& B, ZylSrvMatrix& C, double alpha,
                                          double beta)
{
    const int m = numRows;
    Staging<double> staging(Count(MaxNumberOfColumnsInBlock(), m));
    for (int b = 0; b < numColumnBlocks; ++b) {
        const int c0 = FirstColumnInBlock(b);
        const int width = NumberOfColumnsInBlock(b);
        ZylSrvMatrix band(m, width, staging.Get());
        GetColumns(c0, c0 + width - 1, band);
        if (perm != nullptr)
            band.PermuteRowsInPlace(perm, m);
        Gemm('T', 'N', width, B.NumberOfColumns(), B.NumberOfRows(), alpha, staging.Get(), m, B.Values(),
             B.NumberOfRows(), beta, C.Values() + c0, C.NumberOfRows());
    }
}

void ZylSrvDenseMatrix::TransposeMultiply(const ZylSrvMatrix& B, double* C, int symmetric) const
{
    ZylSrvMatrix result(numColumns, B.NumberOfColumns(), C);
    TransposeMultiply(B, result, symmetric);
}

void ZylSrvDenseMatrix::TransposeMultiply(const ZylSrvMatrix& B, ZylSrvMatrix& C, int symmetric) const
{
    const int perBand = TransposeBandHeight(*this, B.NumberOfRows(), numColumns);
    // One band over exactly B's rows: B itself is the band.
    const bool whole = perBand >= numRowBlocks && numRows == B.NumberOfRows();
    TransposeProductInBands(*this, perBand, B.NumberOfColumns(), !whole, C, symmetric,
                            [&](int r0, int r1, ZylSrvMatrix& band) -> const ZylSrvMatrix& {
                                if (whole)
                                    return B;
                                B.GetRows(r0, r1, band);
                                return band;
                            });
}

void ZylSrvDenseMatrix::TransposeMultiply(const ZylSrvDenseMatrix* B, ZylSrvDenseMatrix* C, int symmetric) const
{
    const int columns = B->NumberOfColumns();
    Staging<double> staging(Count(numColumns, columns));
    ZylSrvMatrix product(numColumns, columns, staging.Get());
    TransposeMultiply(B, product, symmetric);
    C->SetColumns(0, columns - 1, product);
}

void ZylSrvDenseMatrix::TransposeMultiply(const ZylSrvDenseMatrix* B, double* C, int symmetric) const
{
    ZylSrvMatrix result(numColumns, B->NumberOfColumns(), C);
    TransposeMultiply(B, result, symmetric);
}

void ZylSrvDenseMatrix::TransposeMultiply(const ZylSrvDenseMatrix* B, ZylSrvMatrix& C, int symmetric) const
{
    const int perBand =
        TransposeBandHeight(*this, B->NumberOfRows(), std::max(numColumns, B->NumberOfColumns()));
    TransposeProductInBands(*this, perBand, B->NumberOfColumns(), true, C, symmetric,
                            [&](int r0, int r1, ZylSrvMatrix& band) -> const ZylSrvMatrix& {
                                B->GetRows(r0, r1, band);
                                return band;
                            });
}

void ZylSrvDenseMatrix::IndexedMultiply(const ZylSrvMatrix& B, ZylSrvDenseMatrix& C, const int* rowIndex,
                                        const int* groupStart, int nGroups) const
{
    const int k = numColumns;
    const int n = B.NumberOfColumns();
    std::int64_t longest = 0;
    for (int g = 0; g < nGroups; ++g)
        longest = std::max<std::int64_t>(longest, static_cast<std::int64_t>(groupStart[g + 1]) - groupStart[g]);
    Staging<double> rows(Count(longest, k));
    Staging<double> result(Count(longest, n));
    for (int g = 0; g < nGroups; ++g) {
        const int first = groupStart[g];
        const int length = groupStart[g + 1] - first;
        if (length <= 0)
            continue;
        // Maximal runs of consecutive ascending source rows; a well-formed
        // group is a single run.
        const int* source = rowIndex + first;
        for (int s = 0; s < length;) {
            int e = s;
            while (e + 1 < length && static_cast<std::int64_t>(source[e + 1]) - source[e] == 1)
                ++e;
            const int run = e - s + 1;
            ZylSrvMatrix runRows(run, k, rows.Get());
            GetValues(source[s], source[e], 0, k - 1, runRows);
            Gemm('N', 'N', run, n, k, 1.0, rows.Get(), run, B.Values(), k, 0.0, result.Get() + s, length);
            s = e + 1;
        }
        ZylSrvMatrix groupResult(length, n, result.Get());
        C.SetValues(first, first + length - 1, 0, C.NumberOfColumns() - 1, groupResult);
    }
}

// ---- block-wise updates ----------------------------------------------------------

void ZylSrvDenseMatrix::AddAssign(const ZylSrvDenseMatrix& B)
{
    if (B.numRows < numRows || B.numColumns < numColumns)
        RaiseGetRange(); // B's blocks could not all be read
    const std::int64_t size = Count(MaxNumberOfRowsInBlock(), MaxNumberOfColumnsInBlock());
    Staging<double> mine(size);
    Staging<double> theirs(size);
    for (int cb = 0; cb < numColumnBlocks; ++cb) {
        const int c0 = FirstColumnInBlock(cb);
        const int width = NumberOfColumnsInBlock(cb);
        for (int rb = 0; rb < numRowBlocks; ++rb) {
            const int r0 = FirstRowInBlock(rb);
            const int height = NumberOfRowsInBlock(rb);
            ZylSrvMatrix a(height, width, mine.Get());
            ZylSrvMatrix b(height, width, theirs.Get());
            GetValues(r0, r0 + height - 1, c0, c0 + width - 1, a);
            B.GetValues(r0, r0 + height - 1, c0, c0 + width - 1, b);
            const std::int64_t count = Count(height, width);
            double* x = mine.Get();
            const double* y = theirs.Get();
            for (std::int64_t i = 0; i < count; ++i)
                x[i] += y[i];
            SetValues(r0, r0 + height - 1, c0, c0 + width - 1, a);
        }
    }
}

void ZylSrvDenseMatrix::Scale(double s)
{
    Staging<double> staging(Count(MaxNumberOfRowsInBlock(), MaxNumberOfColumnsInBlock()));
    for (int cb = 0; cb < numColumnBlocks; ++cb) {
        const int c0 = FirstColumnInBlock(cb);
        const int width = NumberOfColumnsInBlock(cb);
        for (int rb = 0; rb < numRowBlocks; ++rb) {
            const int r0 = FirstRowInBlock(rb);
            const int height = NumberOfRowsInBlock(rb);
            ZylSrvMatrix a(height, width, staging.Get());
            GetValues(r0, r0 + height - 1, c0, c0 + width - 1, a);
            const std::int64_t count = Count(height, width);
            double* x = staging.Get();
            for (std::int64_t i = 0; i < count; ++i)
                x[i] *= s;
            SetValues(r0, r0 + height - 1, c0, c0 + width - 1, a);
        }
    }
}

bool ZylSrvDenseMatrix::IsSymmetric() const
{
    if (numRows != numColumns)
        return false;
    // Both sides cut by the row blocks.
    const int largest = MaxNumberOfRowsInBlock();
    Staging<double> upper(Count(largest, largest));
    Staging<double> lower(Count(largest, largest));
    for (int i = 0; i < numRowBlocks; ++i) {
        const int i0 = FirstRowInBlock(i);
        const int iSize = NumberOfRowsInBlock(i);
        for (int j = i; j < numRowBlocks; ++j) {
            const int j0 = FirstRowInBlock(j);
            const int jSize = NumberOfRowsInBlock(j);
            ZylSrvMatrix blockIJ(iSize, jSize, upper.Get());
            GetValues(i0, i0 + iSize - 1, j0, j0 + jSize - 1, blockIJ);
            if (j == i) {
                if (!blockIJ.IsSymmetricNumerically())
                    return false;
                continue;
            }
            ZylSrvMatrix blockJI(jSize, iSize, lower.Get());
            GetValues(j0, j0 + jSize - 1, i0, i0 + iSize - 1, blockJI);
            blockJI.Transpose();
            if (!(blockJI == blockIJ))
                return false;
        }
    }
    return true;
}
