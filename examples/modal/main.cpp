// The main example: the acoustic modes of a closed rigid box, end to end.
//
// A finite-element model assembles its sparse stiffness and mass matrices
// from hexahedra (AddData for every element triplet, EndAssembly summing the
// repeats), a block eigen-solver multiplies them eight vectors at a time,
// keeps the converged mode shapes in out-of-core scratch dense matrices and
// reduces each step to a small dense generalized eigenproblem. Every computed
// frequency has a known answer, f = (c / 2) sqrt((i/lx)^2 + (j/ly)^2 + (k/lz)^2),
// and the program checks the lot: the zero mode's eigenvalue (constant
// pressure) must come out within the tolerance times the first nonzero
// eigenvalue, and every other eigenvalue above the exact one by no more than
// h_max^2 lambda / 6 (the mesh's error is about h^2 lambda / 12 for these
// modes). An eigenvalue's error is quadratic in its pair's residual, so a
// converged zero mode lies far inside its bound; a fixed share of the first
// frequency instead would fail sound runs at a looser tolerance. Run with
// --help for the options.
#include "ConvergencePlot.h"
#include "Lobpcg.h"
#include "ModalProblem.h"
#include "Multigrid.h"

#include <mtx/ZylSrvLinearAlgebra.h>
#include <mtx/ZylSrvScratchDenseMatrix.h>
#include <mtx/ZylSrvSparseMatrix.h>
#include <platform/ZylBasException.h>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

struct Options {
    zylmodal::BoxMesh mesh;
    double speedOfSound = 343.0;
    zylmodal::LobpcgOptions solver;
    int every = 10;
    std::string vtk, plot, exportDir;
    bool profile = false;
    bool multigrid = true; // else Jacobi
};

void Usage(const char* program)
{
    std::printf("usage: %s [options]\n"
                "The lowest acoustic modes of a closed rigid box by finite elements and LOBPCG.\n"
                "  --mesh NXxNYxNZ      hexahedra along each edge (default 24x16x12)\n"
                "  --box LXxLYxLZ       edge lengths in m (default 1.2x0.8x0.6)\n"
                "  --speed C            speed of sound in m/s (default 343)\n"
                "  --modes N            modes to compute (default 20)\n"
                "  --tolerance T        relative residual ||Kx - lambda Mx|| / (||K|| ||x||) (default 1e-10)\n"
                "  --block B            vectors per block, best a multiple of 8 (default: from the modes)\n"
                "  --precond P          multigrid (default) or jacobi, both of K + sigma M\n"
                "  --max-iterations N   give up after N iterations (default 2000)\n"
                "  --every N            print progress every N iterations and at each lock (default 10)\n"
                "  --vtk FILE           write the mesh and the mode shapes as a legacy VTK file (ParaView)\n"
                "  --plot FILE.svg      write the convergence history (each mode's residual) as SVG\n"
                "  --export DIR         write K and M as Matrix Market files DIR/K.mtx and DIR/M.mtx\n"
                "  --profile            time the solver's phases against the same sparse products alone\n"
                "  --help               this text\n",
                program);
}

bool ParseTriple(const char* text, double v[3])
{
    return std::sscanf(text, "%lfx%lfx%lf", &v[0], &v[1], &v[2]) == 3 && v[0] > 0 && v[1] > 0 && v[2] > 0;
}

