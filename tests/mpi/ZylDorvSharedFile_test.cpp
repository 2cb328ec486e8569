// The database on a file that every rank shares: collective metadata calls,
// independent value transfers seen by all after a collective call, failures
// on one rank raised on every rank.
#include "support/DatabaseTest.h"

#include <mtx/ZylSrvLinearAlgebra.h>
#include <mtx/ZylSrvScratchDenseMatrix.h>
#include <mtx/impl/ZylSrvMtxErrors.h>
#include <mtx/mpi/ZylSrvLinearAlgebraParallel.h>
#include <platform/dorv/ZylDorvProcessGroup.h>

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <typeinfo>

namespace {

int Rank() { return ZylDorvProcessGroup::Rank(); }
int Size() { return ZylDorvProcessGroup::Size(); }

// Whether `text` is the same on every rank (its hash reduced both ways).
bool SameOnEveryRank(const std::string& text)
{
    const unsigned long long mine = std::hash<std::string>()(text);
    unsigned long long low = 0, high = 0;
    MPI_Allreduce(&mine, &low, 1, MPI_UNSIGNED_LONG_LONG, MPI_MIN, MPI_COMM_WORLD);
    MPI_Allreduce(&mine, &high, 1, MPI_UNSIGNED_LONG_LONG, MPI_MAX, MPI_COMM_WORLD);
    return low == high;
}

// The value every test writes at row i, column j.
double ValueAt(int i, int j) { return 1000.0 * i + j + 0.25; }

// What rank 0 sees in the test's directory (shared by all ranks).
std::string ListingOfRankZero()
{
    std::string names;
    if (Rank() == 0)
        for (const auto& entry : std::filesystem::directory_iterator("."))
            names += entry.path().filename().string() + " ";
    MPI_Barrier(MPI_COMM_WORLD);
    return names;
}

class SharedDatabase : public zyltest::DatabaseTest {
protected:
    void SetUp() override
    {
        ZylSrvLinearAlgebra_initialize_parallel(m_tally, MPI_COMM_WORLD);
        m_blocks = mem_LiveBlocks();
        DatabaseTest::SetUp();
    }
    void TearDown() override
    {
        DatabaseTest::TearDown();
        EXPECT_EQ(mem_LiveBlocks(), m_blocks) << "the library's own blocks (Open MPI's escape the sanitizer)";
        ZylSrvLinearAlgebra_finalize(m_tally);
    }

