#include <mtx/ZylSrvHermitianScrDenseMatrix.h>

#include <mtx/ZylSrvMatrix.h>
#include <mtx/ZylSrvUtilities.h>
#include <mtx/impl/ZylSrvMtxErrors.h>
#include <mtx/impl/internal/ZylSrvBlockGeometry.h>
#include <mtx/impl/internal/ZylSrvDenseProductBands.h>
#include <mtx/impl/internal/ZylSrvGemm.h>
#include <mtx/impl/internal/ZylSrvScratchChunks.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace {

using zyl_mtx::BlockGeometry;
using zyl_mtx::Count;

// Raise sites here record this class's implementation file.
constexpr const char* kRaiseSource = zyl_mtx::kHermitianScrDenseMatrixSource;
constexpr const char kConstructor[] = "ZylSrvHermitianScrDenseMatrix";

// The two terms of a block's product: with the stored A (and the top half of
// a 2N-row operand), or with JA (and the bottom half).
constexpr int kATerm = 0;
constexpr int kJATerm = 1;

// The row of a 2N-row operand where a term's half starts.
int HalfStart(int term, int columns) { return term == kJATerm ? columns : 0; }

// True when every group ends within the block after the one it starts in,
// blockOf(row) giving a row's block: the two-block window then holds every
// group whole when its turn comes. An empty group holds no row to place.
template <typename BlockOf>
bool GroupsFitTheWindow(const int* sizes, int count, BlockOf blockOf)
{
    int start = 0;
    for (int g = 0; g < count; start += sizes[g++])
        if (sizes[g] > 0 && blockOf(start + sizes[g] - 1) > blockOf(start) + 1)
            return false;
    return true;
}

// The group refusals of the constructors (see the header), made before the
// scratch storage exists.
void RefuseGroups(int rows, int columns, int count, const int* sizes, int rowBlockSize, int columnBlockSize)
{
    ZYL_SRV_MTX_REFUSE_IF(count < 1 || sizes == nullptr, kConstructor);
    std::int64_t total = 0;
    for (int g = 0; g < count; ++g) {
        ZYL_SRV_MTX_REFUSE_IF(sizes[g] < 0, kConstructor); // an empty group is a node without unknowns
        total += sizes[g];
    }
    ZYL_SRV_MTX_REFUSE_IF(total != rows, kConstructor);
    // Sides and block sizes the scratch storage refuses are left to it (the
    // bound below would refuse an empty side under its own name).
    if (columns < 1)
        return;
    // The row blocks the scratch storage will cut. A chunk below 1 makes one
    // block: -1 is the whole side, and the storage refuses any other.
    const int rowChunk = zyl_mtx::ScratchChunkSizes(rows, columns, rowBlockSize, columnBlockSize).rows;
    const BlockGeometry blocks = BlockGeometry::Divide(rows, rowChunk < 1 ? rows : rowChunk);
    ZYL_SRV_MTX_REFUSE_IF(!GroupsFitTheWindow(sizes, count, [&](int row) { return blocks.Containing(row); }),
                          kConstructor);
}

mem_Array<int> CopyOf(const int* sizes, int count)
{
    mem_Array<int> copy(static_cast<std::size_t>(count));
    std::copy(sizes, sizes + count, copy.Get());
    return copy;
}

// Rows first..last of x copied into a matrix of their own; x's GetValues
// refuses what cannot be read as a full matrix.
ZylSrvMatrix RowsOf(const ZylSrvMatrix& x, int first, int last)
{
    ZylSrvMatrix rows(std::max(last - first + 1, 0), x.NumberOfColumns());
    x.GetValues(first, last, 0, x.NumberOfColumns() - 1, rows);
    return rows;
}

// One row block in the window: its rows and A's values over them (all
// columns, leading dimension Rows()). Consecutive blocks alternate between
// two staging areas; Slot() says which, so that a product can pair staging
// of its own with each.
struct WindowBlock {
    int index;
    int first;
    int last;
    double* values;
    int Rows() const { return last - first + 1; }
    std::size_t Slot() const { return static_cast<std::size_t>(index % 2); }
};

// upper[k], lower[k] := -lower[k], upper[k] for k < count: J on one run of
// row pairs in one column.
void SwapNegated(double* upper, double* lower, int count)
{
    for (int k = 0; k < count; ++k) {
        const double kept = upper[k];
        upper[k] = -lower[k];
        lower[k] = kept;
    }
}

// The running group index and row position of one product.
class GroupRotation {
public:
    GroupRotation(const int* sizes, int count) : m_sizes(sizes), m_count(count) {}

