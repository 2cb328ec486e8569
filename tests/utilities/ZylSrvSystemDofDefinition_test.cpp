#include <platform/ZylSrvSystemDofDefinition.h>

#include <gtest/gtest.h>

#include <stdexcept>

TEST(ZylSrvSystemDofDefinition, MapsSolverDofsToTheAppendedNodeDofPairsAndRefusesOthers)
{
    ZylSrvSystemDofDefinition dofs;
    EXPECT_EQ(dofs.NumberOfSolverDofs(), 0);
    for (int node = 1; node <= 3; ++node)
        for (int dof = 1; dof <= 2; ++dof)
            dofs.AddSolverDof(10 * node, dof);
    ASSERT_EQ(dofs.NumberOfSolverDofs(), 6);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(dofs.NodeDofFromSolverDof(i).node, 10 * (i / 2 + 1)) << i;
        EXPECT_EQ(dofs.NodeDofFromSolverDof(i).dof, i % 2 + 1) << i;
    }
    EXPECT_THROW(dofs.NodeDofFromSolverDof(6), std::out_of_range);
    EXPECT_THROW(dofs.NodeDofFromSolverDof(-1), std::out_of_range);
    try {
        dofs.NodeDofFromSolverDof(7);
        ADD_FAILURE() << "no exception";
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "ZylSrvSystemDofDefinition::NodeDofFromSolverDof: solver dof 7 is not in 0..5");
    }
}
