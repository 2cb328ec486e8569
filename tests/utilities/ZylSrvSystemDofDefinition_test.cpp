#include <platform/ZylSrvSystemDofDefinition.h>

#include <gtest/gtest.h>

#include <stdexcept>

TEST(ZylSrvSystemDofDefinition, MapsSolverDofsToTheAppendedNodeDofPairsAndRefusesOthers)
{
    ZylSrvSystemDofDefinition dofs;
    EXPECT_EQ(dofs.NumberOfSolverDofs(), 0);
    for (int i = 0; i < 6; ++i)
        dofs.AddSolverDof(10 * (i / 2 + 1), i % 2 + 1);
    ASSERT_EQ(dofs.NumberOfSolverDofs(), 6);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(std::make_pair(dofs.NodeDofFromSolverDof(i).node, dofs.NodeDofFromSolverDof(i).dof), std::make_pair(10 * (i / 2 + 1), i % 2 + 1)) << i;
    EXPECT_THROW(dofs.NodeDofFromSolverDof(-1), std::out_of_range);
    try {
        dofs.NodeDofFromSolverDof(6);
        ADD_FAILURE() << "no exception";
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "ZylSrvSystemDofDefinition::NodeDofFromSolverDof: solver dof 6 is not in 0..5");
    }
}
