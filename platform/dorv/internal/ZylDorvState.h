#ifndef PLATFORM_DORV_INTERNAL_ZYLDORVSTATE_H
#define PLATFORM_DORV_INTERNAL_ZYLDORVSTATE_H
// Private to platform/dorv: the in-memory image of an open database file.
//
// When a file is opened every record (contexts, collections, CSets without
// their label arrays, distributions, drawers) is read into a FileState; from
// then on the FileState is the source of truth and every change is written
// through to the file at once. Label arrays of CSets are read on first use.
//
// File layout (HDF5 groups, datasets and attributes):
//   /                                  format "ZylDorv", version 1, next_context
//   /context<c>                        namespace, next_collection, next_distribution,
//                                      type_count, type<i> (names of the schema)
//   /context<c>/collection<m>          count, type, next_cset, biggest_count, biggest_cset, color<k>
//   /context<c>/collection<m>/cset<k>  size, form ("labels" with dataset "labels",
//                                      or "strided" with start, count, stride, block)
//   /context<c>/distribution<d>        axes (minor ids with colour), range_type, type, next_drawer
//   /context<c>/distribution<d>/drawer<i>
//        dense: dataset [size 0][size 1]...; attributes serialization 0, csets,
//               chunks (absent when not chunked), extendable_dim
//        sparse: group with attributes serialization 1|2, csets, sizes, nonzeros and
//               datasets values, column_indices, row_offsets (, diagonal)
//   /context<c>/temporary/distribution<k>   temporary distributions (removed at close)
#include <platform/dorv/ZylDorvDistribution.h>
#include <platform/dorv/ZylDorvIDs.h>
#include <platform/dorv/ZylDorvTypes.h>
#include <platform/dorv/internal/ZylDorvFileOwnership.h>
#include <platform/dorv/internal/ZylDorvHdf5.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace zyl_dorv {

struct CSetData {
    std::int64_t number = 0;
    std::int32_t baseMinor = 0;
    bool strided = false;                   // labels start + i*stride + j, i < count, j < block
    std::int64_t start = 0, count = 0, stride = 1, block = 1;
    std::vector<std::int32_t> labels;       // the labels form
    bool labelsLoaded = true;
    std::int64_t size = 0;

    std::int32_t Label(std::int64_t position) const
    {
        if (!strided)
            return labels[static_cast<std::size_t>(position)];
        return static_cast<std::int32_t>(start + (position / block) * stride + position % block);
    }
    std::int64_t MaxLabel() const;
};

struct CollectionData {
    std::int32_t minor = 0; // base minor
    std::int64_t count = 0;
    std::int32_t type = -1;
    std::int64_t nextCSet = 1;
    std::int64_t biggestCount = -1;
    std::int64_t biggestNumber = 0;
    std::map<std::int64_t, CSetData> csets;
    Hid group;
};

struct DrawerData {
    int index = 0;
    ZylDorvSerializationType::Kind kind = ZylDorvSerializationType::Dense;
    std::vector<std::int64_t> csets;   // CSet numbers per dimension
    std::vector<std::int64_t> sizes;   // member counts per dimension
    std::vector<int> chunks;           // reported chunking; empty when not chunked
    int extendableDim = 0;
    ZylDorvRangeValue init;
    std::int64_t nonzeros = 0;         // sparse drawers
    std::vector<hsize_t> storageChunk; // dense drawers: HDF5 chunk dimensions
    Hid object;                        // the dataset (dense) or group (sparse)
    // File addresses of allocated storage chunks, by chunk number (row-major
    // over the chunk grid of the current extent); forgotten whenever the
    // extent changes or the dataset is opened afresh.
    std::unordered_map<std::uint64_t, std::uint64_t> chunkAddress;
};

struct DistributionData {
    std::int64_t number = 0;
    std::vector<std::int32_t> axes;     // minor identifiers with colour
    std::vector<std::int32_t> axisTypes;
    ZylDorvTypeKey key = ZylDorvTypeKey::Double;
    std::int32_t type = -1;
    int nextDrawer = 0;
    std::map<int, DrawerData> drawers;
    Hid group;
};

struct TransactionState {
    std::int32_t context = 0;
    std::vector<std::function<void()>> undo; // run in reverse order on rollback
    bool active = true;
};

struct ContextData {
    std::int32_t number = 0;
    std::uint64_t space = 0;
    std::int32_t nextCollection = 1;
    std::int64_t nextDistribution = 1;
    std::int64_t nextTempDistribution = 1;
    std::int64_t nextTempCSet = 1;
    std::vector<std::string> typeNames;
    std::map<std::int32_t, CollectionData> collections;
    std::map<std::int64_t, CSetData> tempCSets;         // keyed by the (negative) number
    std::map<std::int64_t, DistributionData> distributions; // temporary ones have negative numbers
    std::vector<TransactionState*> transactions;        // innermost last
    Hid group;
    Hid tempGroup;
};

struct FileState {
    int number = 0;
    std::string path;
    std::string absolutePath; // the path as it was when the file was made or opened
    bool open = false;
    bool readOnly = false;
    std::int32_t nextContext = 1;
    std::map<std::int32_t, ContextData> contexts;
    Hid file;
    // A descriptor of our own: it moves values of allocated chunks, and its
    // advisory lock (exclusive for a writer, shared for a reader) tells other
    // processes that the file is in use, for as long as the database is open.
    Fd rawFd;

