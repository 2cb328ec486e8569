#!/usr/bin/env bash
# The modal example's eigen-solve against two SciPy peers on the same matrices:
# builds the example in Release (build-bench-modal), runs it once with --export
# and --vtk into a scratch folder, then scipy_peers.py reads K and M and solves
#  (a) scipy.sparse.linalg.lobpcg with the Jacobi preconditioner
#      diag(K + shift M)^-1, a random start block, largest=False;
#  (b) scipy.sparse.linalg.eigsh(K, k=modes + extra, M=M, sigma=-shift,
#      which='LM'): shift-invert with SuperLU of K + shift M;
# with the example's own shift (its line "... on K + <shift> M"). One OpenBLAS
# and OpenMP thread everywhere. It prints each peer's solve time (the file read
# is not timed), the ratio peer / example, each one's largest measure
# ||K x - lambda M x||_2 / (||K||_inf ||x||_2) over the returned pairs (the run
# fails if a peer's is not below the example's tolerance) and the agreement of
# the lowest eigenvalues (largest relative difference; the zero mode against
# the shift).
#
#   bash bench/modal/compare_scipy.sh [--mesh 40x40x40] [--box 1x1x1] [--modes 20]
#        [--tolerance 1e-8] [--precond multigrid|jacobi] [--peers lobpcg,eigsh] [--guard 0]
#        [--lobpcg-maxiter 1000] [--lobpcg-tol-factor 0.25] [--eigsh-tol 1e-9]
#        [--eigsh-extra 10] [--eigsh-ncv 0] [--agreement 1e-6] [--seed 1] [--lu-time] [--keep]
#
# Peer parameters (defaults; the target measure is the example's tolerance),
# tried on 20^3 and 30^3 with 20 modes:
#  lobpcg: block = modes + guard, guard 0: guard vectors must converge too
#          (lobpcg's tolerance covers the whole block), so 4 or 8 of them took
#          1.5 to 3 times the iterations and gained nothing; tol = target *
#          0.25 * ||K||_inf / sqrt(||M||_inf), absolute on the M-normalised
#          vectors lobpcg keeps, which bounds the measure by 0.25 target since
#          x'Mx <= ||M||_inf x'x: lobpcg soft-locks a vector once it is below
#          tol and its residual may drift up to about 2 tol afterwards (factor
#          0.5 came out at 0.71 target, 0.25 at 0.22 for 2 more iterations);
#          maxiter 1000, a cap only; start block standard normal, seed 1.
#  eigsh:  sigma = -shift, OPinv = SuperLU of K + shift M with the symmetric
#          ordering MMD_AT_PLUS_A and diagonal pivots (SymmetricMode): eigsh's
#          own factorisation (COLAMD, partial pivoting) filled in twice as
#          much and took 105 s of its 146 s on 40^3, this one 23 s (30^3:
#          14 s against 5 s). k = modes + 10, the lowest modes kept; ncv =
#          4 modes (80): with k = 20, 24 or 26 and the default ncv (2k + 1)
#          ARPACK missed one or two copies of the cube's sixfold eigenvalue
#          5 pi^2 on 20^3, 30^3 and 40^3, on 30^3 with tol 0 too (a
#          single-vector Krylov method sees a multiple eigenvalue once, its
#          copies only through rounding); k 30 / ncv 80, k 20 / ncv 60 or 80
#          and k 40 found all on 20^3 and 30^3. tol 1e-9, ARPACK's relative
#          accuracy of the Ritz values (measure about 1e-12; tol 0 was some
#          10-25% slower). Two solvers' eigenvalues differing by more than
#          1e-6 (relative) fail the run: that is how the missed copies showed.
# Figures: docs/PERFORMANCE.md, "Modal analysis".
# --lu-time also times SuperLU of K + shift M alone, after the runs, to show
# how much of eigsh is the factorisation. --keep leaves the scratch folder
# (K.mtx, M.mtx, modes.vtk, example.log).
#
# SciPy: Debian's python3-scipy for /usr/bin/python3, installed with the
# packages the library's tests need (scripts/install-deps.sh).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/common.sh"

mesh=40x40x40 box=1x1x1 modes=20 tolerance=1e-8 precond=multigrid keep=
peer_options=()
while [ $# -gt 0 ]; do
  case $1 in
    --mesh) mesh=$2; shift 2 ;;
    --box) box=$2; shift 2 ;;
    --modes) modes=$2; shift 2 ;;
    --tolerance) tolerance=$2; shift 2 ;;
    --precond) precond=$2; shift 2 ;;
    --peers|--guard|--lobpcg-maxiter|--lobpcg-tol-factor|--eigsh-tol|--eigsh-extra|--eigsh-ncv|--agreement|--seed)
      peer_options+=("$1" "$2"); shift 2 ;;
    --lu-time) peer_options+=("$1"); shift ;;
    --keep) keep=1; shift ;;
    *) echo "unknown option $1 (see the header of $0)" >&2; exit 2 ;;
  esac
done

# SciPy comes with the packages of the library's own tests.
bash "$modal_root/scripts/install-deps.sh"
modal_build
work=$(mktemp -d "${TMPDIR:-/tmp}/modal-peers-XXXXXX")
if [ -n "$keep" ]; then echo "scratch folder kept: $work"; else trap 'rm -rf "$work"' EXIT; fi
log=$work/example.log

echo "example: --mesh $mesh --box $box --modes $modes --tolerance $tolerance --precond $precond"
status=0
modal_run "$log" --mesh "$mesh" --box "$box" --modes "$modes" --tolerance "$tolerance" \
  --precond "$precond" --export "$work" --vtk "$work/modes.vtk" --every 1000000 || status=$?
seconds=$(modal_solve_seconds "$log") shift_=$(modal_shift "$log")
if [ -z "$seconds" ] || [ ! -f "$work/modes.vtk" ]; then
  cat "$log"
  echo "FAILED: the example stopped before its solve ended (status $status)" >&2
  exit 1
fi
[ "$status" -eq 0 ] || echo "warning: the example's own check failed (status $status); comparing all the same"
# The residual column of the example's table of modes: the last unsigned number in e-notation.
residual=$(awk '/^ mode /{t=1; next} t && NF==0 {t=0}
  t {r=""; for (i = 1; i <= NF; ++i) if ($i ~ /^[0-9.]+e[-+][0-9]+$/) r=$i; print r}' "$log" | sort -g | tail -1)
grep -E '^(mesh |LOBPCG |solve: )' "$log"
echo "example: shift $shift_, solve $seconds s ($(modal_iterations "$log") iterations), largest printed residual $residual"

OPENBLAS_NUM_THREADS=1 OMP_NUM_THREADS=1 /usr/bin/python3 "$here/scipy_peers.py" --dir "$work" \
  --vtk "$work/modes.vtk" --shift "$shift_" --modes "$modes" --target "$tolerance" \
  --example-seconds "$seconds" --example-residual "$residual" ${peer_options[@]+"${peer_options[@]}"}
