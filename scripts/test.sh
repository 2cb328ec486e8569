#!/usr/bin/env bash
# Builds the library with every test and runs them.
#   scripts/test.sh                plain build in build/ (the committed fuzz corpora are replayed
#                                  under ctest; the timed fuzzing lives in scripts/fuzz.sh)
#   scripts/test.sh --sanitize     AddressSanitizer + UBSan build in build-asan/
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
dir=build; extra=()
if [ "${1:-}" = "--sanitize" ]; then
  dir=build-asan; extra=(-DZYL_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZYL_BUILD_BENCHMARKS=OFF)
fi
cmake -S . -B "$dir" -G Ninja "${extra[@]}"
cmake --build "$dir" -j "$(nproc)"
# OpenBLAS keeps a thread pool of its own; one thread per process keeps ctest -j honest.
export OPENBLAS_NUM_THREADS=${OPENBLAS_NUM_THREADS:-1}
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
ctest --test-dir "$dir" --output-on-failure -j "$(nproc)"
# The API reference: any Doxygen warning (an undocumented public member) fails it.
if [ "$dir" = build ]; then cmake --build "$dir" --target docs; fi
