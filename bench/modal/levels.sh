#!/usr/bin/env bash
# The modal example's LOBPCG under mesh refinement: for each mesh N^3 of the
# unit cube (8 modes, tolerance 1e-8) and each preconditioner, the iterations,
# the solve time the example prints and the time per iteration. The multigrid
# count should stay flat as the mesh is refined; Jacobi's grows with N.
# Builds the example in Release first (build-bench-modal).
#
#   bash bench/modal/levels.sh [--meshes 8,16,32,40,64] [--jacobi-up-to N]
#        [--modes 8] [--tolerance 1e-8] [--logs DIR]
#
# --jacobi-up-to N runs Jacobi only on meshes up to N^3 (Jacobi at 64^3 takes
# minutes); --logs keeps each run's output as DIR/<N>-<precond>.log.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/common.sh"

meshes=8,16,32,40,64 jacobi_up_to=100000 modes=8 tolerance=1e-8 logs=
while [ $# -gt 0 ]; do
  case $1 in
    --meshes) meshes=$2; shift 2 ;;
    --jacobi-up-to) jacobi_up_to=$2; shift 2 ;;
    --modes) modes=$2; shift 2 ;;
    --tolerance) tolerance=$2; shift 2 ;;
    --logs) logs=$2; shift 2 ;;
    *) echo "unknown option $1 (see the header of $0)" >&2; exit 2 ;;
  esac
done

modal_build
modal_logs levels

echo "unit cube, $modes modes, tolerance $tolerance, one OpenBLAS thread"
printf '%-6s %9s  %-9s %10s %10s %12s  %s\n' mesh unknowns precond iterations "solve [s]" "s/iteration" converged
for n in ${meshes//,/ }; do
  for precond in multigrid jacobi; do
    if [ "$precond" = jacobi ] && [ "$n" -gt "$jacobi_up_to" ]; then
      printf '%-6s %9d  %-9s %10s\n' "$n^3" $(((n + 1) ** 3)) "$precond" skipped
      continue
    fi
    log=$logs/$n-$precond.log
    status=0
    modal_run "$log" --mesh "${n}x${n}x${n}" --box 1x1x1 --modes "$modes" --tolerance "$tolerance" \
      --precond "$precond" --every 1000000 || status=$?
    iterations=$(modal_iterations "$log") seconds=$(modal_solve_seconds "$log")
    if [ -z "$seconds" ]; then
      printf '%-6s %9d  %-9s %10s (status %d, see %s)\n' "$n^3" $(((n + 1) ** 3)) "$precond" failed "$status" "$log"
      continue
    fi
    mark=$(modal_converged "$log"); [ "$status" -eq 0 ] || mark="$mark, check failed"
    printf '%-6s %9d  %-9s %10d %10.3f %12s  %s\n' "$n^3" $(((n + 1) ** 3)) "$precond" "$iterations" \
      "$seconds" "$(modal_per_iteration "$seconds" "$iterations")" "$mark"
  done
done
