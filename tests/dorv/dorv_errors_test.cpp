// Every error number of the database, provoked for real where the
// environment allows it (a name taken, file size limit, damaged file) and
// through the test seam otherwise. The number is the contract; the text is
// checked by a fragment that names the cause. Also who may replace a file,
// the database's paths and exception type (its assertion reports are
// checked through ZylSrvDorvFileHandle in tests/utilities).
#include "support/AllocationSweep.h"
#include "support/DatabaseTest.h"
#include "support/FamilyError.h"

#include <platform/ZylDroviUnicodeString.h>
#include <platform/utl_FilePath.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>
#include <tuple>

// HDF5 1.10.8 loses its metadata accumulator (264 bytes, allocated in
// H5F__accum_write) when creating a file fails on a full device. The leak
// checker of sanitized builds sees only HDF5's module in that short stack,
// so leaks of memory that HDF5 itself allocated are not reported here.
extern "C" const char* __lsan_default_suppressions() { return "leak:libhdf5_serial.so\n"; }

namespace {

using zyltest::MatrixSetup;
using U = ZylDroviUnicodeString;

// Writes past `bytes` fail with EFBIG ("File too large") instead of raising SIGXFSZ, until destroyed.
struct FileSizeLimit {
    rlimit old{};
    void (*handler)(int) = signal(SIGXFSZ, SIG_IGN);
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &old);
        const rlimit limit{bytes, old.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &old);
        signal(SIGXFSZ, handler);
    }
};

rlim_t FileSize(const char* path)
{
    struct stat info;
    return ::stat(path, &info) == 0 ? static_cast<rlim_t>(info.st_size) : 0;
}

// The size along axis 1 of each drawer of m.
std::vector<int> DrawerSizes(const MatrixSetup& m)
{
    const ZylDorvArray<ZylDorvPersistentDrawerDesc> drawers = zyltest::DrawersOf(m.id);
    std::vector<int> sizes;
    for (int i = 0; i < drawers.Size(); ++i)
        sizes.push_back(drawers[i].DimSize(1));
    return sizes;
}

struct Case { int number; const char* fragment; std::function<void()> run; };

// Each case raises its number with its fragment; with `forced`, the test
// seam fails the next record write of each.
void ExpectRefusals(const std::vector<Case>& cases, bool forced = false)
{
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fragment);
        if (forced)
            ZylDorvTestSeam::FailRecordWrites(1, static_cast<std::uint16_t>(c.number));
        EXPECT_DORV_ERROR(c.run(), c.number, c.fragment);
    }
}

} // namespace

using ErrorTest = zyltest::DatabaseTest;

