#!/usr/bin/env bash
# Installs every Debian 12 package the library, its tests, benchmarks and
# examples need; with --fuzz also the clang toolchain of the libFuzzer
# campaigns (scripts/fuzz.sh). Safe to run again: it only installs what is
# missing.
set -euo pipefail
packages=(
  g++ gfortran cmake ninja-build make pkg-config
  libopenblas-dev liblapack-dev
  libhdf5-dev hdf5-tools liburing-dev
  libopenmpi-dev openmpi-bin libhdf5-openmpi-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libeigen3-dev
  libfast-float-dev python3-numpy python3-scipy
  doxygen graphviz
)
if [ "${1:-}" = "--fuzz" ]; then
  packages+=(clang-14 libfuzzer-14-dev)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
