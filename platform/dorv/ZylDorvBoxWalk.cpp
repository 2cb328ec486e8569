#include <platform/dorv/internal/ZylDorvBoxWalk.h>

#include <cstring>

namespace zyl_dorv {

void CopyBox(const unsigned char* from, const std::vector<hsize_t>& fromShape, const std::vector<hsize_t>& fromOffset,
             unsigned char* to, const std::vector<hsize_t>& toShape, const std::vector<hsize_t>& toOffset,
             const std::vector<hsize_t>& extent, std::size_t item)
{
    ForEachRun(fromShape, fromOffset, toShape, toOffset, extent, item,
               [&](std::size_t f, std::size_t t, std::size_t run) { std::memcpy(to + t, from + f, run); });
}

void FillBox(unsigned char* array, const std::vector<hsize_t>& shape, const std::vector<hsize_t>& offset,
             const std::vector<hsize_t>& extent, const unsigned char* value, std::size_t item)
{
    bool zero = true;
    for (std::size_t b = 0; b < item; ++b)
        zero = zero && value[b] == 0;
    // The array against itself: the runs are those of the one box.
    ForEachRun(shape, offset, shape, offset, extent, item, [&](std::size_t at, std::size_t, std::size_t run) {
        if (zero) {
            std::memset(array + at, 0, run);
            return;
        }
        for (std::size_t done = 0; done < run; done += item)
            std::memcpy(array + at + done, value, item);
    });
}

} // namespace zyl_dorv
