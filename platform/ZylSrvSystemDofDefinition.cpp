#include <platform/ZylSrvSystemDofDefinition.h>

#include <stdexcept>
#include <string>

void ZylSrvSystemDofDefinition::AddSolverDof(int node, int dof)
{
    m_nodeDofs.push_back(ZylSrvNodeDof{node, dof});
}

ZylSrvNodeDof ZylSrvSystemDofDefinition::NodeDofFromSolverDof(int solverDof) const
{
    if (solverDof < 0 || solverDof >= NumberOfSolverDofs())
        throw std::out_of_range("ZylSrvSystemDofDefinition::NodeDofFromSolverDof: solver dof " +
                                std::to_string(solverDof) + " is not in 0.." +
                                std::to_string(NumberOfSolverDofs() - 1));
    return m_nodeDofs[static_cast<std::size_t>(solverDof)];
}