// 0 to run, 1 for a bad command line, 2 after --help.
int Parse(int argc, char** argv, Options& o)
{
    for (int a = 1; a < argc; ++a) {
        const std::string arg = argv[a];
        const char* value = a + 1 < argc ? argv[a + 1] : nullptr;
        double v[3] = {0.0, 0.0, 0.0};
        bool ok = true;
        if (arg == "--help") {
            Usage(argv[0]);
            return 2;
        } else if (arg == "--profile") {
            o.profile = true;
            continue;
        } else if (value == nullptr) {
            ok = false;
        } else if (arg == "--mesh") {
            ok = ParseTriple(value, v) && std::min({v[0], v[1], v[2]}) >= 1 && std::max({v[0], v[1], v[2]}) < 1e4;
            o.mesh.nx = static_cast<int>(v[0]), o.mesh.ny = static_cast<int>(v[1]), o.mesh.nz = static_cast<int>(v[2]);
        } else if (arg == "--box") {
            ok = ParseTriple(value, v);
            o.mesh.lx = v[0], o.mesh.ly = v[1], o.mesh.lz = v[2];
        } else if (arg == "--speed") {
            ok = (o.speedOfSound = std::atof(value)) > 0;
        } else if (arg == "--modes") {
            ok = (o.solver.modes = std::atoi(value)) > 0;
        } else if (arg == "--tolerance") {
            ok = (o.solver.tolerance = std::atof(value)) > 0;
        } else if (arg == "--block") {
            ok = (o.solver.blockSize = std::atoi(value)) > 0;
        } else if (arg == "--max-iterations") {
            ok = (o.solver.maxIterations = std::atoi(value)) > 0;
        } else if (arg == "--every") {
            ok = (o.every = std::atoi(value)) > 0;
        } else if (arg == "--precond") {
            ok = std::strcmp(value, "multigrid") == 0 || std::strcmp(value, "jacobi") == 0;
            o.multigrid = std::strcmp(value, "multigrid") == 0;
        } else if (arg == "--vtk") {
            o.vtk = value;
        } else if (arg == "--plot") {
            o.plot = value;
        } else if (arg == "--export") {
            o.exportDir = value;
        } else {
            ok = false;
        }
        if (!ok) {
            std::fprintf(stderr, "bad option %s %s (see --help)\n", arg.c_str(), value ? value : "");
            return 1;
        }
        ++a;
    }
    if (o.solver.blockSize > 0 && o.solver.blockSize < o.solver.modes) {
        std::fprintf(stderr, "--block must be at least --modes\n");
        return 1;
    }
    if (static_cast<double>(o.mesh.nx + 1) * (o.mesh.ny + 1) * (o.mesh.nz + 1) > 2e8) {
        std::fprintf(stderr, "mesh too large\n");
        return 1;
    }
    return 0;
}

