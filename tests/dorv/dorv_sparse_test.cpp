#include "DorvTestSupport.h"

namespace {

struct SparseSetup {
    ZylDorvCSetID rows, columns;
    ZylDorvDistribution distribution;
};

SparseSetup MakeSparseDistribution(ZylDorvContextID ctx, int n, int m)
{
    ZylDorvContext context(ctx);
    SparseSetup s;
    const ZylDorvCollectionID r = context.CreateCollection(n, -1), c = context.CreateCollection(m, -1);
    s.rows = ZylDorvCollection(r).BiggestCSetID();
    s.columns = ZylDorvCollection(c).BiggestCSetID();
    s.distribution = ZylDorvDistribution(context.CreateDistribution(ZylDorvGrid{r, c}, ZylDorvRangeType(), -1));
    return s;
}

ZylDorvTransfer SparseWriter(const SparseSetup& s, bool symmetric, int nonzeros)
{
    ZylDorvSerializationType type;
    if (symmetric)
        type.SetSparseSym();
    else
        type.SetSparse();
    ZylDorvTransfer t(s.distribution);
    t.SetMakeNewDrawer();
    t.SetWrite();
    t.SetBufferPadding(false);
    t.SetSparseNNonzero(nonzeros);
    t.SetDim(0, s.rows);
    t.SetDim(1, s.columns);
    t.SetSerialization(type);
    t.CheckView();
    return t;
}

} // namespace

using SparseTest = DorvTest;

TEST_F(SparseTest, GeneralDrawerRoundTripsItsThreeBuffers)
{
    const SparseSetup s = MakeSparseDistribution(ctx, 3, 4);
    // [[1 0 2 0] [0 0 0 0] [3 4 0 5]]
    std::vector<int> offsets = {0, 2, 2, 5}, columns = {0, 2, 0, 1, 3};
    std::vector<double> values = {1, 2, 3, 4, 5};
    ZylDorvTransfer w = SparseWriter(s, false, 5);
    w.SetBuffer(2, offsets.data(), 16);
    w.SetBuffer(1, columns.data(), 20);
    w.SetBuffer(0, values.data(), 40);
    w.ExecWrite();
    w.RelinquishBuffers();

    ZylDorvArray<ZylDorvPersistentDrawerDesc> drawers;
    s.distribution.QueryDrawers(drawers);
    ASSERT_EQ(drawers.Size(), 1);
    const ZylDorvPersistentDrawerDesc& d = drawers[0];
    EXPECT_TRUE(d.Serialization().IsSparse());
    EXPECT_FALSE(d.Serialization().IsSparseSym());
    EXPECT_EQ(d.DataSizeItems(0), 5);
    EXPECT_EQ(d.DataSizeItems(1), 5);
    EXPECT_EQ(d.DataSizeItems(2), 4);
    EXPECT_EQ(d.DataSizeItems(3), 0);
    EXPECT_EQ(d.DimSize(0), 3);
    EXPECT_EQ(d.DimSize(1), 4);
    EXPECT_EQ(d.DimCSetID(0), s.rows);

    std::vector<int> o(4, -1), c(5, -1);
    std::vector<double> v(5, -1.0);
    ZylDorvTransfer r(s.distribution);
    r.SetRead();
    r.SetBufferPadding(false);
    r.SetSerialization(d.Serialization());
    r.SetDim(0, d.DimCSetID(0));
    r.SetDim(1, d.DimCSetID(1));
    r.CheckView();
    r.SetBuffer(2, o.data(), 16);
    r.SetBuffer(1, c.data(), 20);
    r.SetBuffer(0, v.data(), 40);
    r.ExecRead();
    r.RelinquishBuffers();
    EXPECT_EQ(o, offsets);
    EXPECT_EQ(c, columns);
    EXPECT_EQ(v, values);

    // A dense transfer does not fit a sparse drawer.
    std::vector<double> dense(12);
    ZylDorvTransfer wrong(s.distribution);
    wrong.SetRead();
    wrong.SetBuffer(0, dense.data(), 96);
    EXPECT_DORV_ERROR(wrong.ExecRead(), ZylDorvError_SerializationMismatch,
                      "ZylDorv error 57: serialization mismatch: ExecRead of distribution 1 in context 1 of \"t.dorv\", "
                      "drawer 0: the drawer is sparse, the transfer is dense");
}

