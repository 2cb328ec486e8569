#include <platform/dorv/ZylDorvCSet.h>
#include <platform/dorv/ZylDorvException.h>
#include <platform/dorv/internal/ZylDorvState.h>

#include <algorithm>
#include <vector>

using namespace zyl_dorv;

namespace {

ZylDorvContextID ContextOfCSet(ZylDorvCSetID id)
{
    if (id.IsNull())
        Fail(ZylDorvError_NullIdentifier, "ZylDorvCSet: null CSet ID");
    return id.CollectionID().Context();
}

} // namespace

ZylDorvCSet::ZylDorvCSet(ZylDorvCSetID id) : m_file(FileOf(ContextOfCSet(id), "ZylDorvCSet")), m_id(id)
{
    CSetOf(*m_file, id, "ZylDorvCSet");
}

int ZylDorvCSet::Size() const { return static_cast<int>(CSetOf(*m_file, m_id, "Size").size); }

void ZylDorvCSet::OrderedMembers(int* members) const
{
    const CSetData& cset = CSetOf(*m_file, m_id, "OrderedMembers");
    if (members == nullptr && cset.size > 0)
        Fail(ZylDorvError_InvalidArgument, "OrderedMembers: null array for " + std::to_string(cset.size) + " members");
    for (std::int64_t i = 0; i < cset.size; ++i)
        members[i] = cset.Label(i);
}

int ZylDorvCSet::Member(int position) const
{
    const CSetData& cset = CSetOf(*m_file, m_id, "Member");
    if (position < 0 || position >= cset.size)
        Fail(ZylDorvError_OrdinalRangeInvalid, "Member(" + std::to_string(position) + ") of a CSet of " +
                                                   std::to_string(cset.size) + " members");
    return cset.Label(position);
}

bool ZylDorvCSet::HasOverlap(const ZylDorvCSet& other) const { return HasOverlap(other.m_id); }

bool ZylDorvCSet::HasOverlap(ZylDorvCSetID otherID) const
{
    const CSetData& a = CSetOf(*m_file, m_id, "HasOverlap");
    if (otherID.IsNull())
        Fail(ZylDorvError_NullIdentifier, "HasOverlap: null CSet ID");
    const ZylDorvCollectionID ca = m_id.CollectionID();
    const ZylDorvCollectionID cb = otherID.CollectionID();
    if (ca.Context() != cb.Context() ||
        ZylDorvCollectionID::BaseMinor(ca.Minor()) != ZylDorvCollectionID::BaseMinor(cb.Minor()))
        return false;
    const CSetData& b = CSetOf(*m_file, otherID, "HasOverlap");
    if (a.size == 0 || b.size == 0)
        return false;
    if (a.strided && b.strided && a.stride == 1 && b.stride == 1) // two runs
        return a.start < b.start + b.count && b.start < a.start + a.count;
    std::vector<std::int32_t> left(static_cast<std::size_t>(a.size)), right(static_cast<std::size_t>(b.size));
    for (std::int64_t i = 0; i < a.size; ++i)
        left[static_cast<std::size_t>(i)] = a.Label(i);
    for (std::int64_t i = 0; i < b.size; ++i)
        right[static_cast<std::size_t>(i)] = b.Label(i);
    std::sort(left.begin(), left.end());
    std::sort(right.begin(), right.end());
    std::size_t i = 0, j = 0;
    while (i < left.size() && j < right.size()) {
        if (left[i] == right[j])
            return true;
        if (left[i] < right[j])
            ++i;
        else
            ++j;
    }
    return false;
}