    // Passes over the groups that start before `row` (a walk that starts
    // there cannot rotate them).
    void SkipTo(int row)
    {
        while (m_index < m_count && m_position < row)
            m_position += m_sizes[m_index++];
    }

    // Applies J in place to the groups not yet rotated that end by next.last,
    // leaving a group that would end later for the next window. A row at or
    // before current.last is in current, any other in next (the last window
    // passes its block as both).
    void Rotate(const WindowBlock& current, const WindowBlock& next, int columns)
    {
        const int firstGroup = m_index;
        const int firstRow = m_position;
        while (m_index < m_count && m_position < next.last && m_position + m_sizes[m_index] - 1 <= next.last)
            m_position += m_sizes[m_index++];
        // Column by column: both buffers are then walked in storage order. A
        // group inside one buffer is two runs of rows there; only a group
        // across the boundary is looked up row by row.
        for (int c = 0; c < columns; ++c) {
            double* const currentColumn = current.values + Count(current.Rows(), c);
            double* const nextColumn = next.values + Count(next.Rows(), c);
            const auto row = [&](int r) {
                return r <= current.last ? currentColumn + (r - current.first) : nextColumn + (r - next.first);
            };
            for (int g = firstGroup, start = firstRow; g < m_index; start += m_sizes[g++]) {
                const int half = m_sizes[g] / 2; // an odd group's last row stays
                if (half == 0) // an empty group or a single row: nothing turns
                    continue;
                if (start + 2 * half - 1 <= current.last || start > current.last) {
                    double* const upper = row(start);
                    SwapNegated(upper, upper + half, half);
                    continue;
                }
                for (int k = 0; k < half; ++k)
                    SwapNegated(row(start + k), row(start + half + k), 1);
            }
        }
    }

private:
    const int* m_sizes;
    int m_count;
    int m_index = 0;
    int m_position = 0;
};

// True unless a group has rows both before and at `row`.
bool StartsAGroup(const int* sizes, int count, int row)
{
    int start = 0;
    for (int g = 0; g < count && start < row; ++g)
        start += sizes[g];
    return start <= row;
}

// The row blocks of `side` whose terms this process forms (its share of the
// walk), and those it reads: one block more at either end of the share when
// a group straddles that end, so that the group is rotated whole.
struct WindowShare {
    zyl_mtx::BandShare own;
    int readFirst;
    int readEnd;
    int firstRow; // the rows of the own blocks: firstRow..endRow-1
    int endRow;
    bool Owns(int block) const { return own.Contains(block); }
    // An own block that the neighbouring process reads as well.
    bool Lent(int block) const
    {
        return (block == own.first && readFirst < own.first) || (block == own.end - 1 && readEnd > own.end);
    }
};

WindowShare ShareOfWindow(const ZylSrvDenseMatrix& side, const int* sizes, int count)
{
    const int blocks = side.NumberOfRowBlocks();
    const zyl_mtx::BandShare own = zyl_mtx::ShareOfBands(blocks);
    const auto firstRow = [&](int b) { return b < blocks ? side.FirstRowInBlock(b) : side.NumberOfRows(); };
    WindowShare share{own, own.first, own.end, firstRow(own.first), firstRow(own.end)};
    if (own.first >= own.end)
        return share;
    if (own.first > 0 && !StartsAGroup(sizes, count, share.firstRow))
        --share.readFirst;
    if (own.end < blocks && !StartsAGroup(sizes, count, share.endRow))
        ++share.readEnd;
    return share;
}