    // Runs `call` on every rank with a failure of `arm` forced on the last
    // rank alone; expects every rank to raise the same ZylDorvException.
    static void ExpectRaisedEverywhere(const std::function<void()>& arm, const std::function<void()>& call,
                                       int number)
    {
        ZylDorvTestSeam::Clear();
        if (Rank() == Size() - 1)
            arm();
        std::string description = "nothing raised", report;
        try {
            call();
        } catch (const ZylDorvException& e) {
            EXPECT_EQ(e.Number(), number);
            description = e.Description();
            report = e.DeveloperReport().Chars();
        }
        ZylDorvTestSeam::Clear();
        EXPECT_NE(description.find("failure forced by the test seam"), std::string::npos) << description;
        EXPECT_NE(report.find("(rank " + std::to_string(Size() - 1) + ")"), std::string::npos) << report;
        EXPECT_TRUE(SameOnEveryRank(description + report));
    }

private:
    int m_tally = 0;
    long m_blocks = 0;
};

TEST_F(SharedDatabase, MetadataCallsGiveEveryRankTheSameRecordsBeforeAndAfterReopening)
{
    const zyltest::MatrixSetup m = MakeMatrix(37, 11, 8, 4, 2.5);
    Context().DefineType("mode");
    const std::string made = std::to_string(ctx.Number()) + "/" + std::to_string(m.id.Number()) + "/" +
                             std::to_string(Context().CollectionIDs().Size());
    EXPECT_TRUE(SameOnEveryRank(made)) << made;
    db.Close();
    db.OpenFile(ZylDroviUnicodeString(kPath), ZylDorvDatabase::OpenReadWrite);
    ASSERT_EQ(db.ContextIDs().Size(), 1);
    ctx = db.ContextIDs()[0];
    ASSERT_EQ(Context().DistributionIDs().Size(), 1);
    const zyltest::MatrixSetup back = zyltest::MatrixSetupOf(Context().DistributionIDs()[0]);
    EXPECT_EQ(back.numRows, 37);
    EXPECT_EQ(back.numColumns, 11);
    EXPECT_EQ(Context().Schema().NumTypes(), 1);
    EXPECT_EQ(RawRead(back)(36, 10), 2.5) << "a value never written reads as the initialization value";
    EXPECT_TRUE(SameOnEveryRank(made + "/" + std::to_string(back.id.Number())));
}

TEST_F(SharedDatabase, RectanglesWrittenByEachRankAreSeenByAllAfterACollectiveCall)
{
    const int rows = 37, columns = 11;
    const zyltest::MatrixSetup m = MakeMatrix(rows, columns, 8, 4, 2.5);
    // Each rank its own band of rows (bands that split chunks), the last column never written.
    const int first = rows * Rank() / Size(), last = rows * (Rank() + 1) / Size() - 1;
    zyltest::RefMatrix band(last - first + 1, columns - 1, 0.0);
    for (int i = first; i <= last; ++i)
        for (int j = 0; j < columns - 1; ++j)
            band(i - first, j) = ValueAt(i, j);
    if (last >= first)
        RawWrite(m, first, last, 0, columns - 2, band.data());
    db.Flush();
    const zyltest::RefMatrix all = RawRead(m);
    int wrong = 0;
    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < columns; ++j)
            wrong += all(i, j) != (j == columns - 1 ? 2.5 : ValueAt(i, j));
    EXPECT_EQ(wrong, 0);
}

TEST_F(SharedDatabase, AFailureOnOneRankIsRaisedOnEveryRankAndTakesBackWhatTheCallMade)
{
    const ZylDorvCollectionID rows = NewCollection(9), columns = NewCollection(5);
    const int collections = Context().CollectionIDs().Size();
    ExpectRaisedEverywhere([] { ZylDorvTestSeam::FailRecordWrites(1, ZylDorvError_MetadataWriteFailed, 2); },
                           [this] { NewCollection(4); }, ZylDorvError_MetadataWriteFailed);
    EXPECT_EQ(Context().CollectionIDs().Size(), collections);

    const ZylDorvDistributionID id = Context().CreateDistribution(
        ZylDorvGrid{columns, rows}, ZylDorvRangeType(ZylDorvTypeKey::Double), ZylDorvTypeID());
    ExpectRaisedEverywhere([] { ZylDorvTestSeam::FailValueWrites(1, ZylDorvError_ValueWriteFailed); },
                           [&] {
                               ZylDorvTransfer make{ZylDorvDistribution(id)};
                               make.SetMakeNewDrawerChunked(ZylDorvArray<int>{2, 4});
                               make.SetWrite();
                               make.SetDim(0, AllOf(columns));
                               make.SetDim(1, AllOf(rows));
                               make.CheckView();
                               make.InitializePersistentDrawer();
                           },
                           ZylDorvError_ValueWriteFailed);
    EXPECT_EQ(zyltest::DrawersOf(id).Size(), 0);
    db.Flush(); // the group goes on with the file
}

TEST_F(SharedDatabase, AFileThatOneRankCannotOpenIsMadeOnNoneAndLeftNowhere)
{
    db.Close();
    std::remove(kPath);
    MPI_Barrier(MPI_COMM_WORLD);
    ExpectRaisedEverywhere([] { ZylDorvTestSeam::FailFileOpens(1, ZylDorvError_FileNotCreatable); },
                           [this] { db.CreateFile(ZylDroviUnicodeString(kPath), ZylDorvDatabase::CreateExclusive, -1); },
                           ZylDorvError_FileNotCreatable);
    EXPECT_FALSE(db.IsOpen());
    EXPECT_EQ(ListingOfRankZero(), "");
    // The name is free again for the group.
    db.CreateFile(ZylDroviUnicodeString(kPath), ZylDorvDatabase::CreateExclusive, -1);
    const std::string listing = ListingOfRankZero();
    EXPECT_EQ(listing, Rank() == 0 ? "test.dorv " : "");
}

