// Extending a drawer by new members of one of its collections; refusals are
// in dorv_errors_test.
#include "support/DatabaseTest.h"

#include <numeric>
#include <tuple>

using zyltest::MatrixSetup;
using zyltest::MembersOf;
using zyltest::RefMatrix;
using ExtensionTest = zyltest::DatabaseTest;

namespace {

ZylDorvPersistentDrawerDesc Drawer0(const MatrixSetup& m)
{
    ZylDorvArray<ZylDorvPersistentDrawerDesc> drawers;
    m.Distribution().QueryDrawers(drawers);
    return drawers[0];
}

void Extend(const MatrixSetup& m, ZylDorvCSetID added)
{
    ZylDorvTransfer t(m.Distribution());
    t.SetWrite(), t.SetDimExtension(added), t.CheckView(), t.InitializeExtension();
}

} // namespace

TEST_F(ExtensionTest, NewMembersReadAsTheInitializationValueAndOldValuesStay)
{
    // Rows past a one-block side; rows after a partial edge chunk; columns by an ordered CSet of new labels 7, 5.
    const std::tuple<int, int, int, int, bool> cases[] = {{30, 4, 100, 4, true}, {5, 3, 4, 3, true}, {3, 2, -1, -1, false}};
    const int added[] = {7, 5};
    for (const auto& c : cases) {
        int rows, columns, rowChunk, columnChunk;
        bool growRows;
        std::tie(rows, columns, rowChunk, columnChunk, growRows) = c;
        SCOPED_TRACE(rows);
        MatrixSetup m = MakeMatrix(rows, columns, rowChunk, columnChunk, 0.5);
        const RefMatrix old = FillRandom(m, 7);
        ZylDorvCollection grown(growRows ? m.rows : m.columns);
        const int oldSize = growRows ? rows : columns, axis = growRows ? 1 : 0;
        const ZylDorvCSetID extension = growRows ? grown.CreateCSetStrided(oldSize, 100, 1, 1) : grown.CreateOrderedCSet(added, 2);
        Extend(m, extension);
        (growRows ? m.numRows : m.numColumns) += ZylDorvCSet(extension).Size();

        const ZylDorvPersistentDrawerDesc d = Drawer0(m);
        EXPECT_EQ(std::make_tuple(d.DimSize(1), d.DimSize(0), d.IsChunked()), std::make_tuple(m.numRows, m.numColumns, rowChunk > 0));
        if (rowChunk > 0) {
            EXPECT_EQ(d.ChunkSize(1), rowChunk) << "the block geometry stays";
        }
        std::vector<int> members(static_cast<std::size_t>(oldSize));
        std::iota(members.begin(), members.end(), 0);
        for (int label : MembersOf(extension))
            members.push_back(label);
        EXPECT_EQ(MembersOf(d.DimCSetID(axis)), members);

        RefMatrix expected(m.numRows, m.numColumns, 0.5);
        for (int col = 0; col < columns; ++col)
            for (int r = 0; r < rows; ++r)
                expected(r, col) = old(r, col);
        expected(m.numRows - 1, m.numColumns - 1) = 9.0;
        RawWrite(m, m.numRows - 1, m.numRows - 1, m.numColumns - 1, m.numColumns - 1, &expected(m.numRows - 1, m.numColumns - 1));
        EXPECT_EQ(RawRead(m).v, expected.v);
    }
}

TEST_F(ExtensionTest, ExtensionInsideATransactionIsUndoneWithIt)
{
    const MatrixSetup m = MakeMatrix(6, 2, 3, 2, 1.0);
    const RefMatrix values = FillRandom(m, 3);
    {
        ZylDorvTransaction transaction(ctx);
        Extend(m, ZylDorvCollection(m.rows).CreateCSetStrided(6, 3, 1, 1));
        EXPECT_EQ(Drawer0(m).DimSize(1), 9);
    }
    EXPECT_EQ(Drawer0(m).DimSize(1), 6);
    EXPECT_EQ(Drawer0(m).DimCSetID(1), m.rowCSet);
    EXPECT_EQ(ZylDorvCollection(m.rows).Count(), 6) << "the strided CSet and the growth went too";
    EXPECT_EQ(RawRead(m).v, values.v);
    Extend(m, ZylDorvCollection(m.rows).CreateCSetStrided(6, 1, 1, 1));
    EXPECT_EQ(RawRead(m, 6, 6, 0, 1).v, (std::vector<double>{1.0, 1.0})) << "extending after the rollback starts from the old size";
}
