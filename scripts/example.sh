#!/usr/bin/env bash
# Builds the library and runs the main example.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja
cmake --build build -j "$(nproc)" --target zyl_example_main
cd build/examples && ./zyl_example_main