TEST_F(SparseTest, SymmetricDrawerKeepsItsDiagonal)
{
    const SparseSetup s = MakeSparseDistribution(ctx, 3, 3);
    std::vector<int> offsets = {0, 1, 2, 2}, columns = {1, 2};
    std::vector<double> values = {0.5, 0.25}, diagonal = {4, 5, 6};
    ZylDorvTransfer w = SparseWriter(s, true, 2);
    w.SetBuffer(2, offsets.data(), 16);
    w.SetBuffer(1, columns.data(), 8);
    w.SetBuffer(0, values.data(), 16);
    EXPECT_DORV_ERROR(w.ExecWrite(), ZylDorvError_BufferMissing,
                      "ZylDorv error 52: buffer missing: ExecWrite of distribution 1 in context 1 of \"t.dorv\", new "
                      "drawer: buffer 3 is not set");
    w.SetBuffer(3, diagonal.data(), 24);
    w.ExecWrite();
    ZylDorvArray<ZylDorvPersistentDrawerDesc> drawers;
    s.distribution.QueryDrawers(drawers);
    ASSERT_EQ(drawers.Size(), 1) << "the refused write made nothing";
    EXPECT_TRUE(drawers[0].Serialization().IsSparseSym());
    EXPECT_EQ(drawers[0].DataSizeItems(0), 2);
    EXPECT_EQ(drawers[0].DataSizeItems(3), 3);

    std::vector<int> o(4), c(2);
    std::vector<double> v(2), dg(3);
    ZylDorvTransfer r(s.distribution);
    r.SetRead();
    r.SetSerialization(drawers[0].Serialization());
    r.SetDim(0, s.rows);
    r.SetDim(1, s.columns);
    r.SetBuffer(2, o.data(), 16);
    r.SetBuffer(1, c.data(), 8);
    r.SetBuffer(0, v.data(), 16);
    r.SetBuffer(3, dg.data(), 16);
    EXPECT_DORV_ERROR_HAS(r.ExecRead(), ZylDorvError_BufferTooSmall, "buffer 3 holds 16 bytes, the transfer needs 24");
    r.SetBuffer(3, dg.data(), 24);
    r.ExecRead();
    EXPECT_EQ(o, offsets);
    EXPECT_EQ(c, columns);
    EXPECT_EQ(v, values);
    EXPECT_EQ(dg, diagonal);
}

