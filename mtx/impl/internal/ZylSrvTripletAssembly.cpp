#include <mtx/impl/internal/ZylSrvTripletAssembly.h>

#include <mtx/impl/ZylSrvMtxErrors.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <utility>

namespace {

constexpr zyl_mtx::RaiseSource kRaiseSource = zyl_mtx::HelperSource(zyl_mtx::kSparseMatrixSource, __FILE__);
constexpr unsigned long kMaxStored = std::numeric_limits<int>::max();

using Entry = ZylSrvSparseMatrixEntry;
using List = cow_List<ZylSrvSparseMatrixEntry>;

// The triplets of each row counted into bucketStart and turned into each
// row's first slot in the list: bucketStart[r] .. bucketStart[r+1]-1 will hold
// row r; `longest` gets the longest row. Triplets that waited through an
// import or EliminateTrivialColumns may lie outside the dimensions those set:
// then the dimensions are grown to cover every triplet and false is returned
// (the counts are of no use).
bool CountRows(List& list, int& numRows, int& numColumns, long* bucketStart, long& longest)
{
    std::fill(bucketStart, bucketStart + numRows + 1, 0L);
    const unsigned int rows = static_cast<unsigned int>(numRows), columns = static_cast<unsigned int>(numColumns);
    unsigned int rowsNeeded = rows, columnsNeeded = columns;
    const long count = list.Count();
    for (long i = 0; i < count; ++i) {
        const Entry& e = list.UncheckedGet(i);
        if (e.row < rows && e.column < columns) {
            ++bucketStart[e.row + 1];
        } else {
            rowsNeeded = std::max(rowsNeeded, e.row + 1);
            columnsNeeded = std::max(columnsNeeded, e.column + 1);
        }
    }
    if (rowsNeeded != rows || columnsNeeded != columns) {
        numRows = static_cast<int>(rowsNeeded);
        numColumns = static_cast<int>(columnsNeeded);
        return false;
    }
    longest = 0;
    for (int r = 0; r < numRows; ++r) {
        longest = std::max(longest, bucketStart[r + 1]);
        bucketStart[r + 1] += bucketStart[r];
    }
    return true;
}

// Rows are grouped into bands of about kBandTriplets triplets (a row longer
// than that is a band of its own), so that a band's triplets fit in cache.
constexpr long kBandTriplets = long(1) << 16;

// bandFirstRow[b] .. bandFirstRow[b+1]-1 are the rows of band b; bandOf[r] is
// the band of row r. Returns the number of bands.
int MakeBands(int numRows, const long* bucketStart, int* bandOf, int* bandFirstRow)
{
    int bands = 0;
    for (int r = 0; r < numRows;) {
        bandFirstRow[bands] = r;
        const long bandStart = bucketStart[r];
        do
            bandOf[r++] = bands;
        while (r < numRows && bucketStart[r + 1] - bandStart <= kBandTriplets);
        ++bands;
    }
    bandFirstRow[bands] = numRows;
    return bands;
}

// American-flag permutation of the list into bands: each misplaced triplet is
// carried straight to the next free slot of its band, displacing the one
// there, until a triplet of the current band comes back. With a few hundred
// bands the free slots stay in cache, which a permutation straight into rows
// (a quarter of a million of them) does not. Every move only swaps, so the
// list keeps its content throughout.
void PermuteIntoBands(List& list, int bands, const int* bandFirstRow, const long* bucketStart, const int* bandOf,
                      long* next)
{
    for (int b = 0; b < bands; ++b)
        next[b] = bucketStart[bandFirstRow[b]];
    for (int b = 0; b < bands; ++b) {
        const long end = bucketStart[bandFirstRow[b + 1]];
        for (long h = next[b]; h < end; h = ++next[b]) {
            Entry& home = list.UncheckedGet(h);
            if (bandOf[home.row] == b)
                continue;
            Entry carried = home;
            do {
                std::swap(carried, list.UncheckedGet(next[bandOf[carried.row]]++));
            } while (bandOf[carried.row] != b);
            home = carried;
        }
    }
}

// The triplets of one band, counted into rows in `byRow` (row r of the band
// at bucketStart[r] - first), in list order within each row.
void SortBandIntoRows(List& list, int firstRow, int endRow, const long* bucketStart, long* next, Entry* byRow)
{
    const long first = bucketStart[firstRow];
    for (int r = firstRow; r < endRow; ++r)
        next[r - firstRow] = bucketStart[r] - first;
    for (long k = first; k < bucketStart[endRow]; ++k) {
        const Entry& e = list.UncheckedGet(k);
        byRow[next[e.row - firstRow]++] = e;
    }
}

void SortByColumn(Entry* row, long n)
{
    const auto less = [](const Entry& x, const Entry& y) {
        return static_cast<int>(x.column) < static_cast<int>(y.column);
    };
    if (n > 32) {
        std::sort(row, row + n, less);
        return;
    }
    for (long k = 1; k < n; ++k) {
        const Entry e = row[k];
        long j = k;
        for (; j > 0 && less(e, row[j - 1]); --j)
            row[j] = row[j - 1];
        row[j] = e;
    }
}

// One entry per column of a row's n triplets, repeats summed, in `distinct`.
// With a column-to-slot map (slotOf: -1 for none, left all -1 again) when the
// columns are few enough for one; otherwise the row is sorted first and the
// neighbours of one column summed. Returns the count of columns.
long SumRepeats(const Entry* row, long n, Entry* distinct, int* slotOf)
{
    long count = 0;
    if (slotOf == nullptr) {
        std::copy(row, row + n, distinct);
        SortByColumn(distinct, n);
        for (long k = 0; k < n; ++k) {
            if (count > 0 && distinct[count - 1].column == distinct[k].column)
                distinct[count - 1].value += distinct[k].value;
            else
                distinct[count++] = distinct[k];
        }
        return count;
    }
    for (long k = 0; k < n; ++k) {
        const Entry& e = row[k];
        int& slot = slotOf[e.column];
        if (slot < 0) {
            slot = static_cast<int>(count);
            distinct[count++] = e;
        } else {
            distinct[slot].value += e.value;
        }
    }
    for (long k = 0; k < count; ++k)
        slotOf[distinct[k].column] = -1;
    SortByColumn(distinct, count);
    return count;
}

// Sums the repeats of one row (`row`, n triplets) and writes its columns in
// order into the list from `first` on; the used-up slots become -0.0 at the
// row's last column.
long MergeRow(const Entry* row, long n, List& list, long first, Entry* distinct, int* slotOf)
{
    const long count = SumRepeats(row, n, distinct, slotOf);
    for (long k = 0; k < count; ++k)
        list.UncheckedGet(first + k) = distinct[k];
    for (long k = count; k < n; ++k)
        list.UncheckedGet(first + k) = {distinct[count - 1].row, distinct[count - 1].column, -0.0};
    return count;
}

// Sorts each band into rows through `byRow`, merges every row back into the
// list at its own start; rowOffsets[r+1] gets row r's number of distinct
// columns. `distinct` holds the longest row.
void MergeRows(List& list, int bands, const int* bandFirstRow, const long* bucketStart, long* next, Entry* byRow,
               Entry* distinct, int* slotOf, unsigned int* rowOffsets)
{
    rowOffsets[0] = 0;
    for (int b = 0; b < bands; ++b) {
        const int firstRow = bandFirstRow[b], endRow = bandFirstRow[b + 1];
        SortBandIntoRows(list, firstRow, endRow, bucketStart, next, byRow);
        const long first = bucketStart[firstRow];
        for (int r = firstRow; r < endRow; ++r) {
            const long n = bucketStart[r + 1] - bucketStart[r];
            const long count = MergeRow(byRow + (bucketStart[r] - first), n, list, bucketStart[r], distinct, slotOf);
            // The count of stored values is an int; the list stays a faithful
            // pending list when it is refused.
            ZYL_SRV_MTX_REFUSE_IF(rowOffsets[r] + static_cast<unsigned long>(count) > kMaxStored, "EndAssembly");
            rowOffsets[r + 1] = rowOffsets[r] + static_cast<unsigned int>(count);
        }
    }
}

} // namespace

