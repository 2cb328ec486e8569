#!/usr/bin/env bash
# Builds the library and runs the main example: the acoustic modes of a rigid
# box (examples/modal/). Options after the command go to the example, e.g.
#   bash scripts/example.sh --mesh 36x24x18 --vtk modes.vtk
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja
cmake --build build -j "$(nproc)" --target zyl_example_modal
# OpenBLAS keeps a thread pool of its own; the solver's blocks are too narrow for it to pay.
export OPENBLAS_NUM_THREADS=${OPENBLAS_NUM_THREADS:-1}
source scripts/openblas-kernel.sh
cd build/examples/modal && ./zyl_example_modal "$@"
