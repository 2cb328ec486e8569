#include <platform/ZylSrvSystemDofDefinition.h>

#include <gtest/gtest.h>

#include <stdexcept>

TEST(ZylSrvSystemDofDefinition, MapsSolverDofsToTheAppendedNodeDofPairs)
{
    ZylSrvSystemDofDefinition dofs;
    EXPECT_EQ(dofs.NumberOfSolverDofs(), 0);
    for (int node = 1; node <= 3; ++node)
        for (int dof = 1; dof <= 2; ++dof)
            dofs.AddSolverDof(10 * node, dof);
    ASSERT_EQ(dofs.NumberOfSolverDofs(), 6);
    for (int i = 0; i < 6; ++i) {
        const ZylSrvNodeDof nd = dofs.NodeDofFromSolverDof(i);
        EXPECT_EQ(nd.node, 10 * (i / 2 + 1)) << i;
        EXPECT_EQ(nd.dof, i % 2 + 1) << i;
    }
}

TEST(ZylSrvSystemDofDefinition, RefusesSolverDofsOutsideTheNumbering)
{
    ZylSrvSystemDofDefinition dofs;
    dofs.AddSolverDof(5, 3);
    EXPECT_THROW(dofs.NodeDofFromSolverDof(1), std::out_of_range);
    EXPECT_THROW(dofs.NodeDofFromSolverDof(-1), std::out_of_range);
    try {
        dofs.NodeDofFromSolverDof(7);
        ADD_FAILURE() << "no exception";
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "ZylSrvSystemDofDefinition::NodeDofFromSolverDof: solver dof 7 is not in 0..0");
    }
}
