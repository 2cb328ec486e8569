// The order in which a container deletes the matrices it still holds. The
// class operator delete below interposes the library's and records every
// block it frees.
#include <mtx/ZylSrvMatrixContainer.h>

#include <gtest/gtest.h>

#include <map>
#include <vector>

namespace {
std::vector<const void*> g_freed;
} // namespace

void mem_AllocationOperators::operator delete(void* block) noexcept
{
    g_freed.push_back(block);
    mem_Free(block);
}

TEST(MatrixContainer, DeletesItsMatricesInAscendingIdOrder)
{
    std::map<const void*, int> idOf;
    auto* c = new ZylSrvMatrixContainer;
    for (int id : {5, -2, 9, 0, -7, 3})
        idOf[&c->Create(id, 2, 1, 1, 1)] = id;
    g_freed.clear();
    delete c;
    std::vector<int> order;
    for (const void* block : g_freed)
        if (idOf.count(block) != 0)
            order.push_back(idOf[block]);
    EXPECT_EQ(order, (std::vector<int>{-7, -2, 0, 3, 5, 9}));
}
