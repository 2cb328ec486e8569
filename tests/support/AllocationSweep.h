#ifndef TESTS_SUPPORT_ALLOCATIONSWEEP_H
#define TESTS_SUPPORT_ALLOCATIONSWEEP_H
// The allocation-failure sweep, in the manner of SQLite's out-of-memory
// tests: an operation runs with its 1st, 2nd, ... allocation refused until it
// completes. Each refusal must arrive as the allocator's error, leak nothing,
// and leave the objects in a state the contract allows (checked by the caller).
#include <platform/ZylBasException.h>
#include <platform/mem.h>

#include <gtest/gtest.h>

namespace zyltest {

// `prepare()` builds fresh operands (the seam disarmed), `op()` is the
// operation under test, `afterRefusal(n)` checks the objects after the n-th
// allocation was refused. Returns how many allocations `op` made, or -1 when
// it never completed within `limit` refusals.
template <typename Prepare, typename Op, typename Check>
int SweepAllocationFailures(Prepare&& prepare, Op&& op, Check&& afterRefusal, int limit = 64)
{
    for (int n = 1; n <= limit; ++n) {
        prepare();
        const long live = mem_LiveBlocks();
        bool refused = false;
        mem_FailAllocation(n, false);
        try {
            op();
        } catch (const mem_AllocationFailure&) {
            refused = true;
        } catch (const ZylBasException& e) {
            mem_ClearFailure();
            ADD_FAILURE() << "refusal " << n << " surfaced as another error: " << e.AsString().Chars();
            return -1;
        }
        mem_ClearFailure();
        if (!refused)
            return n - 1;
        EXPECT_EQ(mem_LiveBlocks(), live) << "refusal " << n << " leaked";
        SCOPED_TRACE(testing::Message() << "after refusal " << n);
        afterRefusal(n);
    }
    ADD_FAILURE() << "the operation never completed";
    return -1;
}

} // namespace zyltest

#endif
