#include <platform/dorv/ZylDorvDistribution.h>
#include <platform/dorv/ZylDorvException.h>
#include <platform/dorv/internal/ZylDorvState.h>

using namespace zyl_dorv;

std::int64_t ZylDorvDrawerDescription::DataSizeItems(int buffer) const noexcept
{
    if (m_serialization.IsDense()) {
        if (buffer != 0)
            return 0;
        std::int64_t items = 1;
        for (int k = 0; k < m_sizes.Size(); ++k)
            items *= m_sizes[k];
        return items;
    }
    const std::int64_t rows = m_sizes.Size() > 0 ? m_sizes[0] : 0;
    switch (buffer) {
    case 0:
    case 1: return m_nonzeros;
    case 2: return rows + 1;
    case 3: return m_serialization.IsSparseSym() ? rows : 0;
    default: return 0;
    }
}

void DistributionRecord::Describe(const FileState& file, const ContextData& context, const DistributionData& distribution,
                                  const DrawerData& drawer, ZylDorvPersistentDrawerDesc& out)
{
    out = ZylDorvPersistentDrawerDesc();
    const int rank = static_cast<int>(distribution.axes.size());
    for (int k = 0; k < rank; ++k) {
        out.m_csets.Append(ZylDorvCSetID(AxisCollectionID(file, context, distribution, k), drawer.csets[static_cast<std::size_t>(k)]));
        out.m_sizes.Append(static_cast<int>(drawer.sizes[static_cast<std::size_t>(k)]));
    }
    for (int c : drawer.chunks)
        out.m_chunks.Append(c);
    out.m_extendableDim = drawer.extendableDim;
    out.m_serialization = ZylDorvSerializationType(drawer.kind);
    out.m_range = ZylDorvRangeType(distribution.key);
    out.m_init = drawer.init;
    out.m_nonzeros = drawer.nonzeros;
    out.m_index = drawer.index;
}

namespace {

struct Resolved {
    FileState* file;
    ContextData* context;
    DistributionData* distribution;
};

Resolved Resolve(const std::shared_ptr<DistributionRecord>& record, const char* operation)
{
    if (!record)
        Fail(ZylDorvError_NullIdentifier, std::string(operation) + ": null distribution handle");
    FileState& file = *record->file;
    RequireOpen(file, operation);
    ContextData& context = ContextOf(file, record->id.Context().Number(), operation);
    DistributionData& distribution = DistributionOf(file, record->id, operation);
    return {&file, &context, &distribution};
}

} // namespace

ZylDorvDistribution::ZylDorvDistribution(ZylDorvDistributionID id)
{
    if (id.IsNull())
        Fail(ZylDorvError_NullIdentifier, "ZylDorvDistribution: null distribution ID");
    auto record = std::make_shared<DistributionRecord>();
    record->file = FileOf(id.Context(), "ZylDorvDistribution");
    record->id = id;
    DistributionOf(*record->file, id, "ZylDorvDistribution");
    m_record = std::move(record);
}

bool ZylDorvDistribution::IsValid() const noexcept
{
    return m_record && m_record->file->open && FindDistribution(*m_record->file, m_record->id) != nullptr;
}

ZylDorvDistributionID ZylDorvDistribution::ID() const noexcept
{
    return m_record ? m_record->id : ZylDorvDistributionID();
}

int ZylDorvDistribution::NumDimensions() const
{
    return static_cast<int>(Resolve(m_record, "NumDimensions").distribution->axes.size());
}

ZylDorvCollectionID ZylDorvDistribution::AxisCollectionID(int k) const
{
    Resolved r = Resolve(m_record, "AxisCollectionID");
    if (k < 0 || k >= static_cast<int>(r.distribution->axes.size()))
        Fail(ZylDorvError_InvalidArgument, "AxisCollectionID(" + std::to_string(k) + ") of a distribution of " +
                                               std::to_string(r.distribution->axes.size()) + " dimensions");
    return zyl_dorv::AxisCollectionID(*r.file, *r.context, *r.distribution, k);
}

ZylDorvRangeType ZylDorvDistribution::RangeType() const
{
    return ZylDorvRangeType(Resolve(m_record, "RangeType").distribution->key);
}

ZylDorvTypeID ZylDorvDistribution::TypeID() const { return ZylDorvTypeID(Resolve(m_record, "TypeID").distribution->type); }

void ZylDorvDistribution::QueryDrawers(ZylDorvArray<ZylDorvPersistentDrawerDesc>& drawers) const
{
    Resolved r = Resolve(m_record, "QueryDrawers");
    drawers.Clear();
    for (const auto& entry : r.distribution->drawers) {
        ZylDorvPersistentDrawerDesc desc;
        DistributionRecord::Describe(*r.file, *r.context, *r.distribution, entry.second, desc);
        drawers.Append(desc);
    }
}