// Legacy VTK: the hexahedra as an unstructured grid, one scalar per mode.
bool WriteVtk(const std::string& path, const zylmodal::BoxMesh& mesh, const std::vector<double>& shapes,
              const std::vector<double>& lambda, double c)
{
    FILE* f = std::fopen(path.c_str(), "w");
    if (f == nullptr)
        return false;
    const int n = mesh.NumberOfNodes();
    const long cells = static_cast<long>(mesh.nx) * mesh.ny * mesh.nz;
    std::fprintf(f, "# vtk DataFile Version 3.0\nacoustic modes of a rigid box\nASCII\nDATASET UNSTRUCTURED_GRID\n");
    std::fprintf(f, "POINTS %d double\n", n);
    for (int k = 0; k <= mesh.nz; ++k)
        for (int j = 0; j <= mesh.ny; ++j)
            for (int i = 0; i <= mesh.nx; ++i)
                std::fprintf(f, "%.9g %.9g %.9g\n", mesh.lx * i / mesh.nx, mesh.ly * j / mesh.ny, mesh.lz * k / mesh.nz);
    std::fprintf(f, "CELLS %ld %ld\n", cells, 9 * cells);
    static const int vtkOrder[8][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                                       {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
    for (int k = 0; k < mesh.nz; ++k)
        for (int j = 0; j < mesh.ny; ++j)
            for (int i = 0; i < mesh.nx; ++i) {
                std::fprintf(f, "8");
                for (const auto& o : vtkOrder)
                    std::fprintf(f, " %d", mesh.Node(i + o[0], j + o[1], k + o[2]));
                std::fprintf(f, "\n");
            }
    std::fprintf(f, "CELL_TYPES %ld\n", cells);
    for (long e = 0; e < cells; ++e)
        std::fprintf(f, "12\n");
    std::fprintf(f, "POINT_DATA %d\n", n);
    for (std::size_t m = 0; m < lambda.size(); ++m) {
        std::fprintf(f, "SCALARS mode%02zu_%.1fHz double 1\nLOOKUP_TABLE default\n", m + 1,
                     std::fabs(zylmodal::Frequency(lambda[m], c)));
        for (int i = 0; i < n; ++i)
            std::fprintf(f, "%.9g\n", shapes[static_cast<std::size_t>(n) * m + i]);
    }
    return std::fclose(f) == 0;
}

// The sparse products of the solve again, alone, on random blocks (A the
// pencil's K + shift M).
double SparseBaseline(const ZylSrvSparseMatrix& A, const ZylSrvSparseMatrix& M,
                      const zylmodal::LobpcgStatistics& stats)
{
    const std::size_t n = static_cast<std::size_t>(A.NumberOfRows());
    std::mt19937 engine(7);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    double seconds = 0.0;
    for (const auto& [call, count] : stats.sparseCalls) {
        std::vector<double> x(n * call.second), y(x.size());
        for (double& v : x)
            v = uniform(engine);
        const Clock::time_point start = Clock::now();
        for (long i = 0; i < count; ++i)
            (call.first == 0 ? A : M).Multiply(x.data(), call.second, y.data(), false);
        seconds += Since(start);
    }
    return seconds;
}

void Profile(const ZylSrvSparseMatrix& A, const ZylSrvSparseMatrix& M, const zylmodal::LobpcgStatistics& s,
             int modes)
{
    long calls = 0, vectors = 0;
    for (const auto& [call, count] : s.sparseCalls)
        calls += count, vectors += count * call.second;
    const double baseline = SparseBaseline(A, M, s);
    const double other = s.totalSeconds - s.sparseSeconds - s.denseSeconds - s.outOfCoreSeconds - s.eigenSeconds -
                         s.preconditionerSeconds;
    const int iterations = std::max(s.iterations, 1);
    auto phase = [&](const char* name, double seconds, const std::string& note) {
        std::printf("  %-20s %8.3f s %5.1f%% %9.3f ms%s\n", name, seconds, 100.0 * seconds / s.totalSeconds,
                    1e3 * seconds / iterations, note.c_str());
    };
    std::printf("profile of the solve (%.3f s, %d iterations):\n", s.totalSeconds, s.iterations);
    std::printf("  %-20s %10s %6s %12s\n", "phase", "time", "share", "/ iteration");
    phase("sparse products", s.sparseSeconds,
          "  (" + std::to_string(calls) + " calls, " + std::to_string(vectors) + " vectors)");
    phase("dense block products", s.denseSeconds, "");
    phase("locked modes (disk)", s.outOfCoreSeconds, "");
    phase("small eigenproblems", s.eigenSeconds, "");
    phase("preconditioner", s.preconditionerSeconds, "");
    char setup[96];
    std::snprintf(setup, sizeof setup, "  (of which setup %.3f s: preconditioner, buffers, mode set)", s.setupSeconds);
    phase("other", other, setup);
    std::printf("  baseline: the same sparse products alone %.3f s; solve / baseline %.2f, "
                "sparse products in the solve / baseline %.2f\n",
                baseline, s.totalSeconds / baseline, s.sparseSeconds / baseline);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double mib = 1024.0 * 1024.0;
    auto bytes = [](const ZylSrvSparseMatrix& A) {
        return (12.0 * A.NumberOfNonzeros() + 4.0 * (A.NumberOfRows() + 1)) / (1024.0 * 1024.0);
    };
    const double modeSet = 2.0 * 8.0 * A.NumberOfRows() * modes / mib; // the modes and M times them
    std::printf("  peak resident memory %.0f MiB; K + shift M %.1f MiB, M %.1f MiB, mode set %.1f MiB (on disk)\n",
                usage.ru_maxrss / 1024.0, bytes(A), bytes(M), modeSet);
}

int Run(const Options& o)
{
    const zylmodal::BoxMesh& mesh = o.mesh;
    const int n = mesh.NumberOfNodes();
    std::printf("acoustic modes of a rigid box %g x %g x %g m, c = %g m/s\n", mesh.lx, mesh.ly, mesh.lz,
                o.speedOfSound);
    std::printf("mesh %d x %d x %d trilinear hexahedra, h_max %.4g m: %d unknowns\n", mesh.nx, mesh.ny, mesh.nz,
                mesh.MaxElementSize(), n);
    zylmodal::LobpcgOptions solver = o.solver;
    solver.modes = std::min(solver.modes, n);
    const std::vector<zylmodal::BoxMode> exact = zylmodal::LowestBoxModes(mesh, solver.modes);
    // The shift: about the first nonzero eigenvalue.
    const double shift = exact.size() > 1 ? exact[1].exact : 1.0;
    // The solver works on the pencil (K + shift M, M), whose eigenvalues are
    // lambda + shift and whose eigenvectors are K's: its matrix is the one
    // the preconditioner is built on (multigrid's finest level), so K itself
    // is only assembled for the export and for the check after the solve.
    solver.pencilShift = shift;
    Clock::time_point start = Clock::now();
    ZylSrvSparseMatrix M(n, n);
    zylmodal::Assemble(mesh, zylmodal::Operator::Mass, M);
    std::unique_ptr<ZylSrvSparseMatrix> jacobiShifted;
    if (!o.multigrid) {
        jacobiShifted.reset(new ZylSrvSparseMatrix(n, n));
        zylmodal::AssembleShifted(mesh, shift, *jacobiShifted);
    }
    const double assembly = Since(start);
    std::printf("assembly: M%s with %d stored entries (%.0f triplets each), %.3f s\n",
                o.multigrid ? "" : " and K + shift M", M.NumberOfNonzeros(), 64.0 * mesh.nx * mesh.ny * mesh.nz,
                assembly);
    if (!o.exportDir.empty()) {
        ZylSrvSparseMatrix K(n, n);
        zylmodal::Assemble(mesh, zylmodal::Operator::Stiffness, K);
        std::filesystem::create_directories(o.exportDir);
        K.ExportMatrixMarket((o.exportDir + "/K.mtx").c_str());
        M.ExportMatrixMarket((o.exportDir + "/M.mtx").c_str());
        std::printf("wrote %s/K.mtx and %s/M.mtx\n", o.exportDir.c_str(), o.exportDir.c_str());
    }
    int lastConverged = -1;
    solver.progress = [&](int iteration, int converged, double largest) {
        if (iteration % o.every == 0 || converged != lastConverged)
            std::printf("  iteration %5d: %3d converged, largest residual %.2e\n", iteration, converged, largest);
        lastConverged = converged;
        std::fflush(stdout);
    };
    zylmodal::ConvergencePlot plot;
    if (!o.plot.empty())
        solver.history = [&plot](int iteration, int first, const std::vector<double>& residuals) {
            plot.Add(iteration, first, residuals);
        };
    std::unique_ptr<zylmodal::Multigrid> multigrid;
    if (o.multigrid) {
        zylmodal::MultigridOptions options;
        options.shift = shift;
        multigrid.reset(new zylmodal::Multigrid(mesh, options));
        const zylmodal::BoxMesh& coarsest = multigrid->Mesh(multigrid->NumberOfLevels() - 1);
        std::printf("multigrid: %d levels down to %d x %d x %d, setup %.3f s\n", multigrid->NumberOfLevels(),
                    coarsest.nx, coarsest.ny, coarsest.nz, multigrid->SetupSeconds());
        solver.preconditioner = [&multigrid](double* w, int count) { multigrid->Apply(w, count); };
    }
    std::printf("LOBPCG for %d modes, tolerance %g, %s preconditioner on K + %.4g M\n", solver.modes,
                solver.tolerance, o.multigrid ? "multigrid V-cycle" : "Jacobi", shift);
    const ZylSrvSparseMatrix& shifted = multigrid ? multigrid->Operator(0) : *jacobiShifted;
    start = Clock::now();
    zylmodal::LobpcgResult result = zylmodal::SolveLowestModes(shifted, M, solver);
    const double solve = Since(start);
    const int found = static_cast<int>(result.eigenvalues.size());
    std::printf("solve: %d iterations, %d of %d modes converged, %.3f s\n", result.statistics.iterations, found,
                solver.modes, solve);
    for (double& lambda : result.eigenvalues)
        lambda -= shift;
    if (o.profile)
        Profile(shifted, M, result.statistics, solver.modes);
    const double setup = multigrid ? multigrid->SetupSeconds() : 0.0;
    multigrid.reset();
    jacobiShifted.reset();

    const std::vector<double> shapes = zylmodal::ReadColumns(*result.modes, found);
    std::vector<double> residuals;
    {
        ZylSrvSparseMatrix K(n, n);
        zylmodal::Assemble(mesh, zylmodal::Operator::Stiffness, K);
        residuals = zylmodal::RelativeResiduals(K, M, shapes, result.eigenvalues);
    }
    const double h = mesh.MaxElementSize();
    const double c = o.speedOfSound;
    const double firstNonzero = exact.size() > 1 ? exact[1].exact : 1.0;
    bool good = result.converged;
    std::printf("\n mode  (i, j, k)   computed f [Hz]     exact f [Hz]   difference    residual\n");
    for (int m = 0; m < found; ++m) {
        const zylmodal::BoxMode& e = exact[m];
        const double lambda = result.eigenvalues[m];
        const double f = zylmodal::Frequency(lambda, c);
        const double fe = zylmodal::Frequency(e.exact, c);
        char difference[32];
        bool within;
        if (e.exact == 0.0) { // absolute for the zero mode
            std::snprintf(difference, sizeof difference, "%+.2e Hz", f - fe);
            within = std::fabs(lambda) <= solver.tolerance * firstNonzero;
        } else {
            const double relative = (lambda - e.exact) / e.exact;
            std::snprintf(difference, sizeof difference, "%+.3e", (f - fe) / fe);
            within = relative > 0.0 && relative <= h * h * e.exact / 6.0;
        }
        good = good && within;
        std::printf("%5d  (%2d,%2d,%2d)  %15.6f  %15.6f   %-12s  %.2e%s\n", m + 1, e.i, e.j, e.k, f, fe, difference,
                    residuals[m], within ? "" : "  <- outside the bound");
    }
    std::printf("\ncheck: zero mode's eigenvalue within the tolerance times the first nonzero one, every other "
                "eigenvalue above the exact one by at most h_max^2 lambda / 6: %s\n",
                good ? "yes" : "NO");
    std::printf("time: assembly %.3f s, preconditioner setup %.3f s, solve %.3f s (preconditioner %.3f s)\n",
                assembly, setup, solve, result.statistics.preconditionerSeconds);
    if (!o.vtk.empty()) {
        if (!WriteVtk(o.vtk, mesh, shapes, result.eigenvalues, c)) {
            std::printf("cannot write %s\n", o.vtk.c_str());
            return 1;
        }
        std::printf("wrote %s (%d mode shapes)\n", o.vtk.c_str(), found);
    }
    if (!o.plot.empty()) {
        char title[160];
        std::snprintf(title, sizeof title, "LOBPCG convergence, mesh %d x %d x %d, %s preconditioner", mesh.nx, mesh.ny,
                      mesh.nz, o.multigrid ? "multigrid" : "Jacobi");
        if (!plot.Write(o.plot, title, solver.tolerance)) {
            std::printf("cannot write %s\n", o.plot.c_str());
            return 1;
        }
        std::printf("wrote %s (residuals of %d modes over %d iterations)\n", o.plot.c_str(), solver.modes,
                    result.statistics.iterations);
    }
    return good ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    if (const int parsed = Parse(argc, argv, options))
        return parsed == 2 ? 0 : 1;
    int tally = 0;
    ZylSrvLinearAlgebra_initialize(tally);
    int status = 1;
    try {
        status = Run(options);
    } catch (const ZylBasException& e) {
        std::printf("error %d: %s\n", e.ErrorCode(), e.DeveloperReport().Chars());
    } catch (const std::exception& e) {
        std::printf("error: %s\n", e.what());
    }
    ZylSrvLinearAlgebra_finalize(tally);
    return status;
}
