#include <mtx/ZylSrvFindContiguousRanges.h>

#include <platform/mem.h>

#include <cstdint>

namespace {

// True when the entry at position p continues the run that ends at p-1.
inline bool ContinuesRun(const int* indices, int p, int run, int maxRangeLength)
{
    const std::int64_t step = static_cast<std::int64_t>(indices[p]) - indices[p - 1];
    return step == 1 && run < maxRangeLength;
}

} // namespace

int* ZylSrvFindContiguousRanges(const int* indices, int count, int maxRangeLength, int& numRanges)
{
    // Only an empty list has no range. The passes below start with one range
    // and look at no further entry when count is negative, which thus gives
    // that one range.
    if (count == 0) {
        numRanges = 0;
        return nullptr;
    }

    // First pass: count the runs.
    int ranges = 1;
    int run = 1;
    for (int p = 1; p < count; ++p) {
        if (ContinuesRun(indices, p, run, maxRangeLength)) {
            ++run;
        } else {
            ++ranges;
            run = 1;
        }
    }
    numRanges = ranges;

    // Second pass: write the offsets. offsets[r+1] is the end (exclusive) of
    // run r as far as it has been seen.
    mem_Array<int> offsets(static_cast<std::size_t>(ranges) + 1);
    offsets[0] = 0;
    offsets[1] = 1;
    int last = 1;
    run = 1;
    for (int p = 1; p < count; ++p) {
        if (ContinuesRun(indices, p, run, maxRangeLength)) {
            ++offsets[last];
            ++run;
        } else {
            offsets[last + 1] = offsets[last] + 1;
            ++last;
            run = 1;
        }
    }
    return offsets.Release();
}
