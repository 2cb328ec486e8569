// HDF5 helpers of the embedded database (see internal/ZylDorvHdf5.h).
#include <platform/dorv/ZylDorvException.h>
#include <platform/dorv/internal/ZylDorvHdf5.h>
#include <platform/dorv/internal/ZylDorvSeam.h>

#include <cstring>

namespace zyl_dorv {

void SilenceHdf5()
{
    static const bool silenced = [] {
        // The database closes its files itself; HDF5's own shut-down at
        // process exit would run before the destructors of static database
        // objects and fails on abandoned files.
        H5dont_atexit();
        H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
        return true;
    }();
    (void)silenced;
}

namespace {

struct CauseWalk {
    std::string innermost;
    std::string system;
};

herr_t CollectCause(unsigned n, const H5E_error2_t* entry, void* data)
{
    auto* walk = static_cast<CauseWalk*>(data);
    const char* desc = entry->desc != nullptr ? entry->desc : "";
    if (n == 0)
        walk->innermost = desc;
    // The file drivers record the operating system's text as
    // "... errno = 28, error message = 'No space left on device' ...".
    if (walk->system.empty()) {
        const char* key = std::strstr(desc, "error message = '");
        if (key != nullptr) {
            key += std::strlen("error message = '");
            const char* end = std::strchr(key, '\'');
            walk->system.assign(key, end != nullptr ? end : key + std::strlen(key));
        }
    }
    return 0;
}

} // namespace

std::string TakeHdf5Cause()
{
    CauseWalk walk;
    H5Ewalk2(H5E_DEFAULT, H5E_WALK_UPWARD, CollectCause, &walk);
    H5Eclear2(H5E_DEFAULT);
    if (!walk.system.empty())
        return walk.system;
    return walk.innermost;
}

const char* NumberText(std::uint16_t number)
{
    switch (number) {
    case ZylDorvError_InvalidArgument: return "invalid argument";
    case ZylDorvError_NullIdentifier: return "null identifier";
    case ZylDorvError_DatabaseNotOpen: return "database not open";
    case ZylDorvError_DatabaseAlreadyOpen: return "database already open";
    case ZylDorvError_FileCreateFailed: return "creating the database file failed";
    case ZylDorvError_FileNotCreatable: return "the database file cannot be made";
    case ZylDorvError_FileOpenFailed: return "opening the database file failed";
    case ZylDorvError_FileCloseFailed: return "closing the database file failed";
    case ZylDorvError_FileFlushFailed: return "flushing the database file failed";
    case ZylDorvError_NotADatabaseFile: return "not a database file";
    case ZylDorvError_ContextNotFound: return "context not found";
    case ZylDorvError_CollectionNotFound: return "collection not found";
    case ZylDorvError_CSetNotFound: return "CSet not found";
    case ZylDorvError_DistributionNotFound: return "distribution not found";
    case ZylDorvError_DrawerNotFound: return "drawer not found";
    case ZylDorvError_TypeNotFound: return "type not found";
    case ZylDorvError_DuplicateLabel: return "duplicate label";
    case ZylDorvError_InvalidLabel: return "invalid label";
    case ZylDorvError_CollectionMismatch: return "collection mismatch";
    case ZylDorvError_OrdinalRangeInvalid: return "ordinal range invalid";
    case ZylDorvError_SelectionNotContiguous: return "selection not contiguous";
    case ZylDorvError_InvalidStride: return "invalid stride";
    case ZylDorvError_TemporaryInPermanent: return "temporary CSet in a permanent drawer";
    case ZylDorvError_InvalidGrid: return "invalid grid";
    case ZylDorvError_InvalidRangeType: return "invalid range type";
    case ZylDorvError_InvalidChunking: return "invalid chunking";
    case ZylDorvError_SizeTooLarge: return "size too large";
    case ZylDorvError_ViewIncomplete: return "transfer view incomplete";
    case ZylDorvError_TransferModeMissing: return "transfer mode missing";
    case ZylDorvError_BufferMissing: return "buffer missing";
    case ZylDorvError_BufferTooSmall: return "buffer too small";
    case ZylDorvError_BufferReadOnly: return "buffer read-only";
    case ZylDorvError_PaddingUnsupported: return "buffer padding unsupported";
    case ZylDorvError_ExtensionInvalid: return "extension invalid";
    case ZylDorvError_SerializationMismatch: return "serialization mismatch";
    case ZylDorvError_InitValueMismatch: return "initialization value mismatch";
    case ZylDorvError_SparseStructureInvalid: return "sparse structure invalid";
    case ZylDorvError_MetadataWriteFailed: return "writing database records failed";
    case ZylDorvError_MetadataReadFailed: return "reading database records failed";
    case ZylDorvError_TransactionNotActive: return "transaction not active";
    case ZylDorvError_ReadOnlyDatabase: return "database is read-only";
    case ZylDorvError_ValueWriteFailed: return "writing values failed";
    case ZylDorvError_ValueReadFailed: return "reading values failed";
    case ZylDorvError_ExtensionFailed: return "extending a drawer failed";
    case ZylDorvError_DrawerCreateFailed: return "creating a drawer failed";
    default: return "database error";
    }
}

void Fail(std::uint16_t number, const std::string& detail, const std::string& cause)
{
    std::string text = "ZylDorv error " + std::to_string(number) + ": " + NumberText(number) + ": " + detail;
    if (!cause.empty())
        text += ": " + cause;
    throw ZylDorvException(number, text.c_str());
}

void FailHdf5(std::uint16_t number, const std::string& detail) { Fail(number, detail, TakeHdf5Cause()); }

Hid Checked(hid_t id, std::uint16_t number, const std::string& detail)
{
    if (id < 0)
        FailHdf5(number, detail);
    return Hid(id);
}

void Checked(herr_t status, std::uint16_t number, const std::string& detail)
{
    if (status < 0)
        FailHdf5(number, detail);
}

namespace {

// Writes attribute `name` afresh (another shape or type than before): the
// new one is made and written under a side name first, and only then takes
// the name over, so that a failure on the way leaves the old attribute (or
// none, when there was none) and never a record without it.
void ReplaceAttr(hid_t object, const char* name, hid_t type, hid_t space, hid_t memType, const void* data,
                 const std::string& detail)
{
    const std::string side = std::string(name) + "~new", old = std::string(name) + "~old";
    for (const std::string& leftover : {side, old})
        if (H5Aexists(object, leftover.c_str()) > 0)
            H5Adelete(object, leftover.c_str());
    {
        Hid attr = Checked(H5Acreate2(object, side.c_str(), type, space, H5P_DEFAULT, H5P_DEFAULT),
                           ZylDorvError_MetadataWriteFailed, detail);
        if (data != nullptr && H5Awrite(attr.Get(), memType, data) < 0) {
            const std::string cause = TakeHdf5Cause();
            attr.Reset();
            H5Adelete(object, side.c_str());
            H5Eclear2(H5E_DEFAULT);
            Fail(ZylDorvError_MetadataWriteFailed, detail, cause);
        }
    }
    const bool had = H5Aexists(object, name) > 0;
    if (had && H5Arename(object, name, old.c_str()) < 0) {
        const std::string cause = TakeHdf5Cause();
        H5Adelete(object, side.c_str());
        H5Eclear2(H5E_DEFAULT);
        Fail(ZylDorvError_MetadataWriteFailed, detail, cause);
    }
    if (H5Arename(object, side.c_str(), name) < 0) {
        const std::string cause = TakeHdf5Cause();
        if (had)
            H5Arename(object, old.c_str(), name);
        H5Adelete(object, side.c_str());
        H5Eclear2(H5E_DEFAULT);
        Fail(ZylDorvError_MetadataWriteFailed, detail, cause);
    }
    if (had)
        H5Adelete(object, old.c_str());
    H5Eclear2(H5E_DEFAULT);
}

} // namespace

void WriteAttr(hid_t object, const char* name, std::int64_t value, const std::string& detail)
{
    SeamCheck(SeamKind::RecordWrite, detail);
    // Overwrite in place when the attribute exists already (the common case
    // for counters), create it otherwise.
    if (H5Aexists(object, name) > 0) {
        Hid attr = Checked(H5Aopen(object, name, H5P_DEFAULT), ZylDorvError_MetadataWriteFailed, detail);
        Hid space = Checked(H5Aget_space(attr.Get()), ZylDorvError_MetadataWriteFailed, detail);
        if (H5Sget_simple_extent_type(space.Get()) == H5S_SCALAR) {
            Checked(H5Awrite(attr.Get(), H5T_NATIVE_INT64, &value), ZylDorvError_MetadataWriteFailed, detail);
            return;
        }
    }
    Hid space = Checked(H5Screate(H5S_SCALAR), ZylDorvError_MetadataWriteFailed, detail);
    ReplaceAttr(object, name, H5T_STD_I64LE, space.Get(), H5T_NATIVE_INT64, &value, detail);
}

void WriteAttr(hid_t object, const char* name, const std::vector<std::int64_t>& values, const std::string& detail)
{
    SeamCheck(SeamKind::RecordWrite, detail);
    const hsize_t n = values.size();
    Hid space = Checked(n == 0 ? H5Screate(H5S_NULL) : H5Screate_simple(1, &n, nullptr), ZylDorvError_MetadataWriteFailed,
                        detail);
    ReplaceAttr(object, name, H5T_STD_I64LE, space.Get(), H5T_NATIVE_INT64, n != 0 ? values.data() : nullptr, detail);
}

void WriteAttr(hid_t object, const char* name, const std::string& value, const std::string& detail)
{
    SeamCheck(SeamKind::RecordWrite, detail);
    Hid type = Checked(H5Tcopy(H5T_C_S1), ZylDorvError_MetadataWriteFailed, detail);
    Checked(H5Tset_size(type.Get(), value.empty() ? 1 : value.size()), ZylDorvError_MetadataWriteFailed, detail);
    Checked(H5Tset_strpad(type.Get(), H5T_STR_NULLPAD), ZylDorvError_MetadataWriteFailed, detail);
    Hid space = Checked(H5Screate(H5S_SCALAR), ZylDorvError_MetadataWriteFailed, detail);
    std::string padded = value.empty() ? std::string(1, '\0') : value;
    ReplaceAttr(object, name, type.Get(), space.Get(), type.Get(), padded.data(), detail);
}

std::vector<std::int64_t> ReadAttrInts(hid_t object, const char* name, const std::string& detail)
{
    const std::string what = detail + ", attribute \"" + name + "\"";
    Hid attr = Checked(H5Aopen(object, name, H5P_DEFAULT), ZylDorvError_MetadataReadFailed, what);
    Hid space = Checked(H5Aget_space(attr.Get()), ZylDorvError_MetadataReadFailed, what);
    const hssize_t n = H5Sget_simple_extent_npoints(space.Get());
    if (n < 0)
        FailHdf5(ZylDorvError_MetadataReadFailed, what);
    std::vector<std::int64_t> values(static_cast<std::size_t>(n));
    if (n > 0)
        Checked(H5Aread(attr.Get(), H5T_NATIVE_INT64, values.data()), ZylDorvError_MetadataReadFailed, what);
    return values;
}

std::int64_t ReadAttrInt(hid_t object, const char* name, const std::string& detail)
{
    std::vector<std::int64_t> values = ReadAttrInts(object, name, detail);
    if (values.size() != 1)
        Fail(ZylDorvError_MetadataReadFailed, detail + ", attribute \"" + name + "\" is not one integer");
    return values[0];
}

std::string ReadAttrString(hid_t object, const char* name, const std::string& detail)
{
    const std::string what = detail + ", attribute \"" + name + "\"";
    Hid attr = Checked(H5Aopen(object, name, H5P_DEFAULT), ZylDorvError_MetadataReadFailed, what);
    Hid type = Checked(H5Aget_type(attr.Get()), ZylDorvError_MetadataReadFailed, what);
    if (H5Tget_class(type.Get()) != H5T_STRING || H5Tis_variable_str(type.Get()) > 0)
        Fail(ZylDorvError_MetadataReadFailed, what + " is not a fixed-length string");
    const std::size_t size = H5Tget_size(type.Get());
    std::string value(size, '\0');
    Checked(H5Aread(attr.Get(), type.Get(), &value[0]), ZylDorvError_MetadataReadFailed, what);
    value.resize(std::strlen(value.c_str()));
    return value;
}

bool HasAttr(hid_t object, const char* name) { return H5Aexists(object, name) > 0; }

bool HasLink(hid_t group, const char* name) { return H5Lexists(group, name, H5P_DEFAULT) > 0; }

namespace {

herr_t CollectName(hid_t, const char* name, const H5L_info_t*, void* data)
{
    static_cast<std::vector<std::string>*>(data)->push_back(name);
    return 0;
}

} // namespace

std::vector<std::string> LinkNames(hid_t group)
{
    std::vector<std::string> names;
    hsize_t index = 0;
    if (H5Literate(group, H5_INDEX_NAME, H5_ITER_INC, &index, CollectName, &names) < 0)
        FailHdf5(ZylDorvError_MetadataReadFailed, "listing a group");
    return names;
}

} // namespace zyl_dorv
