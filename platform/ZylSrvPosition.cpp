#include <platform/ZylSrvPosition.h>

#include <platform/dorv/ZylDorvException.h>
#include <platform/dorv/ZylDorvTransaction.h>

#include <string>

namespace {

std::string Describe(ZylDorvContextID id)
{
    return "context " + std::to_string(id.Number()) + " of database " + std::to_string(id.Database());
}

} // namespace

ZylDorvContext ZylSrvPosition::Context() const
{
    return ZylDorvContext(m_context);
}

ZylDorvContext ZylSrvPosition::OpenForTransaction(const ZylDorvTransaction& transaction, const char* operation) const
{
    ZylDorvContext context(m_context);
    if (!transaction.IsActive()) {
        const std::string text = std::string("ZylDorv error 62: transaction not active: ZylSrvPosition::") +
                                 operation + " in " + Describe(m_context) +
                                 " was given a transaction that is committed or whose database is closed";
        throw ZylDorvException(ZylDorvError_TransactionNotActive, text.c_str());
    }
    if (transaction.ContextID() != m_context) {
        const std::string text = std::string("ZylDorv error 1: invalid argument: ZylSrvPosition::") + operation +
                                 " in " + Describe(m_context) + " was given a transaction on " +
                                 Describe(transaction.ContextID());
        throw ZylDorvException(ZylDorvError_InvalidArgument, text.c_str());
    }
    return context;
}

ZylDorvDistributionID ZylSrvPosition::CreateDistribution(ZylDorvTransaction& transaction, const ZylDorvGrid& grid,
                                                         const ZylDorvRangeType& rangeType) const
{
    ZylDorvContext context = OpenForTransaction(transaction, "CreateDistribution");
    return context.CreateDistribution(grid, rangeType, ZylDorvTypeID());
}

ZylDorvDistributionID ZylSrvPosition::CreateTypedDistribution(ZylDorvTransaction& transaction, const ZylDorvGrid& grid,
                                                              int type, const ZylDorvRangeType& rangeType) const
{
    ZylDorvContext context = OpenForTransaction(transaction, "CreateTypedDistribution");
    return context.CreateDistribution(grid, rangeType, context.Schema().TypeID(type));
}