// The scratch matrix's file: one for all ranks, in rank 0's directory, made
// and removed once; a rank elsewhere makes every rank refuse it.
TEST_F(SharedDatabase, AScratchMatrixSharesOneFileThatGoesWithIt)
{
    db.Close();
    std::remove(kPath);
    {
        ZylSrvScratchDenseMatrix scratch(20, 6, 8, 3);
        const std::string listing = ListingOfRankZero();
        if (Rank() == 0) {
            EXPECT_EQ(listing.rfind("ZylSrvScratchDenseMatrix0x", 0), 0u) << listing;
        }
        EXPECT_EQ(listing.find(' '), Rank() == 0 ? listing.size() - 1 : std::string::npos) << "one file: " << listing;
    }
    EXPECT_EQ(ListingOfRankZero(), "");
    if (Size() == 1)
        return;
    const std::string here = std::filesystem::current_path().string();
    if (Rank() == 0)
        std::filesystem::create_directory("elsewhere");
    MPI_Barrier(MPI_COMM_WORLD);
    if (Rank() == Size() - 1) {
        ASSERT_EQ(::chdir("elsewhere"), 0);
    }
    int raised = 0;
    try {
        ZylSrvScratchDenseMatrix refused(4, 4, -1, -1);
    } catch (const ZylDorvException& e) {
        raised = e.Number();
    }
    ASSERT_EQ(::chdir(here.c_str()), 0);
    EXPECT_EQ(raised, ZylDorvError_InvalidArgument);
    MPI_Barrier(MPI_COMM_WORLD);
    if (Rank() == 0)
        std::filesystem::remove("elsewhere");
    EXPECT_EQ(ListingOfRankZero(), "");
}

// The library's own errors travel too: each row raises one on the last rank
// inside a collective step; every rank raises it as the same type and text.
TEST_F(SharedDatabase, ALibraryErrorOfOneRankIsRaisedOnEveryRankAsItself)
{
    constexpr zyl_mtx::RaiseSource kSource("mtx/impl/ZylSrvDenseMatrix");
    const std::vector<std::function<void()>> raises = {
        [&] { zyl_mtx::Raise<ZylSrvMtxIllegalInput>(kSource, 17, "Multiply"); },
        [&] { zyl_mtx::Raise<ZylSrvMtxInvalidSetRange>(kSource, 554); },
        [&] { zyl_mtx::Raise<ZylSrvMtxSolveIllegalArg>(kSource, 9, 4); },
    };
    for (std::size_t row = 0; row < raises.size(); ++row) {
        SCOPED_TRACE(row);
        std::string seen = "nothing raised";
        try {
            ZylDorvProcessGroup::Collectively([&] {
                if (Rank() == Size() - 1)
                    raises[row]();
            });
        } catch (const ZylBasException& e) {
            seen = std::string(typeid(e).name()) + " " + std::to_string(e.ErrorCode()) + " " + e.DeveloperReport().Chars();
        }
        EXPECT_NE(seen.find("(rank " + std::to_string(Size() - 1) + ") [mtx/impl/ZylSrvDenseMatrix:"), std::string::npos)
            << seen;
        EXPECT_TRUE(SameOnEveryRank(seen)) << seen;
        if (Rank() == 0 && row == 0) {
            EXPECT_NE(seen.find("ZylSrvMtxIllegalInput 206 ZylSrvMatrix::Multiply - Illegal input."), std::string::npos);
        }
    }
}

} // namespace
