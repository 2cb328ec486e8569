#include <mtx/ZylSrvDenseMatrix.h>

#include <mtx/impl/ZylSrvMtxErrors.h>
#include <mtx/impl/internal/ZylSrvBlockGeometry.h>
#include <mtx/impl/internal/ZylSrvDensePacking.h>
#include <mtx/impl/internal/ZylSrvDenseProductBands.h>
#include <mtx/impl/internal/ZylSrvDenseTransfer.h>
#include <mtx/impl/internal/ZylSrvGemm.h>
#include <platform/dorv/ZylDorvAPI.h>
#include <platform/dorv/ZylDorvProcessGroup.h>
#include <platform/mem.h>

#include <algorithm>
#include <cstdint>
#include <utility>

namespace {

using zyl_mtx::Band;
using zyl_mtx::Bands;
using zyl_mtx::BlockGeometry;
using zyl_mtx::Count;

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
    mem_Array<int> members(static_cast<std::size_t>(size));
    ReadMembers(cset, size, members.Get());
    return ZylDorvCollection(parent.CollectionID()).CreateTempOrderedCSet(members.Get() + first, count);
}

} // namespace

// ---- construction and identity ----------------------------------------------

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
    SetBlocks(parent.RowBlocks().Cut(firstRow, lastRow), parent.ColumnBlocks().Cut(firstColumn, lastColumn));
    rowOffset = parent.rowOffset + firstRow;
    columnOffset = parent.columnOffset + firstColumn;

    rowCSetID = CutCSet(parent.rowCSetID, firstRow, numRows);
    if (!parent.columnCSetID.IsNull())
        columnCSetID = CutCSet(parent.columnCSetID, firstColumn, numColumns);
    transfer = zyl_mtx::NewPreparedTransfer(distribution);
}

ZylSrvDenseMatrix::~ZylSrvDenseMatrix() = default;

