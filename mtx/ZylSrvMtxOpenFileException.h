#ifndef MTX_ZYLSRVMTXOPENFILEEXCEPTION_H
#define MTX_ZYLSRVMTXOPENFILEEXCEPTION_H
/// \file
/// The ZylSrvMtxOpenFileException class.

/// \class ZylSrvMtxOpenFileException
/// \ingroup frame
/// Error 202: a sparse import could not open its input file, or opened it and
/// could not use it (a malformed or truncated file).
/// Message: "ZylSrvSparseImExPorter: Failed to open file <name>."
/// For a file that opened, Detail() says what is wrong with it (the field, the
/// byte offset, what was expected and what was found); DeveloperReport gives
/// the message, the detail and the raise site. UserReport is the message alone.
#include <platform/ZylBasException.h>
#include <platform/zyl_Export.h>

class ZYL_EXPORT ZylSrvMtxOpenFileException : public ZylBasException {
public:
    /// The file could not be opened at all.
    explicit ZylSrvMtxOpenFileException(const char* fileName);
    /// The file opened but could not be used; detail says why.
    ZylSrvMtxOpenFileException(const char* fileName, const char* detail);
    /// Copies the file name and the detail.
    ZylSrvMtxOpenFileException(const ZylSrvMtxOpenFileException& other);
    ~ZylSrvMtxOpenFileException() override;

    atr_String AsString() const override;
    [[noreturn]] void ThrowCopy() const override;
    int ErrorCode() const override;

private:
    atr_String m_text; // the file name
};

#endif
