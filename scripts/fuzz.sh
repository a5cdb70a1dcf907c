#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer on) and runs each from its committed corpus for
# a bounded time; fails on any crash, leak or sanitizer report.
#   scripts/fuzz.sh [SECONDS PER TARGET]   (default 30, or $CUH_FUZZ_SECONDS)
# 30 s per target keeps the stage short in CI: the committed corpora carry
# the depth of the long campaigns (docs/reliability.md), so a short run
# replays them and looks for a regression around them.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh

cuh_install_packages
seconds=${1:-${CUH_FUZZ_SECONDS:-30}}
jobs=$(cuh_jobs)

cuh_log "fuzz build (clang, -DCUH_FUZZ=ON)"
# Line tables are all a sanitizer report needs for its file:line stacks;
# full debug information makes each file about 30% slower to compile.
cuh_configure build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DCUH_FUZZ=ON -DCUH_TESTS=OFF \
  -DCUH_BENCHMARKS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -gline-tables-only -DNDEBUG"
cmake --build build-fuzz -j "$jobs" --target cuh_request_line_fuzzer cuh_request_fuzzer cuh_scene_fuzzer

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
for target in request_line request scene; do
  # New inputs found go to a scratch directory; the committed seeds stay
  # read-only. A crash leaves its input in build-fuzz/artifacts/.
  work="build-fuzz/corpus-$target"
  mkdir -p "$work" build-fuzz/artifacts
  dict=()
  [[ $target == request* ]] && dict=(-dict=fuzz/request.dict)
  cuh_log "fuzzing $target for ${seconds}s"
  "build-fuzz/cuh_${target}_fuzzer" -max_total_time="$seconds" -max_len=8192 -timeout=10 \
    -rss_limit_mb=2048 "${dict[@]}" -artifact_prefix=build-fuzz/artifacts/ -print_final_stats=1 \
    "$work" "fuzz/corpus/$target" >&2
done
cuh_log "no crash in ${seconds}s per target"