namespace zyl_mtx {

CompressedRows AssembleTriplets(List& list, int& numRows, int& numColumns)
{
    // Everything is allocated before the list is reordered.
    const std::size_t rows = static_cast<std::size_t>(numRows);
    CompressedRows out;
    out.rowOffsets = mem_Array<unsigned int>(rows + 1);
    mem_Array<long> bucketStart(rows + 1);
    mem_Array<int> bandOf(rows), bandFirstRow(rows + 1);
    mem_Array<long> next(rows);
    list.MakeOwn();
    long longest = 0;
    if (!CountRows(list, numRows, numColumns, bucketStart.Get(), longest))
        return AssembleTriplets(list, numRows, numColumns); // once more, in the grown dimensions

    const int bands = MakeBands(numRows, bucketStart.Get(), bandOf.Get(), bandFirstRow.Get());
    mem_Array<Entry> byRow(static_cast<std::size_t>(std::max(longest, std::min(kBandTriplets, list.Count()))));
    mem_Array<Entry> distinct(static_cast<std::size_t>(longest));
    // A map over the columns pays when it is no larger than the list itself.
    const bool mapColumns = numColumns <= 4 * list.Count() + 65536;
    mem_Array<int> slotOf(mapColumns ? static_cast<std::size_t>(numColumns) : 0);
    std::fill(slotOf.begin(), slotOf.end(), -1);

    PermuteIntoBands(list, bands, bandFirstRow.Get(), bucketStart.Get(), bandOf.Get(), next.Get());
    MergeRows(list, bands, bandFirstRow.Get(), bucketStart.Get(), next.Get(), byRow.Get(), distinct.Get(),
              mapColumns ? slotOf.Get() : nullptr, out.rowOffsets.Get());

    const unsigned int total = out.rowOffsets[numRows];
    out.columnIndices = mem_Array<int>(total);
    out.values = mem_Array<double>(total);
    for (int r = 0; r < numRows; ++r) {
        const long first = bucketStart[r];
        for (unsigned int p = out.rowOffsets[r]; p < out.rowOffsets[r + 1]; ++p) {
            const Entry& e = list.UncheckedGet(first + (p - out.rowOffsets[r]));
            out.columnIndices[p] = static_cast<int>(e.column);
            out.values[p] = e.value;
        }
    }
    return out;
}

} // namespace zyl_mtx