TEST_F(ErrorTest, FilesThatCannotBeCreatedOrOpened)
{
    ZylDorvDatabase other;
    std::FILE* text = std::fopen("plain.txt", "w");
    std::fputs("not a database", text), std::fclose(text);
    ASSERT_EQ(symlink("plain.txt", "link.dorv"), 0);
    auto gone = [&](int failOpens, int failFlushes) { ZylDorvTestSeam::FailFileOpens(failOpens, 15), ZylDorvTestSeam::FailFlushes(failFlushes, 13); other.CreateFile(U("gone.dorv"), 0, -1); };
    ExpectRefusals({
        {ZylDorvError_FileCreateFailed, "creating the database file failed: CreateFile \"test.dorv\": the name is taken: an open database holds it", [&] { other.CreateFile(U(kPath), ZylDorvDatabase::CreateTruncate, -1); }},
        {ZylDorvError_FileCreateFailed, "CreateFile \"link.dorv\": the name is taken: a symbolic link has that name", [&] { other.CreateFile(U("link.dorv"), ZylDorvDatabase::CreateTruncate, -1); }},
        {ZylDorvError_FileCreateFailed, "CreateFile \"plain.txt\": the name is taken: a file that is not a database", [&] { other.CreateFile(U("plain.txt"), 0, -1); }},
        {ZylDorvError_FileNotCreatable, "the database file cannot be made: CreateFile \"no/x.dorv\": No such file or directory", [&] { other.CreateFile(U("no/x.dorv"), 0, -1); }},
        {ZylDorvError_FileNotCreatable, "CreateFile \"gone.dorv\": failure forced", [&] { gone(1, 0); }},
        {ZylDorvError_FileFlushFailed, "CreateFile \"gone.dorv\"", [&] { gone(0, 1); }},
        {ZylDorvError_InvalidArgument, "invalid argument: CreateFile \"x.dorv\": flags 5 (0 or 1 expected)", [&] { other.CreateFile(U("x.dorv"), 5, -1); }},
        {ZylDorvError_InvalidArgument, "OpenFile \"test.dorv\": flags 2", [&] { other.OpenFile(U(kPath), 2); }},
        {ZylDorvError_FileOpenFailed, "opening the database file failed: OpenFile \"test.dorv\": an open database holds it", [&] { other.OpenFile(U(kPath), ZylDorvDatabase::OpenReadOnly); }},
        {ZylDorvError_FileOpenFailed, "OpenFile \"missing.dorv\": No such file", [&] { other.OpenFile(U("missing.dorv"), 0); }},
        {ZylDorvError_FileOpenFailed, "OpenFile \"plain.txt\"", [&] { other.OpenFile(U("plain.txt"), 0); }},
        {ZylDorvError_DatabaseAlreadyOpen, "database already open: CreateFile \"y.dorv\": this database object holds \"test.dorv\"", [&] { db.CreateFile(U("y.dorv"), 0, -1); }},
        {ZylDorvError_DatabaseAlreadyOpen, "OpenFile", [&] { db.OpenFile(U(kPath), 0); }},
    });
    char kept[32] = {};
    std::FILE* target = std::fopen("link.dorv", "r");
    EXPECT_EQ(std::fread(kept, 1, sizeof kept, target), 14u) << "nobody wrote through the link";
    std::fclose(target);
    EXPECT_FALSE(utl_FilePath("gone.dorv", "").Exists()) << "a failed CreateFile removes the file it made";
    std::remove("link.dorv");
    EXPECT_FALSE(other.IsOpen());
    // A database that no open database holds is stale, and replaced: so is
    // any file with CreateTruncate. A mode is applied; closing twice does nothing.
    other.CreateFile(U("t2.dorv"), ZylDorvDatabase::CreateExclusive, 0600);
    other.CreateContext(ZylDorvNamespaceID());
    other.Close();
    struct stat info;
    ASSERT_EQ(::stat("t2.dorv", &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    other.CreateFile(U("t2.dorv"), ZylDorvDatabase::CreateExclusive, -1);
    EXPECT_EQ(other.ContextIDs().Size(), 0);
    other.Close();
    other.Close();
    other.CreateFile(U("plain.txt"), ZylDorvDatabase::CreateTruncate, -1);
    char dir[4096];
    ASSERT_TRUE(getcwd(dir, sizeof dir));
    other.Close();
    EXPECT_EQ(std::make_pair(chdir("/"), other.AbsolutePath()), std::make_pair(0, std::string(dir) + "/plain.txt")) << "kept after Close, whatever the working directory";
    ASSERT_EQ(chdir(dir), 0);
    std::remove("t2.dorv"), std::remove("plain.txt");
    MakeMatrix(1, 1, -1, -1);
    db.Close();
    ASSERT_TRUE(ZylDorvTestSeam::AddStrayGroup(kPath, "/context1/distribution1/drawerX"));
    EXPECT_DORV_ERROR(other.OpenFile(U(kPath), 0), ZylDorvError_MetadataReadFailed, "distribution 1 holds \"drawerX\", which names no drawer");
    ASSERT_TRUE(ZylDorvTestSeam::DamageFile(kPath, "/context1", "next_collection"));
    EXPECT_DORV_ERROR(other.OpenFile(U(kPath), 0), ZylDorvError_MetadataReadFailed,
                      "reading database records failed: OpenFile, context 1 of \"test.dorv\", attribute \"next_collection\": can't locate attribute: 'next_collection'");
    ASSERT_TRUE(ZylDorvTestSeam::DamageFile(kPath, "/", "format"));
    EXPECT_DORV_ERROR(other.OpenFile(U(kPath), 0), ZylDorvError_NotADatabaseFile, "not a database file: OpenFile \"test.dorv\": the file has no \"format\" attribute \"ZylDorv\"");
    EXPECT_FALSE(other.IsOpen());
}

TEST_F(ErrorTest, IdentifiersThatNameNothingAndHandlesOfAClosedDatabase)
{
    ZylDorvContext context = Context();
    const ZylDorvCollectionID real = NewCollection(3);
    const ZylDorvDistribution none;
    ExpectRefusals({
        {ZylDorvError_NullIdentifier, "null identifier: ZylDorvContext: null context ID", [] { ZylDorvContext{ZylDorvContextID()}; }},
        {ZylDorvError_NullIdentifier, "ZylDorvCollection: null collection ID", [] { ZylDorvCollection{ZylDorvCollectionID()}; }},
        {ZylDorvError_NullIdentifier, "ZylDorvCSet: null CSet ID", [] { ZylDorvCSet{ZylDorvCSetID()}; }},
        {ZylDorvError_NullIdentifier, "ZylDorvDistribution: null distribution ID", [] { ZylDorvDistribution{ZylDorvDistributionID()}; }},
        {ZylDorvError_NullIdentifier, "ZylDorvTransfer: null distribution handle", [&] { ZylDorvTransfer{none}; }},
        {ZylDorvError_NullIdentifier, "NumDimensions: null distribution handle", [&] { none.NumDimensions(); }},
        {ZylDorvError_ContextNotFound, "context not found: ZylDorvContext: context 9 of", [&] { ZylDorvContext(ZylDorvContextID(ctx.Database(), 9)); }},
        {ZylDorvError_CollectionNotFound, "has type -1, the ID says 4", [&] { ZylDorvCollection(ZylDorvCollectionID(ctx, real.Minor(), 4)); }},
        {ZylDorvError_CSetNotFound, "CSet not found: ZylDorvCSet: CSet 5 of collection 1", [&] { ZylDorvCSet(ZylDorvCSetID(real, 5)); }},
        {ZylDorvError_DistributionNotFound, "distribution not found: ZylDorvDistribution: distribution 3 in context 1", [&] { ZylDorvDistribution(ZylDorvDistributionID(ctx, 3)); }},
        {ZylDorvError_TypeNotFound, "type not found: TypeID 0 of the schema of context 1: it defines 0 types", [&] { context.Schema().TypeID(0); }},
        {ZylDorvError_TypeNotFound, "type 2, the schema has 0 types", [&] { context.CreateCollection(1, 2); }},
        {ZylDorvError_TypeNotFound, "type 0, the schema has 0 types", [&] { context.CreateDistribution(ZylDorvGrid{real}, ZylDorvRangeType(), 0); }},
        {ZylDorvError_OrdinalRangeInvalid, "ordinal range invalid: Member(3) of a CSet of 3 members", [&] { ZylDorvCSet(AllOf(real)).Member(3); }},
    });
    EXPECT_THAT(zyltest::CatchDorv([&] { ZylDorvCollection(ZylDorvCollectionID(ctx, 8, -1)); }).Description(), testing::StrEq("ZylDorv error 21: collection not found: ZylDorvCollection: collection 8 in context 1 of \"test.dorv\""));
    // Everything ends with the database.
    const ZylDorvCSetID cset = AllOf(real);
    const ZylDorvDistribution handle = MakeMatrix(2, 2, -1, -1).Distribution();
    db.Close();
    EXPECT_FALSE(handle.IsValid());
    ExpectRefusals({
        {ZylDorvError_DatabaseNotOpen, "database not open: ZylDorvContext: database", [&] { ZylDorvContext{ctx}; }},
        {ZylDorvError_DatabaseNotOpen, "is not open", [&] { ZylDorvCSet{cset}; }},
        {ZylDorvError_DatabaseNotOpen, "NumDimensions: database \"test.dorv\" is closed", [&] { handle.NumDimensions(); }},
        {ZylDorvError_DatabaseNotOpen, "is closed", [&] { ZylDorvTransfer(handle).CheckView(); }},
        {ZylDorvError_DatabaseNotOpen, "CreateContext: no database file is open", [&] { db.CreateContext(ZylDorvNamespaceID()); }},
    });
}

TEST_F(ErrorTest, RefusedArgumentsGridsAndTransfers)
{
    ZylDorvContext context = Context();
    const MatrixSetup m = MakeMatrix(4, 3, 2, 2); // collections 1 (rows) and 2, distribution 1
    const ZylDorvCollectionID other = NewCollection(3);
    ZylDorvCollection labelled(NewCollection(4));
    const ZylDorvCollectionID foreign = ZylDorvContext(db.CreateContext(ZylDorvNamespaceID(7))).CreateCollection(1, -1);
    const ZylDorvDistribution line(context.CreateDistribution(ZylDorvGrid{other}, ZylDorvRangeType(), -1));
    std::vector<double> buf(12);
    const int dup[] = {3, 1, 3}, twice[] = {1, 1}, negative[] = {0, -2}, labels[] = {0, 1, 2};
    auto grid = [&](ZylDorvGrid g, int key = 2) { context.CreateDistribution(g, ZylDorvRangeType(ZylDorvTypeKey(key)), -1); };
    auto maker = [&](ZylDorvCSetID dim0) { // a new drawer for m, dimension 0 bound to dim0 unless null
        ZylDorvTransfer t(m.Distribution());
        t.SetMakeNewDrawer();
        t.SetWrite();
        t.SetDim(1, m.rowCSet);
        if (!dim0.IsNull())
            t.SetDim(0, dim0);
        return t;
    };
    auto rows = [&](int r0, int r1) { // rows r0..r1 of m, all columns
        ZylDorvTransfer t(m.Distribution());
        t.SetRead();
        t.SetWrite();
        t.SetDimOrdinalRange(1, m.rows, r0, r1);
        return t;
    };
    auto strided = [&](int start, int count) { return ZylDorvCollection(m.rows).CreateCSetStrided(start, count, 1, 1); };
    ExpectRefusals({
        {ZylDorvError_DuplicateLabel, "duplicate label: CreateOrderedCSet in collection 4 in context 1 of \"test.dorv\": label 3 is listed twice", [&] { labelled.CreateOrderedCSet(dup, 3); }},
        {ZylDorvError_DuplicateLabel, "label 1 is listed twice", [&] { labelled.CreateTempOrderedCSet(twice, 2); }},
        {ZylDorvError_InvalidLabel, "invalid label: CreateOrderedCSet in collection 4 in context 1 of \"test.dorv\": label -2", [&] { labelled.CreateOrderedCSet(negative, 2); }},
        {ZylDorvError_InvalidArgument, "CreateOrderedCSet: no labels given for count 2", [&] { labelled.CreateOrderedCSet(nullptr, 2); }},
        {ZylDorvError_InvalidArgument, "CreateOrderedCSet: count -1", [&] { labelled.CreateOrderedCSet(dup, -1); }},
        {ZylDorvError_InvalidArgument, "CreateCollection in context 1 of \"test.dorv\": count -3", [&] { NewCollection(-3); }},
        {ZylDorvError_InvalidArgument, "colour 0 to 127 expected", [&] { labelled.CreateColorVariant(128); }},
        {ZylDorvError_InvalidStride, "invalid stride: CreateCSetStrided(0, 2, 1, 2): start >= 0, count >= 0 and stride >= block >= 1", [&] { labelled.CreateCSetStrided(0, 2, 1, 2); }},
        {ZylDorvError_InvalidStride, "CreateCSetStrided(-1, 2, 1, 1)", [&] { labelled.CreateCSetStrided(-1, 2, 1, 1); }},
        {ZylDorvError_InvalidStride, "CreateCSetStrided(0, -2, 1, 1)", [&] { labelled.CreateCSetStrided(0, -2, 1, 1); }},
        {ZylDorvError_InvalidStride, "CreateCSetStrided(0, 2, 0, 0)", [&] { labelled.CreateCSetStrided(0, 2, 0, 0); }},
        {ZylDorvError_SizeTooLarge, "size too large: CreateCSetStrided in collection 4 in context 1 of \"test.dorv\": label 4294967295 or size 4294967296 beyond the 32-bit range", [&] { labelled.CreateCSetStrided(0, 1 << 30, 4, 4); }},
        {ZylDorvError_SizeTooLarge, "label 2147483649 or size 4 beyond", [&] { labelled.CreateCSetStrided(2147483646, 4, 1, 1); }},
        {ZylDorvError_InvalidGrid, "invalid grid: CreateDistribution in context 1 of \"test.dorv\": the grid has no axis", [&] { grid({}); }},
        {ZylDorvError_InvalidGrid, "axis 1 is the null collection", [&] { grid({other, ZylDorvCollectionID()}); }},
        {ZylDorvError_InvalidGrid, "axis 1 is a collection of another context", [&] { grid({other, foreign}); }},
        {ZylDorvError_InvalidGrid, "axis 1 repeats axis 0 (use a colour variant", [&] { grid({other, other}); }},
        {ZylDorvError_InvalidRangeType, "invalid range type: CreateDistribution in context 1 of \"test.dorv\": type key 3 (1 for ints or 2 for doubles expected)", [&] { grid({other}, 3); }},
        {ZylDorvError_InvalidChunking, "invalid chunking: SetMakeNewDrawerChunked: 2 chunk sizes for 1 dimensions", [&] { ZylDorvTransfer(line).SetMakeNewDrawerChunked(ZylDorvArray<int>{2, 2}); }},
        {ZylDorvError_InvalidChunking, "chunk size 0 of dimension 0 (1 or more expected)", [&] { ZylDorvTransfer(line).SetMakeNewDrawerChunked(ZylDorvArray<int>{0}); }},
        {ZylDorvError_InvalidArgument, "SetDim: dimension 1 of a distribution of 1 dimensions", [&] { ZylDorvTransfer(line).SetDim(1, AllOf(other)); }},
        {ZylDorvError_InvalidArgument, "SetBuffer(4, ..., 8): buffer 0 to 3", [&] { rows(0, 3).SetBuffer(4, buf.data(), 8); }},
        {ZylDorvError_InvalidArgument, "SetSparseNNonzero(-1)", [&] { rows(0, 3).SetSparseNNonzero(-1); }},
        {ZylDorvError_InvalidArgument, "SetDrawer(-1)", [&] { rows(0, 3).SetDrawer(-1); }},
        {ZylDorvError_InvalidArgument, "SetExtendableDim: dimension 2", [&] { rows(0, 3).SetExtendableDim(2); }},
        {ZylDorvError_NullIdentifier, "SetDim(0): null CSet ID", [&] { rows(0, 3).SetDim(0, ZylDorvCSetID()); }},
        {ZylDorvError_NullIdentifier, "SetDimExtension: null CSet ID", [&] { rows(0, 3).SetDimExtension(ZylDorvCSetID()); }},
        {ZylDorvError_ViewIncomplete, "transfer view incomplete: CheckView of distribution 1 in context 1 of \"test.dorv\", new drawer: dimension 0 has no CSet", [&] { maker(ZylDorvCSetID()).CheckView(); }},
        {ZylDorvError_CollectionMismatch, "collection mismatch: CheckView of distribution 1 in context 1 of \"test.dorv\", new drawer: the CSet of dimension 0 is of collection 3, the axis is collection 2", [&] { maker(AllOf(other)).CheckView(); }},
        {ZylDorvError_TemporaryInPermanent, "temporary CSet in a permanent drawer: CheckView of distribution 1 in context 1 of \"test.dorv\", new drawer: dimension 0 has a temporary CSet", [&] { maker(ZylDorvCollection(m.columns).CreateTempOrderedCSet(labels, 3)).CheckView(); }},
        {ZylDorvError_InitValueMismatch, "initialization value mismatch: CheckView of distribution 1 in context 1 of \"test.dorv\", new drawer: initialization value of type key 1, values of type key 2", [&] { ZylDorvTransfer t = maker(m.columnCSet); t.SetInitializationValue(ZylDorvRangeValue(std::int32_t(1))); t.CheckView(); }},
        {ZylDorvError_TransferModeMissing, "transfer mode missing: InitializePersistentDrawer: the transfer is not set for writing (SetWrite)", [&] { ZylDorvTransfer t(m.Distribution()); t.SetMakeNewDrawer(); t.InitializePersistentDrawer(); }},
        {ZylDorvError_TransferModeMissing, "not set to make a drawer", [&] { rows(0, 3).InitializePersistentDrawer(); }},
        {ZylDorvError_TransferModeMissing, "ExecRead: the transfer is not set for reading (SetRead)", [&] { ZylDorvTransfer(m.Distribution()).ExecRead(); }},
        {ZylDorvError_TransferModeMissing, "ExecWrite: the transfer is not set for writing (SetWrite)", [&] { ZylDorvTransfer(m.Distribution()).ExecWrite(); }},
        {ZylDorvError_CollectionMismatch, "drawer 0: dimension 1 is collection 1, the transfer names collection 3", [&] { ZylDorvTransfer t = rows(0, 3); t.SetDimOrdinalRange(1, other, 0, 1); t.CheckView(); }},
        {ZylDorvError_OrdinalRangeInvalid, "drawer 0: dimension 1: ordinals 2 to 1 of 4 members", [&] { rows(2, 1).CheckView(); }},
        {ZylDorvError_OrdinalRangeInvalid, "ordinals -1 to 0 of 4 members", [&] { rows(-1, 0).CheckView(); }},
        {ZylDorvError_OrdinalRangeInvalid, "ordinals 0 to 4 of 4 members", [&] { rows(0, 4).CheckView(); }},
        {ZylDorvError_BufferMissing, "buffer missing: ExecRead of distribution 1 in context 1 of \"test.dorv\", drawer 0: buffer 0 is not set", [&] { rows(0, 3).ExecRead(); }},
        {ZylDorvError_BufferTooSmall, "buffer too small: ExecRead of distribution 1 in context 1 of \"test.dorv\", drawer 0: buffer 0 holds 95 bytes, the transfer needs 96", [&] { ZylDorvTransfer t = rows(0, 3); t.SetBuffer(0, buf.data(), 95); t.ExecRead(); }},
        {ZylDorvError_BufferReadOnly, "buffer read-only: ExecRead of distribution 1 in context 1 of \"test.dorv\", drawer 0: buffer 0 was given as const", [&] { ZylDorvTransfer t = rows(0, 3); t.SetBuffer(0, static_cast<const double*>(buf.data()), 96); t.ExecRead(); }},
        {ZylDorvError_PaddingUnsupported, "buffer padding unsupported: CheckView of distribution 1 in context 1 of \"test.dorv\": buffers are always packed (SetBufferPadding(false))", [&] { ZylDorvTransfer t = rows(0, 3); t.SetBufferPadding(true); t.CheckView(); }},
        {ZylDorvError_DrawerNotFound, "drawer not found: CheckView of distribution 1 in context 1 of \"test.dorv\": no drawer 5 (the distribution has 1)", [&] { ZylDorvTransfer t = rows(0, 3); t.SetDrawer(5); t.CheckView(); }},
        {ZylDorvError_ExtensionInvalid, "extension invalid: InitializeExtension of distribution 1 in context 1 of \"test.dorv\", drawer 0: the extension CSet is empty", [&] { Extend(m, strided(4, 0)); }},
        {ZylDorvError_ExtensionInvalid, "drawer 0: no dimension is collection 3", [&] { Extend(m, AllOf(other)); }},
        {ZylDorvError_ExtensionInvalid, "the extension CSet shares members with dimension 1", [&] { Extend(m, strided(3, 2)); }},
        {ZylDorvError_TransferModeMissing, "InitializeExtension: no extension is set (SetDimExtension)", [&] { rows(0, 3).InitializeExtension(); }},
        {ZylDorvError_TransferModeMissing, "not set for writing", [&] { ZylDorvTransfer t(m.Distribution()); t.SetRead(); t.SetDimExtension(strided(4, 1)); t.InitializeExtension(); }},
    });
    EXPECT_EQ(labelled.CSetIDs().Size(), 0) << "refused CSets leave nothing behind";
    EXPECT_EQ(labelled.Count(), 4);
    EXPECT_EQ(context.DistributionIDs().Size(), 2) << "refused grids leave nothing behind";
    EXPECT_EQ(DrawerSizes(m), std::vector<int>{4}) << "refused extensions change nothing";
}

TEST_F(ErrorTest, ForcedValueFailuresCarryTheGivenNumberAndChangeNothing)
{
    const MatrixSetup m = MakeMatrix(4, 2, 2, 1, 1.0);
    const double five = 5.0;
    ZylDorvTestSeam::FailValueWrites(2, ZylDorvError_ValueWriteFailed);
    EXPECT_DORV_ERROR(RawWrite(m, 0, 0, 0, 0, &five), ZylDorvError_ValueWriteFailed, "drawer 0: failure forced by");
    // The whole text, once: the number, the category, the operation, the cause.
    ZylDorvDebugOutString written;
    zyltest::CatchDorv([&] { RawWrite(m, 0, 0, 0, 0, &five); }).Write(written);
    EXPECT_STREQ(written.Chars(), "ZylDorv error 70: writing values failed: ExecWrite of distribution 1 in context 1 of \"test.dorv\", drawer 0: failure forced by the test seam");
    EXPECT_EQ(ZylDorvTestSeam::PendingFailures(), 0);
    EXPECT_EQ(RawRead(m, 0, 0, 0, 0).v, std::vector<double>{1.0}) << "nothing was written";
    RawWrite(m, 0, 0, 0, 0, &five);
    EXPECT_EQ(RawRead(m, 0, 0, 0, 0).v, std::vector<double>{5.0}) << "the seam is spent";
    EXPECT_DORV_ERROR(ZylDorvTestSeam::FailValueWrites(1, 12345); RawWrite(m, 1, 1, 0, 0, &five), 12345, "ZylDorv error 12345: database error: ExecWrite");
    EXPECT_DORV_ERROR(ZylDorvTestSeam::FailValueReads(1, ZylDorvError_ValueReadFailed); RawRead(m), ZylDorvError_ValueReadFailed, "ZylDorv error 71: reading values failed: ExecRead of distribution 1");
    ZylDorvTestSeam::FailValueWrites(1, ZylDorvError_ExtensionFailed);
    ZylDorvTransfer extension(m.Distribution());
    extension.SetWrite();
    extension.SetDimExtension(ZylDorvCollection(m.rows).CreateCSetStrided(4, 1, 1, 1));
    EXPECT_DORV_ERROR(extension.InitializeExtension(), ZylDorvError_ExtensionFailed, "extending a drawer failed: InitializeExtension");
    EXPECT_EQ(DrawerSizes(m), std::vector<int>{4});
    // So does a refused staging block for a chunk never written (the allocator's error).
    EXPECT_EQ(zyltest::SweepAllocationFailures([] {}, [&] { RawWrite(m, 3, 3, 1, 1, &five); },
                                               [&](int) { EXPECT_EQ(RawRead(m, 3, 3, 1, 1).v, std::vector<double>{1.0}); }), 1);
    EXPECT_EQ(RawRead(m, 3, 3, 1, 1).v, std::vector<double>{5.0});
    EXPECT_DORV_ERROR(ZylDorvTestSeam::FailValueWrites(1, ZylDorvError_DrawerCreateFailed); MakeMatrix(2, 2, -1, -1), ZylDorvError_DrawerCreateFailed, "creating a drawer failed: InitializePersistentDrawer of distribution 2");
    EXPECT_EQ(DrawerSizes(MatrixSetup{{}, {}, {}, {}, Context().DistributionIDs()[1]}), std::vector<int>{});
}

TEST_F(ErrorTest, ForcedRecordFailuresTakeBackHalfMadeRecords)
{
    ZylDorvContext context = Context();
    const ZylDorvCollectionID rows = NewCollection(4), columns = NewCollection(4);
    const MatrixSetup m = MakeMatrix(4, 4, 2, 2);
    ExpectRefusals({
        {ZylDorvError_MetadataWriteFailed, "writing database records failed: CreateCollection in context 1", [&] { NewCollection(2); }},
        {ZylDorvError_MetadataWriteFailed, "CreateCSetStrided in collection 1", [&] { ZylDorvCollection(rows).CreateCSetStrided(2, 5, 1, 1); }},
        {ZylDorvError_MetadataWriteFailed, "CreateDistribution in context 1", [&] { context.CreateDistribution(ZylDorvGrid{columns, rows}, ZylDorvRangeType(), -1); }},
        {ZylDorvError_MetadataWriteFailed, "InitializePersistentDrawer of distribution 1", [&] { ZylDorvTransfer make(m.Distribution()); make.SetMakeNewDrawer(); make.SetWrite(); make.SetDim(0, m.columnCSet); make.SetDim(1, m.rowCSet); make.InitializePersistentDrawer(); }},
        {ZylDorvError_MetadataWriteFailed, "CreateContext", [&] { db.CreateContext(ZylDorvNamespaceID()); }},
    }, true);
    EXPECT_EQ(ZylDorvCollection(rows).Count(), 4) << "no growth from the refused CSet";
    EXPECT_EQ(ZylDorvCollection(rows).CSetIDs().Size(), 0);
    EXPECT_EQ(DrawerSizes(m).size(), 1u);
    // The file holds nothing of the refused records.
    for (int pass = 0; pass < 2; ++pass) {
        EXPECT_EQ(std::make_tuple(Context().CollectionIDs().Size(), Context().DistributionIDs().Size(), db.ContextIDs().Size()), std::make_tuple(4, 1, 1));
        db.Close();
        db.OpenFile(U(kPath), 0);
        ctx = db.ContextIDs()[0];
    }
}

TEST_F(ErrorTest, FailuresOfTheFileSystemCarryItsTextAndLeaveTheDatabaseUsable)
{
    const MatrixSetup m = MakeMatrix(256, 256, 64, 64, 1.0);
    db.Flush();
    const std::vector<double> twos(256 * 256, 2.0), threes(256 * 256, 3.0);
    {
        FileSizeLimit limit(FileSize(kPath) + 1024);
        EXPECT_DORV_ERROR(RawWrite(m, 0, 255, 0, 255, twos.data()), ZylDorvError_ValueWriteFailed, "ExecWrite of distribution 1 in context 1 of \"test.dorv\", drawer 0: File too large");
    }
    RawWrite(m, 0, 255, 0, 255, threes.data());
    db.Close();
    db.OpenFile(U(kPath), ZylDorvDatabase::OpenReadWrite);
    ctx = db.ContextIDs()[0];
    EXPECT_EQ(RawRead(zyltest::MatrixSetupOf(Context().DistributionIDs()[0])).v, threes);
    FileSizeLimit limit(FileSize(kPath) + 4096);
    ZylDorvTransaction transaction(ctx);
    for (int i = 0; i < 200; ++i)
        NewCollection(i);
    EXPECT_DORV_ERROR(transaction.Commit(), ZylDorvError_FileFlushFailed, "flushing the database file failed: Commit of a transaction on context 1 of \"test.dorv\": File too large");
    EXPECT_DORV_ERROR(db.Close(), ZylDorvError_FileCloseFailed, "closing the database file failed: Close \"test.dorv\": File too large");
    EXPECT_FALSE(db.IsOpen()) << "the file is abandoned as it stands on disk";
    EXPECT_FALSE(transaction.IsActive());
}

TEST(DorvUnicodeString, KeepsUtf8AndConvertsUtf16)
{
    const ZylDroviUnicodeString ascii("plain.dorv");
    EXPECT_STREQ(ascii.Utf8(), "plain.dorv");
    EXPECT_EQ(ascii.Length(), 10u);
    // U+1F600 and U+10FFFD: the second has bits set above bit 18 of a code point.
    const char16_t wide[] = {u'M', 0x00E4, 0x20AC, 0xD83D, 0xDE00, 0xDBFF, 0xDFFD, 0}, lone[] = {0xDC00, u'x', 0};
    const ZylDroviUnicodeString fromWide(wide);
    EXPECT_STREQ(fromWide.Utf8(), "M\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80\xF4\x8F\xBF\xBD");
    EXPECT_EQ(fromWide.Length(), 5u);
    EXPECT_EQ(fromWide.Utf16(), std::u16string(wide));
    // A lead byte without its continuation, inside the text and at its end.
    EXPECT_STREQ(ZylDroviUnicodeString("a\xFF" "b\xC3" "c\xE2\x82").Utf8(), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD" "c\xEF\xBF\xBD");
    EXPECT_STREQ(ZylDroviUnicodeString(lone).Utf8(), "\xEF\xBF\xBDx");
    EXPECT_TRUE(ZylDroviUnicodeString().IsEmpty());
    EXPECT_TRUE(ZylDroviUnicodeString(atr_String("x")) == ZylDroviUnicodeString("x"));
}

TEST(DorvException, CarriesItsNumberAndIsRethrownAsItself)
{
    // (Write, appending to a text, is checked where SetValues turns error 70 into the family's error.)
    const ZylDorvException e(70, "ZylDorv error 70: writing values failed: somewhere");
    EXPECT_EQ(e.ErrorCode(), 70);
    EXPECT_THROW(e.ThrowCopy(), ZylDorvException) << "the most-derived type is thrown";
}
