#include <platform/dorv/ZylDorvCollection.h>
#include <platform/dorv/ZylDorvException.h>
#include <platform/dorv/internal/ZylDorvState.h>

using namespace zyl_dorv;

namespace {

CSetData LabelsProto(const int* labels, int count, const std::string& detail)
{
    if (count < 0)
        Fail(ZylDorvError_InvalidArgument, detail + ": count " + std::to_string(count));
    if (labels == nullptr && count > 0)
        Fail(ZylDorvError_InvalidArgument, detail + ": no labels given for count " + std::to_string(count));
    CSetData proto;
    proto.labels.assign(labels, labels + count);
    return proto;
}

} // namespace

namespace {

ZylDorvContextID ContextOfCollection(ZylDorvCollectionID id)
{
    if (id.IsNull())
        Fail(ZylDorvError_NullIdentifier, "ZylDorvCollection: null collection ID");
    return id.Context();
}

} // namespace

ZylDorvCollection::ZylDorvCollection(ZylDorvCollectionID id)
    : m_file(FileOf(ContextOfCollection(id), "ZylDorvCollection")), m_id(id)
{
    CollectionOf(*m_file, id, "ZylDorvCollection");
}

int ZylDorvCollection::Count() const { return static_cast<int>(CollectionOf(*m_file, m_id, "Count").count); }

ZylDorvCSetID ZylDorvCollection::CreateOrderedCSet(const int* labels, int count)
{
    CollectionData& collection = CollectionOf(*m_file, m_id, "CreateOrderedCSet");
    ContextData& context = m_file->contexts.at(m_id.Context().Number());
    CSetData proto = LabelsProto(labels, count, "CreateOrderedCSet");
    return ZylDorvCSetID(m_id, CreateCSetRecord(*m_file, context, collection, std::move(proto), false, "CreateOrderedCSet"));
}

ZylDorvCSetID ZylDorvCollection::CreateTempOrderedCSet(const int* labels, int count)
{
    CollectionData& collection = CollectionOf(*m_file, m_id, "CreateTempOrderedCSet");
    ContextData& context = m_file->contexts.at(m_id.Context().Number());
    CSetData proto = LabelsProto(labels, count, "CreateTempOrderedCSet");
    return ZylDorvCSetID(m_id, CreateCSetRecord(*m_file, context, collection, std::move(proto), true, "CreateTempOrderedCSet"));
}

ZylDorvCSetID ZylDorvCollection::CreateCSetStrided(int start, int count, int stride, int blockSize)
{
    CollectionData& collection = CollectionOf(*m_file, m_id, "CreateCSetStrided");
    ContextData& context = m_file->contexts.at(m_id.Context().Number());
    if (start < 0 || count < 0 || blockSize < 1 || stride < blockSize)
        Fail(ZylDorvError_InvalidStride, "CreateCSetStrided(" + std::to_string(start) + ", " + std::to_string(count) + ", " +
                                             std::to_string(stride) + ", " + std::to_string(blockSize) +
                                             "): start >= 0, count >= 0 and stride >= block >= 1 expected");
    CSetData proto;
    proto.strided = true;
    proto.start = start;
    proto.count = count;
    proto.stride = stride;
    proto.block = blockSize;
    if (blockSize == stride) { // one run
        proto.count = static_cast<std::int64_t>(count) * blockSize;
        proto.stride = 1;
        proto.block = 1;
    }
    return ZylDorvCSetID(m_id, CreateCSetRecord(*m_file, context, collection, std::move(proto), false, "CreateCSetStrided"));
}

ZylDorvCSetID ZylDorvCollection::BiggestCSetID()
{
    CollectionData& collection = CollectionOf(*m_file, m_id, "BiggestCSetID");
    if (collection.biggestCount == collection.count && collection.csets.count(collection.biggestNumber) != 0)
        return ZylDorvCSetID(m_id, collection.biggestNumber);
    ContextData& context = m_file->contexts.at(m_id.Context().Number());
    CSetData proto;
    proto.strided = true;
    proto.count = collection.count;
    const std::int64_t number = CreateCSetRecord(*m_file, context, collection, std::move(proto), false, "BiggestCSetID");
    const std::int64_t oldCount = collection.biggestCount;
    const std::int64_t oldNumber = collection.biggestNumber;
    const std::string detail = "BiggestCSetID" + m_file->In();
    collection.biggestCount = collection.count;
    collection.biggestNumber = number;
    WriteAttr(collection.group.Get(), "biggest_count", collection.biggestCount, detail);
    WriteAttr(collection.group.Get(), "biggest_cset", collection.biggestNumber, detail);
    FileState* f = m_file.get();
    const std::int32_t c = context.number;
    const std::int32_t m = collection.minor;
    Journal(context, [f, c, m, oldCount, oldNumber] {
        CollectionData* back = FindCollection(*f, c, m);
        if (back == nullptr)
            return;
        back->biggestCount = oldCount;
        back->biggestNumber = oldNumber;
        WriteAttr(back->group.Get(), "biggest_count", oldCount, "rollback");
        WriteAttr(back->group.Get(), "biggest_cset", oldNumber, "rollback");
    });
    return ZylDorvCSetID(m_id, number);
}

ZylDorvCollectionID ZylDorvCollection::CreateColorVariant(int color)
{
    CollectionData& collection = CollectionOf(*m_file, m_id, "CreateColorVariant");
    if (color < 0 || color > 127)
        Fail(ZylDorvError_InvalidArgument, "CreateColorVariant(" + std::to_string(color) + "): colour 0 to 127 expected");
    const std::string attr = "color" + std::to_string(color);
    if (color != 0 && !HasAttr(collection.group.Get(), attr.c_str())) {
        RequireWritable(*m_file, "CreateColorVariant");
        WriteAttr(collection.group.Get(), attr.c_str(), std::int64_t(1), "CreateColorVariant" + m_file->In());
    }
    return ZylDorvCollectionID(m_id.Context(), ZylDorvCollectionID::SetColor(m_id.Minor(), color), m_id.Type());
}

ZylDorvArray<ZylDorvCSetID> ZylDorvCollection::CSetIDs() const
{
    CollectionData& collection = CollectionOf(*m_file, m_id, "CSetIDs");
    ZylDorvArray<ZylDorvCSetID> ids;
    for (const auto& entry : collection.csets)
        ids.Append(ZylDorvCSetID(m_id, entry.first));
    return ids;
}
