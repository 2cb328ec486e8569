#ifndef EXAMPLES_MODAL_MODALPROBLEM_H
#define EXAMPLES_MODAL_MODALPROBLEM_H
// The acoustic modes of a closed rigid box: the finite-element model.
//
// The pressure p obeys the Helmholtz equation -laplace(p) = k^2 p with a zero
// normal derivative on every wall; k = omega / c is the wave number. Eight-node
// trilinear hexahedra on an nx x ny x nz mesh give one unknown per node and
//   K = integral of grad(N_a) . grad(N_b),   M = integral of N_a N_b,
// so each eigenvalue lambda of K x = lambda M x is a k^2 (in 1/m^2) and its
// frequency is f = c sqrt(lambda) / (2 pi). Keeping c out of M keeps the
// matrices those of the geometry alone, and makes the discretization error
// read directly as h^2 lambda / 12.
//
// Nodes are numbered x fastest: node (i, j, k) is i + (nx + 1) (j + (ny + 1) k);
// the eight nodes of an element carry local numbers a = ax + 2 ay + 4 az with
// (ax, ay, az) in {0, 1}^3 counted from the element's lowest corner.
#include <vector>

class ZylSrvSparseMatrix;

namespace zylmodal {

struct BoxMesh {
    double lx = 1.2, ly = 0.8, lz = 0.6; // edge lengths in m
    int nx = 24, ny = 16, nz = 12;       // elements along each edge

    int NumberOfNodes() const { return (nx + 1) * (ny + 1) * (nz + 1); }
    int Node(int i, int j, int k) const { return i + (nx + 1) * (j + (ny + 1) * k); }
    double MaxElementSize() const;
};

// The 8 x 8 stiffness and consistent mass of one hx x hy x hz hexahedron,
// column-major, from 2 x 2 x 2 Gauss points (exact for this element).
void HexahedronMatrices(double hx, double hy, double hz, double stiffness[64], double mass[64]);

// Every element's 64 triplets go to AddData as they are; EndAssembly sums the
// repeats. matrix: newly constructed with the mesh's node count as dimensions.
enum class Operator { Stiffness, Mass };
void Assemble(const BoxMesh& mesh, Operator which, ZylSrvSparseMatrix& matrix);
// K + shift M in one matrix, element by element, the same way.
void AssembleShifted(const BoxMesh& mesh, double shift, ZylSrvSparseMatrix& matrix);

// One mode of the box: the number of half waves along x, y and z, the exact
// eigenvalue (pi i / lx)^2 + (pi j / ly)^2 + (pi k / lz)^2, and the eigenvalue
// the mesh gives for it. The matrices are Kronecker sums of the one-dimensional
// linear-element matrices, whose generalized eigenvalues are known in closed
// form, so the mesh's eigenvalues are known too: they order the modes the way
// a solver finds them, even where the mesh splits or swaps close exact ones.
struct BoxMode {
    int i, j, k;
    double exact;
    double discrete;
};
// The `count` lowest modes of the mesh, ascending by their discrete eigenvalue.
std::vector<BoxMode> LowestBoxModes(const BoxMesh& mesh, int count);

// c sqrt(lambda) / (2 pi), negative for a negative lambda (a rounding-level
// zero mode may come out either side).
double Frequency(double lambda, double speedOfSound);

} // namespace zylmodal

#endif
