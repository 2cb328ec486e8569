// The open-file registry and the records of the embedded database (see
// internal/ZylDorvState.h for the layout in the file).
#include <platform/dorv/ZylDorvDatabase.h>
#include <platform/dorv/ZylDorvException.h>
#include <platform/dorv/internal/ZylDorvSeam.h>
#include <platform/dorv/internal/ZylDorvFileOwnership.h>
#include <platform/dorv/internal/ZylDorvFileSharing.h>
#include <platform/dorv/internal/ZylDorvState.h>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

namespace zyl_dorv {

namespace {

constexpr const char* kFormat = "ZylDorv";
constexpr std::int64_t kVersion = 1;
// Room for the records of a database with thousands of drawers; the cache
// grows beyond it when a database holds more (it never evicts, see below).
constexpr std::size_t kMetadataCacheBytes = std::size_t(32) << 20;

std::map<int, std::weak_ptr<FileState>>& Registry()
{
    static std::map<int, std::weak_ptr<FileState>> registry;
    return registry;
}

int g_nextDatabaseNumber = 1;

// Parses "<prefix><positive number>"; 0 when the name has another form.
std::int64_t NumberIn(const std::string& name, const char* prefix)
{
    const std::size_t length = std::strlen(prefix);
    if (name.compare(0, length, prefix) != 0 || name.size() == length)
        return 0;
    std::int64_t value = 0;
    for (std::size_t i = length; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9' || value > (INT64_MAX - 9) / 10)
            return 0;
        value = value * 10 + (name[i] - '0');
    }
    return value;
}

Hid CreateGroup(hid_t parent, const std::string& name, const std::string& detail)
{
    SeamCheck(SeamKind::RecordWrite, detail);
    return Checked(H5Gcreate2(parent, name.c_str(), H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT),
                   ZylDorvError_MetadataWriteFailed, detail);
}

Hid OpenGroup(hid_t parent, const std::string& name, const std::string& detail)
{
    return Checked(H5Gopen2(parent, name.c_str(), H5P_DEFAULT), ZylDorvError_MetadataReadFailed, detail);
}

std::string ContextText(const FileState& file, std::int32_t context)
{
    return "context " + std::to_string(context) + file.In();
}

std::string CollectionText(const FileState& file, std::int32_t context, std::int32_t minor)
{
    return "collection " + std::to_string(ZylDorvCollectionID::BaseMinor(minor)) + " in " + ContextText(file, context);
}

// ---- loading an existing file ------------------------------------------------

void LoadCSet(CollectionData& collection, std::int64_t number, const std::string& detail)
{
    const std::string name = Name("cset", number);
    Hid group = OpenGroup(collection.group.Get(), name, detail);
    CSetData cset;
    cset.number = number;
    cset.baseMinor = collection.minor;
    cset.size = ReadAttrInt(group.Get(), "size", detail);
    const std::string form = ReadAttrString(group.Get(), "form", detail);
    if (form == "strided") {
        cset.strided = true;
        cset.start = ReadAttrInt(group.Get(), "start", detail);
        cset.count = ReadAttrInt(group.Get(), "count", detail);
        cset.stride = ReadAttrInt(group.Get(), "stride", detail);
        cset.block = ReadAttrInt(group.Get(), "block", detail);
    } else if (form == "labels") {
        cset.labelsLoaded = false;
    } else {
        Fail(ZylDorvError_MetadataReadFailed, detail + ": CSet " + std::to_string(number) + " has the unknown form \"" + form + "\"");
    }
    collection.csets.emplace(number, std::move(cset));
}

Hid OpenDenseDataset(hid_t parent, const std::string& name, const std::string& detail)
{
    Hid dapl = Checked(H5Pcreate(H5P_DATASET_ACCESS), ZylDorvError_MetadataReadFailed, detail);
    // Values go through whole-chunk reads and writes of our own, or through
    // HDF5 selections that touch only what they need: no chunk cache.
    Checked(H5Pset_chunk_cache(dapl.Get(), 0, 0, 1.0), ZylDorvError_MetadataReadFailed, detail);
    return Checked(H5Dopen2(parent, name.c_str(), dapl.Get()), ZylDorvError_MetadataReadFailed, detail);
}

void LoadDrawer(DistributionData& distribution, int index, const std::string& detail)
{
    const std::string name = Name("drawer", index);
    DrawerData drawer;
    drawer.index = index;
    H5O_info_t info;
    if (H5Oget_info_by_name2(distribution.group.Get(), name.c_str(), &info, H5O_INFO_BASIC, H5P_DEFAULT) < 0)
        FailHdf5(ZylDorvError_MetadataReadFailed, detail + ", drawer " + std::to_string(index));
    if (info.type == H5O_TYPE_DATASET) {
        drawer.object = OpenDenseDataset(distribution.group.Get(), name, detail);
        const hid_t ds = drawer.object.Get();
        drawer.kind = ZylDorvSerializationType::Dense;
        drawer.csets = ReadAttrInts(ds, "csets", detail);
        if (HasAttr(ds, "chunks"))
            for (std::int64_t c : ReadAttrInts(ds, "chunks", detail))
                drawer.chunks.push_back(static_cast<int>(c));
        drawer.extendableDim = static_cast<int>(ReadAttrInt(ds, "extendable_dim", detail));
        Hid space = Checked(H5Dget_space(ds), ZylDorvError_MetadataReadFailed, detail);
        const int rank = H5Sget_simple_extent_ndims(space.Get());
        std::vector<hsize_t> dims(static_cast<std::size_t>(std::max(rank, 0)));
        H5Sget_simple_extent_dims(space.Get(), dims.data(), nullptr);
        drawer.sizes.assign(dims.begin(), dims.end());
        Hid dcpl = Checked(H5Dget_create_plist(ds), ZylDorvError_MetadataReadFailed, detail);
        drawer.storageChunk.resize(dims.size());
        if (H5Pget_chunk(dcpl.Get(), rank, drawer.storageChunk.data()) != rank)
            Fail(ZylDorvError_MetadataReadFailed, detail + ", drawer " + std::to_string(index) + " is not chunked");
        if (distribution.key == ZylDorvTypeKey::Double) {
            double fill = 0.0;
            H5Pget_fill_value(dcpl.Get(), H5T_NATIVE_DOUBLE, &fill);
            drawer.init = ZylDorvRangeValue(fill);
        } else {
            std::int32_t fill = 0;
            H5Pget_fill_value(dcpl.Get(), H5T_NATIVE_INT32, &fill);
            drawer.init = ZylDorvRangeValue(fill);
        }
    } else {
        drawer.object = OpenGroup(distribution.group.Get(), name, detail);
        const hid_t g = drawer.object.Get();
        drawer.kind = static_cast<ZylDorvSerializationType::Kind>(ReadAttrInt(g, "serialization", detail));
        drawer.csets = ReadAttrInts(g, "csets", detail);
        drawer.sizes = ReadAttrInts(g, "sizes", detail);
        drawer.nonzeros = ReadAttrInt(g, "nonzeros", detail);
    }
    if (drawer.csets.size() != distribution.axes.size() || drawer.sizes.size() != distribution.axes.size())
        Fail(ZylDorvError_MetadataReadFailed, detail + ", drawer " + std::to_string(index) + " does not match the grid");
    distribution.drawers.emplace(index, std::move(drawer));
}

void LoadDistribution(ContextData& context, std::int64_t number, const std::string& detail)
{
    DistributionData distribution;
    distribution.number = number;
    distribution.group = OpenGroup(context.group.Get(), Name("distribution", number), detail);
    const hid_t g = distribution.group.Get();
    for (std::int64_t axis : ReadAttrInts(g, "axes", detail)) {
        distribution.axes.push_back(static_cast<std::int32_t>(axis));
        const CollectionData* collection = FindIn(context.collections, ZylDorvCollectionID::BaseMinor(static_cast<std::int32_t>(axis)));
        if (collection == nullptr)
            Fail(ZylDorvError_MetadataReadFailed, detail + ": distribution " + std::to_string(number) + " names a missing collection");
        distribution.axisTypes.push_back(collection->type);
    }
    distribution.key = static_cast<ZylDorvTypeKey>(ReadAttrInt(g, "range_type", detail));
    distribution.type = static_cast<std::int32_t>(ReadAttrInt(g, "type", detail));
    distribution.nextDrawer = static_cast<int>(ReadAttrInt(g, "next_drawer", detail));
    for (const std::string& name : LinkNames(g)) {
        if (name.compare(0, 6, "drawer") != 0)
            continue;
        // A name we would not have written is damage, not a drawer ("drawer0"
        // parses as 0 like any malformed name, and alone writes back as itself).
        const std::int64_t index = NumberIn(name, "drawer");
        if (index > INT32_MAX || Name("drawer", index) != name)
            Fail(ZylDorvError_MetadataReadFailed, detail + ": distribution " + std::to_string(number) +
                                                      " holds \"" + name + "\", which names no drawer");
        LoadDrawer(distribution, static_cast<int>(index), detail);
    }
    context.distributions.emplace(number, std::move(distribution));
}

void LoadContext(FileState& file, std::int32_t number)
{
    const std::string detail = "OpenFile, " + ContextText(file, number);
    ContextData context;
    context.number = number;
    context.group = OpenGroup(file.file.Get(), Name("context", number), detail);
    const hid_t g = context.group.Get();
    context.space = static_cast<std::uint64_t>(ReadAttrInt(g, "namespace", detail));
    context.nextCollection = static_cast<std::int32_t>(ReadAttrInt(g, "next_collection", detail));
    context.nextDistribution = ReadAttrInt(g, "next_distribution", detail);
    const std::int64_t types = ReadAttrInt(g, "type_count", detail);
    for (std::int64_t i = 0; i < types; ++i)
        context.typeNames.push_back(ReadAttrString(g, Name("type", i).c_str(), detail));
    if (HasLink(g, "temporary") && !file.readOnly) {
        // Left behind by a process that ended without closing the database.
        H5Ldelete(g, "temporary", H5P_DEFAULT);
    }
    const std::vector<std::string> names = LinkNames(g);
    for (const std::string& name : names) {
        if (const std::int64_t m = NumberIn(name, "collection")) {
            CollectionData collection;
            collection.minor = static_cast<std::int32_t>(m);
            collection.group = OpenGroup(g, name, detail);
            const hid_t cg = collection.group.Get();
            collection.count = ReadAttrInt(cg, "count", detail);
            collection.type = static_cast<std::int32_t>(ReadAttrInt(cg, "type", detail));
            collection.nextCSet = ReadAttrInt(cg, "next_cset", detail);
            collection.biggestCount = ReadAttrInt(cg, "biggest_count", detail);
            collection.biggestNumber = ReadAttrInt(cg, "biggest_cset", detail);
            for (const std::string& csetName : LinkNames(cg))
                if (const std::int64_t k = NumberIn(csetName, "cset"))
                    LoadCSet(collection, k, detail);
            context.collections.emplace(collection.minor, std::move(collection));
        }
    }
    for (const std::string& name : names)
        if (const std::int64_t d = NumberIn(name, "distribution"))
            LoadDistribution(context, d, detail);
    file.contexts.emplace(number, std::move(context));
}

std::shared_ptr<FileState> Register(std::shared_ptr<FileState> file)
{
    file->number = g_nextDatabaseNumber++;
    file->open = true;
    Registry()[file->number] = file;
    return file;
}

// The HDF5 file format of the 1.8 releases: its superblock carries no "file
// is open for writing" mark, so a file whose writer was killed opens again
// (the 1.10 format sets that mark at open and refuses the file until h5clear
// removes it). Single-writer ownership is our own advisory lock instead, and
// HDF5's lock on its descriptor is switched off: it would collide with ours.
// The metadata cache never evicts dirty entries on its own: records reach
// the file in Flush, Commit and Close only, so that a process killed at any
// other moment leaves the file as the last of those calls wrote it.
Hid FileAccessList(const std::string& detail, std::uint16_t number, bool creating)
{
    Hid fapl = Checked(H5Pcreate(H5P_FILE_ACCESS), number, detail);
    // Opening keeps the high bound open, so that files of the 1.10 format
    // made by earlier versions still open.
    Checked(H5Pset_libver_bounds(fapl.Get(), H5F_LIBVER_V18, creating ? H5F_LIBVER_V18 : H5F_LIBVER_LATEST), number, detail);
    Checked(H5Pset_fclose_degree(fapl.Get(), H5F_CLOSE_STRONG), number, detail);
    Checked(H5Pset_file_locking(fapl.Get(), false, true), number, detail);
    H5AC_cache_config_t cache;
    cache.version = H5AC__CURR_CACHE_CONFIG_VERSION;
    Checked(H5Pget_mdc_config(fapl.Get(), &cache), number, detail);
    cache.incr_mode = H5C_incr__off;
    cache.flash_incr_mode = H5C_flash_incr__off;
    cache.decr_mode = H5C_decr__off;
    cache.evictions_enabled = false; // the cache grows past its size instead of writing
    cache.set_initial_size = true;
    cache.initial_size = kMetadataCacheBytes;
    cache.max_size = std::max(cache.max_size, kMetadataCacheBytes);
    cache.min_size = std::min(cache.min_size, kMetadataCacheBytes);
    Checked(H5Pset_mdc_config(fapl.Get(), &cache), number, detail);
    ShareFileAccess(fapl.Get(), number, detail);
    return fapl;
}

} // namespace

std::string Name(const char* prefix, std::int64_t number) { return prefix + std::to_string(number); }

void RollBack(TransactionState& transaction) noexcept
{
    RunUndo(transaction.undo);
    transaction.active = false;
}

std::int64_t CSetData::MaxLabel() const
{
    if (size == 0)
        return -1;
    if (strided)
        return start + (count - 1) * stride + block - 1;
    return *std::max_element(labels.begin(), labels.end());
}

// ---- files -------------------------------------------------------------------

std::shared_ptr<FileState> CreateDatabaseFile(const std::string& path, int flags, int mode)
{
    SilenceHdf5();
    const std::string detail = "CreateFile \"" + path + "\"";
    if (flags != ZylDorvDatabase::CreateExclusive && flags != ZylDorvDatabase::CreateTruncate)
        Fail(ZylDorvError_InvalidArgument, detail + ": flags " + std::to_string(flags) + " (0 or 1 expected)");
    if (mode < -1 || mode > 07777)
        Fail(ZylDorvError_InvalidArgument, detail + ": mode " + std::to_string(mode));
    if (path.empty())
        Fail(ZylDorvError_InvalidArgument, detail + ": empty path");
    Hid fapl = FileAccessList(detail, ZylDorvError_FileNotCreatable, true);
    auto file = std::make_shared<FileState>();
    file->path = path;
    file->absolutePath = AbsolutePath(path);
    file->rawFd = TakeNewFile(path, flags == ZylDorvDatabase::CreateTruncate, mode, detail);
    // From here on the file is ours: a failure removes it again (by the
    // absolute path, and only while the name still leads to our file), so
    // that a failed CreateFile leaves nothing behind for the caller to clean up.
    try {
        SeamCheck(SeamKind::FileOpen, detail);
        // HDF5 opens the empty file that we made and hold, by its name: when
        // the name was replaced meanwhile, HDF5 holds another file, not ours.
        Collectively([&] {
            file->file = Checked(H5Fcreate(path.c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, fapl.Get()),
                                 ZylDorvError_FileNotCreatable, detail);
            // (In a group, the rank that made the file checks for all.)
            if (file->rawFd.Get() >= 0 && !NameLeadsTo(path, file->rawFd.Get(), false))
                Fail(ZylDorvError_FileCreateFailed, detail + ": the name is taken: the file was replaced while it was made");
        });
        OpenOwnDescriptor(*file, detail);
        // Flush below makes the new database durable.
        Collectively([&] {
            WriteAttr(file->file.Get(), "format", std::string(kFormat), detail);
            WriteAttr(file->file.Get(), "version", kVersion, detail);
            WriteAttr(file->file.Get(), "next_context", std::int64_t(1), detail);
        });
        file->open = true;
        Flush(*file, detail);
        return Register(file);
    } catch (...) {
        file->open = false;
        file->file.Reset();
        RemoveFileOfGroup(file->absolutePath, file->rawFd.Get());
        throw; // our descriptor, and with it the lock, goes with `file`
    }
}

std::shared_ptr<FileState> OpenDatabaseFile(const std::string& path, int flags)
{
    SilenceHdf5();
    const std::string detail = "OpenFile \"" + path + "\"";
    if (flags != ZylDorvDatabase::OpenReadWrite && flags != ZylDorvDatabase::OpenReadOnly)
        Fail(ZylDorvError_InvalidArgument, detail + ": flags " + std::to_string(flags) + " (0 or 1 expected)");
    Hid fapl = FileAccessList(detail, ZylDorvError_FileOpenFailed, false);
    auto file = std::make_shared<FileState>();
    file->path = path;
    file->absolutePath = AbsolutePath(path);
    file->readOnly = flags == ZylDorvDatabase::OpenReadOnly;
    // Our descriptor first: its lock says whether another database writes
    // the file (a reader shares the file with readers only).
    file->rawFd = TakeExistingFile(path, file->readOnly, detail);
    try {
        SeamCheck(SeamKind::FileOpen, detail);
        Collectively([&] {
            file->file = Checked(H5Fopen(path.c_str(), file->readOnly ? H5F_ACC_RDONLY : H5F_ACC_RDWR, fapl.Get()),
                                 ZylDorvError_FileOpenFailed, detail);
            // HDF5 opens the name again; the lock counts only when it opened
            // the file that we hold (in a group, the rank holding it checks).
            if (file->rawFd.Get() >= 0 && !NameLeadsTo(path, file->rawFd.Get(), true))
                Fail(ZylDorvError_FileOpenFailed, detail + ": the file was replaced while it was opened");
        });
        OpenOwnDescriptor(*file, detail);
        Collectively([&] {
            const hid_t root = file->file.Get();
            if (!HasAttr(root, "format") || ReadAttrString(root, "format", detail) != kFormat)
                Fail(ZylDorvError_NotADatabaseFile, detail + ": the file has no \"format\" attribute \"ZylDorv\"");
            const std::int64_t version = ReadAttrInt(root, "version", detail);
            if (version != kVersion)
                Fail(ZylDorvError_NotADatabaseFile, detail + ": format version " + std::to_string(version) + " (1 expected)");
            file->nextContext = static_cast<std::int32_t>(ReadAttrInt(root, "next_context", detail));
            for (const std::string& name : LinkNames(root))
                if (const std::int64_t c = NumberIn(name, "context"))
                    LoadContext(*file, static_cast<std::int32_t>(c));
        });
        return Register(file);
    } catch (...) {
        file->open = false;
        file->contexts.clear();
        file->file.Reset();
        throw;
    }
}

void CloseDatabaseFile(FileState& file, bool throwOnError)
{
    if (!file.open && !file.file.IsValid())
        return;
    for (auto& entry : file.contexts) {
        ContextData& context = entry.second;
        while (!context.transactions.empty()) {
            TransactionState* innermost = context.transactions.back();
            context.transactions.pop_back();
            RollBack(*innermost);
        }
        context.tempCSets.clear();
        for (auto it = context.distributions.begin(); it != context.distributions.end();)
            it = it->first < 0 ? context.distributions.erase(it) : std::next(it);
        context.tempGroup.Reset();
        if (!file.readOnly)
            DeleteLink(context.group, "temporary");
    }
    // Flush before closing. When the file cannot take its pending records (a
    // full disk, a file size limit), HDF5 1.10 can neither flush it again nor
    // close it (a later H5Fclose fails or crashes): the file is abandoned as
    // it stands on disk, its identifier left unreleased, and this database
    // object is closed all the same.
    bool abandoned = false;
    std::string cause;
    if (!file.readOnly && H5Fflush(file.file.Get(), H5F_SCOPE_LOCAL) < 0) {
        cause = TakeHdf5Cause();
        abandoned = true;
    }
    // A group abandons the file together: H5Fclose is collective.
    abandoned = FailsAnywhere(abandoned);
    file.contexts.clear();
    file.open = false;
    Registry().erase(file.number);
    const hid_t id = file.file.Release(); // H5Fclose consumes it, also when it fails
    if (!abandoned && H5Fclose(id) < 0) {
        cause = TakeHdf5Cause();
        abandoned = true;
    }
    // Our descriptor goes last: its lock keeps the file ours until HDF5 is
    // done. An abandoned file stays open in HDF5, which may still write it
    // when the process ends, so the lock stays with it until then.
    if (abandoned)
        static_cast<void>(file.rawFd.Release());
    else
        file.rawFd.Reset();
    if (abandoned && throwOnError)
        Fail(ZylDorvError_FileCloseFailed, "Close \"" + file.path + "\"", cause);
}

void Flush(FileState& file, const std::string& operation)
{
    RequireOpen(file, operation);
    if (file.readOnly)
        return;
    SeamCheck(SeamKind::Flush, operation + file.In());
    // The records first, then the disk: what came before the call survives
    // a crash of the process (and of the machine, as far as fsync reaches).
    // In a group each process puts on disk what it wrote through its own
    // descriptor; the agreement that ends the step orders every process's
    // writes before the others' next reads.
    Collectively([&] {
        Checked(H5Fflush(file.file.Get(), H5F_SCOPE_LOCAL), ZylDorvError_FileFlushFailed, operation + file.In());
        while (::fsync(file.rawFd.Get()) != 0)
            if (errno != EINTR)
                Fail(ZylDorvError_FileFlushFailed, operation + file.In(), std::strerror(errno));
    });
}

// ---- lookups -----------------------------------------------------------------

std::shared_ptr<FileState> FileOf(ZylDorvContextID context, const std::string& operation)
{
    if (context.IsNull())
        Fail(ZylDorvError_NullIdentifier, operation + ": null context ID");
    auto found = Registry().find(context.Database());
    std::shared_ptr<FileState> file = found != Registry().end() ? found->second.lock() : nullptr;
    if (!file || !file->open)
        Fail(ZylDorvError_DatabaseNotOpen, operation + ": database " + std::to_string(context.Database()) + " is not open");
    return file;
}

void RequireOpen(const FileState& file, const std::string& operation)
{
    if (!file.open)
        Fail(ZylDorvError_DatabaseNotOpen, operation + ": database \"" + file.path + "\" is closed");
}

void RequireWritable(const FileState& file, const std::string& operation)
{
    RequireOpen(file, operation);
    if (file.readOnly)
        Fail(ZylDorvError_ReadOnlyDatabase, operation + file.In() + ": opened read-only");
}

ContextData& ContextOf(FileState& file, std::int32_t context, const std::string& operation)
{
    RequireOpen(file, operation);
    ContextData* found = FindContext(file, context);
    if (found == nullptr)
        Fail(ZylDorvError_ContextNotFound, operation + ": " + ContextText(file, context));
    return *found;
}

CollectionData& CollectionOf(FileState& file, ZylDorvCollectionID id, const std::string& operation)
{
    if (id.IsNull())
        Fail(ZylDorvError_NullIdentifier, operation + ": null collection ID");
    ContextData& context = ContextOf(file, id.Context().Number(), operation);
    CollectionData* found = FindIn(context.collections, ZylDorvCollectionID::BaseMinor(id.Minor()));
    if (found == nullptr)
        Fail(ZylDorvError_CollectionNotFound, operation + ": " + CollectionText(file, context.number, id.Minor()));
    if (found->type != id.Type())
        Fail(ZylDorvError_CollectionNotFound, operation + ": " + CollectionText(file, context.number, id.Minor()) +
                                                  " has type " + std::to_string(found->type) +
                                                  ", the ID says " + std::to_string(id.Type()));
    return *found;
}

CSetData& CSetOf(FileState& file, ZylDorvCSetID id, const std::string& operation)
{
    if (id.IsNull())
        Fail(ZylDorvError_NullIdentifier, operation + ": null CSet ID");
    CollectionData& collection = CollectionOf(file, id.CollectionID(), operation);
    ContextData& context = file.contexts.at(id.CollectionID().Context().Number());
    const std::string text = "CSet " + std::to_string(id.Number()) + " of " +
                             CollectionText(file, context.number, collection.minor);
    if (id.IsTemporary()) {
        CSetData* found = FindIn(context.tempCSets, id.Number());
        if (found == nullptr || found->baseMinor != collection.minor)
            Fail(ZylDorvError_CSetNotFound, operation + ": " + text);
        return *found;
    }
    CSetData* found = FindIn(collection.csets, id.Number());
    if (found == nullptr)
        Fail(ZylDorvError_CSetNotFound, operation + ": " + text);
    CSetData& cset = *found;
    if (!cset.labelsLoaded) {
        const std::string detail = operation + ", reading the labels of " + text;
        Hid group = OpenGroup(collection.group.Get(), Name("cset", cset.number), detail);
        Hid data = Checked(H5Dopen2(group.Get(), "labels", H5P_DEFAULT), ZylDorvError_MetadataReadFailed, detail);
        std::vector<std::int32_t> labels(static_cast<std::size_t>(cset.size));
        if (!labels.empty())
            Checked(H5Dread(data.Get(), H5T_NATIVE_INT32, H5S_ALL, H5S_ALL, H5P_DEFAULT, labels.data()),
                    ZylDorvError_MetadataReadFailed, detail);
        cset.labels = std::move(labels);
        cset.labelsLoaded = true;
    }
    return cset;
}

DistributionData* FindDistribution(FileState& file, ZylDorvDistributionID id) noexcept
{
    if (!file.open || id.IsNull() || id.Context().Database() != file.number)
        return nullptr;
    return FindDistribution(file, id.Context().Number(), id.Number());
}

DistributionData& DistributionOf(FileState& file, ZylDorvDistributionID id, const std::string& operation)
{
    if (id.IsNull())
        Fail(ZylDorvError_NullIdentifier, operation + ": null distribution ID");
    RequireOpen(file, operation);
    ContextData& context = ContextOf(file, id.Context().Number(), operation);
    DistributionData* found = FindDistribution(file, id);
    if (found == nullptr)
        Fail(ZylDorvError_DistributionNotFound, operation + ": distribution " + std::to_string(id.Number()) + " in " +
                                                    ContextText(file, context.number));
    return *found;
}

void Journal(ContextData& context, std::function<void()> undo)
{
    if (!context.transactions.empty())
        context.transactions.back()->undo.push_back(std::move(undo));
}

ZylDorvCollectionID AxisCollectionID(const FileState& file, const ContextData& context,
                                     const DistributionData& distribution, int k)
{
    return ZylDorvCollectionID(ZylDorvContextID(file.number, context.number), distribution.axes[static_cast<std::size_t>(k)],
                               distribution.axisTypes[static_cast<std::size_t>(k)]);
}

ZylDorvDistributionID DistributionIDOf(const FileState& file, const ContextData& context,
                                       const DistributionData& distribution)
{
    return ZylDorvDistributionID(ZylDorvContextID(file.number, context.number), distribution.number);
}

std::string DistributionText(const FileState& file, const ContextData& context, const DistributionData& distribution)
{
    return std::string(distribution.number < 0 ? "temporary distribution " : "distribution ") +
           std::to_string(distribution.number < 0 ? -distribution.number : distribution.number) + " in " +
           ContextText(file, context.number);
}

// ---- undo ----------------------------------------------------------------------

void DeleteLink(const Hid& parent, const std::string& name) noexcept
{
    if (parent.IsValid() && H5Lexists(parent.Get(), name.c_str(), H5P_DEFAULT) > 0)
        H5Ldelete(parent.Get(), name.c_str(), H5P_DEFAULT);
    H5Eclear2(H5E_DEFAULT);
}

void RunUndo(std::vector<std::function<void()>>& steps) noexcept
{
    for (auto step = steps.rbegin(); step != steps.rend(); ++step) {
        try {
            (*step)();
        } catch (...) {
            // A step that fails (a database error, or the allocator's while
            // the step builds its message) leaves its record in place; the
            // others still run. Nothing can be thrown from here: the count
            // is the report.
            CountFailedUndoStep();
        }
    }
    steps.clear();
    H5Eclear2(H5E_DEFAULT);
}

LocalUndo::~LocalUndo()
{
    if (!m_kept)
        RunUndo(m_steps);
}

void LocalUndo::Keep()
{
    for (auto& step : m_steps)
        Journal(m_context, std::move(step));
    m_steps.clear();
    m_kept = true;
}

// ---- creation ------------------------------------------------------------------

ZylDorvContextID CreateContextRecord(FileState& file, ZylDorvNamespaceID space)
{
    const std::string detail = "CreateContext" + file.In();
    RequireWritable(file, "CreateContext");
    const std::int32_t number = file.nextContext;
    const std::string name = Name("context", number);
    ContextData context;
    context.number = number;
    context.space = space.Bits();
    try {
        Collectively([&] {
            context.group = CreateGroup(file.file.Get(), name, detail);
            const hid_t g = context.group.Get();
            WriteAttr(g, "namespace", static_cast<std::int64_t>(space.Bits()), detail);
            WriteAttr(g, "next_collection", std::int64_t(1), detail);
            WriteAttr(g, "next_distribution", std::int64_t(1), detail);
            WriteAttr(g, "type_count", std::int64_t(0), detail);
            WriteAttr(file.file.Get(), "next_context", std::int64_t(number + 1), detail);
        });
    } catch (...) {
        context.group.Reset();
        DeleteLink(file.file, name);
        throw;
    }
    file.nextContext = number + 1;
    file.contexts.emplace(number, std::move(context));
    return ZylDorvContextID(file.number, number);
}

namespace {

// Undo step: forget collection `minor` of context `c` and delete its group.
std::function<void()> ForgetCollection(FileState* f, std::int32_t c, std::int32_t minor)
{
    return [f, c, minor] {
        if (ContextData* context = FindContext(*f, c)) {
            context->collections.erase(minor);
            DeleteLink(context->group, Name("collection", minor));
        }
    };
}

} // namespace

std::function<void()> ForgetCSet(FileState& file, std::int32_t context, std::int32_t minor, std::int64_t number)
{
    FileState* f = &file;
    return [f, context, minor, number] {
        if (CollectionData* collection = FindCollection(*f, context, minor)) {
            collection->csets.erase(number);
            DeleteLink(collection->group, Name("cset", number));
        }
    };
}

ZylDorvCollectionID CreateCollectionRecord(FileState& file, ContextData& context, std::int64_t count, std::int32_t type)
{
    const std::string detail = "CreateCollection in " + ContextText(file, context.number);
    RequireWritable(file, "CreateCollection");
    if (count < 0)
        Fail(ZylDorvError_InvalidArgument, detail + ": count " + std::to_string(count));
    if (type < -1 || type >= static_cast<std::int32_t>(context.typeNames.size()))
        Fail(ZylDorvError_TypeNotFound, detail + ": type " + std::to_string(type) + ", the schema has " +
                                            std::to_string(context.typeNames.size()) + " types");
    if (type < 0)
        type = -1;
    const std::int32_t minor = context.nextCollection;
    if (minor > 0x00FFFFFF)
        Fail(ZylDorvError_SizeTooLarge, detail + ": no collection numbers left");
    LocalUndo undo(context);
    undo.Add(ForgetCollection(&file, context.number, minor));
    Collectively([&] {
        CollectionData collection;
        collection.minor = minor;
        collection.count = count;
        collection.type = type;
        collection.group = CreateGroup(context.group.Get(), Name("collection", minor), detail);
        const hid_t g = collection.group.Get();
        WriteAttr(g, "count", count, detail);
        WriteAttr(g, "type", std::int64_t(type), detail);
        WriteAttr(g, "next_cset", std::int64_t(1), detail);
        WriteAttr(g, "biggest_count", std::int64_t(-1), detail);
        WriteAttr(g, "biggest_cset", std::int64_t(0), detail);
        WriteAttr(context.group.Get(), "next_collection", std::int64_t(minor + 1), detail);
        context.nextCollection = minor + 1;
        context.collections.emplace(minor, std::move(collection));
    });
    undo.Keep();
    return ZylDorvCollectionID(ZylDorvContextID(file.number, context.number), minor, type);
}

std::int64_t CreateCSetRecord(FileState& file, ContextData& context, CollectionData& collection, CSetData proto,
                              bool temporary, const std::string& operation)
{
    const std::string detail = operation + " in " + CollectionText(file, context.number, collection.minor);
    RequireOpen(file, operation);
    proto.baseMinor = collection.minor;
    proto.labelsLoaded = true;
    if (!proto.strided) {
        // Labels must be >= 0 and distinct.
        std::vector<std::int32_t> sorted = proto.labels;
        std::sort(sorted.begin(), sorted.end());
        if (!sorted.empty() && sorted.front() < 0)
            Fail(ZylDorvError_InvalidLabel, detail + ": label " + std::to_string(sorted.front()));
        auto twice = std::adjacent_find(sorted.begin(), sorted.end());
        if (twice != sorted.end())
            Fail(ZylDorvError_DuplicateLabel, detail + ": label " + std::to_string(*twice) + " is listed twice");
        proto.size = static_cast<std::int64_t>(proto.labels.size());
        // A run of consecutive labels is kept in the compact form.
        bool run = true;
        for (std::size_t i = 1; i < proto.labels.size() && run; ++i)
            run = proto.labels[i] == proto.labels[0] + static_cast<std::int64_t>(i);
        if (run) {
            proto.strided = true;
            proto.start = proto.labels.empty() ? 0 : proto.labels[0];
            proto.count = proto.size;
            proto.stride = 1;
            proto.block = 1;
            proto.labels.clear();
        }
    } else {
        proto.size = proto.count * proto.block;
    }
    const std::int64_t maxLabel = proto.MaxLabel();
    if (maxLabel > INT32_MAX || proto.size > INT32_MAX)
        Fail(ZylDorvError_SizeTooLarge, detail + ": label " + std::to_string(maxLabel) + " or size " +
                                            std::to_string(proto.size) + " beyond the 32-bit range");

    if (temporary) {
        const std::int64_t number = -context.nextTempCSet++;
        proto.number = number;
        context.tempCSets.emplace(number, std::move(proto));
        return number;
    }

    RequireWritable(file, operation);
    const std::int64_t number = collection.nextCSet;
    LocalUndo undo(context);
    undo.Add(ForgetCSet(file, context.number, collection.minor, number));
    Collectively([&] {
        {
            Hid group = CreateGroup(collection.group.Get(), Name("cset", number), detail);
            const hid_t g = group.Get();
            WriteAttr(g, "size", proto.size, detail);
            if (proto.strided) {
                WriteAttr(g, "form", std::string("strided"), detail);
                WriteAttr(g, "start", proto.start, detail);
                WriteAttr(g, "count", proto.count, detail);
                WriteAttr(g, "stride", proto.stride, detail);
                WriteAttr(g, "block", proto.block, detail);
            } else {
                WriteAttr(g, "form", std::string("labels"), detail);
                const hsize_t n = proto.labels.size();
                Hid space = Checked(H5Screate_simple(1, &n, nullptr), ZylDorvError_MetadataWriteFailed, detail);
                Hid data = Checked(H5Dcreate2(g, "labels", H5T_STD_I32LE, space.Get(), H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT),
                                   ZylDorvError_MetadataWriteFailed, detail);
                Checked(H5Dwrite(data.Get(), H5T_NATIVE_INT32, H5S_ALL, H5S_ALL, H5P_DEFAULT, proto.labels.data()),
                        ZylDorvError_MetadataWriteFailed, detail);
            }
        }
        WriteAttr(collection.group.Get(), "next_cset", number + 1, detail);
        collection.nextCSet = number + 1;
        proto.number = number;
        collection.csets.emplace(number, std::move(proto));
        // The collection grows to hold every label of the new CSet.
        if (maxLabel + 1 > collection.count) {
            FileState* f = &file;
            const std::int32_t c = context.number;
            const std::int32_t m = collection.minor;
            const std::int64_t old = collection.count;
            undo.Add([f, c, m, old] {
                if (CollectionData* coll = FindCollection(*f, c, m)) {
                    coll->count = old;
                    WriteAttr(coll->group.Get(), "count", old, "rollback");
                }
            });
            collection.count = maxLabel + 1;
            WriteAttr(collection.group.Get(), "count", collection.count, detail);
        }
    });
    undo.Keep();
    return number;
}

std::int64_t CreateDistributionRecord(FileState& file, ContextData& context, const ZylDorvGrid& grid,
                                      ZylDorvTypeKey key, std::int32_t type, bool temporary, const std::string& operation)
{
    const std::string detail = operation + " in " + ContextText(file, context.number);
    RequireWritable(file, operation);
    const int rank = grid.NumDimensions();
    if (rank < 1)
        Fail(ZylDorvError_InvalidGrid, detail + ": the grid has no axis");
    if (key != ZylDorvTypeKey::Int32 && key != ZylDorvTypeKey::Double)
        Fail(ZylDorvError_InvalidRangeType, detail + ": type key " + std::to_string(static_cast<int>(key)) +
                                                " (1 for ints or 2 for doubles expected)");
    if (type < -1 || type >= static_cast<std::int32_t>(context.typeNames.size()))
        Fail(ZylDorvError_TypeNotFound, detail + ": type " + std::to_string(type) + ", the schema has " +
                                            std::to_string(context.typeNames.size()) + " types");
    if (type < 0)
        type = -1;
    DistributionData distribution;
    distribution.key = key;
    distribution.type = type;
    for (int k = 0; k < rank; ++k) {
        const ZylDorvCollectionID axis = grid.Axis(k);
        const std::string which = detail + ": axis " + std::to_string(k);
        if (axis.IsNull())
            Fail(ZylDorvError_InvalidGrid, which + " is the null collection");
        if (axis.Context() != ZylDorvContextID(file.number, context.number))
            Fail(ZylDorvError_InvalidGrid, which + " is a collection of another context");
        CollectionOf(file, axis, operation);
        for (int j = 0; j < k; ++j)
            if (grid.Axis(j) == axis)
                Fail(ZylDorvError_InvalidGrid, which + " repeats axis " + std::to_string(j) +
                                                   " (use a colour variant of the collection)");
        distribution.axes.push_back(axis.Minor());
        distribution.axisTypes.push_back(axis.Type());
    }
    LocalUndo undo(context);
    if (temporary && !context.tempGroup.IsValid())
        context.tempGroup = CreateGroup(context.group.Get(), "temporary", detail);
    const std::int64_t number = temporary ? -context.nextTempDistribution : context.nextDistribution;
    const std::string name = Name("distribution", temporary ? -number : number);
    FileState* f = &file;
    const std::int32_t c = context.number;
    undo.Add([f, c, number, name] {
        if (ContextData* back = FindContext(*f, c)) {
            back->distributions.erase(number);
            DeleteLink(number < 0 ? back->tempGroup : back->group, name);
        }
    });
    Collectively([&] {
        distribution.number = number;
        distribution.group = CreateGroup(temporary ? context.tempGroup.Get() : context.group.Get(), name, detail);
        const hid_t g = distribution.group.Get();
        WriteAttr(g, "axes", std::vector<std::int64_t>(distribution.axes.begin(), distribution.axes.end()), detail);
        WriteAttr(g, "range_type", std::int64_t(static_cast<int>(key)), detail);
        WriteAttr(g, "type", std::int64_t(type), detail);
        WriteAttr(g, "next_drawer", std::int64_t(0), detail);
        if (temporary) {
            ++context.nextTempDistribution;
        } else {
            WriteAttr(context.group.Get(), "next_distribution", number + 1, detail);
            context.nextDistribution = number + 1;
        }
        context.distributions.emplace(number, std::move(distribution));
    });
    undo.Keep();
    return number;
}

} // namespace zyl_dorv
