#include <platform/dorv/ZylDorvException.h>
#include <platform/dorv/ZylDorvTransaction.h>
#include <platform/dorv/internal/ZylDorvState.h>

#include <algorithm>

using namespace zyl_dorv;

ZylDorvTransaction::ZylDorvTransaction(ZylDorvContextID context)
    : m_file(FileOf(context, "ZylDorvTransaction")), m_state(std::make_shared<TransactionState>()), m_context(context)
{
    ContextData& data = ContextOf(*m_file, context.Number(), "ZylDorvTransaction");
    m_state->context = context.Number();
    data.transactions.push_back(m_state.get());
}

ZylDorvTransaction::~ZylDorvTransaction()
{
    if (!m_state->active)
        return;
    // Roll back: undo in reverse order what this transaction made.
    ContextData* context = m_file->open ? FindContext(*m_file, m_state->context) : nullptr;
    if (context != nullptr) {
        auto& stack = context->transactions;
        stack.erase(std::remove(stack.begin(), stack.end(), m_state.get()), stack.end());
    }
    RollBack(*m_state);
}

void ZylDorvTransaction::Commit()
{
    const std::string operation = "Commit of a transaction on context " + std::to_string(m_context.Number());
    if (!IsActive())
        Fail(ZylDorvError_TransactionNotActive, operation + m_file->In() +
                                                    (m_file->open ? ": already committed" : ": the database is closed"));
    ContextData& context = ContextOf(*m_file, m_state->context, operation);
    auto& stack = context.transactions;
    auto self = std::find(stack.begin(), stack.end(), m_state.get());
    if (self != stack.begin() && self != stack.end()) {
        // Nested: the enclosing transaction takes over the work.
        TransactionState* outer = *(self - 1);
        outer->undo.insert(outer->undo.end(), std::make_move_iterator(m_state->undo.begin()),
                           std::make_move_iterator(m_state->undo.end()));
    }
    if (self != stack.end())
        stack.erase(self);
    m_state->undo.clear();
    m_state->active = false;
    Flush(*m_file, operation);
}

bool ZylDorvTransaction::IsActive() const noexcept { return m_state->active && m_file->open; }