    // " in \"<path>\"" for messages.
    std::string In() const { return " of \"" + path + "\""; }
};

// ---- registry and lookups (each throws the matching error) -----------------

std::shared_ptr<FileState> CreateDatabaseFile(const std::string& path, int flags, int mode);
std::shared_ptr<FileState> OpenDatabaseFile(const std::string& path, int flags);
void CloseDatabaseFile(FileState& file, bool throwOnError);

std::shared_ptr<FileState> FileOf(ZylDorvContextID context, const std::string& operation);
void RequireOpen(const FileState& file, const std::string& operation);
void RequireWritable(const FileState& file, const std::string& operation);
ContextData& ContextOf(FileState& file, std::int32_t context, const std::string& operation);
CollectionData& CollectionOf(FileState& file, ZylDorvCollectionID id, const std::string& operation);
CSetData& CSetOf(FileState& file, ZylDorvCSetID id, const std::string& operation);
DistributionData& DistributionOf(FileState& file, ZylDorvDistributionID id, const std::string& operation);
DistributionData* FindDistribution(FileState& file, ZylDorvDistributionID id) noexcept;

// ---- finders that never throw -------------------------------------------------
// For undo steps above all: by the time one runs, what it restores may have
// gone with its parent (rolled back before it) or with the closed file. Each
// returns null when the record is not there.

template <class Map>
typename Map::mapped_type* FindIn(Map& records, const typename Map::key_type& key) noexcept
{
    auto found = records.find(key);
    return found == records.end() ? nullptr : &found->second;
}

inline ContextData* FindContext(FileState& file, std::int32_t context) noexcept
{
    return FindIn(file.contexts, context);
}

inline CollectionData* FindCollection(FileState& file, std::int32_t context, std::int32_t minor) noexcept
{
    ContextData* found = FindContext(file, context);
    return found != nullptr ? FindIn(found->collections, minor) : nullptr;
}

inline DistributionData* FindDistribution(FileState& file, std::int32_t context, std::int64_t number) noexcept
{
    ContextData* found = FindContext(file, context);
    return found != nullptr ? FindIn(found->distributions, number) : nullptr;
}

inline DrawerData* FindDrawer(FileState& file, std::int32_t context, std::int64_t distribution, int index) noexcept
{
    DistributionData* found = FindDistribution(file, context, distribution);
    return found != nullptr ? FindIn(found->drawers, index) : nullptr;
}

// Records an undo step with the innermost live transaction of the context;
// does nothing outside transactions.
void Journal(ContextData& context, std::function<void()> undo);
void Flush(FileState& file, const std::string& operation);

// Undo steps of one operation that changes several things: when the
// operation fails part-way, the destructor takes back what was done; when it
// succeeds, Keep() hands the steps to the context's transaction.
class LocalUndo {
public:
    explicit LocalUndo(ContextData& context) : m_context(context) {}
    ~LocalUndo();
    LocalUndo(const LocalUndo&) = delete;
    LocalUndo& operator=(const LocalUndo&) = delete;
    void Add(std::function<void()> step) { m_steps.push_back(std::move(step)); }
    void Keep();

private:
    ContextData& m_context;
    std::vector<std::function<void()>> m_steps;
    bool m_kept = false;
};

// Undo step: forget CSet `number` of collection `minor` in context `context`
// and delete its group.
std::function<void()> ForgetCSet(FileState& file, std::int32_t context, std::int32_t minor, std::int64_t number);

// Runs undo steps in reverse order; a step that fails is skipped.
void RunUndo(std::vector<std::function<void()>>& steps) noexcept;
// Undoes what a transaction made and ends it.
void RollBack(TransactionState& transaction) noexcept;
// A record's link name: the prefix followed by its number ("drawer3").
std::string Name(const char* prefix, std::int64_t number);
// Deletes a link when it exists; never throws.
void DeleteLink(const Hid& parent, const std::string& name) noexcept;

// ---- record creation ---------------------------------------------------------

ZylDorvContextID CreateContextRecord(FileState& file, ZylDorvNamespaceID space);
ZylDorvCollectionID CreateCollectionRecord(FileState& file, ContextData& context, std::int64_t count, std::int32_t type);
// Makes a CSet from `proto` (form and labels filled in); permanent ones are
// recorded in the file and grow the collection to hold their labels.
std::int64_t CreateCSetRecord(FileState& file, ContextData& context, CollectionData& collection, CSetData proto,
                              bool temporary, const std::string& operation);
std::int64_t CreateDistributionRecord(FileState& file, ContextData& context, const ZylDorvGrid& grid,
                                      ZylDorvTypeKey key, std::int32_t type, bool temporary, const std::string& operation);

ZylDorvCollectionID AxisCollectionID(const FileState& file, const ContextData& context,
                                     const DistributionData& distribution, int k);
ZylDorvDistributionID DistributionIDOf(const FileState& file, const ContextData& context,
                                       const DistributionData& distribution);
std::string DistributionText(const FileState& file, const ContextData& context, const DistributionData& distribution);

// The shared record behind ZylDorvDistribution handles.
struct DistributionRecord {
    std::shared_ptr<FileState> file;
    ZylDorvDistributionID id;

    static void Describe(const FileState& file, const ContextData& context, const DistributionData& distribution,
                         const DrawerData& drawer, ZylDorvPersistentDrawerDesc& out);
};

} // namespace zyl_dorv

#endif
