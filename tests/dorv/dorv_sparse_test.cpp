// Sparse drawers: values (buffer 0), column indices (1), row offsets (2) and,
// for symmetric ones, the diagonal (3), written once when made, read whole.
#include "support/DatabaseTest.h"
#include "support/FamilyError.h"

#include <tuple>

namespace {

struct Csr { std::vector<int> offsets, columns; std::vector<double> values, diagonal; };

template <typename T>
std::int64_t Bytes(const std::vector<T>& v) { return static_cast<std::int64_t>(v.size() * sizeof(T)); }

} // namespace

class SparseDrawerTest : public zyltest::DatabaseTest {
protected:
    void Make(int n, int m, ZylDorvTypeKey key = ZylDorvTypeKey::Double)
    {
        const ZylDorvCollectionID r = NewCollection(n);
        AllOf(r); // made first, so that the rows' CSet is number 2 and the columns' number 1
        rows = ZylDorvCollection(r).CreateCSetStrided(0, n, 1, 1);
        columns = AllOf(NewCollection(m));
        d = ZylDorvDistribution(Context().CreateDistribution(ZylDorvGrid{r, columns.CollectionID()}, ZylDorvRangeType(key), -1));
    }
    ZylDorvTransfer Sparse(bool symmetric, bool write, bool make = false, bool dims = true) const
    {
        ZylDorvTransfer t(d);
        ZylDorvSerializationType type;
        if (symmetric)
            type.SetSparseSym();
        else
            type.SetSparse();
        t.SetSerialization(type);
        if (make)
            t.SetMakeNewDrawer();
        if (write)
            t.SetWrite();
        else
            t.SetRead();
        if (dims) {
            t.SetDim(0, rows);
            t.SetDim(1, columns);
        }
        return t;
    }
    static void Buffers(ZylDorvTransfer& t, Csr& s, bool diagonal)
    {
        t.SetBuffer(2, s.offsets.data(), Bytes(s.offsets));
        t.SetBuffer(1, s.columns.data(), Bytes(s.columns));
        t.SetBuffer(0, s.values.data(), Bytes(s.values));
        if (diagonal)
            t.SetBuffer(3, s.diagonal.data(), Bytes(s.diagonal));
    }
    // Makes the drawer with the values, column indices, row offsets and (unless not given) the diagonal.
    void Write(Csr s, bool symmetric, bool withDiagonal = true)
    {
        ZylDorvTransfer w = Sparse(symmetric, true, true);
        w.SetSparseNNonzero(static_cast<int>(s.values.size()));
        w.CheckView();
        Buffers(w, s, symmetric && withDiagonal);
        w.ExecWrite();
    }
    ZylDorvArray<ZylDorvPersistentDrawerDesc> Drawers() const { return zyltest::DrawersOf(d.ID()); }
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
        Make(3, sym ? 3 : 4);
        if (sym) {
            EXPECT_DORV_ERROR(Write(s, true, false), ZylDorvError_BufferMissing, "new drawer: buffer 3 is not set");
            EXPECT_EQ(Drawers().Size(), 0) << "the refused write made nothing";
        }
        Write(s, sym);
        ASSERT_EQ(Drawers().Size(), 1);
        const ZylDorvPersistentDrawerDesc desc = Drawers()[0];
        EXPECT_EQ(std::make_tuple(desc.Serialization().IsSparse(), desc.Serialization().IsSparseSym(), desc.DimSize(0), desc.DimSize(1)),
                  std::make_tuple(true, sym, 3, sym ? 3 : 4));
        EXPECT_TRUE(desc.DimCSetID(0) == rows && desc.DimCSetID(1) == columns);
        EXPECT_EQ((std::vector<std::int64_t>{desc.DataSizeItems(0), desc.DataSizeItems(1), desc.DataSizeItems(2), desc.DataSizeItems(3)}),
                  (std::vector<std::int64_t>{std::int64_t(s.values.size()), std::int64_t(s.columns.size()), 4, std::int64_t(s.diagonal.size())}));
        Csr back{std::vector<int>(4, -1), std::vector<int>(s.columns.size(), -1), std::vector<double>(s.values.size(), -1.0), std::vector<double>(s.diagonal.size(), -1.0)};
        ZylDorvTransfer r = Sparse(sym, false);
        r.CheckView();
        Buffers(r, back, false);
        r.SetBuffer(2, back.offsets.data(), 12);
        EXPECT_DORV_ERROR(r.ExecRead(), ZylDorvError_BufferTooSmall, "buffer 2 holds 12 bytes, the transfer needs 16");
        r.SetBuffer(2, back.offsets.data(), 16);
        if (sym) {
            r.SetBuffer(3, back.diagonal.data(), 16);
            EXPECT_DORV_ERROR(r.ExecRead(), ZylDorvError_BufferTooSmall, "buffer 3 holds 16 bytes, the transfer needs 24");
            r.SetBuffer(3, back.diagonal.data(), 24);
        }
        r.ExecRead();
        EXPECT_EQ(std::tie(back.offsets, back.columns, back.values, back.diagonal), std::tie(s.offsets, s.columns, s.values, s.diagonal));
        std::vector<double> dense(12);
        ZylDorvTransfer wrong(d);
        wrong.SetRead();
        wrong.SetBuffer(0, dense.data(), 96);
        EXPECT_DORV_ERROR(wrong.ExecRead(), ZylDorvError_SerializationMismatch, "drawer 0: the drawer is sparse, the transfer is dense");
    }
}

