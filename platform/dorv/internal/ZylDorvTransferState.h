#ifndef PLATFORM_DORV_INTERNAL_ZYLDORVTRANSFERSTATE_H
#define PLATFORM_DORV_INTERNAL_ZYLDORVTRANSFERSTATE_H
// Private to platform/dorv: what a ZylDorvTransfer holds, the view it resolves
// to against the open file, and the making of new drawers from it.
#include <platform/dorv/internal/ZylDorvChunkIO.h>
#include <platform/dorv/internal/ZylDorvState.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zyl_dorv {

struct DimBinding {
    enum Mode { Unbound, CSet, Range } mode = Unbound;
    ZylDorvCSetID cset;
    ZylDorvCollectionID collection;
    std::int64_t first = 0;
    std::int64_t last = -1;
};

struct BufferSlot {
    void* data = nullptr;
    const void* constData = nullptr;
    std::int64_t bytes = 0;
    bool set = false;
};

struct TransferState {
    std::shared_ptr<DistributionRecord> record;
    bool read = false;
    bool write = false;
    bool padded = false;
    int drawer = 0;
    bool makeNew = false;
    std::vector<int> chunks; // empty: not chunked
    int extendableDim = 0;
    std::vector<DimBinding> dims;
    bool hasInit = false;
    ZylDorvRangeValue init;
    ZylDorvSerializationType serialization;
    std::int64_t nonzeros = -1;
    bool hasExtension = false;
    ZylDorvCSetID extension;
    BufferSlot buffers[4];
};

struct Where {
    FileState* file = nullptr;
    ContextData* context = nullptr;
    DistributionData* distribution = nullptr;
};

// The records of the transfer's distribution; errors of the lookups.
Where Locate(const TransferState& s, const std::string& operation);

struct View {
    Where where;
    DrawerData* drawer = nullptr; // existing drawer (null when one is to be made)
    DenseSelection selection;     // existing dense drawer
    std::vector<CSetData*> csets; // new drawer: the CSet of each dimension
    std::string subject;
};

// Checks the transfer against the file and resolves what it addresses;
// throws the error of the first thing that does not fit.
View CheckView(TransferState& s, const std::string& operation);
// Buffer `index`, holding at least `bytes` and writable when `reading`.
const BufferSlot& NeedBuffer(const TransferState& s, int index, std::int64_t bytes, bool reading, const std::string& subject);
std::int64_t SelectionBytes(const View& v);

// Make the drawer the view describes, with undo steps for the context's
// transaction, and point the transfer at it.
DrawerData& MakeDenseDrawer(TransferState& s, View& v);
void MakeSparseDrawer(TransferState& s, View& v);

} // namespace zyl_dorv

#endif
