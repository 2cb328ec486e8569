#ifndef MTX_ZYLSRVMTXOPENFILEEXCEPTION_H
#define MTX_ZYLSRVMTXOPENFILEEXCEPTION_H
// Error 202: a sparse import could not open its input file.
// Message: "ZylSrvSparseImExPorter: Failed to open file <name>."
#include <platform/ZylBasException.h>
#include <platform/zyl_Export.h>

class ZYL_EXPORT ZylSrvMtxOpenFileException : public ZylBasException {
public:
    explicit ZylSrvMtxOpenFileException(const char* fileName);
    ZylSrvMtxOpenFileException(const ZylSrvMtxOpenFileException& other);
    ~ZylSrvMtxOpenFileException() override;

    atr_String AsString() const override;
    [[noreturn]] void ThrowCopy() const override;
    int ErrorCode() const override;

private:
    atr_String m_text; // the file name
};

#endif
