#include <mtx/impl/internal/ZylSrvDenseTransfer.h>

namespace zyl_mtx {

mem_Unique<ZylDorvTransfer> NewPreparedTransfer(const ZylDorvDistribution& distribution)
{
    mem_Unique<ZylDorvTransfer> prepared(mem_New<ZylDorvTransfer>(distribution));
    prepared->SetRead();
    prepared->SetWrite();
    prepared->SetBufferPadding(false);
    return prepared;
}

ZylDorvTransfer RectangleTransfer(const ZylDorvTransfer& prepared, ZylDorvCSetID rowCSet, ZylDorvCSetID columnCSet,
                                  int rowOffset, int columnOffset, int r0, int r1, int c0, int c1)
{
    ZylDorvTransfer transfer(prepared);
    if (!columnCSet.IsNull()) {
        transfer.SetDimOrdinalRange(0, columnCSet.CollectionID(), columnOffset + c0, columnOffset + c1);
        transfer.SetDimOrdinalRange(1, rowCSet.CollectionID(), rowOffset + r0, rowOffset + r1);
    } else {
        transfer.SetDimOrdinalRange(0, rowCSet.CollectionID(), rowOffset + r0, rowOffset + r1);
    }
    transfer.CheckView();
    return transfer;
}

} // namespace zyl_mtx
