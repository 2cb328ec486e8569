# The pieces every modal benchmark script shares; sourced, not run.
#   modal_build          configures and builds the example in Release in $modal_build_dir
#   modal_run LOG ARGS   runs it with ARGS (under the command in the array modal_wrapper, if
#                        set), its output into LOG;
#                        returns the example's status (1 also when a capped run stops early)
#   modal_iterations LOG, modal_solve_seconds LOG, modal_shift LOG, modal_converged LOG
#                        read its summary lines back
#   modal_logs NAME      makes the folder $logs, or a scratch one removed on exit when $logs is empty
# The caller sets modal_build_dir before building (default: build-bench-modal at the top).
modal_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
modal_build_dir=${modal_build_dir:-$modal_root/build-bench-modal}
# The same OpenBLAS kernels for the example and the peers (SciPy's BLAS is OpenBLAS too).
source "$modal_root/scripts/openblas-kernel.sh"

modal_build() {
  # Only the example: the tests, benchmarks and MPI flavour would double the build for nothing.
  cmake -S "$modal_root" -B "$modal_build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DZYL_BUILD_TESTS=OFF -DZYL_BUILD_BENCHMARKS=OFF -DZYL_BUILD_EXAMPLES=ON -DZYL_BUILD_MPI=OFF >/dev/null
  cmake --build "$modal_build_dir" -j "$(nproc)" --target zyl_example_modal >/dev/null
}

modal_program() { echo "$modal_build_dir/examples/modal/zyl_example_modal"; }

modal_run() {
  local log=$1; shift
  local status=0
  # OpenBLAS keeps a thread pool of its own; the solver's blocks are too narrow for it to pay.
  OPENBLAS_NUM_THREADS=1 OMP_NUM_THREADS=1 ${modal_wrapper[@]+"${modal_wrapper[@]}"} "$(modal_program)" "$@" \
    >"$log" 2>&1 || status=$?
  return $status
}

# "solve: I iterations, C of N modes converged, S s"
modal_iterations() { sed -n 's/^solve: \([0-9]*\) iterations.*/\1/p' "$1"; }
modal_solve_seconds() { sed -n 's/^solve: .*, \([0-9.]*\) s$/\1/p' "$1"; }
modal_converged() { sed -n 's/^solve: [0-9]* iterations, \([0-9]* of [0-9]*\) modes.*/\1/p' "$1"; }
# "LOBPCG for N modes, tolerance T, P preconditioner on K + SIGMA M"
modal_shift() { sed -n 's/^LOBPCG for .* on K + \([^ ]*\) M$/\1/p' "$1"; }

# Seconds per iteration, or "-" without iterations.
modal_per_iteration() { awk -v s="$1" -v i="$2" 'BEGIN { if (i > 0) printf "%.4f", s / i; else printf "-" }'; }

modal_logs() {
  if [ -n "$logs" ]; then
    mkdir -p "$logs"
  else
    logs=$(mktemp -d "${TMPDIR:-/tmp}/modal-$1-XXXXXX")
    trap 'rm -rf "$logs"' EXIT
  fi
}
