// Sparse drawers: values (buffer 0), column indices (1), row offsets (2) and,
// for symmetric ones, the diagonal (3), written once when made, read whole.
#include "support/DatabaseTest.h"
#include "support/FamilyError.h"


namespace {

struct Csr {
    std::vector<int> offsets, columns;
    std::vector<double> values, diagonal;
};

ZylDorvSerializationType Kind(bool symmetric)
{
    ZylDorvSerializationType type;
    if (symmetric)
        type.SetSparseSym();
    else
        type.SetSparse();
    return type;
}

template <typename T>
std::int64_t Bytes(const std::vector<T>& v) { return static_cast<std::int64_t>(v.size() * sizeof(T)); }

} // namespace

class SparseDrawerTest : public zyltest::DatabaseTest {
protected:
    void Make(int n, int m)
    {
        const ZylDorvCollectionID r = NewCollection(n);
        AllOf(r);
        rows = ZylDorvCollection(r).CreateCSetStrided(0, n, 1, 1); // CSet 2, the columns' is 1
        columns = AllOf(NewCollection(m));
        d = ZylDorvDistribution(Context().CreateDistribution(ZylDorvGrid{rows.CollectionID(), columns.CollectionID()},
                                                             ZylDorvRangeType(), -1));
    }
    // Makes the drawer with the values, column indices, row offsets and (unless not given) the diagonal.
    void Write(bool symmetric, const Csr& s, bool withDiagonal = true)
    {
        ZylDorvTransfer w(d);
        w.SetMakeNewDrawer();
        w.SetWrite();
        w.SetBufferPadding(false);
        w.SetSparseNNonzero(static_cast<int>(s.values.size()));
        w.SetDim(0, rows);
        w.SetDim(1, columns);
        w.SetSerialization(Kind(symmetric));
        w.CheckView();
        w.SetBuffer(2, s.offsets.data(), Bytes(s.offsets));
        w.SetBuffer(1, s.columns.data(), Bytes(s.columns));
        w.SetBuffer(0, s.values.data(), Bytes(s.values));
        if (symmetric && withDiagonal)
            w.SetBuffer(3, s.diagonal.data(), Bytes(s.diagonal));
        w.ExecWrite();
    }
    int NumDrawers() const
    {
        ZylDorvArray<ZylDorvPersistentDrawerDesc> drawers;
        d.QueryDrawers(drawers);
        return drawers.Size();
    }
    ZylDorvCSetID rows, columns;
    ZylDorvDistribution d;
};

TEST_F(SparseDrawerTest, GeneralAndSymmetricDrawersRoundTripTheirBuffers)
{
    // [[1 0 2 0] [0 0 0 0] [3 4 0 5]] and the strict upper part of a 3 x 3 with its diagonal.
    const Csr general{{0, 2, 2, 5}, {0, 2, 0, 1, 3}, {1, 2, 3, 4, 5}, {}};
    const Csr symmetric{{0, 1, 2, 2}, {1, 2}, {0.5, 0.25}, {4, 5, 6}};
    for (bool sym : {false, true}) {
        SCOPED_TRACE(sym ? "symmetric" : "general");
        const Csr& s = sym ? symmetric : general;
        const int n = static_cast<int>(s.offsets.size()) - 1;
        Make(n, sym ? n : 4);
        if (sym) {
            EXPECT_DORV_ERROR(Write(true, s, false), ZylDorvError_BufferMissing, "new drawer: buffer 3 is not set");
            EXPECT_EQ(NumDrawers(), 0) << "the refused write made nothing";
        }
        Write(sym, s);
        ZylDorvArray<ZylDorvPersistentDrawerDesc> drawers;
        d.QueryDrawers(drawers);
        ASSERT_EQ(drawers.Size(), 1);
        const ZylDorvPersistentDrawerDesc& desc = drawers[0];
        EXPECT_TRUE(desc.Serialization().IsSparse());
        EXPECT_EQ(desc.Serialization().IsSparseSym(), sym);
        EXPECT_EQ(desc.DataSizeItems(0), static_cast<int>(s.values.size()));
        EXPECT_EQ(desc.DataSizeItems(1), static_cast<int>(s.columns.size()));
        EXPECT_EQ(desc.DataSizeItems(2), n + 1);
        EXPECT_EQ(desc.DataSizeItems(3), static_cast<int>(s.diagonal.size()));
        EXPECT_EQ(desc.DimSize(0), n);
        EXPECT_EQ(desc.DimSize(1), sym ? n : 4);
        EXPECT_EQ(desc.DimCSetID(0), rows);
        EXPECT_EQ(desc.DimCSetID(1), columns);

        Csr back{std::vector<int>(s.offsets.size(), -1), std::vector<int>(s.columns.size(), -1),
                 std::vector<double>(s.values.size(), -1.0), std::vector<double>(s.diagonal.size(), -1.0)};
        ZylDorvTransfer r(d);
        r.SetRead();
        r.SetBufferPadding(false);
        r.SetSerialization(desc.Serialization());
        r.SetDim(0, desc.DimCSetID(0));
        r.SetDim(1, desc.DimCSetID(1));
        r.CheckView();
        r.SetBuffer(2, back.offsets.data(), Bytes(back.offsets));
        r.SetBuffer(1, back.columns.data(), Bytes(back.columns));
        r.SetBuffer(0, back.values.data(), Bytes(back.values));
        if (sym) {
            r.SetBuffer(3, back.diagonal.data(), 16);
            EXPECT_DORV_ERROR(r.ExecRead(), ZylDorvError_BufferTooSmall, "buffer 3 holds 16 bytes, the transfer needs 24");
            r.SetBuffer(3, back.diagonal.data(), 24);
        }
        r.ExecRead();
        EXPECT_EQ(back.offsets, s.offsets);
        EXPECT_EQ(back.columns, s.columns);
        EXPECT_EQ(back.values, s.values);
        EXPECT_EQ(back.diagonal, s.diagonal);

        std::vector<double> dense(12);
        ZylDorvTransfer wrong(d);
        wrong.SetRead();
        wrong.SetBuffer(0, dense.data(), 96);
        EXPECT_DORV_ERROR(wrong.ExecRead(), ZylDorvError_SerializationMismatch,
                          "drawer 0: the drawer is sparse, the transfer is dense");
    }
}

