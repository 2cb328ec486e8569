#ifndef PLATFORM_ZYLSRVSYSTEMDOFDEFINITION_H
#define PLATFORM_ZYLSRVSYSTEMDOFDEFINITION_H
// Stand-in for the solver's numbering of system degrees of freedom: solver
// dof i (counted from 0, the row and column index of a system matrix) is the
// dof `dof` of node `node`. The numbering is built by appending one
// (node, dof) pair per solver dof, in solver-dof order.
#include <platform/zyl_Export.h>

#include <vector>

struct ZylSrvNodeDof {
    int node; // first field: the node number
    int dof;  // second field: the dof of that node
};

class ZYL_EXPORT ZylSrvSystemDofDefinition {
public:
    ZylSrvSystemDofDefinition() = default;

    // Appends the next solver dof (number NumberOfSolverDofs() before the call).
    void AddSolverDof(int node, int dof);
    int NumberOfSolverDofs() const noexcept { return static_cast<int>(m_nodeDofs.size()); }

    // The (node, dof) pair of a solver dof. A number outside
    // 0 .. NumberOfSolverDofs()-1 throws std::out_of_range naming the number.
    ZylSrvNodeDof NodeDofFromSolverDof(int solverDof) const;

private:
    std::vector<ZylSrvNodeDof> m_nodeDofs;
};

#endif
