#ifndef CONTAINERS_COW_LIST_H
#define CONTAINERS_COW_LIST_H
/// \file
/// \ingroup containers
/// A list of plain items kept in fixed-size blocks, so that appending never
/// moves an item already stored. Copies share the block table and the blocks
/// until one of them writes: the writer then takes its own table (the blocks'
/// counts go up by one) and its own copy of the one block it writes into.
///
/// Element i lives in block (start + i) >> shift, slot (start + i) & mask.
/// Blocks come into being when first written; the table grows to the
/// smallest multiple of 16 slots that covers the blocks in use. This list
/// offers no operations at the front, so `start` stays 0; it is kept so that
/// the layout and the index rule are those of the foundation's list.
#include <platform/mem.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <type_traits>
#include <utility>

/// \ingroup containers
/// One block of a list: a reference count followed by 2^shift items.
template <typename T>
class cow_ListBlock {
    static_assert(std::is_trivially_copyable<T>::value && std::is_trivially_destructible<T>::value,
                  "cow_List holds plain items only: blocks are copied byte for byte");

public:
    /// A new block of 2^shift items (not initialised) from the tiny-object path.
    static cow_ListBlock* Create(int shift)
    {
        void* memory = mem_OperatorNewTinyThrow(ItemsOffset() + (std::size_t{1} << shift) * sizeof(T));
        return new (memory) cow_ListBlock();
    }
    /// A new block holding a copy of source's items.
    static cow_ListBlock* Duplicate(const cow_ListBlock& source, int shift)
    {
        cow_ListBlock* copy = Create(shift);
        std::memcpy(copy->Items(), source.Items(), (std::size_t{1} << shift) * sizeof(T));
        return copy;
    }
    /// Drops one reference; the last one frees the block.
    static void Release(cow_ListBlock* block) noexcept
    {
        if (block != nullptr && --block->refCount == 0)
            mem_Free(block);
    }

    /// Item i of the block.
    const T& ConstGet(long i) const noexcept { return Items()[i]; }
    ///@{
    /// The items, after the block's header.
    T* Items() noexcept { return reinterpret_cast<T*>(reinterpret_cast<char*>(this) + ItemsOffset()); }
    const T* Items() const noexcept { return const_cast<cow_ListBlock*>(this)->Items(); }
    ///@}

    long refCount = 1; ///< the lists whose tables hold this block

private:
    static constexpr std::size_t ItemsOffset()
    {
        return (sizeof(cow_ListBlock) + alignof(T) - 1) / alignof(T) * alignof(T);
    }
};

/// \ingroup containers
/// The list of plain items (see above).
template <typename T>
class cow_List {
public:
    using Block = cow_ListBlock<T>; ///< a block of 2^shift items
    static constexpr int kTableGrowth = 16; ///< slots added to the block table at a time

    /// An empty list with blocks of 2^blockShift items.
    explicit cow_List(int blockShift = 4)
        : shift(blockShift), sharedCount(NewCount())
    {
    }
    /// Shares other's table and blocks until either writes.
    cow_List(const cow_List& other) noexcept
        : count(other.count), numSlots(other.numSlots), shift(other.shift), start(other.start),
          sharedCount(other.sharedCount), table(other.table)
    {
        ++*sharedCount;
    }
    /// Shares other's table and blocks, leaving this list's.
    cow_List& operator=(const cow_List& other) noexcept
    {
        cow_List copy(other);
        Swap(copy);
        return *this;
    }
    ~cow_List() { LeaveTable(); }

    /// The number of items.
    long Count() const noexcept { return count; }
    /// The slots of the block table.
    int NumberOfSlots() const noexcept { return numSlots; }

    /// Reading a slot never written yields a value-initialised item.
    const T& UncheckedConstGet(long i) const noexcept
    {
        const Block* block = table[(start + i) >> shift];
        return block == nullptr ? EmptyItem() : block->ConstGet((start + i) & Mask());
    }
    /// A bad index is a broken program, not a recoverable condition.
    const T& ConstGet(long i) const noexcept
    {
        if (i < 0 || i >= count) {
            std::fprintf(stderr, "cow_List::ConstGet: index %ld outside 0..%ld\n", i, count - 1);
            std::abort();
        }
        return UncheckedConstGet(i);
    }

    /// A writable item: the table and the block are made this list's own
    /// first. A failed allocation leaves the list, and every copy, as it was.
    T& Get(long i)
    {
        return WritableBlock((start + i) >> shift, numSlots)[(start + i) & Mask()];
    }
    /// Adds item at the end, owning table and block first as Get does.
    void Append(const T& item)
    {
        long position = start + count;
        WritableBlock(position >> shift, RoundUpToGrowth((position >> shift) + 1))[position & Mask()] = item;
        ++count;
    }

    /// Shrinking releases the blocks past the end; growing only widens the
    /// table (blocks come when written). Resizing to 0 releases everything.
    /// What can fail (owning the table, copying a shared last block) comes
    /// before anything is released.
    void Resize(long newCount)
    {
        if (newCount == 0) {
            Clear();
            return;
        }
        const long blocksInUse = ((start + newCount - 1) >> shift) + 1;
        if (newCount < count)
            ClearTailOfLastBlock(newCount);
        Reserve(blocksInUse);
        for (long b = blocksInUse; b < numSlots; ++b)
            Block::Release(std::exchange(table[b], nullptr));
        count = newCount;
        ResizeTable(RoundUpToGrowth(blocksInUse)); // past the blocks in use only nulls: nothing to lose
    }

