#!/usr/bin/env bash
# Installs what is missing, then builds and runs the whole test suite twice:
# the normal build with warnings as errors (benchmarks built too, not run),
# the Python and TypeScript clients against its binary, every response those
# tests and the end-to-end tests received checked against the protocol
# schema, the install and the .deb checked (scripts/check-package.sh), then
# the binary of that build under valgrind (scripts/valgrind.sh); and the
# AddressSanitizer + LeakSanitizer + UndefinedBehaviorSanitizer build, where
# every end-to-end test is also a leak check of the binary. Last it fuzzes
# the request and scene paths for a bounded time (scripts/fuzz.sh,
# $CUH_FUZZ_SECONDS per target, default 30). Each stage's time and the total
# are printed at the end (and as each stage ends), so that the CI budget can
# be watched.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

stage_names=()
stage_seconds=()
run_started=$SECONDS

print_stage_times() {
  local i
  cuh_log "stage times:"
  for i in "${!stage_names[@]}"; do
    cuh_log "$(printf '  %-28s %5ds' "${stage_names[$i]}" "${stage_seconds[$i]}")"
  done
  cuh_log "$(printf '  %-28s %5ds' total $((SECONDS - run_started)))"
}
# Also on failure: the times up to the failing stage are still worth seeing.
trap print_stage_times EXIT

# stage NAME COMMAND...: runs one stage and records how long it took.
stage() {
  local name=$1
  shift
  cuh_log "stage: $name"
  local started=$SECONDS
  "$@"
  stage_names+=("$name")
  stage_seconds+=($((SECONDS - started)))
  cuh_log "stage $name took $((SECONDS - started))s"
}

normal_build() {
  cuh_configure build -DCUH_WERROR=ON
  cmake --build build -j "$jobs"
}
sanitizer_build() {
  cuh_configure build-asan -DCUH_WERROR=ON -DCUH_SANITIZE=ON -DCUH_BENCHMARKS=OFF -DCUH_TEST_SHARDS=4
  cmake --build build-asan -j "$jobs"
}
# run_ctest DIR [CTEST OPTIONS...]
run_ctest() {
  local dir=$1
  shift
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" --timeout 300 "$@"
}
# The end-to-end and client tests record the responses they read there.
fresh_responses() {
  rm -rf build/responses
  mkdir -p build/responses
}
check_responses() {
  /usr/bin/python3 tests/schema/validate_responses.py docs/schema/protocol.schema.json \
    build/responses --expect e2e,python,typescript
}

# shellcheck disable=SC2046 # one package name per word
stage "install packages" cuh_install_linux_test_packages "${CUH_TEST_PACKAGES[@]}" $(cuh_node_packages)
jobs=$(cuh_jobs)
stage "configure+build" normal_build
fresh_responses
stage "tests" run_ctest build -LE linux-desktop
# The Linux desktop's tests: one test desktop, serially.
stage "linux desktop" run_ctest build -L linux-desktop
stage "python client" bash scripts/test-clients.sh python build
stage "typescript client" bash scripts/test-clients.sh typescript build
stage "schema check" check_responses
stage "install and package" bash scripts/check-package.sh build
stage "valgrind" bash scripts/valgrind.sh build
stage "sanitizer build" sanitizer_build
stage "sanitizer tests" run_ctest build-asan
stage "fuzzing" bash scripts/fuzz.sh

cuh_log "all tests passed in both builds; fuzzing found nothing"
