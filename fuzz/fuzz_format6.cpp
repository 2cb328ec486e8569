// libFuzzer harness: the binary symmetric layout (format 6).
//
// Its column chunks are padded to 2^17 ints, so the smallest file with one
// stored value has over 512 KiB, which mutation never reaches. The input
// leaves that padding out: with 0 < m <= 2^17, the bytes after the m column
// indices go behind a gap of zeros as long as the padding (an input too short
// for the indices goes in as it is).
#include "FuzzReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    constexpr std::int64_t kChunk = 1 << 17;
    std::int32_t h[2] = {-1, -1};
    if (size >= sizeof h)
        std::memcpy(h, data, sizeof h);
    const std::int64_t n = h[0], m = h[1], split = 28 + 12 * n + 4 * m;
    zylfuzz::MemoryFile& file = zylfuzz::File();
    if (n >= 0 && m > 0 && m <= kChunk && split <= static_cast<std::int64_t>(size)) {
        const std::int64_t gap = 4 * (kChunk - m);
        file.Reset(static_cast<std::int64_t>(size) + gap);
        file.Put(data, static_cast<std::size_t>(split), 0);
        file.Put(data + split, size - static_cast<std::size_t>(split), split + gap);
    } else {
        zylfuzz::FileOf(data, size);
    }
    return zylfuzz::Run([&file](ZylSrvSparseMatrix& a) { a.Import(file.path.c_str(), 6); });
}
