#!/usr/bin/env bash
# Installs what is missing, then builds and runs the whole test suite twice:
# the normal build with warnings as errors (benchmarks built too, not run),
# then the binary of that build under valgrind (scripts/valgrind.sh); and the
# AddressSanitizer + LeakSanitizer + UndefinedBehaviorSanitizer build, where
# every end-to-end test is also a leak check of the binary. Last it fuzzes
# the request and scene paths for a bounded time (scripts/fuzz.sh,
# $CUH_FUZZ_SECONDS per target, default 60).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh

cuh_install_packages
jobs=$(cuh_jobs)

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

cuh_log "normal build (-DCUH_WERROR=ON)"
cuh_configure build -DCUH_WERROR=ON
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs" --timeout 300
bash scripts/valgrind.sh build

cuh_log "sanitizer build (-DCUH_SANITIZE=ON)"
cuh_configure build-asan -DCUH_WERROR=ON -DCUH_SANITIZE=ON -DCUH_BENCHMARKS=OFF
cmake --build build-asan -j "$jobs"
ctest --test-dir build-asan --output-on-failure -j "$jobs" --timeout 300

cuh_log "fuzzing (clang, libFuzzer)"
bash scripts/fuzz.sh

cuh_log "all tests passed in both builds; fuzzing found nothing"