// The pipeline of every product with H: reads A (a) over the row blocks of
// `side`, each once, keeping two consecutive blocks. term(block, kATerm) runs
// as soon as a block is read, before any rotation touches its rows;
// term(block, kJATerm) once the groups that end in the following block are
// rotated, and only after that block has been read. The block after the
// window is announced to the disk (read ahead) as soon as the window's newest
// block is read: A's rows, and those of `alsoRead` when a product reads
// another database operand block by block (null: none). Only the blocks of
// this process's share are passed to `term`.
template <typename Term>
void WalkRotatingWindow(const ZylSrvDenseMatrix& a, const ZylSrvDenseMatrix& side, const int* sizes, int count,
                        Term&& term, const ZylSrvDenseMatrix* alsoRead = nullptr)
{
    const WindowShare share = ShareOfWindow(side, sizes, count);
    if (share.readFirst >= share.readEnd)
        return;
    const int columns = a.NumberOfColumns();
    const std::size_t capacity = Count(side.MaxNumberOfRowsInBlock(), columns);
    mem_Array<double> staging(2 * capacity);
    GroupRotation groups(sizes, count);
    groups.SkipTo(side.FirstRowInBlock(share.readFirst));
    ZylDorvReadAhead ahead;
    const auto read = [&](int b) {
        const int first = side.FirstRowInBlock(b);
        WindowBlock block{b, first, first + side.NumberOfRowsInBlock(b) - 1, nullptr};
        block.values = staging.Get() + capacity * block.Slot();
        ZylSrvMatrix rows(block.Rows(), columns, block.values);
        a.GetRows(block.first, block.last, rows);
        if (b + 1 < share.readEnd) {
            const int nextLast = block.last + side.NumberOfRowsInBlock(b + 1);
            a.ReadAhead(ahead, block.last + 1, nextLast, 0, columns - 1);
            if (alsoRead != nullptr)
                alsoRead->ReadAhead(ahead, block.last + 1, nextLast, 0, alsoRead->NumberOfColumns() - 1);
        }
        if (share.Owns(b))
            term(block, kATerm);
        return block;
    };
    WindowBlock current = read(share.readFirst);
    for (int b = share.readFirst + 1; b < share.readEnd; ++b) {
        const WindowBlock next = read(b);
        groups.Rotate(current, next, columns);
        if (share.Owns(current.index))
            term(current, kJATerm);
        current = next;
    }
    if (share.Owns(current.index)) {
        groups.Rotate(current, current, columns);
        term(current, kJATerm);
    }
}

} // namespace

// ---- construction ------------------------------------------------------------

ZylSrvHermitianScrDenseMatrix::ZylSrvHermitianScrDenseMatrix(int rows, int columns, const int* rowMembers,
                                                             const int* columnMembers, int groups,
                                                             const int* sizes, int rowBlockSize,
                                                             int columnBlockSize, int)
    : ZylSrvScratchDenseMatrix(), numGroups(0), groupSizes()
{
    RefuseGroups(rows, columns, groups, sizes, rowBlockSize, columnBlockSize);
    // Copied before the file exists, so that a failed allocation makes none.
    groupSizes = CopyOf(sizes, groups);
    numGroups = groups;
    CreateScratchStorage(rows, columns, rowMembers, columnMembers, rowBlockSize, columnBlockSize);
}

ZylSrvHermitianScrDenseMatrix::ZylSrvHermitianScrDenseMatrix(int rows, int columns, int groups, const int* sizes,
                                                             int rowBlockSize, int columnBlockSize, int unused)
    : ZylSrvHermitianScrDenseMatrix(rows, columns, nullptr, nullptr, groups, sizes, rowBlockSize, columnBlockSize,
                                    unused)
{
}

ZylSrvHermitianScrDenseMatrix::ZylSrvHermitianScrDenseMatrix(const ZylSrvHermitianScrDenseMatrix& parent,
                                                             int firstRow, int lastRow, int firstColumn,
                                                             int lastColumn)
    : ZylSrvScratchDenseMatrix(parent, firstRow, lastRow, firstColumn, lastColumn), numGroups(0), groupSizes()
{
    const int first = parent.GroupStartingAt(firstRow);
    const int count = parent.GroupStartingAt(lastRow + 1) - first;
    groupSizes = CopyOf(parent.groupSizes.Get() + first, count);
    numGroups = count;
}

// The group sizes go after this body, then the scratch part.
ZylSrvHermitianScrDenseMatrix::~ZylSrvHermitianScrDenseMatrix() = default;

ZylSrvDenseMatrix* ZylSrvHermitianScrDenseMatrix::Submatrix(int firstRow, int lastRow, int firstColumn,
                                                            int lastColumn) const
{
    // Before the view exists: its construction cuts CSets in the database.
    ZYL_SRV_MTX_REFUSE_IF(lastRow >= numRows || GroupStartingAt(firstRow) < 0 || GroupStartingAt(lastRow + 1) < 0,
                          "Submatrix");
    return new ZylSrvHermitianScrDenseMatrix(*this, firstRow, lastRow, firstColumn, lastColumn);
}

int ZylSrvHermitianScrDenseMatrix::GroupStartingAt(int row) const
{
    int start = 0;
    int g = 0;
    while (start < row && g < numGroups)
        start += groupSizes[static_cast<std::size_t>(g++)];
    return start == row ? g : -1;
}

// ---- products with H -----------------------------------------------------------

