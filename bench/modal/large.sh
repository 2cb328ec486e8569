#!/usr/bin/env bash
# The modal example on a large mesh: the unit cube in 100x100x100 hexahedra
# (1,030,301 unknowns), 8 modes, the example's default tolerance, with the
# multigrid preconditioner and, with --jacobi CAP, with Jacobi stopped after
# CAP iterations (the full Jacobi solve takes hundreds) to measure its time per
# iteration. For each run: iterations, the solve time the example prints, time
# per iteration, the peak resident memory (/usr/bin/time -v, or the example's
# --profile line where GNU time is missing) and /proc/loadavg before and after,
# since the machine may be shared. Builds the example in Release first
# (build-bench-modal).
# Figures: docs/PERFORMANCE.md, "Modal analysis".
#
#   bash bench/modal/large.sh [--mesh 100x100x100] [--modes 8] [--jacobi CAP]
#        [--no-multigrid] [--logs DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/common.sh"

mesh=100x100x100 modes=8 jacobi_cap= multigrid=1 logs=
while [ $# -gt 0 ]; do
  case $1 in
    --mesh) mesh=$2; shift 2 ;;
    --modes) modes=$2; shift 2 ;;
    --jacobi) jacobi_cap=$2; shift 2 ;;
    --no-multigrid) multigrid=; shift ;;
    --logs) logs=$2; shift 2 ;;
    *) echo "unknown option $1 (see the header of $0)" >&2; exit 2 ;;
  esac
done

modal_build
modal_logs large

# Peak resident memory in MiB from a run's log.
peak_mib() {
  local log=$1 kib
  kib=$(sed -n 's/^\s*Maximum resident set size (kbytes): \([0-9]*\)$/\1/p' "$log")
  if [ -n "$kib" ]; then
    awk -v k="$kib" 'BEGIN { printf "%.0f", k / 1024 }'
  else
    sed -n 's/^  peak resident memory \([0-9]*\) MiB.*/\1/p' "$log"
  fi
}

# GNU time's report goes into the run's log with the example's output.
profile=()
if [ -x /usr/bin/time ]; then modal_wrapper=(/usr/bin/time -v); else profile=(--profile); fi

run() { # name, then the example's own options for it
  local name=$1; shift
  local log=$logs/$name.log status=0 before iterations seconds
  before=$(cut -d' ' -f1-3 /proc/loadavg)
  modal_run "$log" --mesh "$mesh" --box 1x1x1 --modes "$modes" --every 1000000 \
    ${profile[@]+"${profile[@]}"} "$@" || status=$?
  iterations=$(modal_iterations "$log") seconds=$(modal_solve_seconds "$log")
  if [ -z "$seconds" ]; then
    printf '%-22s failed (status %d, see %s)\n' "$name" "$status" "$log"
    return
  fi
  printf '%-22s %10d %10.2f %12s %10s  %-9s  %-16s %s\n' "$name" "$iterations" "$seconds" \
    "$(modal_per_iteration "$seconds" "$iterations")" "$(peak_mib "$log")" "$(modal_converged "$log")" \
    "$before" "$(cut -d' ' -f1-3 /proc/loadavg)"
}

echo "unit cube $mesh, $modes modes, default tolerance, one OpenBLAS thread; logs in $logs"
printf '%-22s %10s %10s %12s %10s  %-9s  %-16s %s\n' run iterations "solve [s]" s/iteration "peak [MiB]" \
  converged "load before" "load after"
[ -z "$multigrid" ] || run multigrid --precond multigrid
[ -z "$jacobi_cap" ] || run "jacobi-cap-$jacobi_cap" --precond jacobi --max-iterations "$jacobi_cap"
