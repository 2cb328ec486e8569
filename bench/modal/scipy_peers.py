#!/usr/bin/python3
"""The modal example's eigenproblem K x = lambda M x solved again by two SciPy peers.

Run by compare_scipy.sh (which sets OPENBLAS_NUM_THREADS=1 and OMP_NUM_THREADS=1):
  (a) scipy.sparse.linalg.lobpcg, Jacobi preconditioner diag(K + shift M)^-1,
      a random start block of modes + guard vectors, largest=False;
  (b) scipy.sparse.linalg.eigsh in shift-invert mode about -shift (SuperLU of
      K + shift M, which is definite where K alone is singular), a few pairs
      beyond the modes since a single-vector Krylov method may miss copies of
      multiple eigenvalues (the cube's sixfold 5 pi^2, for one).
Each pair is judged by the example's own measure
  ||K x - lambda M x||_2 / (||K||_inf ||x||_2),
and a peer whose largest measure is above the target fails the run. Only the
solves are timed. The example's eigenvalues are the Rayleigh quotients of the
mode shapes it wrote to its VTK file (9 digits; a quotient's error is of the
square of theirs).

Tolerances. lobpcg stops on the absolute residual of M-normalised vectors; as
1 = x'Mx <= ||M||_inf ||x||^2, the absolute tolerance
  target * tol_factor * ||K||_inf / sqrt(||M||_inf)
puts every converged vector below the target (the bound is close to sharp for
the smooth modes, whose x'Mx / x'x is about the mass row sum). eigsh's tol is
ARPACK's relative accuracy of the Ritz values; see compare_scipy.sh for the
values the comparison uses.
"""
import argparse
import sys
import time
import warnings

import numpy as np
import scipy
import scipy.io
import scipy.sparse.linalg as sla


def parse_arguments():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--dir", required=True, help="folder with K.mtx and M.mtx")
    p.add_argument("--vtk", help="the example's VTK file of its mode shapes")
    p.add_argument("--shift", type=float, required=True, help="the example's preconditioner shift")
    p.add_argument("--modes", type=int, default=20)
    p.add_argument("--target", type=float, default=1e-8, help="largest measure allowed for every pair")
    p.add_argument("--example-seconds", type=float, help="the example's solve time, for the ratios")
    p.add_argument("--example-residual", type=float, help="the largest residual the example printed")
    p.add_argument("--peers", default="lobpcg,eigsh", help="which peers to run, comma-separated")
    p.add_argument("--guard", type=int, default=0, help="lobpcg vectors beyond the modes")
    p.add_argument("--lobpcg-maxiter", type=int, default=1000)
    p.add_argument("--lobpcg-tol-factor", type=float, default=0.25)
    p.add_argument("--eigsh-tol", type=float, default=1e-9, help="ARPACK's tol (0: machine precision)")
    p.add_argument("--eigsh-extra", type=int, default=10,
                   help="eigenpairs eigsh computes beyond the modes (it misses copies of multiple ones)")
    p.add_argument("--eigsh-ncv", type=int, default=0, help="Lanczos vectors (0: 4 x modes, at least 2k + 1)")
    p.add_argument("--agreement", type=float, default=1e-6,
                   help="largest relative difference of eigenvalues allowed between any two solvers")
    p.add_argument("--seed", type=int, default=1)
    p.add_argument("--lu-time", action="store_true", help="also time SuperLU of K + shift M alone")
    a = p.parse_args()
    unknown = set(a.peers.split(",")) - {"lobpcg", "eigsh"}
    if unknown:
        p.error(f"unknown peers {sorted(unknown)}: lobpcg, eigsh")
    return a


def row_sum_norm(A):
    return float(abs(A).sum(axis=1).max())


def measures(K, M, X, lam, norm_k):
    R = K @ X - (M @ X) * lam[np.newaxis, :]
    return np.linalg.norm(R, axis=0) / (norm_k * np.linalg.norm(X, axis=0))


