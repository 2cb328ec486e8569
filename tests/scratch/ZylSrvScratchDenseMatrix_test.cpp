// ZylSrvScratchDenseMatrix: its private database file, block geometry, CSets,
// views sharing the file, refusals and clean failure.
#include <mtx/ZylSrvScratchDenseMatrix.h>

#include <mtx/ZylSrvMatrix.h>
#include <mtx/impl/ZylSrvMtxErrors.h>
#include <platform/dorv/ZylDorvAPI.h>
#include <platform/dorv/ZylDorvTestSeam.h>
#include <platform/mem.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

const char* const kIllegalInputMessage = "ZylSrvMatrix::ZylSrvScratchDenseMatrix - Illegal input.";
const char* const kSource = "mtx/impl/ZylSrvScratchDenseMatrix";

// Names in the current directory, sorted.
std::vector<std::string> Directory()
{
    std::vector<std::string> names;
    if (DIR* d = opendir(".")) {
        while (dirent* e = readdir(d))
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
                names.push_back(e->d_name);
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The file name a scratch matrix at `address` uses, built independently.
std::string FileNameOf(const void* address)
{
    char text[64];
    std::snprintf(text, sizeof text, "%p", address);
    return std::string("ZylSrvScratchDenseMatrix") + text + ".dorv";
}

std::vector<int> MembersOf(ZylDorvCSetID id)
{
    const ZylDorvCSet cset(id);
    std::vector<int> members(static_cast<std::size_t>(cset.Size()));
    if (!members.empty())
        cset.OrderedMembers(members.data());
    return members;
}

std::vector<int> Ordinals(int count)
{
    std::vector<int> v(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        v[static_cast<std::size_t>(i)] = i;
    return v;
}

ZylDorvPersistentDrawerDesc DrawerOf(const ZylSrvDenseMatrix& m)
{
    ZylDorvArray<ZylDorvPersistentDrawerDesc> drawers;
    ZylDorvDistribution(m.DistributionID()).QueryDrawers(drawers);
    EXPECT_EQ(drawers.Size(), 1);
    return drawers.IsEmpty() ? ZylDorvPersistentDrawerDesc() : drawers[0];
}

std::vector<int> ChunksOf(const ZylSrvDenseMatrix& m)
{
    const ZylDorvArray<int> chunks = DrawerOf(m).ChunkSizes();
    return std::vector<int>(chunks.Data(), chunks.Data() + chunks.Size());
}

std::vector<int> RowBlocks(const ZylSrvDenseMatrix& m)
{
    std::vector<int> sizes;
    for (int b = 0; b < m.NumberOfRowBlocks(); ++b)
        sizes.push_back(m.NumberOfRowsInBlock(b));
    return sizes;
}

std::vector<int> ColumnBlocks(const ZylSrvDenseMatrix& m)
{
    std::vector<int> sizes;
    for (int b = 0; b < m.NumberOfColumnBlocks(); ++b)
        sizes.push_back(m.NumberOfColumnsInBlock(b));
    return sizes;
}

// Value (r, c) of the pattern written in several tests.
double Pattern(int r, int c) { return 1000.0 * r + c + 0.5; }

// Every value of m, read with one transfer into a buffer filled with 99 first.
std::vector<double> AllValues(const ZylSrvDenseMatrix& m)
{
    std::vector<double> values(static_cast<std::size_t>(m.NumberOfRows()) * m.NumberOfColumns(), 99.0);
    ZylSrvMatrix whole(m.NumberOfRows(), m.NumberOfColumns(), values.data());
    m.GetValues(0, m.NumberOfRows() - 1, 0, m.NumberOfColumns() - 1, whole);
    return values;
}

void WritePattern(ZylSrvDenseMatrix& m)
{
    ZylSrvMatrix whole(m.NumberOfRows(), m.NumberOfColumns());
    for (int c = 0; c < m.NumberOfColumns(); ++c)
        for (int r = 0; r < m.NumberOfRows(); ++r)
            whole.Values()[r + static_cast<std::size_t>(m.NumberOfRows()) * c] = Pattern(r, c);
    m.SetValues(0, m.NumberOfRows() - 1, 0, m.NumberOfColumns() - 1, whole);
}

// Runs `make`, which must throw ZylSrvMtxIllegalInput for the constructor.
template <typename Make>
void ExpectRefusedAsIllegalInput(Make make, const char* what)
{
    try {
        make();
        ADD_FAILURE() << what << ": no error";
    } catch (const ZylSrvMtxIllegalInput& e) {
        EXPECT_EQ(e.ErrorCode(), 206) << what;
        EXPECT_STREQ(e.AsString().Chars(), kIllegalInputMessage) << what;
        EXPECT_STREQ(e.Text().Chars(), "ZylSrvScratchDenseMatrix") << what;
        EXPECT_STREQ(e.File(), kSource) << what;
        EXPECT_GT(e.Line(), 0) << what;
    }
}

// A caller's own database, beside the scratch files; closed and removed at
// the end of the test.
class CallerDatabase {
public:
    CallerDatabase()
    {
        m_database.CreateFile(ZylDroviUnicodeString(kPath), ZylDorvDatabase::CreateExclusive, -1);
        m_context = m_database.CreateContext(ZylDorvNamespaceID::AllBits());
    }
    ~CallerDatabase()
    {
        m_database.Close();
        std::remove(kPath);
    }
    ZylDorvCollection NewCollection(int count)
    {
        return ZylDorvCollection(ZylDorvContext(m_context).CreateCollection(count, ZylDorvTypeID()));
    }
    ZylDorvContextID Context() const { return m_context; }
    static constexpr const char* kPath = "caller.dorv";

private:
    ZylDorvDatabase m_database;
    ZylDorvContextID m_context;
};

} // namespace

TEST(ZylSrvScratchDenseMatrix, KnowsItsBlocksAndReadsZerosBeforeAnyWrite)
{
    ZylSrvScratchDenseMatrix m(1000, 10, 300, 4);
    EXPECT_FALSE(m.IsNull());
    EXPECT_EQ(m.NumberOfRows(), 1000);
    EXPECT_EQ(m.NumberOfColumns(), 10);
    EXPECT_THAT(RowBlocks(m), ElementsAre(300, 300, 300, 100));
    EXPECT_THAT(ColumnBlocks(m), ElementsAre(4, 4, 2));
    EXPECT_EQ(m.BlockContainingRow(899), 2);
    EXPECT_EQ(m.BlockContainingRow(900), 3);
    EXPECT_EQ(m.FirstColumnInBlock(2), 8);
    // The drawer is chunked as the blocks: [columns, rows].
    EXPECT_THAT(ChunksOf(m), ElementsAre(4, 300));
    EXPECT_EQ(DrawerOf(m).DimSize(0), 10);
    EXPECT_EQ(DrawerOf(m).DimSize(1), 1000);

    const std::vector<double> before = AllValues(m);
    EXPECT_TRUE(std::all_of(before.begin(), before.end(), [](double v) { return v == 0.0; }));

    // Every value written comes back, across all block borders.
    WritePattern(m);
    const std::vector<double> after = AllValues(m);
    for (int c = 0; c < 10; ++c)
        for (int r = 0; r < 1000; ++r)
            ASSERT_EQ(after[r + 1000 * static_cast<std::size_t>(c)], Pattern(r, c)) << r << ", " << c;
}

TEST(ZylSrvScratchDenseMatrix, BlockSizeMinusOneSpansTheWholeSide)
{
    const ZylSrvScratchDenseMatrix whole(1000, 10, -1, -1);
    EXPECT_THAT(RowBlocks(whole), ElementsAre(1000));
    EXPECT_THAT(ColumnBlocks(whole), ElementsAre(10));
    EXPECT_FALSE(DrawerOf(whole).IsChunked());
    const std::vector<double> zeros = AllValues(whole);
    EXPECT_TRUE(std::all_of(zeros.begin(), zeros.end(), [](double v) { return v == 0.0; }));

    // One side whole, the other cut.
    const ZylSrvScratchDenseMatrix rowsWhole(1000, 10, -1, 4);
    EXPECT_THAT(RowBlocks(rowsWhole), ElementsAre(1000));
    EXPECT_THAT(ColumnBlocks(rowsWhole), ElementsAre(4, 4, 2));
    EXPECT_THAT(ChunksOf(rowsWhole), ElementsAre(4, 1000));
}

TEST(ZylSrvScratchDenseMatrix, BlockSizesLargerThanTheSideAreCutToIt)
{
    const ZylSrvScratchDenseMatrix m(1000, 10, 5000, 5000);
    EXPECT_THAT(RowBlocks(m), ElementsAre(1000));
    EXPECT_THAT(ColumnBlocks(m), ElementsAre(10));
    EXPECT_EQ(m.MaxNumberOfRowsInBlock(), 1000);
    EXPECT_THAT(ChunksOf(m), ElementsAre(10, 1000));
}

TEST(ZylSrvScratchDenseMatrix, NoDrawerChunkExceedsTwoGibibytes)
{
    // 300000 rows: a block of columns across all rows holds at most
    // 2^28 / 300000 = 894 columns; 1000 rows across 1000 columns stay.
    const ZylSrvScratchDenseMatrix m(300000, 1000, 1000, 1000);
    EXPECT_THAT(ChunksOf(m), ElementsAre(894, 1000));
    EXPECT_THAT(ColumnBlocks(m), ElementsAre(894, 106));
    EXPECT_EQ(m.NumberOfRowBlocks(), 300);
    ZylSrvMatrix corner(2, 2);
    m.GetValues(299998, 299999, 998, 999, corner);
    EXPECT_THAT(std::vector<double>(corner.Values(), corner.Values() + 4), ElementsAre(0.0, 0.0, 0.0, 0.0));
}

TEST(ZylSrvScratchDenseMatrix, MemberListsAppearInOrderInTheScratchCSets)
{
    const int rows[5] = {5, 2, 9, 0, 7};
    const int columns[3] = {30, 10, 20};

    const ZylSrvScratchDenseMatrix both(5, 3, rows, columns, 2, 2);
    EXPECT_THAT(MembersOf(both.RowCSetID()), ElementsAreArray(rows));
    EXPECT_THAT(MembersOf(both.ColumnCSetID()), ElementsAreArray(columns));
    // The matrix's CSets are those of its drawer.
    EXPECT_EQ(DrawerOf(both).DimCSetID(1), both.RowCSetID());
    EXPECT_EQ(DrawerOf(both).DimCSetID(0), both.ColumnCSetID());

    const ZylSrvScratchDenseMatrix rowsOnly(5, 3, rows, nullptr, 2, 2);
    EXPECT_THAT(MembersOf(rowsOnly.RowCSetID()), ElementsAreArray(rows));
    EXPECT_THAT(MembersOf(rowsOnly.ColumnCSetID()), ElementsAre(0, 1, 2));

    const ZylSrvScratchDenseMatrix columnsOnly(5, 3, nullptr, columns, 2, 2);
    EXPECT_THAT(MembersOf(columnsOnly.RowCSetID()), ElementsAre(0, 1, 2, 3, 4));
    EXPECT_THAT(MembersOf(columnsOnly.ColumnCSetID()), ElementsAreArray(columns));

    const ZylSrvScratchDenseMatrix none(40, 7, 16, 3);
    EXPECT_THAT(MembersOf(none.RowCSetID()), ElementsAreArray(Ordinals(40)));
    EXPECT_THAT(MembersOf(none.ColumnCSetID()), ElementsAreArray(Ordinals(7)));
    // Rows and columns are two collections of the scratch database.
    EXPECT_NE(none.RowCSetID().CollectionID(), none.ColumnCSetID().CollectionID());
    EXPECT_EQ(none.RowCSetID().CollectionID().Context(), none.ColumnCSetID().CollectionID().Context());
}

TEST(ZylSrvScratchDenseMatrix, BuiltFromCallerCSetsReportsThemAndItsViewsReportScratchCSets)
{
    CallerDatabase caller;
    ZylDorvCollection rowCollection = caller.NewCollection(50);
    ZylDorvCollection columnCollection = caller.NewCollection(20);
    const int rowLabels[12] = {49, 3, 17, 8, 41, 0, 22, 35, 9, 14, 30, 6};
    const ZylDorvCSetID rowCSet = rowCollection.CreateOrderedCSet(rowLabels, 12);
    const ZylDorvCSetID columnCSet = columnCollection.CreateCSetStrided(3, 8, 1, 1); // 3 .. 10

    ZylSrvScratchDenseMatrix m(rowCSet, columnCSet, 5, 3);
    EXPECT_EQ(m.NumberOfRows(), 12);
    EXPECT_EQ(m.NumberOfColumns(), 8);
    EXPECT_THAT(RowBlocks(m), ElementsAre(5, 5, 2));
    EXPECT_THAT(ColumnBlocks(m), ElementsAre(3, 3, 2));
    EXPECT_EQ(m.RowCSetID(), rowCSet);
    EXPECT_EQ(m.ColumnCSetID(), columnCSet);

    // The values are addressed through scratch CSets with the same members.
    const ZylDorvCSetID scratchRows = m.ZylSrvDenseMatrix::RowCSetID();
    const ZylDorvCSetID scratchColumns = m.ZylSrvDenseMatrix::ColumnCSetID();
    EXPECT_NE(scratchRows.CollectionID().Context(), caller.Context());
    EXPECT_NE(scratchColumns.CollectionID().Context(), caller.Context());
    EXPECT_THAT(MembersOf(scratchRows), ElementsAreArray(rowLabels));
    EXPECT_THAT(MembersOf(scratchColumns), ElementsAre(3, 4, 5, 6, 7, 8, 9, 10));
    EXPECT_EQ(DrawerOf(m).DimCSetID(1), scratchRows);

    // A view: sub-CSets of the scratch CSets, not the caller's.
    std::unique_ptr<ZylSrvDenseMatrix> view(m.Submatrix(2, 6, 1, 4));
    ASSERT_NE(dynamic_cast<ZylSrvScratchDenseMatrix*>(view.get()), nullptr);
    EXPECT_NE(view->RowCSetID(), rowCSet);
    EXPECT_EQ(view->RowCSetID().CollectionID(), scratchRows.CollectionID());
    EXPECT_EQ(view->ColumnCSetID().CollectionID(), scratchColumns.CollectionID());
    EXPECT_THAT(MembersOf(view->RowCSetID()), ElementsAre(17, 8, 41, 0, 22));
    EXPECT_THAT(MembersOf(view->ColumnCSetID()), ElementsAre(4, 5, 6, 7));

    // A view of the whole matrix reports the scratch CSets themselves.
    std::unique_ptr<ZylSrvDenseMatrix> whole(m.Submatrix(0, 11, 0, 7));
    EXPECT_EQ(whole->RowCSetID(), scratchRows);
    EXPECT_EQ(whole->ColumnCSetID(), scratchColumns);

    // The caller's database gained nothing: its collections keep their CSets.
    EXPECT_EQ(ZylDorvContext(caller.Context()).DistributionIDs().Size(), 0);
    EXPECT_EQ(ZylDorvContext(caller.Context()).CollectionIDs().Size(), 2);
}

TEST(ZylSrvScratchDenseMatrix, FileIsNamedAfterTheObjectInTheCurrentDirectory)
{
    EXPECT_THAT(Directory(), IsEmpty());
    auto* m = new ZylSrvScratchDenseMatrix(20, 30, 8, 8);
    EXPECT_THAT(Directory(), ElementsAre(FileNameOf(m)));
    delete m;
    EXPECT_THAT(Directory(), IsEmpty());

    // A matrix on the stack likewise.
    {
        const ZylSrvScratchDenseMatrix local(3, 3, -1, -1);
        EXPECT_THAT(Directory(), ElementsAre(FileNameOf(&local)));
    }
    EXPECT_THAT(Directory(), IsEmpty());
}

TEST(ZylSrvScratchDenseMatrix, TwoLiveMatricesUseTwoFiles)
{
    auto first = std::make_unique<ZylSrvScratchDenseMatrix>(6, 4, 3, 3);
    auto second = std::make_unique<ZylSrvScratchDenseMatrix>(6, 4, 3, 3);
    std::vector<std::string> expected = {FileNameOf(first.get()), FileNameOf(second.get())};
    std::sort(expected.begin(), expected.end());
    EXPECT_NE(expected[0], expected[1]);
    EXPECT_THAT(Directory(), ElementsAreArray(expected));

    // Independent values.
    ZylSrvMatrix one(1, 1);
    one.Values()[0] = 7.0;
    first->SetValues(5, 5, 3, 3, one);
    ZylSrvMatrix read(1, 1);
    second->GetValues(5, 5, 3, 3, read);
    EXPECT_EQ(read.Values()[0], 0.0);
    first->GetValues(5, 5, 3, 3, read);
    EXPECT_EQ(read.Values()[0], 7.0);

    first.reset();
    EXPECT_THAT(Directory(), ElementsAre(FileNameOf(second.get())));
    second.reset();
    EXPECT_THAT(Directory(), IsEmpty());
}

TEST(ZylSrvScratchDenseMatrix, ViewsKeepTheFileUntilTheLastHolderGoesInEitherOrder)
{
    for (int order = 0; order < 2; ++order) {
        auto* m = new ZylSrvScratchDenseMatrix(10, 7, 4, 3);
        const std::string name = FileNameOf(m);
        WritePattern(*m);
        ZylSrvDenseMatrix* view = m->Submatrix(5, 8, 2, 6);
        ZylSrvDenseMatrix* viewOfView = view->Submatrix(1, 3, 0, 0); // parent rows 6..8, column 2
        EXPECT_THAT(Directory(), ElementsAre(name)) << "views make no file of their own";
        if (order == 0) {
            delete m;
            EXPECT_THAT(Directory(), ElementsAre(name)) << "matrix gone, views alive";
            // The views still read the values.
            ZylSrvMatrix values(3, 1);
            viewOfView->GetValues(0, 2, 0, 0, values);
            EXPECT_THAT(std::vector<double>(values.Values(), values.Values() + 3),
                        ElementsAre(Pattern(6, 2), Pattern(7, 2), Pattern(8, 2)));
            delete view;
            EXPECT_THAT(Directory(), ElementsAre(name)) << "one view left";
            delete viewOfView;
        } else {
            delete viewOfView;
            delete view;
            EXPECT_THAT(Directory(), ElementsAre(name)) << "views gone, matrix alive";
            delete m;
        }
        EXPECT_THAT(Directory(), IsEmpty()) << "order " << order;
    }
}

TEST(ZylSrvScratchDenseMatrix, ViewsShareTheValuesAndTheBlocksOfTheirParent)
{
    ZylSrvScratchDenseMatrix m(1000, 10, 300, 4);
    std::unique_ptr<ZylSrvDenseMatrix> view(m.Submatrix(250, 649, 3, 9));
    EXPECT_EQ(view->NumberOfRows(), 400);
    EXPECT_EQ(view->NumberOfColumns(), 7);
    EXPECT_THAT(RowBlocks(*view), ElementsAre(50, 300, 50));
    EXPECT_THAT(ColumnBlocks(*view), ElementsAre(1, 4, 2));

    // Written through the view, seen through the parent at the offset.
    ZylSrvMatrix band(400, 7);
    for (int c = 0; c < 7; ++c)
        for (int r = 0; r < 400; ++r)
            band.Values()[r + 400 * c] = Pattern(r, c);
    view->SetValues(0, 399, 0, 6, band);
    const std::vector<double> all = AllValues(m);
    for (int c = 0; c < 10; ++c)
        for (int r = 0; r < 1000; ++r) {
            const bool inside = r >= 250 && r <= 649 && c >= 3;
            const double expected = inside ? Pattern(r - 250, c - 3) : 0.0;
            ASSERT_EQ(all[r + 1000 * static_cast<std::size_t>(c)], expected) << r << ", " << c;
        }

    // Written through the parent, seen through the view.
    ZylSrvMatrix one(1, 1);
    one.Values()[0] = -4.25;
    m.SetValues(300, 300, 4, 4, one);
    ZylSrvMatrix read(1, 1);
    view->GetValues(50, 50, 1, 1, read);
    EXPECT_EQ(read.Values()[0], -4.25);
}

TEST(ZylSrvScratchDenseMatrix, ProductsOfScratchMatricesMatchPlainLoops)
{
    // C = A * B with all three in scratch databases, bands cut across blocks.
    const int m = 23, k = 17, n = 11;
    ZylSrvScratchDenseMatrix a(m, k, 5, 4);
    ZylSrvScratchDenseMatrix b(k, n, 6, 3);
    ZylSrvScratchDenseMatrix c(m, n, 7, 5);
    ZylSrvMatrix av(m, k), bv(k, n);
    for (int j = 0; j < k; ++j)
        for (int i = 0; i < m; ++i)
            av.Values()[i + m * j] = 0.25 * i - 0.5 * j + 1.0;
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < k; ++i)
            bv.Values()[i + k * j] = (i * 7 + j * 3) % 5 - 2.0;
    a.SetValues(0, m - 1, 0, k - 1, av);
    b.SetValues(0, k - 1, 0, n - 1, bv);
    a.Multiply(b, c);

    const std::vector<double> product = AllValues(c);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < m; ++i) {
            double expected = 0.0;
            for (int l = 0; l < k; ++l)
                expected += (0.25 * i - 0.5 * l + 1.0) * ((l * 7 + j * 3) % 5 - 2.0);
            ASSERT_DOUBLE_EQ(product[i + m * static_cast<std::size_t>(j)], expected) << i << ", " << j;
        }
}

