#include <mtx/impl/mpi/ZylSrvMtxSharedErrors.h>

#include <mtx/impl/ZylSrvMtxErrors.h>
#include <platform/dorv/mpi/ZylDorvSharedErrors.h>

#include <string>

namespace {

using zyl_dorv_mpi::SharedError;

template <typename Error>
std::string TextOf(const ZylBasException& error)
{
    return static_cast<const Error&>(error).Text().Chars();
}

template <typename Error>
[[noreturn]] void RaiseText(const SharedError& shared)
{
    Error error(shared.payload, atr_String(shared.detail));
    zyl_dorv_mpi::RaiseWhereItWas(error, shared);
}

template <typename Error>
[[noreturn]] void RaisePlain(const SharedError& shared)
{
    Error error{atr_String(shared.detail)};
    zyl_dorv_mpi::RaiseWhereItWas(error, shared);
}

std::string ArgumentOf(const ZylBasException& error)
{
    return std::to_string(static_cast<const ZylSrvMtxSolveIllegalArg&>(error).ArgumentNumber());
}

[[noreturn]] void RaiseIllegalArgument(const SharedError& shared)
{
    ZylSrvMtxSolveIllegalArg error(std::stoi(shared.payload), atr_String(shared.detail));
    zyl_dorv_mpi::RaiseWhereItWas(error, shared);
}

template <typename Error>
void Text(int number)
{
    zyl_dorv_mpi::RegisterErrorRaiser(number, &TextOf<Error>, &RaiseText<Error>);
}

template <typename Error>
void Plain(int number)
{
    zyl_dorv_mpi::RegisterErrorRaiser(number, nullptr, &RaisePlain<Error>);
}

} // namespace

// 202 (the sparse importer's, an exported type without a detail of the
// rank's) stays out: reading a file is never a collective call.
void zyl_mtx::RegisterSharedErrors()
{
    Text<ZylSrvMtxNoSymmetricTrue>(201);
    Plain<ZylSrvMtxInvalidGetRange>(203);
    Plain<ZylSrvMtxInvalidSetRange>(204);
    Text<ZylSrvMtxIllegalInput>(206);
    Plain<ZylSrvMtxUnsupportedExpFmt>(207);
    Text<ZylSrvMtxFileWriteFailure>(208);
    Plain<ZylSrvMtxNoUnsymmetric>(209);
    Plain<ZylSrvMtxUnsupportedImpFmt>(210);
    Plain<ZylSrvMtxNoTranspose>(211);
    Plain<ZylSrvMtxIllegalPermVect>(212);
    zyl_dorv_mpi::RegisterErrorRaiser(213, &ArgumentOf, &RaiseIllegalArgument);
    Plain<ZylSrvMtxSolveNotConverge>(214);
    Plain<ZylSrvMtxSolveNotPositive>(215);
    Plain<ZylSrvMtxDivByZero>(218);
}
