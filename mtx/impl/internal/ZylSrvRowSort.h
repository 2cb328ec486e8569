#ifndef MTX_IMPL_INTERNAL_ZYLSRVROWSORT_H
#define MTX_IMPL_INTERNAL_ZYLSRVROWSORT_H
// Sorting the stored values of each row by column. The key sort is an
// introsort (median-of-three quicksort that falls back to heap sort when it
// recurses too deep, finished by insertion sort) that moves a companion array
// exactly as it moves the keys, so callers can follow where each key went.
// Keys compare as signed 32-bit integers. Not stable.
#include <platform/mem.h>

namespace zyl_mtx {

void SortWithCompanion(int* keys, int* companion, int n);

// Sorts every row i (positions offsets[i] .. offsets[i+1]-1) of columns and
// carries values along; a row already strictly increasing is left as it is.
// The scratch, sized to the longest row, is taken when the sorter is made, so
// a caller can allocate before it changes anything.
class RowSorter {
public:
    RowSorter(const unsigned int* offsets, int numRows);
    void SortEachRow(const unsigned int* offsets, int numRows, int* columns, double* values) const;

private:
    mem_Array<int> m_positions;
    mem_Array<double> m_moved;
};

// Sums the values of each sorted row's repeated columns into the first of
// them and closes the gaps, rows moving forward (offsets updated); returns
// the number of values kept.
unsigned int MergeRepeatsInPlace(unsigned int* offsets, int numRows, int* columns, double* values);

} // namespace zyl_mtx

#endif
