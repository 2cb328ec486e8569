// Main example: starts the library, solves a small linear system by LU with
// its residual, solves a 2 x 2 generalized symmetric eigenproblem, reports an
// error of the library's family, and stops the library.
#include <mtx/ZylSrvLinearAlgebra.h>
#include <mtx/ZylSrvMatrix.h>
#include <platform/ZylBasException.h>

#include <cmath>
#include <cstdio>

namespace {

void SolveASmallSystem()
{
    // A x = b with x = (1, 2, 3).
    double aValues[9] = {4, 3, 2, -2, 6, 1, 1, -4, 8}; // column-major
    const ZylSrvMatrix a(3, 3, aValues, false, false);
    ZylSrvMatrix x(3, 1);
    const double exact[3] = {1, 2, 3};
    x.SetValues(0, 2, 0, 0, exact);
    ZylSrvMatrix b(3, 1);
    a.Multiply(x, b, 0, 0); // b := a * x

    ZylSrvMatrix factors(a); // Factorize works in place: keep a intact
    int pivots[3];
    factors.Factorize(pivots);
    ZylSrvMatrix solution(b);
    factors.ForwardBackwardPass(pivots, solution, false);

    ZylSrvMatrix residual(b);
    a.Multiply(solution, residual, 0, 0);
    residual.Add(-1.0, b); // a * solution - b
    double largest = 0.0;
    for (int i = 0; i < 3; ++i)
        largest = std::fmax(largest, std::fabs(residual.Element(i, 0)));
    std::printf("LU solve: x = (%.15g, %.15g, %.15g), max |A x - b| = %.3g\n", solution.Element(0, 0),
                solution.Element(1, 0), solution.Element(2, 0), largest);
}

void SolveAnEigenproblem()
{
    // A z = lambda B z with A = [[6, 2], [2, 3]], B = diag(2, 1).
    double aValues[4] = {6, 2, 2, 3};
    double bDiagonal[2] = {2, 1};
    const ZylSrvMatrix a(2, 2, aValues, true, false);
    const ZylSrvMatrix b(2, 2, bDiagonal, true, true);
    ZylSrvMatrix lambda(2, 1);
    ZylSrvMatrix z(2, 2);
    a.SolveEigenproblemSymmetric(b, lambda, z);
    std::printf("eigenvalues: %.15g, %.15g\n", lambda.Element(0, 0), lambda.Element(1, 0));
    // The eigenvectors are B-orthonormal: z^T B z = I.
    ZylSrvMatrix bz(2, 2);
    bz.Multiply(b, z);
    ZylSrvMatrix ztbz(2, 2);
    z.TransposeMultiply(bz, ztbz, 0, 0);
    std::printf("z^T B z = [[%.3g, %.3g], [%.3g, %.3g]]\n", ztbz.Element(0, 0), ztbz.Element(0, 1),
                ztbz.Element(1, 0), ztbz.Element(1, 1));
}

void ReportAnError()
{
    double diagonal[3] = {2, 0, 4};
    ZylSrvMatrix d(3, 3, diagonal, false, true);
    try {
        d.Factorize(nullptr); // a diagonal matrix inverts in place; the zero stops it
    } catch (const ZylBasException& e) {
        std::printf("error %d: %s\n", e.ErrorCode(), e.AsString().Chars());
        std::printf("diagonal left as (%g, %g, %g)\n", diagonal[0], diagonal[1], diagonal[2]);
    }
}

} // namespace

int main()
{
    int tally = 0;
    ZylSrvLinearAlgebra_initialize(tally);
    std::printf("library started (%d start-ups)\n", tally);
    int status = 0;
    try {
        SolveASmallSystem();
        SolveAnEigenproblem();
        ReportAnError();
    } catch (const ZylBasException& e) {
        std::printf("unexpected error %d: %s\n", e.ErrorCode(), e.DeveloperReport().Chars());
        status = 1;
    }
    ZylSrvLinearAlgebra_finalize(tally);
    std::printf("library stopped (%d start-ups left)\n", tally);
    return status == 0 && tally == 0 ? 0 : 1;
}
