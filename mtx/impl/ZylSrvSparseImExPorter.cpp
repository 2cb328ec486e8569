#include <mtx/impl/ZylSrvSparseImExPorter.h>

#include <mtx/impl/ZylSrvMtxErrors.h>
#include <mtx/impl/internal/ZylSrvSparseBinary.h>
#include <mtx/impl/internal/ZylSrvSparseText.h>
#include <platform/dorv/ZylDorvDistribution.h>
#include <platform/dorv/ZylDorvTransfer.h>

#include <climits>
#include <cstdint>
#include <utility>

namespace {

constexpr const char* kRaiseSource = zyl_mtx::kSparseImExPorterSource;

template <typename T>
void Replace(T*& member, mem_Array<T>& fresh)
{
    mem_Free(std::exchange(member, fresh.Release()));
}

// Hands the buffers back on every path, so that no transfer outlives the
// arrays it points into.
struct BufferRelease {
    ZylDorvTransfer& transfer;
    ~BufferRelease() { transfer.RelinquishBuffers(); }
};

} // namespace

// ---- the members of the matrix ------------------------------------------------

void ZylSrvSparseMatrix::Import(const char* path, int format) { ZylSrvSparseImExPorter().Import(*this, path, format); }
void ZylSrvSparseMatrix::Import(ZylDorvDistributionID distribution)
{
    ZylSrvSparseImExPorter().Import(*this, distribution);
}
void ZylSrvSparseMatrix::Export(const char* path, int format, const ZylSrvSystemDofDefinition* dofs) const
{
    ZylSrvSparseImExPorter().Export(*this, path, format, dofs);
}
void ZylSrvSparseMatrix::Export(ZylDorvCSetID rows, ZylDorvCSetID columns, ZylDorvDistributionID distribution) const
{
    ZylSrvSparseImExPorter().Export(*this, rows, columns, distribution);
}
void ZylSrvSparseMatrix::ImportMatrixMarket(const char* path) { ImportMatrixMarket(path, false); }
void ZylSrvSparseMatrix::ImportMatrixMarket(const char* path, bool keepSymmetric)
{
    ZylSrvSparseImExPorter().ImportMatrixMarket(*this, path, keepSymmetric);
}
void ZylSrvSparseMatrix::ExportMatrixMarket(const char* path) const
{
    ZylSrvSparseImExPorter().ExportMatrixMarket(*this, path);
}

// ---- the porter ---------------------------------------------------------------------

void ZylSrvSparseImExPorter::Install(ZylSrvSparseMatrix& a, zyl_mtx::ReadArrays& r, int symmetry) noexcept
{
    Replace(a.rowOffsets, r.rowOffsets);
    Replace(a.columnIndices, r.columnIndices);
    Replace(a.values, r.values);
    Replace(a.diagonal, r.diagonal); // the general form releases a former diagonal
    a.numRows = r.numRows;
    a.numColumns = r.numColumns;
    a.numNonzeros = r.numNonzeros;
    a.symmetry = symmetry;
    a.isAssembled = true;
}

void ZylSrvSparseImExPorter::Install(ZylSrvSparseMatrix& a, zyl_mtx::TextTriplets& t)
{
    // Builds aside, then replaces; releases a former diagonal.
    a.ResetData(t.entries.Get(), t.count, t.numRows, t.numColumns);
}

zyl_mtx::SparseArrays ZylSrvSparseImExPorter::ArraysOf(const ZylSrvSparseMatrix& a)
{
    ZYL_SRV_MTX_REFUSE_IF(!a.isAssembled, "Export");
    return {a.rowOffsets, a.columnIndices, a.values, a.diagonal, a.numRows, a.numColumns};
}

void ZylSrvSparseImExPorter::Import(ZylSrvSparseMatrix& a, const char* path, int format) const
{
    switch (format) {
    case 0: {
        zyl_mtx::ReadArrays r = zyl_mtx::ReadFortranRecords(path);
        Install(a, r, 1);
        return;
    }
    case 1: {
        zyl_mtx::HeaderDescribed h = zyl_mtx::ReadHeaderDescribed(path);
        if (h.twoValueSets)
            Install(a, h.triplets);
        else
            Install(a, h.symmetric, 1);
        return;
    }
    case 2:
    case 3: {
        zyl_mtx::TextTriplets t = zyl_mtx::ReadTextTriplets(path, format == 2);
        Install(a, t);
        return;
    }
    case 6: {
        zyl_mtx::ReadArrays r = zyl_mtx::ReadBinarySymmetric(path);
        Install(a, r, 1);
        return;
    }
    case 7: {
        zyl_mtx::ReadArrays r = zyl_mtx::ReadBinaryDense(path);
        Install(a, r, 0);
        return;
    }
    default:
        zyl_mtx::Raise<ZylSrvMtxUnsupportedImpFmt>(kRaiseSource, __LINE__);
    }
}

void ZylSrvSparseImExPorter::ImportMatrixMarket(ZylSrvSparseMatrix& a, const char* path, bool keepSymmetric) const
{
    zyl_mtx::ReadArrays r = zyl_mtx::ReadMatrixMarket(path, keepSymmetric);
    Install(a, r, r.diagonal.Get() != nullptr ? 1 : 0);
}

