#ifndef PLATFORM_DORV_ZYLDORVTRANSFER_H
#define PLATFORM_DORV_ZYLDORVTRANSFER_H
// A transfer moves values between a drawer of a distribution and caller
// buffers. Prepare it once (direction, padding, dimensions), then copy it for
// each read or write: a copy is independent of the original.
//
// Buffers are packed with the last dimension varying fastest: for a matrix
// (dimension 0 the columns, dimension 1 the rows) that is column-major with
// the row count of the selection as leading dimension, as in ZylSrvMatrix.
//
// Modes:
//  - existing drawer (default: drawer 0, or SetDrawer): ExecRead/ExecWrite
//    move the selection, which is per dimension the whole drawer, an ordinal
//    range (SetDimOrdinalRange: positions first..last in the drawer's CSet of
//    that dimension), or a CSet (SetDim) whose labels are a contiguous run of
//    the drawer's CSet. The last of SetDim/SetDimOrdinalRange on a dimension
//    wins.
//  - new drawer (SetMakeNewDrawer or SetMakeNewDrawerChunked): every
//    dimension must be bound with SetDim; InitializePersistentDrawer makes
//    the drawer with every value equal to the initialization value (zero when
//    none is set), or ExecWrite makes it and writes the whole drawer from
//    buffer 0 (dense) or buffers 0..3 (sparse). Afterwards the transfer
//    addresses the new drawer.
//  - extension (SetDimExtension): InitializeExtension lengthens the drawer's
//    dimension whose collection is that of the given CSet by its members,
//    which read as the initialization value. The drawer's CSet of that
//    dimension becomes a new permanent CSet: old members, then the new ones.
//
// In the MPI flavour (ZylDorvDatabase.h) ExecRead and the ExecWrite of an
// existing drawer are independent: each rank moves its own selections through
// a descriptor of its own. Making a drawer (InitializePersistentDrawer, the
// ExecWrite that makes one) and InitializeExtension are collective.
//
// Sparse drawers (SetSerialization with a sparse kind, two dimensions:
// rows, columns; double values) are written whole and read whole; buffer
// layout in ZylDorvSerializationType. SetSparseNNonzero(m) gives m before a
// write.
#include <platform/dorv/ZylDorvArray.h>
#include <platform/dorv/ZylDorvDistribution.h>
#include <platform/dorv/ZylDorvIDs.h>
#include <platform/dorv/ZylDorvReadAhead.h>
#include <platform/dorv/ZylDorvTypes.h>
#include <platform/zyl_Export.h>

#include <cstdint>
#include <memory>

namespace zyl_dorv {
struct TransferState;
}

class ZYL_EXPORT ZylDorvTransfer {
public:
    // Error 2 for a null handle.
    explicit ZylDorvTransfer(const ZylDorvDistribution& distribution);
    ZylDorvTransfer(const ZylDorvTransfer& other);
    ZylDorvTransfer& operator=(const ZylDorvTransfer& other);
    ZylDorvTransfer(ZylDorvTransfer&& other) noexcept;
    ZylDorvTransfer& operator=(ZylDorvTransfer&& other) noexcept;
    ~ZylDorvTransfer();

    void SetRead();
    void SetWrite();
    // Only packed buffers exist: true makes CheckView fail with error 55.
    void SetBufferPadding(bool padded);
    void SetDrawer(int index);

    void SetMakeNewDrawer();
    // One chunk size (>= 1) per dimension, in dimension order.
    void SetMakeNewDrawerChunked(const ZylDorvArray<int>& chunks);
    void SetExtendableDim(int k);
    void SetDim(int k, ZylDorvCSetID cset);
    void SetInitializationValue(const ZylDorvRangeValue& value);
    void SetSerialization(const ZylDorvSerializationType& type);
    void SetSparseNNonzero(std::int64_t m);

    // Positions first..last (inclusive) of the drawer's CSet of dimension
    // `dim`; `collection` must be that CSet's collection (error 32).
    void SetDimOrdinalRange(int dim, ZylDorvCollectionID collection, int first, int last);
    void SetDimExtension(ZylDorvCSetID cset);

    // Checks that the transfer is complete and consistent and resolves its
    // selection; throws the error of the first thing that is not. The Exec
    // and Initialize operations check again themselves.
    void CheckView();

    // Buffer `index` (0 for dense drawers; 0..3 for sparse ones) of `bytes`
    // bytes. A const buffer can only be written from.
    void SetBuffer(int index, void* data, std::int64_t bytes);
    void SetBuffer(int index, const void* data, std::int64_t bytes);
    void RelinquishBuffers() noexcept;

    void ExecRead();
    // Announces the ExecRead of this selection to `ahead` (see
    // ZylDorvReadAhead.h) and returns without waiting for the disk. A hint:
    // it reports nothing (a transfer that could not read is ignored), only
    // a failed allocation escapes. Sparse drawers are not announced.
    void ExecReadAhead(ZylDorvReadAhead& ahead);
    void ExecWrite();
    void InitializePersistentDrawer();
    void InitializeExtension();

    ZylDorvDistribution Distribution() const;

private:
    std::unique_ptr<zyl_dorv::TransferState> m_state;
};

#endif