void ZylSrvDenseMatrix::AttachDistribution(const ZylDorvDistribution& handle)
{
    // Every transfer moves doubles: integers would be read 4 bytes at a time
    // as halves of doubles.
    ZYL_SRV_MTX_REFUSE_IF(handle.RangeType() != ZylDorvRangeType(ZylDorvTypeKey::Double), "AttachDistribution");
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
    mem_Unique<ZylDorvTransfer> prepared = zyl_mtx::NewPreparedTransfer(handle);

    distribution = handle;
    SetBlocks(BlockGeometry::Divide(rows, rowBlockSize), BlockGeometry::Divide(columns, columnBlockSize));
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

BlockGeometry ZylSrvDenseMatrix::RowBlocks() const
{
    return {numRows, numRowBlocks, rowsPerBlock, rowsInFirstBlock, rowsInLastBlock};
}

BlockGeometry ZylSrvDenseMatrix::ColumnBlocks() const
{
    return {numColumns, numColumnBlocks, columnsPerBlock, columnsInFirstBlock, columnsInLastBlock};
}

void ZylSrvDenseMatrix::SetBlocks(const BlockGeometry& rows, const BlockGeometry& columns)
{
    numRows = rows.count;
    numRowBlocks = rows.blocks;
    rowsPerBlock = rows.perBlock;
    rowsInFirstBlock = rows.first;
    rowsInLastBlock = rows.last;
    numColumns = columns.count;
    numColumnBlocks = columns.blocks;
    columnsPerBlock = columns.perBlock;
    columnsInFirstBlock = columns.first;
    columnsInLastBlock = columns.last;
}

int ZylSrvDenseMatrix::NumberOfRowsInBlock(int block) const { return RowBlocks().Size(block); }
int ZylSrvDenseMatrix::NumberOfColumnsInBlock(int block) const { return ColumnBlocks().Size(block); }
int ZylSrvDenseMatrix::MaxNumberOfRowsInBlock() const { return RowBlocks().Largest(); }
int ZylSrvDenseMatrix::MaxNumberOfColumnsInBlock() const { return ColumnBlocks().Largest(); }
int ZylSrvDenseMatrix::NumberOfRowsInBlockRange(int b0, int b1) const { return RowBlocks().RangeSize(b0, b1); }
int ZylSrvDenseMatrix::NumberOfColumnsInBlockRange(int b0, int b1) const { return ColumnBlocks().RangeSize(b0, b1); }
int ZylSrvDenseMatrix::FirstRowInBlock(int block) const { return RowBlocks().FirstIndex(block); }
int ZylSrvDenseMatrix::FirstColumnInBlock(int block) const { return ColumnBlocks().FirstIndex(block); }
int ZylSrvDenseMatrix::BlockContainingRow(int row) const { return RowBlocks().Containing(row); }
int ZylSrvDenseMatrix::BlockContainingColumn(int column) const { return ColumnBlocks().Containing(column); }

// ---- extension -------------------------------------------------------------------

int ZylSrvDenseMatrix::ExtendableDim() const
{
    if (IsNull())
        return -1; // no distribution, so no drawer to ask
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
    mem_Array<int> labels(static_cast<std::size_t>(oldCount) + static_cast<std::size_t>(addedCount));
    ReadMembers(sideSet, oldCount, labels.Get());
    ReadMembers(addedSet, addedCount, labels.Get() + oldCount);

    // Everything that can fail comes before the drawer grows, so that a
    // failure leaves matrix and drawer agreeing and a retry starts afresh
    // (a CSet made before the failure stays, like the one of a refusal).
    // The extension runs on a copy, which leaves the prepared transfer as it
    // was should the database refuse it.
    const ZylDorvCSetID grown =
        ZylDorvCollection(side.CollectionID()).CreateOrderedCSet(labels.Get(), oldCount + addedCount);
    mem_Unique<ZylDorvTransfer> fresh = zyl_mtx::NewPreparedTransfer(distribution);
    {
        ZylDorvTransfer extension(*transfer);
        extension.SetDimExtension(added);
        extension.CheckView();
        extension.InitializeExtension();
        extension.RelinquishBuffers();
    }

    transfer = std::move(fresh);
    if (columns) {
        columnCSetID = grown;
        SetBlocks(RowBlocks(), BlockGeometry::Divide(numColumns + addedCount, columnsPerBlock));
    } else {
        rowCSetID = grown;
        SetBlocks(BlockGeometry::Divide(numRows + addedCount, rowsPerBlock), ColumnBlocks());
    }
    return 0;
}

// ---- data access ---------------------------------------------------------------

void ZylSrvDenseMatrix::GetValues(int r0, int r1, int c0, int c1, ZylSrvMatrix& out) const
{
    if (!RangeInside(r0, r1, c0, c1, numRows, numColumns))
        RaiseGetRange();
    ZylDorvTransfer read =
        zyl_mtx::RectangleTransfer(*transfer, rowCSetID, columnCSetID, rowOffset, columnOffset, r0, r1, c0, c1);
    read.SetBuffer(0, static_cast<void*>(out.Values()), zyl_mtx::BufferBytes(out));
    read.ExecRead();
    read.RelinquishBuffers();
}

void ZylSrvDenseMatrix::SetValues(int r0, int r1, int c0, int c1, const ZylSrvMatrix& in)
{
    if (!RangeInside(r0, r1, c0, c1, numRows, numColumns))
        RaiseSetRange();
    try {
        ZylDorvTransfer write =
            zyl_mtx::RectangleTransfer(*transfer, rowCSetID, columnCSetID, rowOffset, columnOffset, r0, r1, c0, c1);
        write.SetBuffer(0, static_cast<const void*>(in.Values()), zyl_mtx::BufferBytes(in));
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

void ZylSrvDenseMatrix::ReadAhead(ZylDorvReadAhead& ahead, int r0, int r1, int c0, int c1) const
{
    if (!RangeInside(r0, r1, c0, c1, numRows, numColumns))
        return;
    try {
        zyl_mtx::RectangleTransfer(*transfer, rowCSetID, columnCSetID, rowOffset, columnOffset, r0, r1, c0, c1)
            .ExecReadAhead(ahead);
    } catch (...) {
        // A hint: the read that follows reports a database problem, and an
        // allocation that fails here is retried there.
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
    mem_Array<double> staging(Count(dest.MaxNumberOfRowsInBlock(), width));
    for (const Band& band : Bands(dest.RowBlocks(), 1)) {
        const int last = std::min(r1 - r0, band.last);
        ZylSrvMatrix values(last - band.first + 1, width, staging.Get());
        GetValues(band.first + r0, last + r0, c0, c1, values);
        dest.SetValues(band.first, last, 0, c1 - c0, values);
    }
}

void ZylSrvDenseMatrix::CopyRowsToMemory(const int* rowMap, int ld, ZylSrvMatrix& out) const
{
    mem_Array<double> staging(Count(numRows, numColumns));
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
    mem_Array<double> staging(Count(numRows, src->MaxNumberOfColumnsInBlock()));
    for (const Band& band : Bands(src->ColumnBlocks(), 1)) {
        ZylSrvMatrix values(numRows, band.Size(), staging.Get());
        src->GetColumns(band.first, band.last, values);
        SetColumns(band.first, band.last, values);
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
    mem_Array<int> sourceLabels(static_cast<std::size_t>(sourceCount));
    mem_Array<int> targetLabels(static_cast<std::size_t>(targetCount));
    ReadMembers(sourceSet, sourceCount, sourceLabels.Get());
    ReadMembers(targetSet, targetCount, targetLabels.Get());

    // Position of each label among this matrix's rows (-1: not a row here).
    int largest = -1;
    for (const mem_Array<int>* labels : {&sourceLabels, &targetLabels})
        for (const int label : *labels)
            largest = std::max(largest, label);
    mem_Array<int> position(static_cast<std::size_t>(largest) + 1);
    std::fill(position.begin(), position.end(), -1);
    for (int k = 0; k < targetCount; ++k)
        position[targetLabels[k]] = k;

    // Destination row of every source row, and whether every row of this
    // matrix receives one (labels are unique within a CSet).
    const int sourceRows = src->NumberOfRows();
    const int targetRows = numRows;
    mem_Array<int> destination(static_cast<std::size_t>(sourceRows));
    int covered = 0;
    for (int i = 0; i < sourceRows; ++i) {
        const int k = i < sourceCount ? position[sourceLabels[i]] : -1;
        destination[i] = k < targetRows ? k : -1;
        if (destination[i] >= 0)
            ++covered;
    }
    const bool keepUncovered = !clear && covered < targetRows;

    const int widest = src->MaxNumberOfColumnsInBlock();
    mem_Array<double> sourceStaging(Count(sourceRows, widest));
    mem_Array<double> targetStaging(Count(targetRows, widest));
    for (const Band& band : Bands(src->ColumnBlocks(), 1)) {
        const int width = band.Size();
        ZylSrvMatrix sourceBand(sourceRows, width, sourceStaging.Get());
        ZylSrvMatrix targetBand(targetRows, width, targetStaging.Get());
        src->GetColumns(band.first, band.last, sourceBand);
        if (clear)
            std::fill(targetStaging.Get(), targetStaging.Get() + Count(width, targetRows), 0.0);
        else if (keepUncovered)
            GetColumns(band.first, band.last, targetBand);
        for (int c = 0; c < width; ++c) {
            const double* from = sourceStaging.Get() + Count(sourceRows, c);
            double* to = targetStaging.Get() + Count(targetRows, c);
            for (int i = 0; i < sourceRows; ++i)
                if (destination[i] >= 0)
                    to[destination[i]] = from[i];
        }
        SetColumns(band.first, band.last, targetBand);
    }
}

void ZylSrvDenseMatrix::GetAllValues(double* out) const
{
    ZylSrvMatrix whole(numRows, numColumns, out);
    GetValues(0, numRows - 1, 0, numColumns - 1, whole);
}

namespace {

// Reads a square matrix whole into a temporary (transposed when asked) and
// packs it into `out`; `operation` names the refusal of a matrix that is not
// square.
void PackWholeSquare(const ZylSrvDenseMatrix& matrix, const char* operation, int line, bool transposed,
                     void (*pack)(const double*, int, double*), double* out)
{
    const int n = matrix.NumberOfRows();
    if (n != matrix.NumberOfColumns())
        zyl_mtx::Raise<ZylSrvMtxIllegalInput>(kRaiseSource, line, operation);
    mem_Array<double> staging(Count(n, n));
    ZylSrvMatrix whole(n, n, staging.Get());
    matrix.GetValues(0, n - 1, 0, n - 1, whole);
    if (transposed)
        whole.Transpose();
    pack(whole.Values(), n, out);
}

} // namespace

void ZylSrvDenseMatrix::GetUpperValues(double* out) const
{
    PackWholeSquare(*this, "GetUpperValues", __LINE__, false, zyl_mtx::PackUpper, out);
}

// The lower triangle row by row is the upper one of the transpose.
void ZylSrvDenseMatrix::GetLowerValues(double* out) const
{
    PackWholeSquare(*this, "GetLowerValues", __LINE__, true, zyl_mtx::PackUpper, out);
}

void ZylSrvDenseMatrix::GetSymmetricValues(double* out) const
{
    PackWholeSquare(*this, "GetSymmetricValues", __LINE__, false, zyl_mtx::PackSymmetricPart, out);
}

// ---- products ----------------------------------------------------------------------
// Every band goes to zyl_mtx::Gemm with the arguments as the products are
// defined, so an empty or impossible case is answered by BLAS itself. The
// products walk their bands through zyl_mtx::PipelineBands, which announces
// the reads of the next band before the current one is multiplied.

namespace {

// A row-block stream: each row block of `a` staged whole, then `multiply`
// with its band and staged values.
template <typename Multiply>
void StreamRowBlocks(const ZylSrvDenseMatrix& a, const Bands& bands, double* staging, Multiply&& multiply)
{
    const int k = a.NumberOfColumns();
    zyl_mtx::PipelineBands(
        bands,
        [&](const Band& band) {
            ZylSrvMatrix block(band.Size(), k, staging);
            a.GetRows(band.first, band.last, block);
        },
        [&](ZylDorvReadAhead& ahead, const Band& next) { a.ReadAhead(ahead, next.first, next.last, 0, k - 1); },
        [&](const Band& band) { multiply(band, staging); });
}

} // namespace

void ZylSrvDenseMatrix::Multiply(const double* X, int nrhs, double* Y) const
{
    const int m = numRows;
    const int k = numColumns;
    const Bands own = zyl_mtx::OwnBands(Bands(RowBlocks(), 1));
    zyl_mtx::WalkCollectively([&] {
        mem_Array<double> staging(Count(MaxNumberOfRowsInBlock(), k));
        StreamRowBlocks(*this, own, staging.Get(), [&](const Band& band, const double* block) {
            zyl_mtx::Gemm('N', 'N', band.Size(), nrhs, k, 1.0, block, band.Size(), X, k, 1.0, Y + band.first, m);
        });
    });
    zyl_mtx::GatherOwnRows(own, Y, m, nrhs);
}

void ZylSrvDenseMatrix::Multiply(const ZylSrvMatrix& B, ZylSrvMatrix& C) const
{
    const int m = numRows;
    const int k = numColumns;
    const Bands own = zyl_mtx::OwnBands(Bands(RowBlocks(), 1));
    zyl_mtx::WalkCollectively([&] {
        mem_Array<double> staging(Count(MaxNumberOfRowsInBlock(), k));
        StreamRowBlocks(*this, own, staging.Get(), [&](const Band& band, const double* block) {
            zyl_mtx::Gemm('N', 'N', band.Size(), B.NumberOfColumns(), k, 1.0, block, band.Size(), B.Values(), k,
                          0.0, C.Values() + band.first, m);
        });
    });
    zyl_mtx::GatherOwnRows(own, C.Values(), m, B.NumberOfColumns());
}

void ZylSrvDenseMatrix::Multiply(const ZylSrvDenseMatrix* B, double* C) const
{
    const int m = numRows;
    const int n = B->NumberOfColumns();
    std::fill(C, C + Count(m, n), 0.0);
    const Bands own = zyl_mtx::OwnBands(Bands(RowBlocks(), 1)); // the rows of C this process forms
    zyl_mtx::WalkCollectively([&] {
        if (own.begin() == own.end())
            return; // no rows of C here, so none of B is needed
        mem_Array<double> aStaging(Count(MaxNumberOfRowsInBlock(), B->MaxNumberOfRowsInBlock()));
        mem_Array<double> bStaging(Count(B->MaxNumberOfRowsInBlock(), n));
        ZylDorvReadAhead ahead; // one for both walks
        zyl_mtx::PipelineBands(
            Bands(B->RowBlocks(), 1), ahead,
            [&](const Band& inner) {
                ZylSrvMatrix bBand(inner.Size(), n, bStaging.Get());
                B->GetRows(inner.first, inner.last, bBand);
            },
            [&](ZylDorvReadAhead& readAhead, const Band& next) {
                B->ReadAhead(readAhead, next.first, next.last, 0, n - 1);
            },
            [&](const Band& inner) {
                const int depth = inner.Size();
                zyl_mtx::PipelineBands(
                    own, ahead,
                    [&](const Band& outer) {
                        ZylSrvMatrix aBlock(outer.Size(), depth, aStaging.Get());
                        GetValues(outer.first, outer.last, inner.first, inner.last, aBlock);
                    },
                    [&](ZylDorvReadAhead& readAhead, const Band& next) {
                        ReadAhead(readAhead, next.first, next.last, inner.first, inner.last);
                    },
                    [&](const Band& outer) {
                        // The product of each block pair is added straight into C.
                        for (const Band& columns : Bands(B->ColumnBlocks(), 1))
                            zyl_mtx::Gemm('N', 'N', outer.Size(), columns.Size(), depth, 1.0, aStaging.Get(),
                                          outer.Size(), bStaging.Get() + Count(depth, columns.first), depth, 1.0,
                                          C + outer.first + Count(m, columns.first), m);
                    });
            });
    });
    zyl_mtx::GatherOwnRows(own, C, m, n);
}

void ZylSrvDenseMatrix::Multiply(const ZylSrvDenseMatrix& B, ZylSrvDenseMatrix& C) const
{
    const zyl_mtx::SharedResultBands sharedResult; // the result's bands reach every rank
    const zyl_mtx::ProductBands perBand = zyl_mtx::BudgetProductBands(RowBlocks(), ColumnBlocks(), B.ColumnBlocks());
    // Processes share C's row bands: no fewer bands than processes while
    // there are row blocks for them (each process then reads all of B once).
    const int perProcess = (NumberOfRowBlocks() + ZylDorvProcessGroup::Size() - 1) / ZylDorvProcessGroup::Size();
    const Bands allRowBands(RowBlocks(), std::min(perBand.rowBlocks, std::max(perProcess, 1)));
    const Bands rowBands = zyl_mtx::OwnBands(allRowBands); // C's row bands this process writes
    const Bands depthBands(ColumnBlocks(), perBand.depthBlocks);
    const Bands columnBands(B.ColumnBlocks(), perBand.columnBlocks);
    const std::size_t mcap = static_cast<std::size_t>(allRowBands.Largest());
    const std::size_t kcap = static_cast<std::size_t>(depthBands.Largest());
    const std::size_t ncap = static_cast<std::size_t>(columnBands.Largest());
    // One allocation: the A band, the C band, the B band.
    zyl_mtx::WalkCollectively([&] {
        mem_Array<double> staging((kcap + mcap) * ncap + kcap * mcap);
        double* aBand = staging.Get();
        double* cBand = aBand + mcap * kcap;
        double* bBand = cBand + mcap * ncap;

        // The steps in the order they run: depth bands d inside row bands i
        // inside column bands j. Each step reads A(i, d) and B(d, j); once they
        // are read, the next step's two are announced, so the disk brings them
        // while this step's DGEMM runs.
        ZylDorvReadAhead ahead;
        const auto announceAfter = [&](Bands::Iterator jt, Bands::Iterator it, Bands::Iterator dt) {
            if (++dt == depthBands.end()) {
                dt = depthBands.begin();
                if (++it == rowBands.end()) {
                    it = rowBands.begin();
                    if (++jt == columnBands.end())
                        return;
                }
            }
            const Band i = *it, d = *dt, j = *jt;
            ReadAhead(ahead, i.first, i.last, d.first, d.last);
            B.ReadAhead(ahead, d.first, d.last, j.first, j.last);
        };
        for (Bands::Iterator jt = columnBands.begin(); jt != columnBands.end(); ++jt) {
            const Band j = *jt;
            for (Bands::Iterator it = rowBands.begin(); it != rowBands.end(); ++it) {
                const Band i = *it;
                double beta = 0.0;
                for (Bands::Iterator dt = depthBands.begin(); dt != depthBands.end(); ++dt) {
                    const Band d = *dt;
                    ZylSrvMatrix a(i.Size(), d.Size(), aBand);
                    ZylSrvMatrix b(d.Size(), j.Size(), bBand);
                    GetValues(i.first, i.last, d.first, d.last, a);
                    B.GetValues(d.first, d.last, j.first, j.last, b);
                    announceAfter(jt, it, dt);
                    zyl_mtx::Gemm('N', 'N', i.Size(), j.Size(), d.Size(), 1.0, aBand, i.Size(), bBand, d.Size(), beta,
                                  cBand, i.Size());
                    beta = 1.0;
                }
                ZylSrvMatrix c(i.Size(), j.Size(), cBand);
                C.SetValues(i.first, i.last, j.first, j.last, c);
            }
        }
    });
}

void ZylSrvDenseMatrix::Multiply(double alpha, const ZylSrvMatrix& B, double beta, ZylSrvDenseMatrix& C) const
{
    const zyl_mtx::SharedResultBands sharedResult; // the result's bands reach every rank
    const int k = numColumns;
    const int cColumns = C.NumberOfColumns();
    const int bColumns = B.NumberOfColumns();
    const bool readC = !(beta == 0.0); // a NaN beta counts as non-zero
    // DGEMM forms only the columns B has and leaves the others of the C band
    // as they are; a C band that was not read holds nothing to write back
    // there, so only the columns formed are written and C keeps the others.
    const int written = readC || B.IsDiagonal() ? cColumns : std::min(bColumns, cColumns);
    const int largestRows = C.MaxNumberOfRowsInBlock();
    zyl_mtx::WalkCollectively([&] {
        mem_Array<double> aStaging(Count(largestRows, k));
        // Wide enough for the product even when B has more columns than C.
        mem_Array<double> cStaging(Count(largestRows, std::max(cColumns, bColumns)));
        const auto read = [&](const Band& band) {
            ZylSrvMatrix cBand(band.Size(), cColumns, cStaging.Get());
            ZylSrvMatrix aBand(band.Size(), k, aStaging.Get());
            if (readC)
                C.GetRows(band.first, band.last, cBand);
            GetRows(band.first, band.last, aBand);
        };
        const auto announce = [&](ZylDorvReadAhead& ahead, const Band& next) {
            if (readC)
                C.ReadAhead(ahead, next.first, next.last, 0, cColumns - 1);
            ReadAhead(ahead, next.first, next.last, 0, k - 1);
        };
        zyl_mtx::PipelineBands(zyl_mtx::OwnBands(Bands(C.RowBlocks(), 1)), read, announce, [&](const Band& band) {
            const int rows = band.Size();
            const ZylSrvMatrix cBand(rows, cColumns, cStaging.Get());
            double* c = cStaging.Get();
            const double* a = aStaging.Get();
            if (B.IsDiagonal()) {
                const std::size_t count = Count(rows, cColumns);
                if (beta == 0.0)
                    std::fill(c, c + count, 0.0);
                else if (beta != 1.0)
                    for (std::size_t i = 0; i < count; ++i)
                        c[i] *= beta;
                const double* d = B.Values();
                for (int j = 0; j < std::min(k, cColumns); ++j)
                    for (int i = 0; i < rows; ++i)
                        c[Count(rows, j) + i] += alpha * d[j] * a[Count(rows, j) + i];
            } else {
                zyl_mtx::Gemm('N', 'N', rows, bColumns, k, alpha, a, rows, B.Values(), B.NumberOfRows(), beta, c,
                              rows);
            }
            if (written > 0)
                C.SetValues(band.first, band.last, 0, written - 1, cBand);
        });
    });
}

void ZylSrvDenseMatrix::MultiplyAssign(const ZylSrvMatrix& B)
{
    const zyl_mtx::SharedResultBands sharedResult; // the result's bands reach every rank
    const int k = numColumns;
    zyl_mtx::WalkCollectively([&] {
        mem_Array<double> staging(Count(MaxNumberOfRowsInBlock(), k));
        mem_Array<double> product(Count(MaxNumberOfRowsInBlock(), k));
        const Bands own = zyl_mtx::OwnBands(Bands(RowBlocks(), 1));
        StreamRowBlocks(*this, own, staging.Get(), [&](const Band& band, const double* block) {
            const int rows = band.Size();
            zyl_mtx::Gemm('N', 'N', rows, k, k, 1.0, block, rows, B.Values(), k, 0.0, product.Get(), rows);
            SetRows(band.first, band.last, ZylSrvMatrix(rows, k, product.Get()));
        });
    });
}

void ZylSrvDenseMatrix::TransposeMultiply(const double* X, int nrhs, double* Y, int nk) const
{
    // nk of 0 reads rows 0..-1 and is refused like any range outside A.
    const int k = numColumns;
    const Bands own = zyl_mtx::OwnBands(Bands(ColumnBlocks(), 1));
    zyl_mtx::WalkCollectively([&] {
        mem_Array<double> staging(Count(std::max(nk, 0), MaxNumberOfColumnsInBlock()));
        zyl_mtx::PipelineBands(
            own,
            [&](const Band& band) {
                ZylSrvMatrix block(std::max(nk, 0), band.Size(), staging.Get());
                GetValues(0, nk - 1, band.first, band.last, block);
            },
            [&](ZylDorvReadAhead& ahead, const Band& next) { ReadAhead(ahead, 0, nk - 1, next.first, next.last); },
            [&](const Band& band) {
                zyl_mtx::Gemm('T', 'N', band.Size(), nrhs, nk, 1.0, staging.Get(), nk, X, nk, 1.0, Y + band.first,
                              k);
            });
    });
    zyl_mtx::GatherOwnRows(own, Y, k, nrhs);
}

void ZylSrvDenseMatrix::TransposeMultiply(const int* perm, const ZylSrvMatrix& B, ZylSrvMatrix& C, double alpha,
                                          double beta)
{
    const int m = numRows;
    const Bands own = zyl_mtx::OwnBands(Bands(ColumnBlocks(), 1));
    zyl_mtx::WalkCollectively([&] {
        mem_Array<double> staging(Count(MaxNumberOfColumnsInBlock(), m));
        zyl_mtx::PipelineBands(
            own,
            [&](const Band& band) {
                ZylSrvMatrix block(m, band.Size(), staging.Get());
                GetColumns(band.first, band.last, block);
            },
            [&](ZylDorvReadAhead& ahead, const Band& next) { ReadAhead(ahead, 0, m - 1, next.first, next.last); },
            [&](const Band& band) {
                ZylSrvMatrix block(m, band.Size(), staging.Get());
                if (perm != nullptr)
                    block.PermuteRowsInPlace(perm, m);
                zyl_mtx::Gemm('T', 'N', band.Size(), B.NumberOfColumns(), B.NumberOfRows(), alpha, staging.Get(), m,
                              B.Values(), B.NumberOfRows(), beta, C.Values() + band.first, C.NumberOfRows());
            });
    });
    zyl_mtx::GatherOwnRows(own, C.Values(), C.NumberOfRows(), B.NumberOfColumns());
}

void ZylSrvDenseMatrix::TransposeMultiply(const ZylSrvMatrix& B, double* C, int symmetric) const
{
    ZylSrvMatrix result(numColumns, B.NumberOfColumns(), C);
    TransposeMultiply(B, result, symmetric);
}

void ZylSrvDenseMatrix::TransposeMultiply(const ZylSrvMatrix& B, ZylSrvMatrix& C, int symmetric) const
{
    // Even a single band takes B's rows through GetRows, whose checks refuse
    // what the product could not read safely (a diagonal B stores only its
    // diagonal).
    zyl_mtx::TransposeProductInBands(*this, RowBlocks(), ColumnBlocks(), B, numColumns, C, symmetric);
}

void ZylSrvDenseMatrix::TransposeMultiply(const ZylSrvDenseMatrix* B, ZylSrvDenseMatrix* C, int symmetric) const
{
    const zyl_mtx::SharedResultBands sharedResult; // the result's bands reach every rank
    const int columns = B->NumberOfColumns();
    mem_Array<double> staging = zyl_mtx::ArrayOnEveryProcess<double>(Count(numColumns, columns));
    ZylSrvMatrix product(numColumns, columns, staging.Get());
    TransposeMultiply(B, product, symmetric);
    // Every process holds the product; each writes the rows of its share of
    // C's row blocks.
    const Bands own = zyl_mtx::OwnBands(Bands(C->RowBlocks(), 1));
    zyl_mtx::WalkCollectively([&] {
        if (own.FirstMember() == 0 && own.EndMember() == C->NumberOfRows()) {
            C->SetColumns(0, columns - 1, product);
            return;
        }
        const int first = own.FirstMember();
        const int end = std::min(own.EndMember(), numColumns);
        if (end <= first)
            return;
        ZylSrvMatrix part(end - first, columns);
        for (int c = 0; c < columns; ++c)
            std::copy(product.Values() + Count(numColumns, c) + first,
                      product.Values() + Count(numColumns, c) + end, part.Values() + Count(end - first, c));
        C->SetValues(first, end - 1, 0, columns - 1, part);
    });
}

void ZylSrvDenseMatrix::TransposeMultiply(const ZylSrvDenseMatrix* B, double* C, int symmetric) const
{
    ZylSrvMatrix result(numColumns, B->NumberOfColumns(), C);
    TransposeMultiply(B, result, symmetric);
}

void ZylSrvDenseMatrix::TransposeMultiply(const ZylSrvDenseMatrix* B, ZylSrvMatrix& C, int symmetric) const
{
    const int width = std::max(numColumns, B->NumberOfColumns());
    zyl_mtx::TransposeProductInBands(*this, RowBlocks(), ColumnBlocks(), *B, width, C, symmetric);
}

void ZylSrvDenseMatrix::IndexedMultiply(const ZylSrvMatrix& B, ZylSrvDenseMatrix& C, const int* rowIndex,
                                        const int* groupStart, int nGroups) const
{
    const int k = numColumns;
    const int n = B.NumberOfColumns();
    std::int64_t longest = 0;
    for (int g = 0; g < nGroups; ++g)
        longest = std::max<std::int64_t>(longest, static_cast<std::int64_t>(groupStart[g + 1]) - groupStart[g]);
    mem_Array<double> rows(Count(longest, k));
    mem_Array<double> result(Count(longest, n));
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
            zyl_mtx::Gemm('N', 'N', run, n, k, 1.0, rows.Get(), run, B.Values(), k, 0.0, result.Get() + s, length);
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
    mem_Array<double> mine(Count(MaxNumberOfRowsInBlock(), MaxNumberOfColumnsInBlock()));
    mem_Array<double> theirs(mine.Count());
    for (const Band& c : Bands(ColumnBlocks(), 1)) {
        for (const Band& r : Bands(RowBlocks(), 1)) {
            ZylSrvMatrix a(r.Size(), c.Size(), mine.Get());
            ZylSrvMatrix b(r.Size(), c.Size(), theirs.Get());
            GetValues(r.first, r.last, c.first, c.last, a);
            B.GetValues(r.first, r.last, c.first, c.last, b);
            for (std::size_t i = 0; i < Count(r.Size(), c.Size()); ++i)
                mine[i] += theirs[i];
            SetValues(r.first, r.last, c.first, c.last, a);
        }
    }
}

void ZylSrvDenseMatrix::Scale(double s)
{
    mem_Array<double> staging(Count(MaxNumberOfRowsInBlock(), MaxNumberOfColumnsInBlock()));
    for (const Band& c : Bands(ColumnBlocks(), 1)) {
        for (const Band& r : Bands(RowBlocks(), 1)) {
            ZylSrvMatrix a(r.Size(), c.Size(), staging.Get());
            GetValues(r.first, r.last, c.first, c.last, a);
            for (std::size_t i = 0; i < Count(r.Size(), c.Size()); ++i)
                staging[i] *= s;
            SetValues(r.first, r.last, c.first, c.last, a);
        }
    }
}

bool ZylSrvDenseMatrix::IsSymmetric() const
{
    if (numRows != numColumns)
        return false;
    // Both sides cut by the row blocks.
    const int largest = MaxNumberOfRowsInBlock();
    mem_Array<double> upper(Count(largest, largest));
    mem_Array<double> lower(Count(largest, largest));
    for (const Band& i : Bands(RowBlocks(), 1)) {
        for (const Band& j : Bands(RowBlocks(), 1)) {
            if (j.firstBlock < i.firstBlock)
                continue;
            ZylSrvMatrix blockIJ(i.Size(), j.Size(), upper.Get());
            GetValues(i.first, i.last, j.first, j.last, blockIJ);
            if (j.firstBlock == i.firstBlock) {
                if (!blockIJ.IsSymmetricNumerically())
                    return false;
                continue;
            }
            ZylSrvMatrix blockJI(j.Size(), i.Size(), lower.Get());
            GetValues(j.first, j.last, i.first, i.last, blockJI);
            blockJI.Transpose();
            if (!(blockJI == blockIJ))
                return false;
        }
    }
    return true;
}