void ZylSrvSparseImExPorter::Export(const ZylSrvSparseMatrix& a, const char* path, int format,
                                    const ZylSrvSystemDofDefinition* dofs) const
{
    if (format < 3 || format > 7)
        zyl_mtx::Raise<ZylSrvMtxUnsupportedExpFmt>(kRaiseSource, __LINE__);
    const zyl_mtx::SparseArrays arrays = ArraysOf(a);
    switch (format) {
    case 3: zyl_mtx::WriteTriplets1Based(path, arrays); return;
    case 4:
        ZYL_SRV_MTX_REFUSE_IF(dofs == nullptr, "Export");
        zyl_mtx::WriteNodeDofText(path, arrays, *dofs);
        return;
    case 5: zyl_mtx::WriteZeroBasedText(path, arrays); return;
    case 6:
        // The form is told by the diagonal array, not by what `symmetry`
        // has learnt about the values since.
        if (a.diagonal == nullptr)
            zyl_mtx::Raise<ZylSrvMtxNoUnsymmetric>(kRaiseSource, __LINE__);
        zyl_mtx::WriteBinarySymmetric(path, arrays);
        return;
    default: zyl_mtx::WriteBinaryDense(path, arrays); return;
    }
}

void ZylSrvSparseImExPorter::ExportMatrixMarket(const ZylSrvSparseMatrix& a, const char* path) const
{
    zyl_mtx::WriteMatrixMarket(path, ArraysOf(a));
}

void ZylSrvSparseImExPorter::Import(ZylSrvSparseMatrix& a, ZylDorvDistributionID id) const
{
    const ZylDorvDistribution distribution(id);
    ZylDorvArray<ZylDorvPersistentDrawerDesc> drawers;
    distribution.QueryDrawers(drawers);
    ZYL_SRV_MTX_REFUSE_IF(drawers.IsEmpty() || !drawers[0].Serialization().IsSparse() ||
                              drawers[0].NumDimensions() != 2,
                          "Import");
    const ZylDorvPersistentDrawerDesc& drawer = drawers[0];
    const ZylDorvSerializationType type = drawer.Serialization();
    const bool symmetric = type.IsSparseSym();
    const int rows = drawer.DimSize(0), columns = drawer.DimSize(1);
    const std::int64_t m = drawer.DataSizeItems(0);
    // The symmetric form is square: its diagonal and rows are one length.
    ZYL_SRV_MTX_REFUSE_IF(m < 0 || m + (symmetric ? rows : 0) > INT_MAX || (symmetric && rows != columns),
                          "Import");

    zyl_mtx::ReadArrays r = zyl_mtx::AllocateReadArrays(rows, columns, m, symmetric);
    r.numNonzeros = static_cast<int>(m + (symmetric ? rows : 0));

    ZylDorvTransfer transfer(distribution);
    transfer.SetRead();
    transfer.SetBufferPadding(false);
    transfer.SetSerialization(type);
    transfer.SetDim(0, drawer.DimCSetID(0));
    transfer.SetDim(1, drawer.DimCSetID(1));
    transfer.CheckView();
    {
        BufferRelease release{transfer};
        transfer.SetBuffer(2, static_cast<void*>(r.rowOffsets.Get()), (std::int64_t{rows} + 1) * 4);
        transfer.SetBuffer(1, static_cast<void*>(r.columnIndices.Get()), m * 4);
        if (symmetric)
            transfer.SetBuffer(3, static_cast<void*>(r.diagonal.Get()), std::int64_t{rows} * 8);
        transfer.SetBuffer(0, static_cast<void*>(r.values.Get()), m * 8);
        transfer.ExecRead();
    }
    // The database checked the structure when the drawer was written; the
    // file may have been changed by other tools since.
    ZYL_SRV_MTX_REFUSE_IF(!zyl_mtx::CheckRowOffsets(r.rowOffsets.Get(), rows, m, -1).empty() ||
                              !zyl_mtx::CheckColumnIndices(r.columnIndices.Get(), 0, m, columns, -1).empty(),
                          "Import");
    Install(a, r, symmetric ? 1 : 2);
    a.rowCSetID = drawer.DimCSetID(0);
    a.columnCSetID = drawer.DimCSetID(1);
}

void ZylSrvSparseImExPorter::Export(const ZylSrvSparseMatrix& a, ZylDorvCSetID rows, ZylDorvCSetID columns,
                                    ZylDorvDistributionID id) const
{
    const zyl_mtx::SparseArrays arrays = ArraysOf(a);
    const std::int64_t m = arrays.rowOffsets[arrays.numRows];
    const ZylDorvDistribution distribution(id);
    ZylDorvTransfer transfer(distribution);
    ZylDorvSerializationType type;
    if (a.diagonal != nullptr)
        type.SetSparseSym();
    else
        type.SetSparse();
    transfer.SetMakeNewDrawer();
    transfer.SetWrite();
    transfer.SetBufferPadding(false);
    transfer.SetSparseNNonzero(m);
    transfer.SetDim(0, rows);
    transfer.SetDim(1, columns);
    transfer.SetSerialization(type);
    transfer.CheckView();
    BufferRelease release{transfer};
    transfer.SetBuffer(2, static_cast<const void*>(arrays.rowOffsets), (std::int64_t{arrays.numRows} + 1) * 4);
    transfer.SetBuffer(1, static_cast<const void*>(arrays.columnIndices), m * 4);
    transfer.SetBuffer(0, static_cast<const void*>(arrays.values), m * 8);
    if (a.diagonal != nullptr)
        transfer.SetBuffer(3, static_cast<const void*>(arrays.diagonal), std::int64_t{arrays.numRows} * 8);
    transfer.ExecWrite();
}
