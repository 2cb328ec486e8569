#ifndef PLATFORM_ZYLSRVPOSITION_H
#define PLATFORM_ZYLSRVPOSITION_H
/// \file
/// The ZylSrvPosition class.

/// \class ZylSrvPosition
/// \ingroup foundation
/// Stand-in for the solver's position in its database: the context in which a
/// component keeps its data. It creates distributions there on behalf of a
/// caller that holds a transaction on that context, so that what it creates
/// belongs to the caller's transaction and becomes permanent at the caller's
/// Commit (or disappears when the transaction is abandoned).
///
/// A default-constructed position is null: it names no context, and every
/// operation below then fails with ZylDorvException number 2 (null identifier).
#include <platform/dorv/ZylDorvContext.h>
#include <platform/dorv/ZylDorvIDs.h>
#include <platform/dorv/ZylDorvTypes.h>
#include <platform/zyl_Export.h>

class ZylDorvTransaction;

class ZYL_EXPORT ZylSrvPosition {
public:
    ZylSrvPosition() noexcept = default;
    /// The position in the given context.
    explicit ZylSrvPosition(ZylDorvContextID context) noexcept : m_context(context) {}

    /// The context named (null for a null position).
    ZylDorvContextID ContextID() const noexcept { return m_context; }

    /// The context, opened (ZylDorvException 2 for a null position, 3 when its
    /// database is closed).
    ZylDorvContext Context() const;

    /// A new untyped distribution over `grid` with values of `rangeType`, made
    /// inside `transaction`. The transaction must be active and on this
    /// position's context: otherwise ZylDorvException 62 (not active) or 1 (on
    /// another context) is thrown and nothing is made.
    ZylDorvDistributionID CreateDistribution(ZylDorvTransaction& transaction, const ZylDorvGrid& grid,
                                             const ZylDorvRangeType& rangeType) const;

    /// The same, typed by the type of index `type` (0, 1, ...) of the
    /// context's type schema; ZylDorvException 25 when there is no such type.
    ZylDorvDistributionID CreateTypedDistribution(ZylDorvTransaction& transaction, const ZylDorvGrid& grid, int type,
                                                  const ZylDorvRangeType& rangeType) const;

private:
    ZylDorvContext OpenForTransaction(const ZylDorvTransaction& transaction, const char* operation) const;

    ZylDorvContextID m_context;
};

#endif