void ZylSrvHermitianScrDenseMatrix::Multiply(const double* x, int numVectors, double* y) const
{
    const int n = numColumns;
    zyl_mtx::WalkCollectively([&] {
        WalkRotatingWindow(*this, *this, groupSizes.Get(), numGroups, [&](const WindowBlock& block, int term) {
            zyl_mtx::Gemm('N', 'N', block.Rows(), numVectors, n, 1.0, block.values, block.Rows(),
                          x + HalfStart(term, n), 2 * n, 1.0, y + block.first, numRows);
        });
    });
    const WindowShare share = ShareOfWindow(*this, groupSizes.Get(), numGroups);
    zyl_mtx::GatherBandRows(y, numRows, numVectors, share.firstRow, share.endRow);
}

void ZylSrvHermitianScrDenseMatrix::Multiply(double alpha, const ZylSrvMatrix& X, double beta,
                                             ZylSrvDenseMatrix& Y) const
{
    const zyl_mtx::SharedResultBands sharedResult; // the result's bands reach every rank
    const int n = numColumns;
    const int half = X.NumberOfRows() / 2;
    const int k = X.NumberOfColumns();
    const int yColumns = Y.NumberOfColumns();
    const bool readY = !(beta == 0.0); // a NaN beta counts as non-zero
    // An unread block holds nothing to write back past the columns formed.
    const int written = readY ? yColumns : std::min(k, yColumns);
    const bool yBlocksFit =
        GroupsFitTheWindow(groupSizes.Get(), numGroups, [&](int row) { return Y.BlockContainingRow(row); });
    const ZylSrvDenseMatrix& side = yBlocksFit ? Y : static_cast<const ZylSrvDenseMatrix&>(*this);
    const std::size_t capacity = Count(side.MaxNumberOfRowsInBlock(), std::max(k, yColumns));
    zyl_mtx::WalkCollectively([&] {
        const ZylSrvMatrix top = RowsOf(X, 0, half - 1);
        const ZylSrvMatrix bottom = RowsOf(X, half, X.NumberOfRows() - 1);
        mem_Array<double> yStaging(2 * capacity);
        WalkRotatingWindow(*this, side, groupSizes.Get(), numGroups, [&](const WindowBlock& block, int term) {
            const int rows = block.Rows();
            double* const y = yStaging.Get() + capacity * block.Slot();
            ZylSrvMatrix yBlock(rows, yColumns, y);
            if (term == kATerm) {
                if (readY)
                    Y.GetRows(block.first, block.last, yBlock);
                zyl_mtx::Gemm('N', 'N', rows, k, n, alpha, block.values, rows, top.Values(), top.NumberOfRows(), beta,
                              y, rows);
                return;
            }
            zyl_mtx::Gemm('N', 'N', rows, k, n, alpha, block.values, rows, bottom.Values(), bottom.NumberOfRows(), 1.0,
                          y, rows);
            if (written > 0)
                Y.SetValues(block.first, block.last, 0, written - 1, yBlock);
        }, readY ? &Y : nullptr);
    });
}

void ZylSrvHermitianScrDenseMatrix::MultiplyAssign(const ZylSrvMatrix& X)
{
    const zyl_mtx::SharedResultBands sharedResult; // the result's bands reach every rank
    const int n = numColumns;
    const std::size_t capacity = Count(MaxNumberOfRowsInBlock(), n);
    // An own block that a neighbouring process reads too is written only
    // once every process has finished its walk, so that it reads the old
    // values: its product is held until then.
    const WindowShare share = ShareOfWindow(*this, groupSizes.Get(), numGroups);
    const bool lends = share.readFirst < share.own.first || share.readEnd > share.own.end;
    WindowBlock heldBlocks[2] = {{-1, 0, -1, nullptr}, {-1, 0, -1, nullptr}};
    mem_Array<double> held;
    zyl_mtx::WalkCollectively([&] {
        mem_Array<double> products(2 * capacity);
        held = mem_Array<double>(lends ? 2 * capacity : 0);
        WalkRotatingWindow(*this, *this, groupSizes.Get(), numGroups, [&](const WindowBlock& block, int term) {
            const int rows = block.Rows();
            double* const product = products.Get() + capacity * block.Slot();
            zyl_mtx::Gemm('N', 'N', rows, n, n, 1.0, block.values, rows, X.Values() + HalfStart(term, n),
                          X.NumberOfRows(), term == kATerm ? 0.0 : 1.0, product, rows);
            if (term == kJATerm) {
                if (share.Lent(block.index)) {
                    const std::size_t h = block.index == share.own.first ? 0 : 1;
                    heldBlocks[h] = {block.index, block.first, block.last, held.Get() + capacity * h};
                    std::copy(product, product + Count(rows, n), heldBlocks[h].values);
                    return;
                }
                const ZylSrvMatrix result(rows, n, product);
                SetRows(block.first, block.last, result);
            }
        });
    });
    zyl_mtx::WalkCollectively([&] {
        for (const WindowBlock& block : heldBlocks)
            if (block.values != nullptr)
                SetRows(block.first, block.last, ZylSrvMatrix(block.Rows(), n, block.values));
    });
}

