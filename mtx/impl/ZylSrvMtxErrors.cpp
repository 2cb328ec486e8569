#include <mtx/impl/ZylSrvMtxErrors.h>

#include <platform/atr_translate.h>

namespace {

// The template text is the translation key; the field fills placeholder 1.
atr_String Translate(const char* messageTemplate) { return atr_translate(messageTemplate).Result(); }

atr_String TranslateWith(const char* messageTemplate, const char* text)
{
    atr_translate builder(messageTemplate);
    atr_SubstituteFormat(builder, 1, text);
    return builder.Result();
}

atr_String TranslateWith(const char* messageTemplate, int value)
{
    atr_translate builder(messageTemplate);
    atr_SubstituteFormat(builder, 1, value);
    return builder.Result();
}

} // namespace

#define ZYL_SRV_MTX_TEXT_ERROR_IMPL(Name, code, messageTemplate)                                        \
    Name::Name(const char* text) : m_text(TranslateWith("%s", text)) {}                                 \
    Name::Name(const char* text, const atr_String& detail)                                              \
        : ZylBasException(detail), m_text(TranslateWith("%s", text)) {}                                 \
    Name::Name(const Name& other) : ZylBasException(other), m_text(other.m_text) {}                     \
    Name::~Name() = default;                                                                            \
    atr_String Name::AsString() const { return TranslateWith(messageTemplate, m_text.Chars()); }        \
    void Name::ThrowCopy() const { throw *this; }                                                       \
    int Name::ErrorCode() const { return code; }

#define ZYL_SRV_MTX_PLAIN_ERROR_IMPL(Name, code, messageTemplate)                                       \
    Name::Name() = default;                                                                             \
    Name::Name(const atr_String& detail) : ZylBasException(detail) {}                                   \
    Name::Name(const Name& other) : ZylBasException(other) {}                                           \
    Name::~Name() = default;                                                                            \
    atr_String Name::AsString() const { return Translate(messageTemplate); }                            \
    void Name::ThrowCopy() const { throw *this; }                                                       \
    int Name::ErrorCode() const { return code; }

ZYL_SRV_MTX_TEXT_ERROR_IMPL(ZylSrvMtxNoSymmetricTrue, 201, "ZylSrvSparseMatrix::%s symmetric:True not supported!")
ZYL_SRV_MTX_TEXT_ERROR_IMPL(ZylSrvMtxIllegalInput, 206, "ZylSrvMatrix::%s - Illegal input.")
ZYL_SRV_MTX_TEXT_ERROR_IMPL(ZylSrvMtxFileWriteFailure, 208, "Error at writing to file: %s")

ZYL_SRV_MTX_PLAIN_ERROR_IMPL(ZylSrvMtxInvalidGetRange, 203, "ZylSrvDenseMatrix::GetValues invalid range values.")
ZYL_SRV_MTX_PLAIN_ERROR_IMPL(ZylSrvMtxInvalidSetRange, 204, "ZylSrvDenseMatrix::SetValues invalid range values.")
ZYL_SRV_MTX_PLAIN_ERROR_IMPL(ZylSrvMtxUnsupportedExpFmt, 207, "ZylSrvSparseImExPorter: Unsupported export format.")
ZYL_SRV_MTX_PLAIN_ERROR_IMPL(ZylSrvMtxNoUnsymmetric, 209, "ZylSrvSparseMatrix::Export symmetric:False not supported!")
ZYL_SRV_MTX_PLAIN_ERROR_IMPL(ZylSrvMtxUnsupportedImpFmt, 210, "ZylSrvSparseImExPorter: Unsupported import format.")
ZYL_SRV_MTX_PLAIN_ERROR_IMPL(ZylSrvMtxNoTranspose, 211, "ZylSrvSparseMatrix::MultiplyIndexed transpose:False not supported!")
ZYL_SRV_MTX_PLAIN_ERROR_IMPL(ZylSrvMtxIllegalPermVect, 212, "ZylSrvMatrix::PermuteRowsInPlace - Illegal perm Vector.")
ZYL_SRV_MTX_PLAIN_ERROR_IMPL(ZylSrvMtxSolveNotConverge, 214, "ZylSrvMatrix::SolveEigenproblemSymmetric - Eigensolver did not converge.")
ZYL_SRV_MTX_PLAIN_ERROR_IMPL(ZylSrvMtxSolveNotPositive, 215, "ZylSrvMatrix::SolveEigenproblemSymmetric - Matrix B is not positive-definite.")
ZYL_SRV_MTX_PLAIN_ERROR_IMPL(ZylSrvMtxDivByZero, 218, "ZylSrvMatrix::Factorize - division by 0.")

// Exported with its constructor, copy constructor, destructor and AsString.
ZylSrvMtxOpenFileException::ZylSrvMtxOpenFileException(const char* fileName) : m_text(TranslateWith("%s", fileName)) {}
ZylSrvMtxOpenFileException::ZylSrvMtxOpenFileException(const char* fileName, const char* detail)
    : ZylBasException(TranslateWith("%s", detail)), m_text(TranslateWith("%s", fileName))
{
}
ZylSrvMtxOpenFileException::ZylSrvMtxOpenFileException(const ZylSrvMtxOpenFileException& other)
    : ZylBasException(other), m_text(other.m_text)
{
}
ZylSrvMtxOpenFileException::~ZylSrvMtxOpenFileException() = default;
atr_String ZylSrvMtxOpenFileException::AsString() const
{
    return TranslateWith("ZylSrvSparseImExPorter: Failed to open file %s.", m_text.Chars());
}
void ZylSrvMtxOpenFileException::ThrowCopy() const { throw *this; }
int ZylSrvMtxOpenFileException::ErrorCode() const { return 202; }

ZylSrvMtxSolveIllegalArg::ZylSrvMtxSolveIllegalArg(int argumentNumber) : m_argumentNumber(argumentNumber) {}
ZylSrvMtxSolveIllegalArg::ZylSrvMtxSolveIllegalArg(int argumentNumber, const atr_String& detail)
    : ZylBasException(detail), m_argumentNumber(argumentNumber)
{
}
ZylSrvMtxSolveIllegalArg::ZylSrvMtxSolveIllegalArg(const ZylSrvMtxSolveIllegalArg& other)
    : ZylBasException(other), m_argumentNumber(other.m_argumentNumber)
{
}
ZylSrvMtxSolveIllegalArg::~ZylSrvMtxSolveIllegalArg() = default;
atr_String ZylSrvMtxSolveIllegalArg::AsString() const
{
    return TranslateWith("ZylSrvMatrix::SolveEigenproblemSymmetric - Illegal function argument %i.", m_argumentNumber);
}
void ZylSrvMtxSolveIllegalArg::ThrowCopy() const { throw *this; }
int ZylSrvMtxSolveIllegalArg::ErrorCode() const { return 213; }