TEST_F(SparseDrawerTest, EmptyMatrixAndRefusedStructures)
{
    Make(2, 2);
    struct Refused {
        const char* fragment;
        Csr csr;
    } const refused[] = {
        {"sparse structure invalid: ExecWrite of distribution 1 in context 1 of \"test.dorv\", new drawer: row offsets fall after row 1", {{0, 2, 1}, {0}, {1}, {}}},
        {"column index 5 at entry 1 of 2 columns", {{0, 1, 2}, {0, 5}, {1, 2}, {}}},
        {"row offsets run from 0 to 2, 0 to 3 expected", {{0, 1, 2}, {0, 1, 0}, {1, 2, 3}, {}}},
    };
    for (const Refused& c : refused) {
        SCOPED_TRACE(c.fragment);
        EXPECT_DORV_ERROR(Write(false, c.csr), ZylDorvError_SparseStructureInvalid, c.fragment);
    }
    EXPECT_EQ(NumDrawers(), 0);
    Write(false, Csr{{0, 0, 0}, {}, {}, {}});
    ZylDorvArray<ZylDorvPersistentDrawerDesc> drawers;
    d.QueryDrawers(drawers);
    ASSERT_EQ(drawers.Size(), 1);
    EXPECT_EQ(drawers[0].DataSizeItems(0), 0);

    auto transfer = [&](bool make, bool write) {
        ZylDorvTransfer t(d);
        if (make)
            t.SetMakeNewDrawer();
        if (write)
            t.SetWrite();
        else
            t.SetRead();
        t.SetSerialization(Kind(false));
        return t;
    };
    ZylDorvTransfer unset = transfer(true, true);
    unset.SetDim(0, rows);
    unset.SetDim(1, columns);
    EXPECT_DORV_ERROR(unset.CheckView(), ZylDorvError_ViewIncomplete, "SetSparseNNonzero");
    unset.SetSparseNNonzero(0);
    EXPECT_DORV_ERROR(unset.InitializePersistentDrawer(), ZylDorvError_SerializationMismatch, "sparse drawers are made by ExecWrite");
    ZylDorvTransfer partial = transfer(false, false);
    partial.SetDimOrdinalRange(0, rows.CollectionID(), 0, 0);
    EXPECT_DORV_ERROR(partial.CheckView(), ZylDorvError_SerializationMismatch, "sparse drawers are read and written whole");
    EXPECT_DORV_ERROR(transfer(false, true).ExecWrite(), ZylDorvError_SerializationMismatch, "written once, when it is made");
    d = ZylDorvDistribution(Context().CreateDistribution(ZylDorvGrid{rows.CollectionID(), columns.CollectionID()},
                                                         ZylDorvRangeType(ZylDorvTypeKey::Int32), -1));
    ZylDorvTransfer ints = transfer(true, true);
    ints.SetSparseNNonzero(0);
    ints.SetDim(0, rows);
    ints.SetDim(1, columns);
    EXPECT_DORV_ERROR(ints.CheckView(), ZylDorvError_SerializationMismatch, "serialization mismatch: CheckView of distribution 2 in context 1 of \"test.dorv\", new drawer: "
                      "sparse drawers need two dimensions and double values");
}
