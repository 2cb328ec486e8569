#include "ModalProblem.h"

#include <mtx/ZylSrvSparseMatrix.h>

#include <algorithm>
#include <cmath>

namespace zylmodal {

namespace {

const double kPi = 3.14159265358979323846;

// Generalized eigenvalue number i of the 1-D linear elements on n elements of
// length h with free ends: the cosine cos(i pi x / L) sampled at the nodes is
// an exact eigenvector of both matrices.
double DiscreteOneDimensional(int i, int n, double length)
{
    const double h = length / n;
    const double c = std::cos(kPi * i / n);
    return 6.0 / (h * h) * (1.0 - c) / (2.0 + c);
}

double Square(double x) { return x * x; }

} // namespace

double BoxMesh::MaxElementSize() const { return std::max({lx / nx, ly / ny, lz / nz}); }

void HexahedronMatrices(double hx, double hy, double hz, double stiffness[64], double mass[64])
{
    const double h[3] = {hx, hy, hz};
    const double g = 1.0 / std::sqrt(3.0);
    const double weight = hx * hy * hz / 8.0; // det J; the Gauss weights are 1
    std::fill(stiffness, stiffness + 64, 0.0);
    std::fill(mass, mass + 64, 0.0);
    for (int point = 0; point < 8; ++point) {
        double n[8], dn[8][3];
        for (int a = 0; a < 8; ++a) {
            double f[3], df[3]; // the 1-D factors and their x-derivatives
            for (int d = 0; d < 3; ++d) {
                const double s = (a >> d & 1) ? 1.0 : -1.0;
                const double xi = (point >> d & 1) ? g : -g;
                f[d] = 0.5 * (1.0 + s * xi);
                df[d] = s / h[d]; // 0.5 s dxi/dx with dxi/dx = 2 / h
            }
            n[a] = f[0] * f[1] * f[2];
            dn[a][0] = df[0] * f[1] * f[2];
            dn[a][1] = f[0] * df[1] * f[2];
            dn[a][2] = f[0] * f[1] * df[2];
        }
        for (int b = 0; b < 8; ++b)
            for (int a = 0; a < 8; ++a) {
                stiffness[a + 8 * b] += weight * (dn[a][0] * dn[b][0] + dn[a][1] * dn[b][1] + dn[a][2] * dn[b][2]);
                mass[a + 8 * b] += weight * n[a] * n[b];
            }
    }
}

namespace {

void AssembleElementMatrix(const BoxMesh& mesh, const double element[64], ZylSrvSparseMatrix& matrix)
{
    for (int k = 0; k < mesh.nz; ++k)
        for (int j = 0; j < mesh.ny; ++j)
            for (int i = 0; i < mesh.nx; ++i) {
                unsigned int node[8];
                for (int a = 0; a < 8; ++a)
                    node[a] = static_cast<unsigned int>(mesh.Node(i + (a & 1), j + (a >> 1 & 1), k + (a >> 2 & 1)));
                for (int b = 0; b < 8; ++b)
                    for (int a = 0; a < 8; ++a)
                        matrix.AddData(node[a], node[b], element[a + 8 * b]);
            }
    matrix.EndAssembly();
}

} // namespace

void Assemble(const BoxMesh& mesh, Operator which, ZylSrvSparseMatrix& matrix)
{
    double stiffness[64], mass[64];
    HexahedronMatrices(mesh.lx / mesh.nx, mesh.ly / mesh.ny, mesh.lz / mesh.nz, stiffness, mass);
    AssembleElementMatrix(mesh, which == Operator::Stiffness ? stiffness : mass, matrix);
}

void AssembleShifted(const BoxMesh& mesh, double shift, ZylSrvSparseMatrix& matrix)
{
    double stiffness[64], mass[64];
    HexahedronMatrices(mesh.lx / mesh.nx, mesh.ly / mesh.ny, mesh.lz / mesh.nz, stiffness, mass);
    for (int e = 0; e < 64; ++e)
        stiffness[e] += shift * mass[e];
    AssembleElementMatrix(mesh, stiffness, matrix);
}

std::vector<BoxMode> LowestBoxModes(const BoxMesh& mesh, int count)
{
    // Any of the `count` lowest modes has fewer than `count` half waves along
    // each axis (its lower neighbours along that axis all rank below it).
    std::vector<BoxMode> modes;
    for (int k = 0; k <= std::min(mesh.nz, count); ++k)
        for (int j = 0; j <= std::min(mesh.ny, count); ++j)
            for (int i = 0; i <= std::min(mesh.nx, count); ++i)
                modes.push_back({i, j, k,
                                 Square(kPi * i / mesh.lx) + Square(kPi * j / mesh.ly) + Square(kPi * k / mesh.lz),
                                 DiscreteOneDimensional(i, mesh.nx, mesh.lx) +
                                     DiscreteOneDimensional(j, mesh.ny, mesh.ly) +
                                     DiscreteOneDimensional(k, mesh.nz, mesh.lz)});
    std::stable_sort(modes.begin(), modes.end(),
                     [](const BoxMode& a, const BoxMode& b) { return a.discrete < b.discrete; });
    modes.resize(std::min<std::size_t>(modes.size(), static_cast<std::size_t>(count)));
    return modes;
}

double Frequency(double lambda, double speedOfSound)
{
    return std::copysign(speedOfSound * std::sqrt(std::fabs(lambda)) / (2.0 * kPi), lambda);
}

} // namespace zylmodal