def read_vtk_shapes(path, n):
    """The POINT_DATA scalars of the example's legacy VTK file, one column per mode."""
    with open(path) as f:
        text = f.read()
    tail = text[text.index("POINT_DATA"):].split("\n")
    columns, i = [], 1
    while i < len(tail) and tail[i].startswith("SCALARS"):
        # SCALARS name double 1 / LOOKUP_TABLE default / n values
        columns.append(np.array(tail[i + 2:i + 2 + n], dtype=float))
        i += 2 + n
    return np.column_stack(columns)


class Jacobi(sla.LinearOperator):
    """diag(K + shift M)^-1; lobpcg applies it once per iteration, so it counts them."""

    def __init__(self, K, M, shift):
        super().__init__(dtype=float, shape=K.shape)
        self.inverse = 1.0 / (K + shift * M).diagonal()
        self.calls = 0

    def _matvec(self, x):
        return self._matmat(x.reshape(-1, 1)).reshape(x.shape)

    def _matmat(self, X):
        self.calls += 1
        return self.inverse[:, np.newaxis] * X


def run_lobpcg(K, M, a):
    n = K.shape[0]
    tol = a.target * a.lobpcg_tol_factor * row_sum_norm(K) / np.sqrt(row_sum_norm(M))
    X0 = np.random.default_rng(a.seed).standard_normal((n, a.modes + a.guard))
    preconditioner = Jacobi(K, M, a.shift)
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        start = time.perf_counter()
        lam, X, history = sla.lobpcg(K, X0, B=M, M=preconditioner, tol=tol, maxiter=a.lobpcg_maxiter,
                                     largest=False, retResidualNormsHistory=True)
        seconds = time.perf_counter() - start
    order = np.argsort(lam)[:a.modes]
    # The history stops at the best iterate (numbered from 0), followed by the final Rayleigh-Ritz.
    iterations = (preconditioner.calls, len(history) - 2)
    notes = [str(w.message).split("\n")[0] for w in caught]
    if notes:  # lobpcg soft-locks converged vectors, whose residuals may drift up a little afterwards
        notes.append(f"final residuals up to {float(np.max(history[-1])) / tol:.2f} x tol")
    return lam[order], X[:, order], seconds, iterations, tol, notes


def factorise(K, M, shift):
    """SuperLU of the definite K + shift M with a symmetric ordering and diagonal pivots: eigsh's
    own factorisation (column ordering COLAMD, partial pivoting) filled in twice as much and took
    three to four times as long on these matrices."""
    return sla.splu((K + shift * M).tocsc(), permc_spec="MMD_AT_PLUS_A", diag_pivot_thresh=0.0,
                    options=dict(SymmetricMode=True))


def eigsh_ncv(K, a):
    k = a.modes + a.eigsh_extra
    return min(K.shape[0] - 1, max(a.eigsh_ncv or 4 * a.modes, 2 * k + 1))


def run_eigsh(K, M, a):
    start = time.perf_counter()
    lu = factorise(K, M, a.shift)
    inverse = sla.LinearOperator(K.shape, matvec=lu.solve, dtype=float)
    lam, X = sla.eigsh(K, k=a.modes + a.eigsh_extra, M=M, sigma=-a.shift, which="LM", tol=a.eigsh_tol,
                       ncv=eigsh_ncv(K, a), OPinv=inverse)
    seconds = time.perf_counter() - start
    order = np.argsort(lam)[:a.modes]
    return lam[order], X[:, order], seconds


def lu_seconds(K, M, shift):
    start = time.perf_counter()
    factorise(K, M, shift)
    return time.perf_counter() - start


def relative_difference(a, b, scale):
    """Largest |a - b| / max(|b|, scale): relative for every mode above the scale, and the zero
    mode measured against it (the shift, about the first nonzero eigenvalue)."""
    return float(np.max(np.abs(a - b) / np.maximum(np.abs(b), scale)))


