// Extending a drawer by new members of one of its collections; refusals are
// in dorv_errors_test.
#include "support/DatabaseTest.h"

#include <numeric>

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
    t.SetWrite();
    t.SetDimExtension(added);
    t.CheckView();
    t.InitializeExtension();
}

} // namespace

TEST_F(ExtensionTest, NewMembersReadAsTheInitializationValueAndOldValuesStay)
{
    struct Case {
        const char* what;
        int rows, columns, rowChunk, columnChunk;
        bool growRows;
        std::vector<int> added; // labels of the new members, in order
    } const cases[] = {
        {"rows past a one-block side", 30, 4, 100, 4, true, {}},
        {"rows after a partial edge chunk", 5, 3, 4, 3, true, {}},
        {"columns by an ordered CSet of new labels", 3, 2, -1, -1, false, {7, 5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MatrixSetup m = MakeMatrix(c.rows, c.columns, c.rowChunk, c.columnChunk, 0.5);
        const RefMatrix old = FillRandom(m, 7);
        ZylDorvCollection grown(c.growRows ? m.rows : m.columns);
        const int oldSize = c.growRows ? c.rows : c.columns;
        const ZylDorvCSetID added = c.added.empty() ? grown.CreateCSetStrided(oldSize, 100, 1, 1)
                                                    : grown.CreateOrderedCSet(c.added.data(), 2);
        const int addedSize = ZylDorvCSet(added).Size();
        Extend(m, added);

        const ZylDorvPersistentDrawerDesc d = Drawer0(m);
        const int axis = c.growRows ? 1 : 0;
        EXPECT_EQ(d.DimSize(axis), oldSize + addedSize);
        EXPECT_EQ(d.DimSize(1 - axis), c.growRows ? c.columns : c.rows);
        EXPECT_EQ(d.IsChunked(), c.rowChunk > 0);
        if (c.rowChunk > 0) {
            EXPECT_EQ(d.ChunkSize(1), c.rowChunk) << "the block geometry stays";
        }
        std::vector<int> members(static_cast<std::size_t>(oldSize));
        std::iota(members.begin(), members.end(), 0);
        const std::vector<int> addedMembers = MembersOf(added);
        members.insert(members.end(), addedMembers.begin(), addedMembers.end());
        EXPECT_EQ(MembersOf(d.DimCSetID(axis)), members);

        (c.growRows ? m.numRows : m.numColumns) += addedSize;
        RefMatrix expected(m.numRows, m.numColumns, 0.5);
        for (int col = 0; col < c.columns; ++col)
            for (int r = 0; r < c.rows; ++r)
                expected(r, col) = old(r, col);
        EXPECT_EQ(RawRead(m).v, expected.v);
        const double nine = 9.0;
        RawWrite(m, m.numRows - 1, m.numRows - 1, m.numColumns - 1, m.numColumns - 1, &nine);
        expected(m.numRows - 1, m.numColumns - 1) = 9.0;
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
    const ZylDorvPersistentDrawerDesc d = Drawer0(m);
    EXPECT_EQ(d.DimSize(1), 6);
    EXPECT_EQ(d.DimCSetID(1), m.rowCSet);
    EXPECT_EQ(ZylDorvCollection(m.rows).Count(), 6) << "the strided CSet and the growth went too";
    EXPECT_EQ(RawRead(m).v, values.v);
    // Extending again after the rollback starts from the old size.
    Extend(m, ZylDorvCollection(m.rows).CreateCSetStrided(6, 1, 1, 1));
    EXPECT_EQ(RawRead(m, 6, 6, 0, 1).v, (std::vector<double>{1.0, 1.0}));
}