TEST(ZylSrvScratchDenseMatrix, DefaultMatrixIsNullAndMakesNoFile)
{
    ZylSrvScratchDenseMatrix m;
    EXPECT_TRUE(m.IsNull());
    EXPECT_EQ(m.NumberOfRows(), 0);
    EXPECT_EQ(m.NumberOfColumns(), 0);
    EXPECT_TRUE(m.RowCSetID().IsNull());
    EXPECT_TRUE(m.ColumnCSetID().IsNull());
    EXPECT_THAT(Directory(), IsEmpty());
    // It has nothing to view.
    try {
        std::unique_ptr<ZylSrvDenseMatrix> view(m.Submatrix(0, 0, 0, 0));
        ADD_FAILURE() << "a view of a null matrix";
    } catch (const ZylSrvMtxIllegalInput& e) {
        EXPECT_STREQ(e.Text().Chars(), "Submatrix");
    }
    EXPECT_THAT(Directory(), IsEmpty());
}

TEST(ZylSrvScratchDenseMatrix, ViewOutsideTheParentIsRefusedAndLeavesTheFileAlone)
{
    ZylSrvScratchDenseMatrix m(10, 7, 4, 3);
    const int ranges[][4] = {{-1, 3, 0, 0}, {0, 10, 0, 0}, {4, 3, 0, 0}, {0, 0, -1, 2}, {0, 0, 0, 7}, {0, 0, 3, 2}};
    for (const auto& r : ranges) {
        try {
            std::unique_ptr<ZylSrvDenseMatrix> view(m.Submatrix(r[0], r[1], r[2], r[3]));
            ADD_FAILURE() << "rows " << r[0] << ".." << r[1] << " columns " << r[2] << ".." << r[3];
        } catch (const ZylSrvMtxIllegalInput& e) {
            EXPECT_EQ(e.ErrorCode(), 206);
            EXPECT_STREQ(e.AsString().Chars(), "ZylSrvMatrix::Submatrix - Illegal input.");
        }
    }
    EXPECT_THAT(Directory(), ElementsAre(FileNameOf(&m)));
    std::unique_ptr<ZylSrvDenseMatrix> fine(m.Submatrix(9, 9, 6, 6));
    EXPECT_EQ(fine->NumberOfRows(), 1);
}

