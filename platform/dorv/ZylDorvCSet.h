#ifndef PLATFORM_DORV_ZYLDORVCSET_H
#define PLATFORM_DORV_ZYLDORVCSET_H
// A CSet: an ordered list of member labels of one collection.
#include <platform/dorv/ZylDorvIDs.h>
#include <platform/zyl_Export.h>

#include <memory>

namespace zyl_dorv {
struct FileState;
}

class ZYL_EXPORT ZylDorvCSet {
public:
    // Error 2 for the null ID, 3 for a closed database, 22 for no such CSet.
    explicit ZylDorvCSet(ZylDorvCSetID id);

    ZylDorvCSetID ID() const noexcept { return m_id; }
    ZylDorvCollectionID CollectionID() const noexcept { return m_id.CollectionID(); }
    int Size() const;
    // Writes the Size() labels in order to members[0 .. Size()-1].
    void OrderedMembers(int* members) const;
    // The label at position `position` (0 .. Size()-1; error 33 otherwise).
    int Member(int position) const;
    // Whether the two CSets share a label. CSets of different collections
    // share none; colours of one collection are the same members.
    bool HasOverlap(const ZylDorvCSet& other) const;
    bool HasOverlap(ZylDorvCSetID other) const;

private:
    std::shared_ptr<zyl_dorv::FileState> m_file;
    ZylDorvCSetID m_id;
};

#endif
