#!/usr/bin/env bash
# The MPI flavour against the serial library and against itself, in one run:
#  1. the same warm out-of-core products with the serial library and with the
#     MPI flavour on 1 rank: serial time / MPI time (goal >= 0.97);
#  2. the MPI flavour on 2 ranks against 1, beside one in-memory DGEMM with 2
#     OpenBLAS threads against 1: (2-rank speed-up) / (DGEMM speed-up), the
#     share of the machine's ceiling the ranks reach (goal >= 0.9);
#  3. with --memory SLOTS: each rank's peak resident size for one product (a
#     fresh process per product) against the serial peak plus the in-memory
#     operands every rank holds (B and C, 2 n^2 doubles);
#  4. with --counts: the MPI calls (library and HDF5) of each product's warm
#     run on 1 and 2 ranks, and the bytes they move (libmpi_call_counts.so).
# With --cold N it compares cold streams instead, and nothing else: A of
# N x N (N = 16384: 2 GiB) in blocks of 1024, its pages dropped before every
# product, slots 6 and 14 on 1 and 2 ranks (goal: 2 ranks >= 0.95 of 1 rank,
# since one disk adds no bandwidth), beside a plain cold read of the file.
# The serial and 1-rank programs alternate which runs first in each round;
# every time is the best repeat over all rounds. One OpenBLAS thread per rank.
#
#   bash bench/mpi/compare.sh [--build build-bench] [--n 4096] [--block 512]
#        [--slots 8,14,17,6] [--repeats 2] [--rounds 2] [--memory 14,6] [--counts]
#   bash bench/mpi/compare.sh --cold 16384 [--repeats 2] [--rounds 2]
#
# Build first (Release):
#   cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DZYL_BUILD_TESTS=OFF -DZYL_BUILD_EXAMPLES=OFF
#   cmake --build build-bench --target mpi_product_timing mpi_product_timing_serial mpi_call_counts
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$root/build-bench n=4096 block=512 slots=8,14,17,6 repeats=2 rounds=2 memory= counts= cold=
while [ $# -gt 0 ]; do
  case $1 in
    --build) build=$(cd "$2" && pwd); shift 2 ;;
    --n) n=$2; shift 2 ;;
    --block) block=$2; shift 2 ;;
    --slots) slots=$2; shift 2 ;;
    --repeats) repeats=$2; shift 2 ;;
    --rounds) rounds=$2; shift 2 ;;
    --memory) memory=$2; shift 2 ;;
    --counts) counts=1; shift ;;
    --cold) cold=$2; shift 2 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done
serial=$build/bench/mpi/mpi_product_timing_serial
mpi=$build/bench/mpi/mpi_product_timing
export OPENBLAS_NUM_THREADS=1
work=$(mktemp -d "$build/mpi-bench-XXXXXX") # the scratch files, on the project's disk
trap 'rm -rf "$work"' EXIT
log=$work/times.txt
cd "$work"

ranks() { # ranks, then the program's arguments
  local np=$1; shift
  mpirun --allow-run-as-root --oversubscribe --bind-to none -np "$np" "$mpi" "$@"
}
tagged() { # tag, then the command: its lines into the log, tagged
  local tag=$1; shift
  "$@" | sed "s/^/$tag /" | tee -a "$log"
}

if [ -n "$cold" ]; then
  echo "load before: $(cat /proc/loadavg)"
  streams=(--cold --n "$cold" --block 1024 --slots 6,14 --repeats "$repeats")
  for round in $(seq "$rounds"); do
    if [ $((round % 2)) -eq 1 ]; then
      tagged np1 ranks 1 "${streams[@]}"; tagged np2 ranks 2 "${streams[@]}"
    else
      tagged np2 ranks 2 "${streams[@]}"; tagged np1 ranks 1 "${streams[@]}"
    fi
  done
  echo "load after: $(cat /proc/loadavg)"
  awk -v n="$cold" '
    function keep(key, t, m) {
      if (!(key in best) || t < best[key]) best[key] = t
      if (!(key in med) || m < med[key]) med[key] = m
    }
    $2 == "time" && $3 == "cold" && $4 == "slot" { keep($1 " " $5, $13, $15) }
    $2 == "time" && $3 == "cold" && $4 == "read" { keep("read", $12, $14) }
    END {
      printf "\ncold streams of %.1f GiB (goal: 2 ranks >= 0.95 of 1 rank), best and median repeats\n", n * n * 8 / 2^30
      printf "cold read of the file: best %.3f s, median %.3f s\n", best["read"], med["read"]
      printf "%-6s %10s %10s %8s %12s %12s %8s\n", "slot", "mpi1_best", "mpi2_best", "ratio", "mpi1_median",
             "mpi2_median", "ratio"
      for (s = 6; s <= 14; s += 8)
        printf "%-6s %10.3f %10.3f %8.3f %12.3f %12.3f %8.3f\n", s, best["np1 " s], best["np2 " s],
               best["np1 " s] / best["np2 " s], med["np1 " s], med["np2 " s], med["np1 " s] / med["np2 " s]
    }' "$log"
  exit 0