TEST(ZylSrvScratchDenseMatrix, EmptySidesAndBadBlockSizesAreRefusedBeforeAnyFileIsMade)
{
    const long liveBefore = mem_LiveBlocks();
    ExpectRefusedAsIllegalInput([] { ZylSrvScratchDenseMatrix m(0, 10, 4, 4); }, "no rows");
    ExpectRefusedAsIllegalInput([] { ZylSrvScratchDenseMatrix m(10, 0, 4, 4); }, "no columns");
    ExpectRefusedAsIllegalInput([] { ZylSrvScratchDenseMatrix m(-3, 5, 4, 4); }, "negative rows");
    ExpectRefusedAsIllegalInput([] { ZylSrvScratchDenseMatrix m(5, -1, 4, 4); }, "negative columns");
    ExpectRefusedAsIllegalInput([] { ZylSrvScratchDenseMatrix m(5, 5, 0, 4); }, "row block 0");
    ExpectRefusedAsIllegalInput([] { ZylSrvScratchDenseMatrix m(5, 5, 4, 0); }, "column block 0");
    ExpectRefusedAsIllegalInput([] { ZylSrvScratchDenseMatrix m(5, 5, -2, 4); }, "row block -2");
    ExpectRefusedAsIllegalInput([] { ZylSrvScratchDenseMatrix m(5, 5, 4, -7); }, "column block -7");
    const int members[1] = {3};
    ExpectRefusedAsIllegalInput([&] { ZylSrvScratchDenseMatrix m(0, 1, nullptr, members, 4, 4); },
                                "no rows with members");
    EXPECT_THAT(Directory(), IsEmpty());
    EXPECT_EQ(mem_LiveBlocks(), liveBefore);

    // An empty CSet of the caller's database gives an empty side.
    CallerDatabase caller;
    ZylDorvCollection rows = caller.NewCollection(4);
    ZylDorvCollection columns = caller.NewCollection(4);
    const ZylDorvCSetID empty = rows.CreateCSetStrided(0, 0, 1, 1);
    ExpectRefusedAsIllegalInput([&] { ZylSrvScratchDenseMatrix m(empty, columns.BiggestCSetID(), 2, 2); },
                                "empty row CSet");
    ExpectRefusedAsIllegalInput([&] { ZylSrvScratchDenseMatrix m(rows.BiggestCSetID(), empty, 2, 2); },
                                "empty column CSet");
    EXPECT_THAT(Directory(), ElementsAre(CallerDatabase::kPath));

    // A null CSet is the database's to refuse, also before any file exists.
    try {
        ZylSrvScratchDenseMatrix m(ZylDorvCSetID(), columns.BiggestCSetID(), 2, 2);
        ADD_FAILURE() << "null CSet accepted";
    } catch (const ZylDorvException& e) {
        EXPECT_EQ(e.Number(), ZylDorvError_NullIdentifier);
    }
    EXPECT_THAT(Directory(), ElementsAre(CallerDatabase::kPath));
}

