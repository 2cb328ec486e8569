#ifndef MTX_ZYLSRVFINDCONTIGUOUSRANGES_H
#define MTX_ZYLSRVFINDCONTIGUOUSRANGES_H
/// \file
/// \ingroup outofcore
/// Splits a list of indices into runs of consecutive values.
///
/// A run continues while each index is exactly one more than the one before
/// it and the run holds fewer than maxRangeLength entries; anything else
/// starts a new run. The result is an array of numRanges + 1 offsets into the
/// list: run r covers list positions offsets[r] .. offsets[r+1]-1, offsets[0]
/// is 0 and offsets[numRanges] is count. The array comes from
/// mem_OperatorNewThrowBuiltin; the caller owns it and frees it with mem_Free.
///
///   indices 5, 6, 7, 10, 11, large maxRangeLength -> numRanges 2, offsets 0, 3, 5
///   the same list, maxRangeLength 2              -> numRanges 3, offsets 0, 2, 3, 5
///
/// A maxRangeLength of 1 or less puts every entry in a run of its own.
/// An empty list (count 0) gives numRanges 0 and a null pointer. A negative
/// count is not an empty list: it gives one range, offsets 0, 1, and indices
/// is not read.
/// The difference of neighbouring indices is taken in 64 bits, so any two ints
/// may stand next to each other.
#include <platform/zyl_Export.h>

/// The run offsets of indices[0 .. count-1], as described above.
ZYL_EXPORT int* ZylSrvFindContiguousRanges(const int* indices, int count, int maxRangeLength, int& numRanges);

#endif