def lobpcg_peer(K, M, a, norm_k):
    lam, X, seconds, iterations, tol, notes = run_lobpcg(K, M, a)
    worst = float(measures(K, M, X, lam, norm_k).max())
    print(f"lobpcg: block {a.modes}+{a.guard}, tol {tol:.3e} (absolute, factor {a.lobpcg_tol_factor}), "
          f"maxiter {a.lobpcg_maxiter}, seed {a.seed}: {iterations[0]} iterations (best iterate {iterations[1]}), "
          f"{seconds:.3f} s, {seconds / max(iterations[0], 1):.4f} s per iteration, largest measure {worst:.2e}")
    for note in notes:
        print(f"  lobpcg warned: {note}")
    return lam, seconds, worst


def eigsh_peer(K, M, a, norm_k):
    lam, X, seconds = run_eigsh(K, M, a)
    worst = float(measures(K, M, X, lam, norm_k).max())
    print(f"eigsh: shift-invert about sigma = {-a.shift:g} (SuperLU, MMD on K + K'), k {a.modes}+{a.eigsh_extra}, "
          f"ncv {eigsh_ncv(K, a)}, tol {a.eigsh_tol:g}, default maxiter: {seconds:.3f} s, largest measure {worst:.2e}")
    if a.lu_time:
        print(f"  of which about {lu_seconds(K, M, a.shift):.3f} s is SuperLU of K + {a.shift:g} M "
              "(timed again alone)")
    return lam, seconds, worst


PEERS = {"lobpcg": lobpcg_peer, "eigsh": eigsh_peer}


def main():
    a = parse_arguments()
    start = time.perf_counter()
    K = scipy.io.mmread(f"{a.dir}/K.mtx").tocsr()
    M = scipy.io.mmread(f"{a.dir}/M.mtx").tocsr()
    n = K.shape[0]
    norm_k = row_sum_norm(K)
    print(f"scipy {scipy.__version__}, numpy {np.__version__}: read K, M of {n} rows, "
          f"{K.nnz} stored entries each, in {time.perf_counter() - start:.2f} s (not timed below)")
    print(f"||K||_inf {norm_k:.6g}, ||M||_inf {row_sum_norm(M):.6g}, shift {a.shift:g}, "
          f"{a.modes} modes, target measure {a.target:g}")

    failed = []
    eigenvalues = {}  # solver name -> its lowest eigenvalues
    times = []
    for name in a.peers.split(","):
        lam, seconds, worst = PEERS[name](K, M, a, norm_k)
        eigenvalues[name] = lam
        times.append(f"{name} {seconds:.3f} s" +
                     (f" ({seconds / a.example_seconds:.2f}x)" if a.example_seconds else ""))
        if not worst < a.target:
            failed.append(f"{name}: largest measure {worst:.3e} is not below {a.target:g}")

    if a.vtk:
        X = read_vtk_shapes(a.vtk, n)[:, :a.modes]
        lam = np.einsum("ij,ij->j", X, K @ X) / np.einsum("ij,ij->j", X, M @ X)
        worst = float(measures(K, M, X, lam, norm_k).max())
        printed = f"{a.example_residual:.2e} as printed, " if a.example_residual is not None else ""
        print(f"example: largest measure {printed}{worst:.2e} from its 9-digit VTK shapes")
        eigenvalues = {"example": lam, **eigenvalues}

    if a.example_seconds:
        print(f"times: example {a.example_seconds:.3f} s, " + ", ".join(times) + "  [ratio = peer / example]")

    names = list(eigenvalues)
    count = min(len(v) for v in eigenvalues.values())
    for i, first in enumerate(names):
        for second in names[i + 1:]:
            difference = relative_difference(eigenvalues[first][:count], eigenvalues[second][:count], a.shift)
            print(f"eigenvalues, lowest {count}, max relative difference {first} vs {second}: {difference:.2e}")
            if not difference <= a.agreement:
                failed.append(f"eigenvalues of {first} and {second} differ by {difference:.2e} "
                              "(a missed or extra mode?)")
    for name, lam in eigenvalues.items():
        print(f"lowest eigenvalues ({name}): " + " ".join(f"{v:.8g}" for v in lam[:count]))

    for line in failed:
        print(f"FAILED {line}", file=sys.stderr)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