TEST_F(SparseTest, EmptyMatrixAndRefusedStructures)
{
    const SparseSetup s = MakeSparseDistribution(ctx, 2, 2);
    std::vector<int> offsets = {0, 0, 0};
    ZylDorvTransfer w = SparseWriter(s, false, 0);
    w.SetBuffer(2, offsets.data(), 12);
    w.SetBuffer(1, static_cast<const void*>(nullptr), 0);
    w.SetBuffer(0, static_cast<const void*>(nullptr), 0);
    w.ExecWrite();
    ZylDorvArray<ZylDorvPersistentDrawerDesc> drawers;
    s.distribution.QueryDrawers(drawers);
    EXPECT_EQ(drawers[0].DataSizeItems(0), 0);

    std::vector<int> badOffsets = {0, 2, 1}, columns = {0, 5};
    std::vector<double> values = {1, 2};
    ZylDorvTransfer falling = SparseWriter(s, false, 1);
    falling.SetBuffer(2, badOffsets.data(), 12);
    falling.SetBuffer(1, columns.data(), 8);
    falling.SetBuffer(0, values.data(), 16);
    EXPECT_DORV_ERROR(falling.ExecWrite(), ZylDorvError_SparseStructureInvalid,
                      "ZylDorv error 59: sparse structure invalid: ExecWrite of distribution 1 in context 1 of \"t.dorv\", "
                      "new drawer: row offsets fall after row 1");
    std::vector<int> okOffsets = {0, 1, 2};
    ZylDorvTransfer column = SparseWriter(s, false, 2);
    column.SetBuffer(2, okOffsets.data(), 12);
    column.SetBuffer(1, columns.data(), 8);
    column.SetBuffer(0, values.data(), 16);
    EXPECT_DORV_ERROR_HAS(column.ExecWrite(), ZylDorvError_SparseStructureInvalid, "column index 5 at entry 1 of 2 columns");
    ZylDorvTransfer count = SparseWriter(s, false, 3);
    count.SetBuffer(2, okOffsets.data(), 12);
    count.SetBuffer(1, columns.data(), 12);
    count.SetBuffer(0, values.data(), 24);
    EXPECT_DORV_ERROR_HAS(count.ExecWrite(), ZylDorvError_SparseStructureInvalid, "row offsets run from 0 to 2, 0 to 3 expected");
    s.distribution.QueryDrawers(drawers);
    EXPECT_EQ(drawers.Size(), 1);

    ZylDorvTransfer unset(s.distribution);
    ZylDorvSerializationType sparse;
    sparse.SetSparse();
    unset.SetMakeNewDrawer();
    unset.SetWrite();
    unset.SetSerialization(sparse);
    unset.SetDim(0, s.rows);
    unset.SetDim(1, s.columns);
    EXPECT_DORV_ERROR_HAS(unset.CheckView(), ZylDorvError_ViewIncomplete, "SetSparseNNonzero");
    unset.SetSparseNNonzero(0);
    EXPECT_DORV_ERROR_HAS(unset.InitializePersistentDrawer(), ZylDorvError_SerializationMismatch,
                          "sparse drawers are made by ExecWrite");
    ZylDorvTransfer partial(s.distribution);
    partial.SetRead();
    partial.SetSerialization(sparse);
    partial.SetDimOrdinalRange(0, s.rows.CollectionID(), 0, 0);
    EXPECT_DORV_ERROR_HAS(partial.CheckView(), ZylDorvError_SerializationMismatch, "sparse drawers are read and written whole");
    ZylDorvTransfer again(s.distribution);
    again.SetWrite();
    again.SetSerialization(sparse);
    EXPECT_DORV_ERROR_HAS(again.ExecWrite(), ZylDorvError_SerializationMismatch, "written once, when it is made");
}

TEST_F(SparseTest, SparseDrawersNeedTwoDimensionsOfDoubles)
{
    ZylDorvContext context(ctx);
    const ZylDorvCollectionID r = context.CreateCollection(2, -1), c = context.CreateCollection(2, -1);
    ZylDorvDistribution ints(context.CreateDistribution(ZylDorvGrid{r, c}, ZylDorvRangeType(ZylDorvTypeKey::Int32), -1));
    ZylDorvSerializationType sparse;
    sparse.SetSparse();
    ZylDorvTransfer t(ints);
    t.SetMakeNewDrawer();
    t.SetWrite();
    t.SetSerialization(sparse);
    t.SetSparseNNonzero(0);
    t.SetDim(0, ZylDorvCollection(r).BiggestCSetID());
    t.SetDim(1, ZylDorvCollection(c).BiggestCSetID());
    EXPECT_DORV_ERROR(t.CheckView(), ZylDorvError_SerializationMismatch,
                      "ZylDorv error 57: serialization mismatch: CheckView of distribution 1 in context 1 of \"t.dorv\", "
                      "new drawer: sparse drawers need two dimensions and double values");
}
