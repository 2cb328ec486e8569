#ifndef MTX_IMPL_INTERNAL_ZYLSRVBLOCKGEOMETRY_H
#define MTX_IMPL_INTERNAL_ZYLSRVBLOCKGEOMETRY_H
// One side (the rows or the columns) of a dense matrix's block geometry as a
// value, so that the block arithmetic is written once for both sides, and the
// walk over bands of consecutive blocks that every streamed operation uses.
namespace zyl_mtx {

// `count` members in `blocks` blocks: block 0 holds `first`, the last block
// `last`, every block between them `perBlock`. A side with one block has
// first == last == count.
struct BlockGeometry {
    int count;
    int blocks;
    int perBlock;
    int first;
    int last;

    // A side of count >= 1 members cut into blocks of perBlock >= 1 from its
    // start: only the last block may be short.
    static BlockGeometry Divide(int count, int perBlock);
    // The side of a view of members firstIndex..lastIndex (inside this
    // side): its blocks coincide with these, cut at the two ends.
    BlockGeometry Cut(int firstIndex, int lastIndex) const;

    // b < 0: 0; b = 0: first; any b at or past the last block: last.
    int Size(int block) const;
    // perBlock with more than two blocks, else the larger of first and last.
    int Largest() const;
    // Members of blocks b0..b1; 0 for an empty or negative range.
    int RangeSize(int firstBlock, int lastBlock) const;
    // Index of the first member of a block: 0 for b <= 0, no upper bound.
    int FirstIndex(int block) const;
    int Containing(int index) const;
};

// Blocks firstBlock..lastBlock of a side, members first..last.
struct Band {
    int firstBlock;
    int lastBlock;
    int first;
    int last;
    int Size() const { return last - first + 1; }
};

// The bands of up to perBand consecutive blocks of a side, starting at block
// 0; the last band takes the blocks that remain. Part() walks bands
// first..end-1 of them only (a process's share of the walk).
//   for (const Band& band : Bands(side, perBand)) ...
class Bands {
public:
    Bands(const BlockGeometry& side, int perBand);

    class Iterator {
    public:
        Iterator(const Bands& bands, int block) : m_bands(&bands), m_block(block) {}
        Band operator*() const { return m_bands->At(m_block); }
        Iterator& operator++();
        bool operator==(const Iterator& other) const { return m_block == other.m_block; }
        bool operator!=(const Iterator& other) const { return m_block != other.m_block; }

    private:
        const Bands* m_bands;
        int m_block;
    };
    Iterator begin() const { return Iterator(*this, m_beginBlock); }
    Iterator end() const { return Iterator(*this, m_endBlock); }

    // Members of the largest band walked (0 when none is).
    int Largest() const;
    // Bands of the whole side, whatever part is walked.
    int Count() const { return (m_side.blocks + m_perBand - 1) / m_perBand; }
    // The index of a band of the side, from 0.
    int IndexOf(const Band& band) const { return band.firstBlock / m_perBand; }
    // Bands first..end-1 of the side (clipped to it).
    Bands Part(int firstBand, int endBand) const;
    // The members the walked bands cover: FirstMember()..EndMember()-1.
    int FirstMember() const { return m_side.FirstIndex(m_beginBlock); }
    int EndMember() const { return m_endBlock >= m_side.blocks ? m_side.count : m_side.FirstIndex(m_endBlock); }

private:
    Band At(int firstBlock) const;

    BlockGeometry m_side;
    int m_perBand;
    int m_beginBlock;
    int m_endBlock;
};

} // namespace zyl_mtx

#endif
