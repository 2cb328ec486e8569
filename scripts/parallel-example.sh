#!/usr/bin/env bash
# Builds the MPI flavour and runs its example, the projection V^T (A V) with A
# and V out of core in one shared scratch file (examples/parallel/), on 1, 2
# and 4 ranks (one OpenBLAS thread each), then checks that the three digests
# agree. Options go to the example, e.g.
#   bash scripts/parallel-example.sh --size 8192 --columns 512
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja
cmake --build build -j "$(nproc)" --target zyl_example_parallel
export OPENBLAS_NUM_THREADS=1
work=$(mktemp -d /tmp/zylsrv-parallel-XXXXXX)
trap 'rm -rf "$work"' EXIT
digests=()
for ranks in 1 2 4; do
  (cd "$work" && mpirun --allow-run-as-root --oversubscribe -np "$ranks" \
      "$OLDPWD/build/examples/parallel/zyl_example_parallel" "$@") | tee "$work/np$ranks.txt"
  digests+=("$(grep '^digest:' "$work/np$ranks.txt")")
  echo
done
if [ "${digests[0]}" = "${digests[1]}" ] && [ "${digests[0]}" = "${digests[2]}" ]; then
  echo "the digests of 1, 2 and 4 ranks agree: ${digests[0]#digest: }"
else
  echo "the digests differ: ${digests[*]}" >&2
  exit 1
fi
