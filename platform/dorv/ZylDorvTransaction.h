#ifndef PLATFORM_DORV_ZYLDORVTRANSACTION_H
#define PLATFORM_DORV_ZYLDORVTRANSACTION_H
// A transaction on a context. Collections, CSets, distributions, drawers and
// extensions made in the context while the transaction is the innermost live
// one on it belong to it: Commit makes them permanent and durable (as Flush);
// a transaction destroyed without Commit removes them again (collections
// shrink back, extended drawers return to their former size, a forgotten
// drawer's index is the next drawer's again), so nothing half-made stays
// behind. An undo step that fails is skipped and the others still run. Values written into drawers that already existed
// are not undone. Work outside any transaction is permanent at once.
// Transactions on one context nest: the inner one's Commit hands its work to
// the enclosing transaction. Closing the database discards the work of every
// live transaction; their Commit then fails with error 62.
#include <platform/dorv/ZylDorvIDs.h>
#include <platform/zyl_Export.h>

#include <memory>

namespace zyl_dorv {
struct FileState;
struct TransactionState;
}

class ZYL_EXPORT ZylDorvTransaction {
public:
    explicit ZylDorvTransaction(ZylDorvContextID context);
    ~ZylDorvTransaction(); // rolls back unless committed; never throws
    ZylDorvTransaction(const ZylDorvTransaction&) = delete;
    ZylDorvTransaction& operator=(const ZylDorvTransaction&) = delete;

    void Commit();
    bool IsActive() const noexcept; // begun, not committed, database still open
    ZylDorvContextID ContextID() const noexcept { return m_context; }

private:
    std::shared_ptr<zyl_dorv::FileState> m_file;
    std::shared_ptr<zyl_dorv::TransactionState> m_state;
    ZylDorvContextID m_context;
};

#endif
