#ifndef MTX_IMPL_ZYLSRVMTXERRORS_H
#define MTX_IMPL_ZYLSRVMTXERRORS_H
// The library's error family. Every type derives directly from
// ZylBasException, has a fixed number and a fixed message template, and is
// raised through zyl_mtx::Raise (below), which records file and line. The
// constructors with a detail serve the MPI flavour, which raises one rank's
// error on every rank with that rank named in the detail.
// Numbers 205, 216 and 217 are not used.
//
//  201 ZylSrvMtxNoSymmetricTrue     "ZylSrvSparseMatrix::%s symmetric:True not supported!"
//  202 ZylSrvMtxOpenFileException   "ZylSrvSparseImExPorter: Failed to open file %s."
//  203 ZylSrvMtxInvalidGetRange     "ZylSrvDenseMatrix::GetValues invalid range values."
//  204 ZylSrvMtxInvalidSetRange     "ZylSrvDenseMatrix::SetValues invalid range values."
//  206 ZylSrvMtxIllegalInput        "ZylSrvMatrix::%s - Illegal input."
//  207 ZylSrvMtxUnsupportedExpFmt   "ZylSrvSparseImExPorter: Unsupported export format."
//  208 ZylSrvMtxFileWriteFailure    "Error at writing to file: %s"
//  209 ZylSrvMtxNoUnsymmetric       "ZylSrvSparseMatrix::Export symmetric:False not supported!"
//  210 ZylSrvMtxUnsupportedImpFmt   "ZylSrvSparseImExPorter: Unsupported import format."
//  211 ZylSrvMtxNoTranspose         "ZylSrvSparseMatrix::MultiplyIndexed transpose:False not supported!"
//  212 ZylSrvMtxIllegalPermVect     "ZylSrvMatrix::PermuteRowsInPlace - Illegal perm Vector."
//  213 ZylSrvMtxSolveIllegalArg     "ZylSrvMatrix::SolveEigenproblemSymmetric - Illegal function argument %i."
//  214 ZylSrvMtxSolveNotConverge    "ZylSrvMatrix::SolveEigenproblemSymmetric - Eigensolver did not converge."
//  215 ZylSrvMtxSolveNotPositive    "ZylSrvMatrix::SolveEigenproblemSymmetric - Matrix B is not positive-definite."
//  218 ZylSrvMtxDivByZero           "ZylSrvMatrix::Factorize - division by 0."
//
// 209's template is our own wording: the error is raised when a matrix that is
// not in the symmetric form is exported to a layout that needs that form, so
// the message names the export and the form that is refused.
#include <mtx/ZylSrvMtxOpenFileException.h>
#include <platform/ZylBasException.h>

#include <cstddef>
#include <utility>

// A type that carries one text (operation name, file name or detail).
#define ZYL_SRV_MTX_TEXT_ERROR(Name)                         \
    class Name : public ZylBasException {                    \
    public:                                                  \
        explicit Name(const char* text);                     \
        Name(const char* text, const atr_String& detail);    \
        Name(const Name& other);                             \
        ~Name() override;                                    \
        atr_String AsString() const override;                \
        [[noreturn]] void ThrowCopy() const override;        \
        int ErrorCode() const override;                      \
        const atr_String& Text() const { return m_text; }    \
                                                             \
    private:                                                 \
        atr_String m_text;                                   \
    };

// A type without a field.
#define ZYL_SRV_MTX_PLAIN_ERROR(Name)                        \
    class Name : public ZylBasException {                    \
    public:                                                  \
        Name();                                              \
        explicit Name(const atr_String& detail);             \
        Name(const Name& other);                             \
        ~Name() override;                                    \
        atr_String AsString() const override;                \
        [[noreturn]] void ThrowCopy() const override;        \
        int ErrorCode() const override;                      \
    };

ZYL_SRV_MTX_TEXT_ERROR(ZylSrvMtxNoSymmetricTrue)
ZYL_SRV_MTX_PLAIN_ERROR(ZylSrvMtxInvalidGetRange)
ZYL_SRV_MTX_PLAIN_ERROR(ZylSrvMtxInvalidSetRange)
ZYL_SRV_MTX_TEXT_ERROR(ZylSrvMtxIllegalInput)
ZYL_SRV_MTX_PLAIN_ERROR(ZylSrvMtxUnsupportedExpFmt)
ZYL_SRV_MTX_TEXT_ERROR(ZylSrvMtxFileWriteFailure)
ZYL_SRV_MTX_PLAIN_ERROR(ZylSrvMtxNoUnsymmetric)
ZYL_SRV_MTX_PLAIN_ERROR(ZylSrvMtxUnsupportedImpFmt)
ZYL_SRV_MTX_PLAIN_ERROR(ZylSrvMtxNoTranspose)
ZYL_SRV_MTX_PLAIN_ERROR(ZylSrvMtxIllegalPermVect)
ZYL_SRV_MTX_PLAIN_ERROR(ZylSrvMtxSolveNotConverge)
ZYL_SRV_MTX_PLAIN_ERROR(ZylSrvMtxSolveNotPositive)
ZYL_SRV_MTX_PLAIN_ERROR(ZylSrvMtxDivByZero)

