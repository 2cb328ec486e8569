#include <mtx/impl/internal/ZylSrvTripletAssembly.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

using Entry = ZylSrvSparseMatrixEntry;
using List = cow_List<ZylSrvSparseMatrixEntry>;

// Rows counted per row, then turned into each row's first slot in the list:
// bucketStart[r] .. bucketStart[r+1]-1 will hold row r. Returns the longest row.
long CountRows(List& list, int numRows, long* bucketStart)
{
    std::fill(bucketStart, bucketStart + numRows + 1, 0L);
    const long count = list.Count();
    for (long i = 0; i < count; ++i)
        ++bucketStart[list.UncheckedGet(i).row + 1];
    long longest = 0;
    for (int r = 0; r < numRows; ++r) {
        longest = std::max(longest, bucketStart[r + 1]);
        bucketStart[r + 1] += bucketStart[r];
    }
    return longest;
}

// American-flag permutation: each misplaced triplet is carried straight to
// the next free slot of its row, displacing the one there, until a triplet
// of the current row comes back. Every move only swaps, so the list keeps
// its content throughout.
void PermuteIntoRows(List& list, int numRows, const long* bucketStart, long* next)
{
    std::memcpy(next, bucketStart, sizeof(long) * numRows);
    for (int b = 0; b < numRows; ++b) {
        const long end = bucketStart[b + 1];
        while (next[b] < end) {
            Entry& home = list.UncheckedGet(next[b]);
            Entry carried = home;
            while (static_cast<int>(carried.row) != b) {
                Entry& target = list.UncheckedGet(next[carried.row]++);
                std::swap(carried, target);
            }
            home = carried;
            ++next[b];
        }
    }
}

bool ColumnLess(const Entry& a, const Entry& b)
{
    return static_cast<int>(a.column) < static_cast<int>(b.column);
}

void SortByColumn(Entry* row, long n)
{
    if (n > 24) {
        std::sort(row, row + n, ColumnLess);
        return;
    }
    for (long k = 1; k < n; ++k) {
        const Entry e = row[k];
        long j = k;
        for (; j > 0 && ColumnLess(e, row[j - 1]); --j)
            row[j] = row[j - 1];
        row[j] = e;
    }
}

// Sums runs of one column in a sorted row in place; the distinct entries end
// up first, the used-up slots become -0.0 at the last distinct position.
long MergeRepeats(Entry* row, long n)
{
    long distinct = 0;
    for (long k = 0; k < n; ++k) {
        if (distinct > 0 && row[k].column == row[distinct - 1].column)
            row[distinct - 1].value += row[k].value;
        else
            row[distinct++] = row[k];
    }
    for (long k = distinct; k < n; ++k)
        row[k] = {row[distinct - 1].row, row[distinct - 1].column, -0.0};
    return distinct;
}

// Sorts and merges every row where it lies; rowOffsets[r+1] gets row r's
// number of distinct columns.
void MergeRows(List& list, int numRows, const long* bucketStart, Entry* buffer, unsigned int* rowOffsets)
{
    rowOffsets[0] = 0;
    for (int r = 0; r < numRows; ++r) {
        const long first = bucketStart[r], n = bucketStart[r + 1] - first;
        for (long k = 0; k < n; ++k)
            buffer[k] = list.UncheckedGet(first + k);
        SortByColumn(buffer, n);
        const long distinct = MergeRepeats(buffer, n);
        for (long k = 0; k < n; ++k)
            list.UncheckedGet(first + k) = buffer[k];
        rowOffsets[r + 1] = rowOffsets[r] + static_cast<unsigned int>(distinct);
    }
}

} // namespace

namespace zyl_mtx {

CompressedRows AssembleTriplets(List& list, int numRows)
{
    CompressedRows out;
    out.rowOffsets = mem_Array<unsigned int>(static_cast<std::size_t>(numRows) + 1);
    mem_Array<long> bucketStart(static_cast<std::size_t>(numRows) + 1);
    mem_Array<long> next(static_cast<std::size_t>(numRows));
    list.MakeOwn();
    mem_Array<Entry> buffer(static_cast<std::size_t>(CountRows(list, numRows, bucketStart.Get())));

    PermuteIntoRows(list, numRows, bucketStart.Get(), next.Get());
    MergeRows(list, numRows, bucketStart.Get(), buffer.Get(), out.rowOffsets.Get());

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