void ZylSrvHermitianScrDenseMatrix::TransposeMultiply(const double* x, int numVectors, double* y, int ldx) const
{
    const int n = numColumns;
    // y's halves are two sums over the blocks: A^T x and (JA)^T x.
    zyl_mtx::BandSum halves[2] = {{y, n, numVectors, 2 * n, NumberOfRowBlocks()},
                                  {y + n, n, numVectors, 2 * n, NumberOfRowBlocks()}};
    zyl_mtx::WalkCollectively([&] {
        WalkRotatingWindow(*this, *this, groupSizes.Get(), numGroups, [&](const WindowBlock& block, int term) {
            zyl_mtx::BandSum& half = halves[term == kATerm ? 0 : 1];
            const zyl_mtx::BandTarget target = half.Target(block.index);
            zyl_mtx::Gemm('T', 'N', n, numVectors, block.Rows(), 1.0, block.values, block.Rows(), x + block.first, ldx,
                          target.beta, target.values, target.ld);
            half.Add(block.index);
        });
    });
    halves[0].Finish();
    halves[1].Finish();
}

void ZylSrvHermitianScrDenseMatrix::TransposeMultiply(const ZylSrvMatrix& X, double* y, int) const
{
    TransposeMultiply(X.Values(), X.NumberOfColumns(), y, X.NumberOfRows());
}

void ZylSrvHermitianScrDenseMatrix::TransposeMultiply(const ZylSrvDenseMatrix* B, double* y, int flag) const
{
    ZylSrvMatrix C(2 * numColumns, B->NumberOfColumns(), y);
    TransposeMultiply(B, C, flag);
}

void ZylSrvHermitianScrDenseMatrix::TransposeMultiply(const ZylSrvDenseMatrix* B, ZylSrvMatrix& C, int) const
{
    const int n = numColumns;
    const int k = B->NumberOfColumns();
    const std::size_t capacity = Count(MaxNumberOfRowsInBlock(), k);
    mem_Array<double> sums = zyl_mtx::ArrayOnEveryProcess<double>(2 * Count(n, k));
    ZylSrvMatrix top(n, k, sums.Get());
    ZylSrvMatrix bottom(n, k, sums.Get() + Count(n, k));
    zyl_mtx::BandSum halves[2] = {{top.Values(), n, k, n, NumberOfRowBlocks()},
                                  {bottom.Values(), n, k, n, NumberOfRowBlocks()}};
    zyl_mtx::WalkCollectively([&] {
        mem_Array<double> bStaging(2 * capacity);
        WalkRotatingWindow(*this, *this, groupSizes.Get(), numGroups, [&](const WindowBlock& block, int term) {
            const int rows = block.Rows();
            double* const b = bStaging.Get() + capacity * block.Slot();
            if (term == kATerm) {
                ZylSrvMatrix bRows(rows, k, b);
                B->GetRows(block.first, block.last, bRows);
            }
            zyl_mtx::BandSum& half = halves[term == kATerm ? 0 : 1];
            const zyl_mtx::BandTarget target = half.Target(block.index);
            zyl_mtx::Gemm('T', 'N', n, k, rows, 1.0, block.values, rows, b, rows, target.beta, target.values,
                          target.ld);
            half.Add(block.index);
        }, B);
    });
    halves[0].Finish();
    halves[1].Finish();
    // The bottom half first: when it fits C, so does the top.
    C.SetValues(n, 2 * n - 1, 0, k - 1, bottom);
    C.SetValues(0, n - 1, 0, k - 1, top);
}

// ---- no form with H: outputs untouched -------------------------------------------

void ZylSrvHermitianScrDenseMatrix::Multiply(const ZylSrvDenseMatrix*, double*) const {}

void ZylSrvHermitianScrDenseMatrix::Multiply(const ZylSrvDenseMatrix&, ZylSrvDenseMatrix&) const {}

void ZylSrvHermitianScrDenseMatrix::TransposeMultiply(const ZylSrvMatrix&, ZylSrvMatrix&, int) const {}

void ZylSrvHermitianScrDenseMatrix::TransposeMultiply(const ZylSrvDenseMatrix*, ZylSrvDenseMatrix*, int) const {}

void ZylSrvHermitianScrDenseMatrix::IndexedMultiply(const ZylSrvMatrix&, ZylSrvDenseMatrix&, const int*, const int*,
                                                    int) const
{
}
