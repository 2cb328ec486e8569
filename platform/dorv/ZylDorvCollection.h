#ifndef PLATFORM_DORV_ZYLDORVCOLLECTION_H
#define PLATFORM_DORV_ZYLDORVCOLLECTION_H
// A collection: members addressed by ordinals 0 .. Count()-1. A member's
// label is its ordinal. CSets list labels in an order of their own; a
// collection accepts CSets whose labels it does not hold yet, and a
// permanent CSet grows the collection so that it holds every label listed
// (a temporary CSet leaves the count alone). Several CSets may share labels;
// within one CSet each label appears once (error 30), labels are >= 0 (31).
// A handle opened on a colour variant makes CSet IDs seen through that colour.
#include <platform/dorv/ZylDorvArray.h>
#include <platform/dorv/ZylDorvIDs.h>
#include <platform/zyl_Export.h>

#include <memory>

namespace zyl_dorv {
struct FileState;
}

class ZYL_EXPORT ZylDorvCollection {
public:
    // Error 2 for the null ID, 3 for a closed database, 21 for no such collection.
    explicit ZylDorvCollection(ZylDorvCollectionID id);

    ZylDorvCollectionID ID() const noexcept { return m_id; }
    int Count() const;

    // A permanent CSet listing labels[0 .. count-1] in that order.
    ZylDorvCSetID CreateOrderedCSet(const int* labels, int count);
    // The same, living until the database is closed, never saved.
    ZylDorvCSetID CreateTempOrderedCSet(const int* labels, int count);
    // A permanent CSet of `count` blocks of `blockSize` consecutive labels,
    // block i starting at start + i * stride (stride >= blockSize >= 1,
    // count >= 0, start >= 0; error 35 otherwise). (start, n, 1, 1) lists
    // start .. start+n-1.
    ZylDorvCSetID CreateCSetStrided(int start, int count, int stride, int blockSize);
    // A CSet of all members 0 .. Count()-1 in ordinal order (made once per
    // count and reused).
    ZylDorvCSetID BiggestCSetID();
    // The ID of this collection in colour `color` (0 .. 127); recorded in the file.
    ZylDorvCollectionID CreateColorVariant(int color);

    // Permanent CSets, in creation order, seen through this handle's colour.
    ZylDorvArray<ZylDorvCSetID> CSetIDs() const;

private:
    std::shared_ptr<zyl_dorv::FileState> m_file;
    ZylDorvCollectionID m_id;
};

#endif
