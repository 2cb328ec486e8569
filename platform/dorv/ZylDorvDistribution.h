#ifndef PLATFORM_DORV_ZYLDORVDISTRIBUTION_H
#define PLATFORM_DORV_ZYLDORVDISTRIBUTION_H
/// \file
/// \ingroup database
/// A distribution: a typed array over a grid of collections whose values sit
/// in drawers. The handle is copyable; copies share one open record (views of
/// a matrix share it).
#include <platform/dorv/ZylDorvArray.h>
#include <platform/dorv/ZylDorvIDs.h>
#include <platform/dorv/ZylDorvTypes.h>
#include <platform/zyl_Export.h>

#include <cstdint>
#include <memory>

namespace zyl_dorv {
struct FileState;
struct DistributionRecord;
}

/// \ingroup database
/// What a drawer holds, per dimension k (0 .. NumDimensions()-1): its CSet
/// (seen through the colour of the distribution's axis k) and the CSet's
/// member count, and the drawer's chunking: the block of members per
/// dimension in which the values are best read and written, empty when the
/// drawer is not chunked.
class ZYL_EXPORT ZylDorvDrawerDescription {
public:
    ZylDorvDrawerDescription() = default;
    /// The number of dimensions.
    int NumDimensions() const noexcept { return m_csets.Size(); }
    /// The CSet of dimension k.
    ZylDorvCSetID DimCSetID(int k) const { return m_csets[k]; }
    /// The member count of dimension k.
    int DimSize(int k) const { return m_sizes[k]; }
    /// True when the drawer is chunked.
    bool IsChunked() const noexcept { return !m_chunks.IsEmpty(); }
    /// The chunk per dimension (empty when not chunked).
    const ZylDorvArray<int>& ChunkSizes() const noexcept { return m_chunks; }
    /// The chunk of dimension k (its size when not chunked).
    int ChunkSize(int k) const { return m_chunks.IsEmpty() ? DimSize(k) : m_chunks[k]; }
    /// The dimension that the drawer is meant to grow along (set when it was
    /// made, 0 by default). Every dimension of a dense drawer can be extended.
    int ExtendableDim() const noexcept { return m_extendableDim; }
    /// The layout of the values.
    ZylDorvSerializationType Serialization() const noexcept { return m_serialization; }
    /// The type of the values.
    ZylDorvRangeType RangeType() const noexcept { return m_range; }
    /// The value that unwritten places read as.
    ZylDorvRangeValue InitializationValue() const noexcept { return m_init; }
    /// Items in buffer `buffer`: dense: 0 -> every value (product of the
    /// sizes); sparse: 0 and 1 -> m, 2 -> rows + 1, 3 -> rows (symmetric) or 0.
    /// Any other buffer index gives 0.
    std::int64_t DataSizeItems(int buffer) const noexcept;

protected:
    friend struct zyl_dorv::DistributionRecord;
    ZylDorvArray<ZylDorvCSetID> m_csets;     ///< CSet per dimension
    ZylDorvArray<int> m_sizes;               ///< member count per dimension
    ZylDorvArray<int> m_chunks;              ///< chunk per dimension, empty when not chunked
    int m_extendableDim = 0;                 ///< see ExtendableDim
    ZylDorvSerializationType m_serialization; ///< see Serialization
    ZylDorvRangeType m_range;                ///< see RangeType
    ZylDorvRangeValue m_init;                ///< see InitializationValue
    std::int64_t m_nonzeros = 0;             ///< stored values m of a sparse drawer
};

/// \ingroup database
/// A drawer of a distribution in the database.
class ZYL_EXPORT ZylDorvPersistentDrawerDesc : public ZylDorvDrawerDescription {
public:
    ZylDorvPersistentDrawerDesc() = default;
    /// The drawer's index in its distribution (-1 for an empty description).
    int DrawerIndex() const noexcept { return m_index; }

private:
    friend struct zyl_dorv::DistributionRecord;
    int m_index = -1;
};

/// \ingroup database
/// A handle on an open distribution (see above).
class ZYL_EXPORT ZylDorvDistribution {
public:
    ZylDorvDistribution() noexcept = default; ///< the null handle
    /// Opens the distribution: error 2 for the null ID, 3 for a closed
    /// database, 23 for no such distribution.
    explicit ZylDorvDistribution(ZylDorvDistributionID id);

    /// True when the handle refers to a distribution that exists in an open
    /// database (false for the null handle, after Close, after a rollback
    /// removed it). Never throws.
    bool IsValid() const noexcept;
    /// The distribution's identifier (null for the null handle).
    ZylDorvDistributionID ID() const noexcept;
    /// The number of axes.
    int NumDimensions() const;
    /// The collection of axis k.
    ZylDorvCollectionID AxisCollectionID(int k) const;
    /// The type of the values.
    ZylDorvRangeType RangeType() const;
    /// The schema type of the distribution (the null type when untyped).
    ZylDorvTypeID TypeID() const;
    /// Fills `drawers` with one description per drawer, in creation order;
    /// empty when the distribution has none yet.
    void QueryDrawers(ZylDorvArray<ZylDorvPersistentDrawerDesc>& drawers) const;

private:
    friend class ZylDorvTransfer;
    std::shared_ptr<zyl_dorv::DistributionRecord> m_record;
};

#endif