    ///@{
    /// After MakeOwn every block exists and belongs to this list alone, so the
    /// unchecked writable access below is safe until the list is next copied.
    void MakeOwn()
    {
        OwnTable();
        for (long b = 0; b < BlocksInUse(); ++b)
            OwnBlock(b);
    }
    T& UncheckedGet(long i) noexcept { return table[(start + i) >> shift]->Items()[(start + i) & Mask()]; }
    ///@}

    /// Exchanges the contents of the two lists.
    void Swap(cow_List& other) noexcept
    {
        std::swap(count, other.count);
        std::swap(numSlots, other.numSlots);
        std::swap(shift, other.shift);
        std::swap(start, other.start);
        std::swap(sharedCount, other.sharedCount);
        std::swap(table, other.table);
    }

private:
    long Mask() const noexcept { return (1L << shift) - 1; }
    long BlocksInUse() const noexcept { return count == 0 ? 0 : ((start + count - 1) >> shift) + 1; }
    static long RoundUpToGrowth(long blocks) { return (blocks + kTableGrowth - 1) / kTableGrowth * kTableGrowth; }
    static const T& EmptyItem() noexcept
    {
        static const T empty{};
        return empty;
    }
    static long* NewCount()
    {
        return new (mem_OperatorNewTinyThrow(sizeof(long))) long(1);
    }

    // The table covers at least `blocks` slots and is this list's own.
    void Reserve(long blocks)
    {
        OwnTable(RoundUpToGrowth(blocks));
    }
    void ResizeTable(long slots)
    {
        if (slots == numSlots)
            return;
        if (slots == 0) {
            mem_Free(std::exchange(table, nullptr));
        } else {
            table = static_cast<Block**>(mem_Realloc(table, mem_ArraySize(slots, sizeof(Block*))));
            for (long b = numSlots; b < slots; ++b)
                table[b] = nullptr;
        }
        numSlots = static_cast<int>(slots);
    }
    // Copy-on-write of the table, widened to at least `slots`: a shared table
    // is copied and every block in it gains a reference. Everything that can
    // fail comes before the first change.
    void OwnTable(long slots)
    {
        if (*sharedCount == 1) {
            if (slots > numSlots)
                ResizeTable(slots);
            return;
        }
        slots = std::max<long>(slots, numSlots);
        mem_Unique<long> ownCount(NewCount());
        Block** ownTable = nullptr;
        if (slots > 0)
            ownTable = static_cast<Block**>(mem_Malloc(mem_ArraySize(slots, sizeof(Block*))));
        for (long b = 0; b < slots; ++b)
            if ((ownTable[b] = b < numSlots ? table[b] : nullptr) != nullptr)
                ++ownTable[b]->refCount;
        --*sharedCount;
        sharedCount = ownCount.release();
        table = ownTable;
        numSlots = static_cast<int>(slots);
    }
    void OwnTable() { OwnTable(numSlots); }
    // The block a write into slot b needs: null when the block there is
    // already this list's alone, else a fresh or copied one to install.
    Block* BlockForWrite(long b) const
    {
        Block* block = b < numSlots ? table[b] : nullptr;
        if (block == nullptr) {
            Block* fresh = Block::Create(shift);
            std::memset(static_cast<void*>(fresh->Items()), 0, (std::size_t{1} << shift) * sizeof(T));
            return fresh;
        }
        if (block->refCount != 1 || *sharedCount != 1)
            return Block::Duplicate(*block, shift);
        return nullptr;
    }
    // The items of block b, own and writable, with a table of at least `slots`.
    T* WritableBlock(long b, long slots)
    {
        Block* installed = BlockForWrite(b);
        if (installed == nullptr && slots <= numSlots)
            return table[b]->Items();
        try {
            OwnTable(slots);
        } catch (...) {
            mem_Free(installed);
            throw;
        }
        if (installed != nullptr)
            Block::Release(std::exchange(table[b], installed));
        return table[b]->Items();
    }
    T* OwnBlock(long b) { return WritableBlock(b, numSlots); }
    // Slots past a shrunken end read as never written when the list grows again.
    void ClearTailOfLastBlock(long newCount)
    {
        long end = start + newCount;
        long last = (end - 1) >> shift;
        if ((end & Mask()) == 0 || table[last] == nullptr)
            return;
        T* items = OwnBlock(last);
        std::memset(static_cast<void*>(items + (end & Mask())), 0, ((1L << shift) - (end & Mask())) * sizeof(T));
    }
    void Clear()
    {
        if (*sharedCount != 1) {
            long* ownCount = NewCount();
            --*sharedCount;
            sharedCount = ownCount;
            table = nullptr;
            numSlots = 0;
        }
        for (long b = 0; b < numSlots; ++b)
            Block::Release(table[b]);
        ResizeTable(0);
        count = 0;
        start = 0;
        shift = 4;
    }
    void LeaveTable() noexcept
    {
        if (--*sharedCount != 0)
            return;
        for (long b = 0; b < numSlots; ++b)
            Block::Release(table[b]);
        mem_Free(table);
        mem_Free(sharedCount);
    }

    long count = 0;       // elements
    int numSlots = 0;     // slots of the block table
    int shift;            // log2 of the elements per block
    long start = 0;       // index of element 0 within block 0
    long* sharedCount;    // copies sharing this table
    Block** table = nullptr;
};

#endif
