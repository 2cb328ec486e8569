#ifndef PLATFORM_DORV_ZYLDORVCONTEXT_H
#define PLATFORM_DORV_ZYLDORVCONTEXT_H
/// \file
/// \ingroup database
/// A context: the space in a database file in which collections, CSets and
/// distributions are made. Handles are opened from IDs and are cheap to copy.
#include <platform/dorv/ZylDorvArray.h>
#include <platform/dorv/ZylDorvIDs.h>
#include <platform/dorv/ZylDorvTypes.h>
#include <platform/zyl_Export.h>

#include <memory>

namespace zyl_dorv {
struct FileState;
}

/// \ingroup database
/// A context's type schema as it was when Schema() was called: type indices
/// 0, 1, ... with their names, defined by ZylDorvContext::DefineType.
class ZYL_EXPORT ZylDorvTypeSchemaSnapshot {
public:
    ZylDorvTypeSchemaSnapshot() = default;
    /// The number of types in the schema.
    int NumTypes() const noexcept { return m_count; }
    /// Type identifier of type index `index`; error 25 when the schema has no
    /// such index.
    ZylDorvTypeID TypeID(int index) const;

private:
    friend class ZylDorvContext;
    ZylDorvTypeSchemaSnapshot(ZylDorvContextID context, int count) : m_context(context), m_count(count) {}
    ZylDorvContextID m_context;
    int m_count = 0;
};

/// \ingroup database
/// A handle on an open context (see above).
class ZYL_EXPORT ZylDorvContext {
public:
    /// Opens the context; error 2 for a null ID, 3 when its database is closed,
    /// 20 when the file has no such context.
    explicit ZylDorvContext(ZylDorvContextID id);

    /// The context's identifier.
    ZylDorvContextID ID() const noexcept { return m_id; }

    /// A new collection of `count` members (ordinals 0 .. count-1), of the
    /// given type (the null type -1 for an untyped collection).
    ZylDorvCollectionID CreateCollection(int count, ZylDorvTypeID type);

    /// A new distribution over `grid` (1 or more axes, each a collection of
    /// this context; one collection may appear twice only in two colours)
    /// with values of `range` (key 1 or 2), typed by `type` (a type of this
    /// context's schema, or the null type). It has no drawer yet.
    ZylDorvDistributionID CreateDistribution(const ZylDorvGrid& grid, const ZylDorvRangeType& range, ZylDorvTypeID type);
    /// The same, but the distribution and its drawers live only until the
    /// database is closed and are never part of the saved file.
    ZylDorvDistributionID CreateTempDistribution(const ZylDorvGrid& grid, const ZylDorvRangeType& range, ZylDorvTypeID type);

    /// Adds a type named `name` to the schema and returns its index (0, 1, ...).
    int DefineType(const char* name);
    /// The type schema as it is now.
    ZylDorvTypeSchemaSnapshot Schema() const;

    /// The collections of this context, in creation order.
    ZylDorvArray<ZylDorvCollectionID> CollectionIDs() const;
    ZylDorvArray<ZylDorvDistributionID> DistributionIDs() const; ///< permanent ones, in creation order

private:
    std::shared_ptr<zyl_dorv::FileState> m_file;
    ZylDorvContextID m_id;
};

#endif
