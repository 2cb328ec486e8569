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
        for (long h = next[b]; h < end; h = ++next[b]) {
            Entry& home = list.UncheckedGet(h);
            if (static_cast<int>(home.row) == b)
                continue;
            Entry carried = home;
            do {
                std::swap(carried, list.UncheckedGet(next[carried.row]++));
            } while (static_cast<int>(carried.row) != b);
            home = carried;
        }
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

// Sums the repeats of one row into one entry per column (in the order the
// bucketing left them), sorts those by column and writes them back at the row's
// start; the used-up slots become -0.0 at the row's last column. slotOf maps a
// column to its entry in `distinct`, -1 for none, and is left all -1 again.
long MergeRow(List& list, long first, long n, Entry* distinct, int* slotOf)
{
    long count = 0;
    for (long k = 0; k < n; ++k) {
        const Entry& e = list.UncheckedGet(first + k);
        int& slot = slotOf[e.column];
        if (slot < 0) {
            slot = static_cast<int>(count);
            distinct[count++] = e;
        } else {
            distinct[slot].value += e.value;
        }
    }
    SortByColumn(distinct, count);
    for (long k = 0; k < count; ++k) {
        slotOf[distinct[k].column] = -1;
        list.UncheckedGet(first + k) = distinct[k];
    }
    for (long k = count; k < n; ++k)
        list.UncheckedGet(first + k) = {distinct[count - 1].row, distinct[count - 1].column, -0.0};
    return count;
}

// Merges every row where it lies; rowOffsets[r+1] gets row r's number of
// distinct columns.
void MergeRows(List& list, int numRows, const long* bucketStart, Entry* buffer, int* slotOf,
               unsigned int* rowOffsets)
{
    rowOffsets[0] = 0;
    for (int r = 0; r < numRows; ++r) {
        const long distinct = MergeRow(list, bucketStart[r], bucketStart[r + 1] - bucketStart[r], buffer, slotOf);
        rowOffsets[r + 1] = rowOffsets[r] + static_cast<unsigned int>(distinct);
    }
}

} // namespace

namespace zyl_mtx {

CompressedRows AssembleTriplets(List& list, int numRows, int numColumns)
{
    CompressedRows out;
    out.rowOffsets = mem_Array<unsigned int>(static_cast<std::size_t>(numRows) + 1);
    mem_Array<long> bucketStart(static_cast<std::size_t>(numRows) + 1);
    mem_Array<long> next(static_cast<std::size_t>(numRows));
    list.MakeOwn();
    mem_Array<Entry> buffer(static_cast<std::size_t>(CountRows(list, numRows, bucketStart.Get())));
    mem_Array<int> slotOf(static_cast<std::size_t>(numColumns));
    std::fill(slotOf.begin(), slotOf.end(), -1);

    PermuteIntoRows(list, numRows, bucketStart.Get(), next.Get());
    MergeRows(list, numRows, bucketStart.Get(), buffer.Get(), slotOf.Get(), out.rowOffsets.Get());

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
