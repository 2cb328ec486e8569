#ifndef BENCH_HEXMESHPATTERN_H
#define BENCH_HEXMESHPATTERN_H
// The sparse matrix of a finite-element model, for benchmarks: a box of
// nx * ny * nz eight-node hexahedra, one unknown per node, every element
// adding its symmetric 8 x 8 matrix as 64 (row, column, value) triplets.
// Neighbouring elements share nodes, so triplets repeat positions (up to
// eight times), as in a real assembly; the assembled matrix is symmetric with
// up to 27 stored entries per row. For 60^3 elements: 226,981 rows,
// 13,824,000 triplets, 5,929,741 distinct positions.
//
// Nodes are numbered x fastest: node (i, j, k) is i + (nx + 1) (j + (ny + 1) k).
// Elements are visited in the same order, their nodes in the order of the
// bits of the local number a = ax + 2 ay + 4 az, (ax, ay, az) in {0, 1}^3.
#include <cstdint>

namespace zylbench {

struct HexMesh {
    int nx, ny, nz;

    std::int64_t NumberOfNodes() const { return std::int64_t(nx + 1) * (ny + 1) * (nz + 1); }
    std::int64_t NumberOfElements() const { return std::int64_t(nx) * ny * nz; }
    std::int64_t NumberOfTriplets() const { return 64 * NumberOfElements(); }
    // Distinct (row, column) positions: two nodes meet in an element when no
    // coordinate differs by more than one.
    std::int64_t NumberOfPositions() const { return std::int64_t(3 * nx + 1) * (3 * ny + 1) * (3 * nz + 1); }
};

// The trilinear Laplace stiffness of a unit cube: the value depends only on
// how many coordinates the two corners differ in (0: 4/12, 1: 0, 2 and 3:
// -1/12). Its rows sum to zero; the edge neighbours' exact zeros still count
// as stored positions.
inline double HexElementValue(int a, int b)
{
    static const double byDifferences[4] = {4.0 / 12.0, 0.0, -1.0 / 12.0, -1.0 / 12.0};
    const int d = a ^ b;
    return byDifferences[(d & 1) + ((d >> 1) & 1) + ((d >> 2) & 1)];
}

// Calls add(row, column, value) for the 64 triplets of every element, rows
// and columns as unsigned 32-bit node numbers.
template <class Add>
void ForEachHexTriplet(const HexMesh& mesh, Add add)
{
    const std::uint32_t sx = static_cast<std::uint32_t>(mesh.nx + 1);
    const std::uint32_t sxy = sx * static_cast<std::uint32_t>(mesh.ny + 1);
    for (int k = 0; k < mesh.nz; ++k)
        for (int j = 0; j < mesh.ny; ++j)
            for (int i = 0; i < mesh.nx; ++i) {
                const std::uint32_t origin = static_cast<std::uint32_t>(i) + sx * j + sxy * k;
                std::uint32_t node[8];
                for (int a = 0; a < 8; ++a)
                    node[a] = origin + (a & 1) + sx * ((a >> 1) & 1) + sxy * ((a >> 2) & 1);
                for (int a = 0; a < 8; ++a)
                    for (int b = 0; b < 8; ++b)
                        add(node[a], node[b], HexElementValue(a, b));
            }
}

} // namespace zylbench

#endif
