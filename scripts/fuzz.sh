#!/usr/bin/env bash
# Builds the libFuzzer harnesses of the sparse readers (fuzz/, clang-14 with
# AddressSanitizer and UBSan, in build-fuzz/) and runs them one at a time.
#   scripts/fuzz.sh --replay [reader...]   replays each committed corpus
#       (fuzz/corpus/<reader>), then fuzzes each reader for ZYL_FUZZ_SECONDS
#       (30) seconds; CI (.ci/run) runs this. The test command replays the
#       same corpora without clang, through a plain driver under ctest
#       (tests/fuzz_replay/).
#   scripts/fuzz.sh --run N [reader...]    a campaign of N executions per reader
# Readers: format0 format1 format23 format6 format7 matrix_market. Inputs that
# fail are kept in build-fuzz/findings/; the grown corpus is temporary.
set -euo pipefail
cd "$(dirname "$0")/.."
mode=${1:-}; shift || true
case "$mode" in
  --replay) runs=-1; seconds=${ZYL_FUZZ_SECONDS:-30} ;;
  --run) runs=${1:?--run needs a number of executions}; shift; seconds=0 ;;
  *) echo "usage: $0 --replay [reader...] | --run N [reader...]" >&2; exit 2 ;;
esac
readers=("$@")
[ ${#readers[@]} -gt 0 ] || readers=(format0 format1 format23 format6 format7 matrix_market)

bash scripts/install-deps.sh --fuzz
CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DZYL_BUILD_FUZZERS=ON -DZYL_BUILD_TESTS=OFF -DZYL_BUILD_BENCHMARKS=OFF -DZYL_BUILD_EXAMPLES=OFF -DZYL_BUILD_MPI=OFF >/dev/null
ninja -C build-fuzz -j "$(( $(nproc) < 2 ? $(nproc) : 2 ))" "${readers[@]/#/fuzz_}"

work=$(mktemp -d /tmp/zylsrv-fuzz-XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p build-fuzz/findings
export OPENBLAS_NUM_THREADS=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
for reader in "${readers[@]}"; do
  mkdir -p "$work/$reader"
  options=(-runs="$runs" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
           -artifact_prefix="build-fuzz/findings/$reader-")
  [ -f "fuzz/$reader.dict" ] && options+=(-dict="fuzz/$reader.dict")
  start=$SECONDS
  # New inputs go to the temporary corpus, named first; the committed one is only read.
  if ! build-fuzz/fuzz/fuzz_"$reader" "${options[@]}" "$work/$reader" "fuzz/corpus/$reader" >"$work/$reader.log" 2>&1; then
    tail -n 60 "$work/$reader.log"
    echo "fuzz: $reader FAILED (input kept in build-fuzz/findings/)" >&2
    exit 1
  fi
  done_line=$(grep -E '^#[0-9]+\s+DONE' "$work/$reader.log" | tail -n 1 | tr -s ' \t' ' ')
  echo "fuzz: $reader ok in $((SECONDS - start)) s: ${done_line:-no DONE line}"
done