fi

products=(--n "$n" --block "$block" --slots "$slots" --repeats "$repeats")
echo "load before: $(cat /proc/loadavg)"
for round in $(seq "$rounds"); do
  if [ $((round % 2)) -eq 1 ]; then
    tagged serial "$serial" "${products[@]}"; tagged np1 ranks 1 "${products[@]}"
  else
    tagged np1 ranks 1 "${products[@]}"; tagged serial "$serial" "${products[@]}"
  fi
  tagged np2 ranks 2 "${products[@]}"
  tagged dgemm1 env OPENBLAS_NUM_THREADS=1 "$serial" --dgemm --n "$n" --repeats "$repeats"
  tagged dgemm2 env OPENBLAS_NUM_THREADS=2 "$serial" --dgemm --n "$n" --repeats "$repeats"
done
for slot in ${memory//,/ }; do
  for np in 0 1 2; do
    if [ "$np" -eq 0 ]; then
      tagged memory-serial "$serial" --n "$n" --block "$block" --slots "$slot" --repeats 1 --memory
    else
      tagged "memory-np$np" ranks "$np" --n "$n" --block "$block" --slots "$slot" --repeats 1 --memory
    fi
  done
done
if [ -n "$counts" ]; then
  for np in 1 2; do
    mpirun --allow-run-as-root --oversubscribe --bind-to none -np "$np" \
      -x LD_PRELOAD="$build/bench/mpi/libmpi_call_counts.so" "$mpi" "${products[@]:0:6}" --repeats 1 |
      grep '^calls' | sort -s -k7,7n -k3,3n -k5,5n >> "$work/calls.txt"
  done
fi
echo "load after: $(cat /proc/loadavg)"

awk -v n="$n" -v slots="$slots" -v memory="$memory" '
  function keep(key, t) { if (!(key in best) || t < best[key]) best[key] = t }
  $2 == "time" && $3 == "slot" { keep($1 " " $4, $12) }
  $2 == "time" && $3 == "dgemm" { keep($1, $9) }
  $2 == "memory" { peak[$1 " " $4 " " $10] = $16 }
  END {
    split(slots, s, ",")
    printf "\n1. MPI flavour on 1 rank against the serial library (n %d, warm; goal >= 0.97)\n", n
    printf "%-6s %10s %10s %8s\n", "slot", "serial_s", "mpi1_s", "ratio"
    for (i = 1; i in s; ++i)
      printf "%-6s %10.3f %10.3f %8.3f\n", s[i], best["serial " s[i]], best["np1 " s[i]],
             best["serial " s[i]] / best["np1 " s[i]]
    ceiling = best["dgemm1"] / best["dgemm2"]
    printf "\n2. 2 ranks against 1 beside DGEMM 2 threads against 1 (DGEMM %.3f s / %.3f s = speed-up %.3f; goal >= 0.9)\n",
           best["dgemm1"], best["dgemm2"], ceiling
    printf "%-6s %10s %10s %9s %8s\n", "slot", "mpi1_s", "mpi2_s", "speed-up", "ratio"
    for (i = 1; i in s; ++i) {
      up = best["np1 " s[i]] / best["np2 " s[i]]
      printf "%-6s %10.3f %10.3f %9.3f %8.3f\n", s[i], best["np1 " s[i]], best["np2 " s[i]], up, up / ceiling
    }
    if (memory == "") exit
    operands = 2 * n * n * 8 / 1048576
    printf "\n3. peak resident MiB per rank (bound: serial peak + %.0f MiB of replicated B and C)\n", operands
    printf "%-6s %10s %10s %10s %10s %10s\n", "slot", "serial", "1 rank", "2: rank 0", "2: rank 1", "bound"
    split(memory, m, ",")
    for (i = 1; i in m; ++i)
      printf "%-6s %10.1f %10.1f %10.1f %10.1f %10.1f\n", m[i], peak["memory-serial " m[i] " 0"], peak["memory-np1 " m[i] " 0"],
             peak["memory-np2 " m[i] " 0"], peak["memory-np2 " m[i] " 1"], peak["memory-serial " m[i] " 0"] + operands
  }' "$log"
if [ -n "$counts" ]; then
  echo; echo "4. MPI calls of each product's warm run (per rank; bytes given or taken)"
  cat "$work/calls.txt"
fi
