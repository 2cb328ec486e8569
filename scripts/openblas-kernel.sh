# Sourced by the scripts that run the examples and the modal benchmarks.
# OpenBLAS picks its kernels by the CPU's model number; Debian 12's 0.3.21
# does not know every model (some virtual machines report a bare "Intel(R)
# Xeon(R) Processor") and then falls back to its SSE3 kernels, about three
# times slower at DGEMM. Unless the caller has chosen, name the kernels by
# the CPU's features instead.
if [ -z "${OPENBLAS_CORETYPE+set}" ] && [ -r /proc/cpuinfo ]; then
  cpu_flags=" $(grep -m1 '^flags' /proc/cpuinfo | cut -d: -f2) "
  cpu_has() { for f in "$@"; do [[ $cpu_flags == *" $f "* ]] || return 1; done; }
  if cpu_has avx512f avx512dq avx512bw avx512vl; then
    export OPENBLAS_CORETYPE=SkylakeX
  elif cpu_has avx2 fma; then
    export OPENBLAS_CORETYPE=Haswell
  fi
  unset -f cpu_has
  unset cpu_flags
fi
