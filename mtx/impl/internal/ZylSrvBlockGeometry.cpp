#include <mtx/impl/internal/ZylSrvBlockGeometry.h>

#include <algorithm>
#include <cstdint>

namespace zyl_mtx {

BlockGeometry BlockGeometry::Divide(int count, int perBlock)
{
    BlockGeometry side{count, (count - 1) / perBlock + 1, perBlock, perBlock, count % perBlock};
    if (side.last == 0)
        side.last = perBlock;
    if (side.blocks == 1)
        side.first = side.last;
    return side;
}

BlockGeometry BlockGeometry::Cut(int firstIndex, int lastIndex) const
{
    const int b0 = Containing(firstIndex);
    const int b1 = Containing(lastIndex);
    const int members = lastIndex - firstIndex + 1;
    BlockGeometry cut{members, b1 - b0 + 1, perBlock, members, members};
    if (cut.blocks > 1) {
        cut.first = FirstIndex(b0) + Size(b0) - firstIndex;
        cut.last = lastIndex - FirstIndex(b1) + 1;
    }
    return cut;
}

int BlockGeometry::Size(int block) const
{
    if (block < 0)
        return 0;
    if (block == 0)
        return first;
    return block >= blocks - 1 ? last : perBlock;
}

int BlockGeometry::Largest() const { return blocks > 2 ? perBlock : std::max(first, last); }

int BlockGeometry::RangeSize(int firstBlock, int lastBlock) const
{
    const std::int64_t n = static_cast<std::int64_t>(lastBlock) - firstBlock + 1;
    if (n < 1 || firstBlock < 0 || lastBlock < 0)
        return 0;
    std::int64_t size = Size(firstBlock);
    if (n >= 2)
        size += Size(lastBlock);
    if (n >= 3)
        size += static_cast<std::int64_t>(perBlock) * (n - 2);
    return static_cast<int>(size);
}

int BlockGeometry::FirstIndex(int block) const
{
    if (block <= 0)
        return 0;
    return static_cast<int>(first + static_cast<std::int64_t>(perBlock) * (block - 1));
}

int BlockGeometry::Containing(int index) const
{
    if (index < first)
        return 0;
    if (static_cast<std::int64_t>(count) - index <= last)
        return blocks - 1;
    return (index - first) / perBlock + 1;
}

Bands::Bands(const BlockGeometry& side, int perBand)
    : m_side(side), m_perBand(std::max(perBand, 1)), m_beginBlock(0), m_endBlock(side.blocks)
{
}

Bands Bands::Part(int firstBand, int endBand) const
{
    Bands part(*this);
    const auto block = [&](int band) {
        return static_cast<int>(std::min<std::int64_t>(static_cast<std::int64_t>(band) * m_perBand, m_side.blocks));
    };
    part.m_beginBlock = block(std::max(firstBand, 0));
    part.m_endBlock = std::max(part.m_beginBlock, block(endBand));
    return part;
}

Bands::Iterator& Bands::Iterator::operator++()
{
    m_block = std::min(m_block + m_bands->m_perBand, m_bands->m_side.blocks);
    return *this;
}

Band Bands::At(int firstBlock) const
{
    const int lastBlock = std::min(m_side.blocks - firstBlock, m_perBand) + firstBlock - 1;
    const int first = m_side.FirstIndex(firstBlock);
    return {firstBlock, lastBlock, first, first + m_side.RangeSize(firstBlock, lastBlock) - 1};
}

int Bands::Largest() const
{
    int largest = 0;
    for (const Band& band : *this)
        largest = std::max(largest, band.Size());
    return largest;
}

} // namespace zyl_mtx
