#ifndef PLATFORM_DORV_INTERNAL_ZYLDORVCHUNKIO_H
#define PLATFORM_DORV_INTERNAL_ZYLDORVCHUNKIO_H
// Private to platform/dorv: the movement of dense drawer values between the
// file and caller buffers, chunk by chunk, and the item types they move as.
#include <platform/dorv/internal/ZylDorvState.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

namespace zyl_dorv {

inline hid_t MemType(ZylDorvTypeKey key) { return key == ZylDorvTypeKey::Double ? H5T_NATIVE_DOUBLE : H5T_NATIVE_INT32; }
inline hid_t FileType(ZylDorvTypeKey key) { return key == ZylDorvTypeKey::Double ? H5T_IEEE_F64LE : H5T_STD_I32LE; }
inline int ItemBytes(ZylDorvTypeKey key) { return key == ZylDorvTypeKey::Double ? 8 : 4; }

// The initialization value as the bytes of one item.
inline void InitBytes(ZylDorvTypeKey key, const ZylDorvRangeValue& value, unsigned char* out)
{
    if (key == ZylDorvTypeKey::Double) {
        const double d = value.AsDouble();
        std::memcpy(out, &d, 8);
    } else {
        const std::int32_t i = value.AsInt();
        std::memcpy(out, &i, 4);
    }
}

// A box of a dense drawer: its first position and its size per dimension.
struct DenseSelection {
    std::vector<hsize_t> start;
    std::vector<hsize_t> count;
};

// A dense drawer as the chunk movement sees it: `fd` is the file's own
// descriptor for raw chunk bytes, `addresses` the drawer's chunk address cache.
struct DenseIO {
    hid_t dataset;
    int fd;
    ZylDorvTypeKey key;
    std::vector<hsize_t> dims;
    std::vector<hsize_t> chunk;
    unsigned char fill[8];
    std::string subject;
    std::unordered_map<std::uint64_t, std::uint64_t>* addresses;
};

DenseIO MakeDenseIO(const FileState& file, const DistributionData& distribution, DrawerData& drawer,
                    const std::string& subject);

// Moves the selection between the drawer and `buffer` (packed, last
// dimension fastest); errors 70 (writing) or 71 (reading).
void ChunkedIO(const DenseIO& io, const DenseSelection& sel, unsigned char* buffer, bool writing);

// A run of bytes of the file.
struct FileSpan {
    std::uint64_t offset;
    std::uint64_t length;
};

// The file bytes a read of the selection would touch: per allocated chunk
// the span from its first to its last selected byte, spans that meet merged,
// in the order of the chunk walk. Never-written chunks have none. Raises
// error 71 when HDF5 cannot say where a chunk lies.
std::vector<FileSpan> ChunkSpans(const DenseIO& io, const DenseSelection& sel);

// Opens the drawer's dataset afresh, forgetting every chunk address; never
// throws (the drawer is left without a dataset when that fails).
void ReopenDataset(const DistributionData& distribution, DrawerData& drawer) noexcept;

} // namespace zyl_dorv

#endif
