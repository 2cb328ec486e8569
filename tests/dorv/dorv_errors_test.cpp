// Every error number of the database, provoked for real where the
// environment allows it (full device, file size limit, read-only file,
// damaged file) and through the test seam otherwise.
#include "DorvTestSupport.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

// HDF5 1.10.8 loses its metadata accumulator (264 bytes, allocated in
// H5F__accum_write) when creating a file fails on a full device. The leak
// checker of sanitized builds sees only HDF5's module in that short stack,
// so leaks of memory that HDF5 itself allocated are not reported here.
extern "C" const char* __lsan_default_suppressions() { return "leak:libhdf5_serial.so\n"; }

namespace {

// Lowers the process's file size limit to `bytes`; writes past it fail with
// EFBIG ("File too large") instead of raising SIGXFSZ. Restored on exit.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_old);
        m_handler = signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        signal(SIGXFSZ, m_handler);
    }

private:
    rlimit m_old;
    void (*m_handler)(int);
};

off_t FileSize(const char* path)
{
    struct stat info;
    return ::stat(path, &info) == 0 ? info.st_size : -1;
}

} // namespace

using ErrorTest = DorvTest;

TEST_F(ErrorTest, FilesThatCannotBeCreatedOrOpened)
{
    ZylDorvDatabase other;
    EXPECT_DORV_ERROR_HAS(other.CreateFile(ZylDroviUnicodeString("t.dorv"), ZylDorvDatabase::CreateExclusive, -1),
                          ZylDorvError_FileCreateFailed, "ZylDorv error 10: creating the database file failed: CreateFile \"t.dorv\": ");
    EXPECT_DORV_ERROR(other.CreateFile(ZylDroviUnicodeString("x.dorv"), 5, -1), ZylDorvError_InvalidArgument,
                      "ZylDorv error 1: invalid argument: CreateFile \"x.dorv\": flags 5 (0 or 1 expected)");
    EXPECT_DORV_ERROR(other.OpenFile(ZylDroviUnicodeString("t.dorv"), 2), ZylDorvError_InvalidArgument,
                      "ZylDorv error 1: invalid argument: OpenFile \"t.dorv\": flags 2 (0 or 1 expected)");
    EXPECT_DORV_ERROR_HAS(other.OpenFile(ZylDroviUnicodeString("missing.dorv"), 0), ZylDorvError_FileOpenFailed,
                          "ZylDorv error 11: opening the database file failed: OpenFile \"missing.dorv\": ");
    std::FILE* text = std::fopen("plain.txt", "w");
    std::fputs("not a database", text);
    std::fclose(text);
    EXPECT_DORV_ERROR_HAS(other.OpenFile(ZylDroviUnicodeString("plain.txt"), 0), ZylDorvError_FileOpenFailed, "OpenFile \"plain.txt\"");
    std::remove("plain.txt");
    EXPECT_DORV_ERROR_HAS(db.CreateFile(ZylDroviUnicodeString("y.dorv"), 0, -1), ZylDorvError_DatabaseAlreadyOpen,
                          "ZylDorv error 4: database already open: CreateFile \"y.dorv\": this database object holds \"t.dorv\"");
    EXPECT_DORV_ERROR_HAS(db.OpenFile(ZylDroviUnicodeString("t.dorv"), 0), ZylDorvError_DatabaseAlreadyOpen, "OpenFile");

    // A device with no space left: the operating system's text is reported.
    ASSERT_EQ(symlink("/dev/full", "full.dorv"), 0);
    EXPECT_DORV_ERROR(other.CreateFile(ZylDroviUnicodeString("full.dorv"), ZylDorvDatabase::CreateTruncate, -1),
                      ZylDorvError_FileCreateFailed,
                      "ZylDorv error 10: creating the database file failed: CreateFile \"full.dorv\": No space left on device");
    std::remove("full.dorv");
    EXPECT_FALSE(other.IsOpen());

    // Truncating replaces a file; a mode is applied.
    other.CreateFile(ZylDroviUnicodeString("t2.dorv"), ZylDorvDatabase::CreateExclusive, 0600);
    other.Close();
    struct stat info;
    ASSERT_EQ(::stat("t2.dorv", &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    other.CreateFile(ZylDroviUnicodeString("t2.dorv"), ZylDorvDatabase::CreateTruncate, -1);
    other.Close();
    other.Close(); // closing twice does nothing
    std::remove("t2.dorv");
}

TEST_F(ErrorTest, DamagedAndForeignFilesAreRefused)
{
    db.Close();
    ASSERT_TRUE(ZylDorvTestSeam::DamageFile("t.dorv", "/context1", "next_collection"));
    ZylDorvDatabase other;
    EXPECT_DORV_ERROR(other.OpenFile(ZylDroviUnicodeString("t.dorv"), 0), ZylDorvError_MetadataReadFailed,
                      "ZylDorv error 61: reading database records failed: OpenFile, context 1 of \"t.dorv\", attribute "
                      "\"next_collection\": can't locate attribute: 'next_collection'");
    ASSERT_TRUE(ZylDorvTestSeam::DamageFile("t.dorv", "/", "format"));
    EXPECT_DORV_ERROR(other.OpenFile(ZylDroviUnicodeString("t.dorv"), 0), ZylDorvError_NotADatabaseFile,
                      "ZylDorv error 14: not a database file: OpenFile \"t.dorv\": the file has no \"format\" attribute "
                      "\"ZylDorv\"");
    EXPECT_FALSE(other.IsOpen());
    EXPECT_FALSE(ZylDorvTestSeam::DamageFile("missing.dorv", "/", "format"));
}

TEST_F(ErrorTest, IdentifiersThatNameNothing)
{
    EXPECT_DORV_ERROR(ZylDorvContext{ZylDorvContextID()}, ZylDorvError_NullIdentifier,
                      "ZylDorv error 2: null identifier: ZylDorvContext: null context ID");
    EXPECT_DORV_ERROR(ZylDorvCollection{ZylDorvCollectionID()}, ZylDorvError_NullIdentifier,
                      "ZylDorv error 2: null identifier: ZylDorvCollection: null collection ID");
    EXPECT_DORV_ERROR(ZylDorvCSet{ZylDorvCSetID()}, ZylDorvError_NullIdentifier,
                      "ZylDorv error 2: null identifier: ZylDorvCSet: null CSet ID");
    EXPECT_DORV_ERROR(ZylDorvDistribution{ZylDorvDistributionID()}, ZylDorvError_NullIdentifier,
                      "ZylDorv error 2: null identifier: ZylDorvDistribution: null distribution ID");
    const ZylDorvDistribution none;
    EXPECT_FALSE(none.IsValid());
    EXPECT_TRUE(none.ID().IsNull());
    EXPECT_DORV_ERROR(ZylDorvTransfer{none}, ZylDorvError_NullIdentifier,
                      "ZylDorv error 2: null identifier: ZylDorvTransfer: null distribution handle");
    EXPECT_DORV_ERROR(none.NumDimensions(), ZylDorvError_NullIdentifier,
                      "ZylDorv error 2: null identifier: NumDimensions: null distribution handle");

    EXPECT_DORV_ERROR(ZylDorvContext(ZylDorvContextID(ctx.Database(), 9)), ZylDorvError_ContextNotFound,
                      "ZylDorv error 20: context not found: ZylDorvContext: context 9 of \"t.dorv\"");
    ZylDorvContext context(ctx);
    const ZylDorvCollectionID real = context.CreateCollection(3, -1);
    EXPECT_DORV_ERROR(ZylDorvCollection(ZylDorvCollectionID(ctx, 8, -1)), ZylDorvError_CollectionNotFound,
                      "ZylDorv error 21: collection not found: ZylDorvCollection: collection 8 in context 1 of \"t.dorv\"");
    EXPECT_DORV_ERROR(ZylDorvCollection(ZylDorvCollectionID(ctx, real.Minor(), 4)), ZylDorvError_CollectionNotFound,
                      "ZylDorv error 21: collection not found: ZylDorvCollection: collection 1 in context 1 of \"t.dorv\" "
                      "has type -1, the ID says 4");
    EXPECT_DORV_ERROR(ZylDorvCSet(ZylDorvCSetID(real, 5)), ZylDorvError_CSetNotFound,
                      "ZylDorv error 22: CSet not found: ZylDorvCSet: CSet 5 of collection 1 in context 1 of \"t.dorv\"");
    EXPECT_DORV_ERROR(ZylDorvDistribution(ZylDorvDistributionID(ctx, 3)), ZylDorvError_DistributionNotFound,
                      "ZylDorv error 23: distribution not found: ZylDorvDistribution: distribution 3 in context 1 of \"t.dorv\"");
    EXPECT_DORV_ERROR(context.Schema().TypeID(0), ZylDorvError_TypeNotFound,
                      "ZylDorv error 25: type not found: TypeID 0 of the schema of context 1: it defines 0 types");
    EXPECT_DORV_ERROR_HAS(context.CreateCollection(1, 2), ZylDorvError_TypeNotFound, "type 2, the schema has 0 types");
    EXPECT_DORV_ERROR_HAS(context.CreateDistribution(ZylDorvGrid{real}, ZylDorvRangeType(), 0), ZylDorvError_TypeNotFound,
                          "type 0, the schema has 0 types");
    EXPECT_DORV_ERROR(ZylDorvCSet(ZylDorvCollection(real).BiggestCSetID()).Member(3), ZylDorvError_OrdinalRangeInvalid,
                      "ZylDorv error 33: ordinal range invalid: Member(3) of a CSet of 3 members");

    // Everything ends with the database.
    const ZylDorvCSetID cset = ZylDorvCollection(real).BiggestCSetID();
    const MatrixSetup m = MakeMatrix(ctx, 2, 2, {});
    db.Close();
    EXPECT_FALSE(m.distribution.IsValid());
    EXPECT_DORV_ERROR(ZylDorvContext{ctx}, ZylDorvError_DatabaseNotOpen,
                      ("ZylDorv error 3: database not open: ZylDorvContext: database " + std::to_string(ctx.Database()) +
                       " is not open")
                          .c_str());
    EXPECT_DORV_ERROR_HAS(ZylDorvCSet{cset}, ZylDorvError_DatabaseNotOpen, "is not open");
    EXPECT_DORV_ERROR(m.distribution.NumDimensions(), ZylDorvError_DatabaseNotOpen,
                      "ZylDorv error 3: database not open: NumDimensions: database \"t.dorv\" is closed");
    EXPECT_DORV_ERROR_HAS(ReadBlock(m, 0, 0, 0, 0), ZylDorvError_DatabaseNotOpen, "is closed");
    EXPECT_DORV_ERROR(db.CreateContext(ZylDorvNamespaceID()), ZylDorvError_DatabaseNotOpen,
                      "ZylDorv error 3: database not open: CreateContext: no database file is open");
}

TEST_F(ErrorTest, GridsRangeTypesAndChunkings)
{
    ZylDorvContext context(ctx);
    const ZylDorvCollectionID a = context.CreateCollection(4, -1);
    EXPECT_DORV_ERROR(context.CreateDistribution(ZylDorvGrid(), ZylDorvRangeType(), -1), ZylDorvError_InvalidGrid,
                      "ZylDorv error 40: invalid grid: CreateDistribution in context 1 of \"t.dorv\": the grid has no axis");
    EXPECT_DORV_ERROR_HAS(context.CreateDistribution(ZylDorvGrid{a, ZylDorvCollectionID()}, ZylDorvRangeType(), -1),
                          ZylDorvError_InvalidGrid, "axis 1 is the null collection");
    const ZylDorvContextID second = db.CreateContext(ZylDorvNamespaceID(7));
    const ZylDorvCollectionID foreign = ZylDorvContext(second).CreateCollection(1, -1);
    EXPECT_DORV_ERROR_HAS(context.CreateDistribution(ZylDorvGrid{a, foreign}, ZylDorvRangeType(), -1), ZylDorvError_InvalidGrid,
                          "axis 1 is a collection of another context");
    EXPECT_DORV_ERROR(context.CreateDistribution(ZylDorvGrid{a}, ZylDorvRangeType(ZylDorvTypeKey(3)), -1),
                      ZylDorvError_InvalidRangeType,
                      "ZylDorv error 41: invalid range type: CreateDistribution in context 1 of \"t.dorv\": type key 3 (1 "
                      "for ints or 2 for doubles expected)");
    EXPECT_EQ(ZylDorvRangeType(ZylDorvTypeKey(3)).ItemBytes(), 0);
    EXPECT_EQ(context.DistributionIDs().Size(), 0);

    ZylDorvDistribution d(context.CreateDistribution(ZylDorvGrid{a}, ZylDorvRangeType(), -1));
    ZylDorvTransfer t(d);
    EXPECT_DORV_ERROR(t.SetMakeNewDrawerChunked(ZylDorvArray<int>{2, 2}), ZylDorvError_InvalidChunking,
                      "ZylDorv error 42: invalid chunking: SetMakeNewDrawerChunked: 2 chunk sizes for 1 dimensions");
    EXPECT_DORV_ERROR(t.SetMakeNewDrawerChunked(ZylDorvArray<int>{0}), ZylDorvError_InvalidChunking,
                      "ZylDorv error 42: invalid chunking: SetMakeNewDrawerChunked: chunk size 0 of dimension 0 (1 or "
                      "more expected)");
    EXPECT_DORV_ERROR(t.SetDim(1, ZylDorvCollection(a).BiggestCSetID()), ZylDorvError_InvalidArgument,
                      "ZylDorv error 1: invalid argument: SetDim: dimension 1 of a distribution of 1 dimensions");
    EXPECT_DORV_ERROR(ZylDorvCollection(a).CreateCSetStrided(0, 1 << 30, 4, 4), ZylDorvError_SizeTooLarge,
                      "ZylDorv error 43: size too large: CreateCSetStrided in collection 1 in context 1 of \"t.dorv\": label "
                      "4294967295 or size 4294967296 beyond the 32-bit range");
}

TEST_F(ErrorTest, TransfersThatAreIncompleteOrInconsistent)
{
    const MatrixSetup m = MakeMatrix(ctx, 4, 3, {2, 2});
    ZylDorvContext context(ctx);
    const ZylDorvCollectionID other = context.CreateCollection(3, -1);

    ZylDorvTransfer make(m.distribution);
    make.SetMakeNewDrawer();
    make.SetWrite();
    make.SetDim(1, m.rowCSet);
    EXPECT_DORV_ERROR(make.CheckView(), ZylDorvError_ViewIncomplete,
                      "ZylDorv error 50: transfer view incomplete: CheckView of distribution 1 in context 1 of \"t.dorv\", "
                      "new drawer: dimension 0 has no CSet (SetDim)");
    make.SetDim(0, ZylDorvCollection(other).BiggestCSetID());
    EXPECT_DORV_ERROR(make.CheckView(), ZylDorvError_CollectionMismatch,
                      "ZylDorv error 32: collection mismatch: CheckView of distribution 1 in context 1 of \"t.dorv\", new "
                      "drawer: the CSet of dimension 0 is of collection 3, the axis is collection 2");
    const int labels[] = {0, 1, 2};
    make.SetDim(0, ZylDorvCollection(m.columns).CreateTempOrderedCSet(labels, 3));
    EXPECT_DORV_ERROR_HAS(make.CheckView(), ZylDorvError_TemporaryInPermanent, "dimension 0 has a temporary CSet");
    make.SetDim(0, m.columnCSet);
    make.SetInitializationValue(ZylDorvRangeValue(std::int32_t(1)));
    EXPECT_DORV_ERROR(make.CheckView(), ZylDorvError_InitValueMismatch,
                      "ZylDorv error 58: initialization value mismatch: CheckView of distribution 1 in context 1 of "
                      "\"t.dorv\", new drawer: initialization value of type key 1, values of type key 2");
    ZylDorvTransfer noWrite(m.distribution);
    noWrite.SetMakeNewDrawer();
    EXPECT_DORV_ERROR(noWrite.InitializePersistentDrawer(), ZylDorvError_TransferModeMissing,
                      "ZylDorv error 51: transfer mode missing: InitializePersistentDrawer: the transfer is not set for "
                      "writing (SetWrite)");
    ZylDorvTransfer notNew(m.distribution);
    notNew.SetWrite();
    EXPECT_DORV_ERROR_HAS(notNew.InitializePersistentDrawer(), ZylDorvError_TransferModeMissing, "not set to make a drawer");

    std::vector<double> buffer(12);
    ZylDorvTransfer read(m.distribution);
    EXPECT_DORV_ERROR(read.ExecRead(), ZylDorvError_TransferModeMissing,
                      "ZylDorv error 51: transfer mode missing: ExecRead: the transfer is not set for reading (SetRead)");
    EXPECT_DORV_ERROR(read.ExecWrite(), ZylDorvError_TransferModeMissing,
                      "ZylDorv error 51: transfer mode missing: ExecWrite: the transfer is not set for writing (SetWrite)");
    read.SetRead();
    read.SetWrite();
    read.SetDimOrdinalRange(1, other, 0, 1);
    EXPECT_DORV_ERROR(read.CheckView(), ZylDorvError_CollectionMismatch,
                      "ZylDorv error 32: collection mismatch: CheckView of distribution 1 in context 1 of \"t.dorv\", drawer "
                      "0: dimension 1 is collection 1, the transfer names collection 3");
    for (auto range : {std::pair<int, int>{2, 1}, {-1, 0}, {0, 4}}) {
        read.SetDimOrdinalRange(1, m.rows, range.first, range.second);
        EXPECT_DORV_ERROR(read.CheckView(), ZylDorvError_OrdinalRangeInvalid,
                          ("ZylDorv error 33: ordinal range invalid: CheckView of distribution 1 in context 1 of \"t.dorv\", "
                           "drawer 0: dimension 1: ordinals " +
                           std::to_string(range.first) + " to " + std::to_string(range.second) + " of 4 members")
                              .c_str());
    }
    read.SetDimOrdinalRange(1, m.rows, 0, 3);
    read.SetBuffer(0, buffer.data(), 95);
    EXPECT_DORV_ERROR(read.ExecRead(), ZylDorvError_BufferTooSmall,
                      "ZylDorv error 53: buffer too small: ExecRead of distribution 1 in context 1 of \"t.dorv\", drawer 0: "
                      "buffer 0 holds 95 bytes, the transfer needs 96");
    read.SetBuffer(0, static_cast<const double*>(buffer.data()), 96);
    EXPECT_DORV_ERROR(read.ExecRead(), ZylDorvError_BufferReadOnly,
                      "ZylDorv error 54: buffer read-only: ExecRead of distribution 1 in context 1 of \"t.dorv\", drawer 0: "
                      "buffer 0 was given as const");
    read.ExecWrite(); // a const buffer serves a write
    read.SetBufferPadding(true);
    EXPECT_DORV_ERROR(read.CheckView(), ZylDorvError_PaddingUnsupported,
                      "ZylDorv error 55: buffer padding unsupported: CheckView of distribution 1 in context 1 of \"t.dorv\": "
                      "buffers are always packed (SetBufferPadding(false))");
    EXPECT_DORV_ERROR(read.SetBuffer(4, buffer.data(), 8), ZylDorvError_InvalidArgument,
                      "ZylDorv error 1: invalid argument: SetBuffer(4, ..., 8): buffer 0 to 3, a pointer and a size >= 0 "
                      "expected");
    EXPECT_DORV_ERROR_HAS(read.SetSparseNNonzero(-1), ZylDorvError_InvalidArgument, "SetSparseNNonzero(-1)");
    EXPECT_DORV_ERROR_HAS(read.SetDrawer(-1), ZylDorvError_InvalidArgument, "SetDrawer(-1)");
    EXPECT_DORV_ERROR_HAS(read.SetExtendableDim(2), ZylDorvError_InvalidArgument, "SetExtendableDim: dimension 2");
    EXPECT_DORV_ERROR_HAS(read.SetDim(0, ZylDorvCSetID()), ZylDorvError_NullIdentifier, "SetDim(0): null CSet ID");
    EXPECT_DORV_ERROR_HAS(read.SetDimExtension(ZylDorvCSetID()), ZylDorvError_NullIdentifier, "SetDimExtension: null CSet ID");
}

TEST_F(ErrorTest, ForcedValueFailuresCarryTheGivenNumberAndChangeNothing)
{
    const MatrixSetup m = MakeMatrix(ctx, 4, 2, {1, 2}, 1.0);
    ZylDorvTestSeam::FailValueWrites(2, ZylDorvError_ValueWriteFailed);
    EXPECT_EQ(ZylDorvTestSeam::PendingFailures(), 2);
    EXPECT_DORV_ERROR(WriteBlock(m, 0, 0, 0, 0, {5.0}), ZylDorvError_ValueWriteFailed,
                      "ZylDorv error 70: writing values failed: ExecWrite of distribution 1 in context 1 of \"t.dorv\", "
                      "drawer 0: failure forced by the test seam");
    ZylDorvDebugOutString written;
    CatchDorv([&] { WriteBlock(m, 0, 0, 0, 0, {5.0}); }).Write(written);
    EXPECT_STREQ(written.Chars(), "ZylDorv error 70: writing values failed: ExecWrite of distribution 1 in context 1 of "
                                  "\"t.dorv\", drawer 0: failure forced by the test seam");
    EXPECT_EQ(ZylDorvTestSeam::PendingFailures(), 0);
    EXPECT_EQ(ReadBlock(m, 0, 0, 0, 0), (std::vector<double>{1.0})) << "nothing was written";
    WriteBlock(m, 0, 0, 0, 0, {5.0});
    EXPECT_EQ(ReadBlock(m, 0, 0, 0, 0), (std::vector<double>{5.0})) << "the seam is spent";

    ZylDorvTestSeam::FailValueWrites(1, 12345);
    EXPECT_DORV_ERROR_HAS(WriteBlock(m, 1, 1, 0, 0, {5.0}), 12345, "ZylDorv error 12345: database error: ExecWrite");
    ZylDorvTestSeam::FailValueReads(1, ZylDorvError_ValueReadFailed);
    EXPECT_DORV_ERROR(ReadBlock(m, 0, 0, 0, 0), ZylDorvError_ValueReadFailed,
                      "ZylDorv error 71: reading values failed: ExecRead of distribution 1 in context 1 of \"t.dorv\", "
                      "drawer 0: failure forced by the test seam");
    ZylDorvTestSeam::FailValueWrites(1, ZylDorvError_ExtensionFailed);
    EXPECT_DORV_ERROR_HAS(
        {
            ZylDorvTransfer t = Prepared(m.distribution);
            t.SetDimExtension(ZylDorvCollection(m.rows).CreateCSetStrided(4, 1, 1, 1));
            t.InitializeExtension();
        },
        ZylDorvError_ExtensionFailed, "ZylDorv error 72: extending a drawer failed: InitializeExtension");
    ZylDorvArray<ZylDorvPersistentDrawerDesc> drawers;
    m.distribution.QueryDrawers(drawers);
    EXPECT_EQ(drawers[0].DimSize(1), 4);
    ZylDorvTestSeam::FailValueWrites(1, ZylDorvError_DrawerCreateFailed);
    EXPECT_DORV_ERROR_HAS(MakeMatrix(ctx, 2, 2, {}), ZylDorvError_DrawerCreateFailed,
                          "ZylDorv error 73: creating a drawer failed: InitializePersistentDrawer of distribution 2");
    ZylDorvDistribution second(ZylDorvContext(ctx).DistributionIDs()[1]);
    second.QueryDrawers(drawers);
    EXPECT_EQ(drawers.Size(), 0);
}

TEST_F(ErrorTest, ForcedRecordFailuresTakeBackHalfMadeRecords)
{
    ZylDorvContext context(ctx);
    const ZylDorvCollectionID rows = context.CreateCollection(4, -1);
    const ZylDorvCollectionID columns = context.CreateCollection(4, -1);
    // The third record write of each operation fails: after the group and
    // some attributes were written.
    ZylDorvTestSeam::FailRecordWrites(0, 0);
    for (int skip = 0; skip < 3; ++skip) {
        // Arm a failure `skip` writes ahead by letting earlier ones pass.
        ZylDorvTestSeam::FailRecordWrites(1, ZylDorvError_MetadataWriteFailed);
        EXPECT_DORV_ERROR(context.CreateCollection(2, -1), ZylDorvError_MetadataWriteFailed,
                          "ZylDorv error 60: writing database records failed: CreateCollection in context 1 of \"t.dorv\": "
                          "failure forced by the test seam");
    }
    EXPECT_EQ(context.CollectionIDs().Size(), 2);
    ZylDorvTestSeam::FailRecordWrites(1, ZylDorvError_MetadataWriteFailed);
    EXPECT_DORV_ERROR_HAS(ZylDorvCollection(rows).CreateCSetStrided(2, 5, 1, 1), ZylDorvError_MetadataWriteFailed,
                          "CreateCSetStrided in collection 1");
    EXPECT_EQ(ZylDorvCollection(rows).Count(), 4) << "no growth from the refused CSet";
    EXPECT_EQ(ZylDorvCollection(rows).CSetIDs().Size(), 0);
    ZylDorvTestSeam::FailRecordWrites(1, ZylDorvError_MetadataWriteFailed);
    EXPECT_DORV_ERROR_HAS(context.CreateDistribution(ZylDorvGrid{columns, rows}, ZylDorvRangeType(), -1),
                          ZylDorvError_MetadataWriteFailed, "CreateDistribution in context 1");
    EXPECT_EQ(context.DistributionIDs().Size(), 0);
    const MatrixSetup m = MakeMatrix(ctx, 4, 4, {2, 2});
    ZylDorvTestSeam::FailRecordWrites(1, ZylDorvError_MetadataWriteFailed);
    EXPECT_DORV_ERROR_HAS(
        {
            ZylDorvTransfer make(m.distribution);
            make.SetMakeNewDrawer();
            make.SetWrite();
            make.SetDim(0, m.columnCSet);
            make.SetDim(1, m.rowCSet);
            make.InitializePersistentDrawer();
        },
        ZylDorvError_MetadataWriteFailed, "InitializePersistentDrawer of distribution 1");
    ZylDorvArray<ZylDorvPersistentDrawerDesc> drawers;
    m.distribution.QueryDrawers(drawers);
    EXPECT_EQ(drawers.Size(), 1);
    ZylDorvTestSeam::FailRecordWrites(1, ZylDorvError_MetadataWriteFailed);
    EXPECT_DORV_ERROR_HAS(db.CreateContext(ZylDorvNamespaceID()), ZylDorvError_MetadataWriteFailed, "CreateContext");
    EXPECT_EQ(db.ContextIDs().Size(), 1);

    // The file holds nothing of the refused records.
    db.Close();
    db.OpenFile(ZylDroviUnicodeString("t.dorv"), 0);
    ZylDorvContext again(db.ContextIDs()[0]);
    EXPECT_EQ(again.CollectionIDs().Size(), 4);
    EXPECT_EQ(again.DistributionIDs().Size(), 1);
    EXPECT_EQ(db.ContextIDs().Size(), 1);
}

TEST_F(ErrorTest, ACreateFileThatFailsPartWayRemovesTheFileItMade)
{
    ZylDorvDatabase other;
    ZylDorvTestSeam::FailRecordWrites(1, ZylDorvError_MetadataWriteFailed);
    EXPECT_DORV_ERROR_HAS(other.CreateFile(ZylDroviUnicodeString("half.dorv"), ZylDorvDatabase::CreateExclusive, -1),
                          ZylDorvError_MetadataWriteFailed, "CreateFile \"half.dorv\"");
    struct stat info;
    EXPECT_NE(::stat("half.dorv", &info), 0) << "the half-made file must be gone";
    // The name is free again, and the object can still create a database.
    other.CreateFile(ZylDroviUnicodeString("half.dorv"), ZylDorvDatabase::CreateExclusive, -1);
    other.Close();
    std::remove("half.dorv");
}

TEST_F(ErrorTest, WritesPastTheFileSizeLimitFailWithTheSystemsText)
{
    const MatrixSetup m = MakeMatrix(ctx, 512, 512, {128, 128});
    db.Flush();
    std::vector<double> band(512 * 512, 3.0);
    {
        FileSizeLimit limit(static_cast<rlim_t>(FileSize("t.dorv")) + 4096);
        EXPECT_DORV_ERROR(WriteBlock(m, 0, 511, 0, 511, band), ZylDorvError_ValueWriteFailed,
                          "ZylDorv error 70: writing values failed: ExecWrite of distribution 1 in context 1 of \"t.dorv\", "
                          "drawer 0: File too large");
        ZylDorvTransaction transaction(ctx);
        for (int i = 0; i < 200; ++i)
            ZylDorvContext(ctx).CreateCollection(i, -1);
        EXPECT_DORV_ERROR(transaction.Commit(), ZylDorvError_FileFlushFailed,
                          "ZylDorv error 13: flushing the database file failed: Commit of a transaction on context 1 of "
                          "\"t.dorv\": File too large");
        EXPECT_DORV_ERROR(db.Close(), ZylDorvError_FileCloseFailed,
                          "ZylDorv error 12: closing the database file failed: Close \"t.dorv\": File too large");
        EXPECT_FALSE(db.IsOpen()) << "the file is abandoned as it stands on disk";
        EXPECT_FALSE(transaction.IsActive());
    }
}

TEST_F(ErrorTest, AFailedValueWriteLeavesTheDatabaseUsable)
{
    const MatrixSetup m = MakeMatrix(ctx, 256, 256, {64, 64}, 1.0);
    db.Flush();
    {
        FileSizeLimit limit(static_cast<rlim_t>(FileSize("t.dorv")) + 1024);
        EXPECT_DORV_ERROR_HAS(WriteBlock(m, 0, 255, 0, 255, std::vector<double>(256 * 256, 2.0)),
                              ZylDorvError_ValueWriteFailed, "File too large");
    }
    WriteBlock(m, 0, 255, 0, 255, std::vector<double>(256 * 256, 3.0));
    db.Close();
    db.OpenFile(ZylDroviUnicodeString("t.dorv"), ZylDorvDatabase::OpenReadOnly);
    MatrixSetup again;
    again.distribution = ZylDorvDistribution(ZylDorvContext(db.ContextIDs()[0]).DistributionIDs()[0]);
    again.rows = ZylDorvCollectionID(db.ContextIDs()[0], m.rows.Minor(), -1);
    again.columns = ZylDorvCollectionID(db.ContextIDs()[0], m.columns.Minor(), -1);
    EXPECT_EQ(ReadBlock(again, 0, 255, 0, 255), std::vector<double>(256 * 256, 3.0));
}