#undef ZYL_SRV_MTX_TEXT_ERROR
#undef ZYL_SRV_MTX_PLAIN_ERROR

// 213: carries the number of the argument LAPACK reported as illegal.
class ZylSrvMtxSolveIllegalArg : public ZylBasException {
public:
    explicit ZylSrvMtxSolveIllegalArg(int argumentNumber);
    ZylSrvMtxSolveIllegalArg(int argumentNumber, const atr_String& detail);
    ZylSrvMtxSolveIllegalArg(const ZylSrvMtxSolveIllegalArg& other);
    ~ZylSrvMtxSolveIllegalArg() override;
    atr_String AsString() const override;
    [[noreturn]] void ThrowCopy() const override;
    int ErrorCode() const override;
    int ArgumentNumber() const { return m_argumentNumber; }

private:
    int m_argumentNumber;
};

namespace zyl_mtx {

// The source names raise sites record: the implementation file of the raising
// class, without its extension. Callers match on them.
inline constexpr char kMatrixSource[] = "mtx/impl/ZylSrvMatrix";
inline constexpr char kDenseMatrixSource[] = "mtx/impl/ZylSrvDenseMatrix";
inline constexpr char kScratchDenseMatrixSource[] = "mtx/impl/ZylSrvScratchDenseMatrix";
inline constexpr char kHermitianScrDenseMatrixSource[] = "mtx/impl/ZylSrvHermitianScrDenseMatrix";
inline constexpr char kUtilitiesSource[] = "mtx/impl/ZylSrvUtilities";
inline constexpr char kDorvFileHandleSource[] = "mtx/impl/ZylSrvDorvFileHandle";
inline constexpr char kSparseMatrixSource[] = "mtx/impl/ZylSrvSparseMatrix";
inline constexpr char kSparseImExPorterSource[] = "mtx/impl/ZylSrvSparseImExPorter";
inline constexpr char kMatrixContainerSource[] = "mtx/impl/ZylSrvMatrixContainer";
inline constexpr char kLinearAlgebraSource[] = "mtx/impl/ZylSrvLinearAlgebra";

// Line numbers the contract fixes for three dense-matrix errors. Callers match
// on them, so they never follow the lines of the file that raises them.
inline constexpr int kContractLineGetValuesRange = 530;
inline constexpr int kContractLineSetValuesRange = 554;
inline constexpr int kContractLineSetValuesWriteFailure = 575;

// Where raises are recorded: the source path of the raising class and, for a
// raise made in one of that class's helper files, the helper file. A class's
// own file gives its path alone (it converts); a helper file defines its
// kRaiseSource with HelperSource.
struct RaiseSource {
    constexpr RaiseSource(const char* classPath) noexcept : path(classPath) {}
    constexpr RaiseSource(const char* classPath, const char* helperFile) noexcept : path(classPath), site(helperFile) {}
    const char* path;
    const char* site = nullptr;
};

// The raise source of a helper file of the class at `classPath`, given the
// helper's __FILE__: the site is that name from below "mtx/impl/" (the
// compiler may give it with any leading directories).
constexpr RaiseSource HelperSource(const char* classPath, const char* compiledName) noexcept
{
    constexpr char kImplFolder[] = "mtx/impl/";
    const char* site = compiledName;
    for (const char* p = compiledName; *p != '\0'; ++p) {
        std::size_t matched = 0;
        while (kImplFolder[matched] != '\0' && p[matched] == kImplFolder[matched])
            ++matched;
        if (kImplFolder[matched] == '\0')
            site = p + matched;
    }
    return RaiseSource(classPath, site);
}

// The one way an error of the family leaves the library: built from
// `arguments`, recorded at source:line, thrown as its most-derived type.
template <typename Error, typename... Arguments>
[[noreturn]] void Raise(RaiseSource source, int line, Arguments&&... arguments)
{
    Error error(std::forward<Arguments>(arguments)...);
    error.Throw(source.path, source.site, line);
}

} // namespace zyl_mtx

// Refuses input in the manner of BLAS++'s blas_error_if: when `condition`
// holds, raises 206 naming `operation` at this line. The source recorded is the
// raising file's `kRaiseSource`, which each implementation or helper file
// defines once.
#define ZYL_SRV_MTX_REFUSE_IF(condition, operation)                                                  \
    do {                                                                                             \
        if (condition)                                                                               \
            ::zyl_mtx::Raise<ZylSrvMtxIllegalInput>(kRaiseSource, __LINE__, operation);              \
    } while (false)

#endif