TEST_F(SparseDrawerTest, EmptyMatrixAndRefusedStructures)
{
    Make(2, 2);
    const std::pair<const char*, Csr> refused[] = {
        {"sparse structure invalid: ExecWrite of distribution 1 in context 1 of \"test.dorv\", new drawer: row offsets fall after row 1", {{0, 2, 1}, {0}, {1}, {}}},
        {"column index 5 at entry 1 of 2 columns", {{0, 1, 2}, {0, 5}, {1, 2}, {}}},
        {"row offsets run from 0 to 2, 0 to 3 expected", {{0, 1, 2}, {0, 1, 0}, {1, 2, 3}, {}}},
    };
    for (const auto& c : refused)
        EXPECT_DORV_ERROR(Write(c.second, false), ZylDorvError_SparseStructureInvalid, c.first);
    EXPECT_EQ(Drawers().Size(), 0);
    Write(Csr{{0, 0, 0}, {}, {}, {}}, false);
    ASSERT_EQ(Drawers().Size(), 1);
    EXPECT_EQ(Drawers()[0].DataSizeItems(0), 0);
    ZylDorvTransfer unset = Sparse(false, true, true);
    EXPECT_DORV_ERROR(unset.CheckView(), ZylDorvError_ViewIncomplete, "SetSparseNNonzero");
    unset.SetSparseNNonzero(0);
    EXPECT_DORV_ERROR(unset.InitializePersistentDrawer(), ZylDorvError_SerializationMismatch, "sparse drawers are made by ExecWrite");
    ZylDorvTransfer partial = Sparse(false, false, false, false);
    partial.SetDimOrdinalRange(0, rows.CollectionID(), 0, 0);
    EXPECT_DORV_ERROR(partial.CheckView(), ZylDorvError_SerializationMismatch, "sparse drawers are read and written whole");
    EXPECT_DORV_ERROR(Sparse(false, true, false, false).ExecWrite(), ZylDorvError_SerializationMismatch, "written once, when it is made");
    Make(2, 2, ZylDorvTypeKey::Int32);
    ZylDorvTransfer ints = Sparse(false, true, true);
    ints.SetSparseNNonzero(0);
    EXPECT_DORV_ERROR(ints.CheckView(), ZylDorvError_SerializationMismatch,
                      "serialization mismatch: CheckView of distribution 2 in context 1 of \"test.dorv\", new drawer: sparse drawers need two dimensions and double values");
}