TEST(ZylSrvScratchDenseMatrix, ConstructorThatFailsPartWayLeavesNoFile)
{
    const long liveBefore = mem_LiveBlocks();

    // The drawer cannot be made: the transaction is rolled back, the file goes.
    ZylDorvTestSeam::FailValueWrites(1, ZylDorvError_DrawerCreateFailed);
    try {
        ZylSrvScratchDenseMatrix m(100, 20, 10, 10);
        ADD_FAILURE() << "drawer failure not reported";
    } catch (const ZylDorvException& e) {
        EXPECT_EQ(e.Number(), ZylDorvError_DrawerCreateFailed);
        EXPECT_THAT(e.Description(), ::testing::HasSubstr("ZylSrvScratchDenseMatrix"));
    }
    ZylDorvTestSeam::Clear();
    EXPECT_THAT(Directory(), IsEmpty());

    // The context cannot be recorded in the new file.
    ZylDorvTestSeam::FailRecordWrites(1, ZylDorvError_MetadataWriteFailed);
    try {
        ZylSrvScratchDenseMatrix m(100, 20, 10, 10);
        ADD_FAILURE() << "record failure not reported";
    } catch (const ZylDorvException& e) {
        EXPECT_EQ(e.Number(), ZylDorvError_MetadataWriteFailed);
    }
    ZylDorvTestSeam::Clear();
    EXPECT_THAT(Directory(), IsEmpty());

    // A member list the database refuses (a label twice).
    const int twice[3] = {1, 4, 1};
    try {
        ZylSrvScratchDenseMatrix m(3, 2, twice, nullptr, 2, 2);
        ADD_FAILURE() << "duplicate label accepted";
    } catch (const ZylDorvException& e) {
        EXPECT_EQ(e.Number(), ZylDorvError_DuplicateLabel);
    }
    EXPECT_THAT(Directory(), IsEmpty());
    EXPECT_EQ(mem_LiveBlocks(), liveBefore);

    // A file that already has the matrix's name is not ours: construction
    // fails and the file stays as it was.
    void* place = ::operator new(sizeof(ZylSrvScratchDenseMatrix));
    const std::string name = FileNameOf(place);
    if (FILE* f = std::fopen(name.c_str(), "w")) {
        std::fputs("not a database", f);
        std::fclose(f);
    }
    try {
        ::new (place) ZylSrvScratchDenseMatrix(3, 3, 2, 2);
        ADD_FAILURE() << "created over an existing file";
        static_cast<ZylSrvScratchDenseMatrix*>(place)->~ZylSrvScratchDenseMatrix();
    } catch (const ZylDorvException& e) {
        EXPECT_EQ(e.Number(), ZylDorvError_FileCreateFailed);
    }
    ::operator delete(place);
    EXPECT_THAT(Directory(), ElementsAre(name));
    char text[32] = {};
    if (FILE* f = std::fopen(name.c_str(), "r")) {
        EXPECT_NE(std::fgets(text, sizeof text, f), nullptr);
        std::fclose(f);
    }
    EXPECT_STREQ(text, "not a database");
    std::remove(name.c_str());

    // Every allocation of the construction failing in turn.
    int failures = 0;
    bool built = false;
    for (long n = 1; n < 1000 && !built; ++n) {
        mem_FailAllocation(n, false);
        try {
            ZylSrvScratchDenseMatrix m(30, 20, 7, 6);
            built = true;
            mem_ClearFailure();
            EXPECT_THAT(MembersOf(m.RowCSetID()), ElementsAreArray(Ordinals(30)));
        } catch (const mem_AllocationFailure&) {
            ++failures;
        }
        mem_ClearFailure();
        ASSERT_THAT(Directory(), IsEmpty()) << "allocation " << n;
        ASSERT_EQ(mem_LiveBlocks(), liveBefore) << "allocation " << n;
    }
    EXPECT_TRUE(built);
    EXPECT_GT(failures, 2);
}
