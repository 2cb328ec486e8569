#include <mtx/impl/internal/ZylSrvRowSort.h>

#include <platform/mem.h>

#include <algorithm>
#include <utility>

namespace {

constexpr int kInsertionThreshold = 16;

// A key and its companion travel as one so that no move can split them.
struct Pair {
    int* keys;
    int* companion;
    void Swap(int a, int b) const
    {
        std::swap(keys[a], keys[b]);
        std::swap(companion[a], companion[b]);
    }
    void Move(int to, int from) const
    {
        keys[to] = keys[from];
        companion[to] = companion[from];
    }
    void Put(int to, int key, int comp) const
    {
        keys[to] = key;
        companion[to] = comp;
    }
};

// The hole at `hole` sinks to a leaf along the larger children (the right one
// unless the left is larger); then `key` rises from there to its place.
void AdjustHeap(const Pair& p, int base, int hole, int len, int key, int comp)
{
    const int top = hole;
    int child = hole;
    while (child < (len - 1) / 2) {
        child = 2 * (child + 1);
        if (p.keys[base + child] < p.keys[base + child - 1])
            --child;
        p.Move(base + hole, base + child);
        hole = child;
    }
    if ((len & 1) == 0 && child == (len - 2) / 2) {
        child = 2 * (child + 1);
        p.Move(base + hole, base + child - 1);
        hole = child - 1;
    }
    int parent = (hole - 1) / 2;
    while (hole > top && p.keys[base + parent] < key) {
        p.Move(base + hole, base + parent);
        hole = parent;
        parent = (hole - 1) / 2;
    }
    p.Put(base + hole, key, comp);
}

void HeapSort(const Pair& p, int first, int last)
{
    const int len = last - first;
    for (int parent = (len - 2) / 2; len > 1 && parent >= 0; --parent)
        AdjustHeap(p, first, parent, len, p.keys[first + parent], p.companion[first + parent]);
    for (int end = len - 1; end > 0; --end) {
        const int key = p.keys[first + end], comp = p.companion[first + end];
        p.Move(first + end, first);
        AdjustHeap(p, first, 0, end, key, comp);
    }
}

int MedianOfThree(int a, int b, int c)
{
    if (a < b)
        return b < c ? b : (a < c ? c : a);
    return a < c ? a : (b < c ? c : b);
}

// Hoare partition around a pivot value that occurs in the range, so both
// scans stop inside it without bounds checks.
int Partition(const Pair& p, int first, int last, int pivot)
{
    int i = first, j = last;
    for (;;) {
        while (p.keys[i] < pivot)
            ++i;
        --j;
        while (pivot < p.keys[j])
            --j;
        if (!(i < j))
            return i;
        p.Swap(i, j);
        ++i;
    }
}

// Leaves runs of at most 16 keys unsorted for the final insertion sort.
void IntroLoop(const Pair& p, int first, int last, int depth)
{
    while (last - first > kInsertionThreshold) {
        if (depth == 0) {
            HeapSort(p, first, last);
            return;
        }
        --depth;
        const int pivot = MedianOfThree(p.keys[first], p.keys[first + (last - first) / 2], p.keys[last - 1]);
        const int cut = Partition(p, first, last, pivot);
        IntroLoop(p, cut, last, depth);
        last = cut;
    }
}

// A key moves left past strictly greater keys only; `guarded` stops at first.
void Insert(const Pair& p, int first, int k, bool guarded)
{
    const int key = p.keys[k], comp = p.companion[k];
    int j = k;
    while ((!guarded || j > first) && key < p.keys[j - 1]) {
        p.Move(j, j - 1);
        --j;
    }
    p.Put(j, key, comp);
}

int FloorLog2(int n)
{
    int log = 0;
    while (n > 1) {
        n /= 2;
        ++log;
    }
    return log;
}

} // namespace

namespace zyl_mtx {

void SortWithCompanion(int* keys, int* companion, int n)
{
    if (n < 2)
        return;
    const Pair p{keys, companion};
    IntroLoop(p, 0, n, 2 * FloorLog2(n));
    // After the loop the smallest key lies in the first 16, so the insertions
    // past them need no guard.
    const int guardedEnd = std::min(n, kInsertionThreshold);
    for (int k = 1; k < guardedEnd; ++k)
        Insert(p, 0, k, true);
    for (int k = guardedEnd; k < n; ++k)
        Insert(p, 0, k, false);
}

namespace {

std::size_t LongestRow(const unsigned int* offsets, int numRows)
{
    unsigned int longest = 0;
    for (int i = 0; i < numRows; ++i)
        longest = std::max(longest, offsets[i + 1] - offsets[i]);
    return longest;
}

} // namespace

RowSorter::RowSorter(const unsigned int* offsets, int numRows)
    : m_positions(LongestRow(offsets, numRows)), m_moved(m_positions.Count())
{
}

void RowSorter::SortEachRow(const unsigned int* offsets, int numRows, int* columns, double* values) const
{
    for (int i = 0; i < numRows; ++i) {
        const int n = static_cast<int>(offsets[i + 1] - offsets[i]);
        int* rowColumns = columns + offsets[i];
        double* rowValues = values + offsets[i];
        int increasing = 1;
        while (increasing < n && rowColumns[increasing - 1] < rowColumns[increasing])
            ++increasing;
        if (increasing >= n)
            continue;
        for (int k = 0; k < n; ++k)
            m_positions[k] = k;
        SortWithCompanion(rowColumns, m_positions.Get(), n);
        for (int k = 0; k < n; ++k)
            m_moved[k] = rowValues[m_positions[k]];
        std::copy(m_moved.Get(), m_moved.Get() + n, rowValues);
    }
}

unsigned int MergeRepeatsInPlace(unsigned int* offsets, int numRows, int* columns, double* values)
{
    unsigned int kept = 0, begin = 0;
    for (int i = 0; i < numRows; ++i) {
        const unsigned int end = offsets[i + 1], rowStart = kept;
        for (unsigned int k = begin; k < end; ++k) {
            if (kept > rowStart && columns[k] == columns[kept - 1]) {
                values[kept - 1] += values[k];
            } else {
                columns[kept] = columns[k];
                values[kept++] = values[k];
            }
        }
        offsets[i + 1] = kept;
        begin = end;
    }
    return kept;
}

} // namespace zyl_mtx
