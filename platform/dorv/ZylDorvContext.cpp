#include <platform/dorv/ZylDorvContext.h>
#include <platform/dorv/ZylDorvException.h>
#include <platform/dorv/internal/ZylDorvState.h>

using namespace zyl_dorv;

ZylDorvTypeID ZylDorvTypeSchemaSnapshot::TypeID(int index) const
{
    if (index < 0 || index >= m_count)
        Fail(ZylDorvError_TypeNotFound, "TypeID " + std::to_string(index) + " of the schema of context " +
                                            std::to_string(m_context.Number()) + ": it defines " + std::to_string(m_count) +
                                            " types");
    return ZylDorvTypeID(index);
}

ZylDorvContext::ZylDorvContext(ZylDorvContextID id) : m_file(FileOf(id, "ZylDorvContext")), m_id(id)
{
    ContextOf(*m_file, id.Number(), "ZylDorvContext");
}

ZylDorvCollectionID ZylDorvContext::CreateCollection(int count, ZylDorvTypeID type)
{
    ContextData& context = ContextOf(*m_file, m_id.Number(), "CreateCollection");
    return CreateCollectionRecord(*m_file, context, count, type.Value());
}

ZylDorvDistributionID ZylDorvContext::CreateDistribution(const ZylDorvGrid& grid, const ZylDorvRangeType& range,
                                                         ZylDorvTypeID type)
{
    ContextData& context = ContextOf(*m_file, m_id.Number(), "CreateDistribution");
    const std::int64_t number =
        CreateDistributionRecord(*m_file, context, grid, range.Key(), type.Value(), false, "CreateDistribution");
    return ZylDorvDistributionID(m_id, number);
}

ZylDorvDistributionID ZylDorvContext::CreateTempDistribution(const ZylDorvGrid& grid, const ZylDorvRangeType& range,
                                                             ZylDorvTypeID type)
{
    ContextData& context = ContextOf(*m_file, m_id.Number(), "CreateTempDistribution");
    const std::int64_t number =
        CreateDistributionRecord(*m_file, context, grid, range.Key(), type.Value(), true, "CreateTempDistribution");
    return ZylDorvDistributionID(m_id, number);
}

int ZylDorvContext::DefineType(const char* name)
{
    const std::string detail = "DefineType in context " + std::to_string(m_id.Number()) + m_file->In();
    RequireWritable(*m_file, "DefineType");
    ContextData& context = ContextOf(*m_file, m_id.Number(), "DefineType");
    if (name == nullptr || *name == '\0')
        Fail(ZylDorvError_InvalidArgument, detail + ": empty type name");
    const int index = static_cast<int>(context.typeNames.size());
    WriteAttr(context.group.Get(), ("type" + std::to_string(index)).c_str(), std::string(name), detail);
    WriteAttr(context.group.Get(), "type_count", std::int64_t(index + 1), detail);
    context.typeNames.push_back(name);
    FileState* f = m_file.get();
    const std::int32_t c = context.number;
    Journal(context, [f, c, index] {
        ContextData* back = FindContext(*f, c);
        if (back == nullptr)
            return;
        back->typeNames.resize(static_cast<std::size_t>(index));
        const std::string attr = "type" + std::to_string(index);
        H5Adelete(back->group.Get(), attr.c_str());
        WriteAttr(back->group.Get(), "type_count", std::int64_t(index), "rollback");
    });
    return index;
}

ZylDorvTypeSchemaSnapshot ZylDorvContext::Schema() const
{
    ContextData& context = ContextOf(*m_file, m_id.Number(), "Schema");
    return ZylDorvTypeSchemaSnapshot(m_id, static_cast<int>(context.typeNames.size()));
}

ZylDorvArray<ZylDorvCollectionID> ZylDorvContext::CollectionIDs() const
{
    ContextData& context = ContextOf(*m_file, m_id.Number(), "CollectionIDs");
    ZylDorvArray<ZylDorvCollectionID> ids;
    for (const auto& entry : context.collections)
        ids.Append(ZylDorvCollectionID(m_id, entry.first, entry.second.type));
    return ids;
}

ZylDorvArray<ZylDorvDistributionID> ZylDorvContext::DistributionIDs() const
{
    ContextData& context = ContextOf(*m_file, m_id.Number(), "DistributionIDs");
    ZylDorvArray<ZylDorvDistributionID> ids;
    for (const auto& entry : context.distributions)
        if (entry.first > 0)
            ids.Append(ZylDorvDistributionID(m_id, entry.first));
    return ids;
}
