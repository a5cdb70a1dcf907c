#!/usr/bin/env bash
# Runs the helper binary of a build under valgrind's memcheck on two
# sessions: the request seed corpus (every method, invalid and deeply nested
# lines) and 3,000 mixed lines. Fails on any memory error, on any leak, and
# when a line read did not get its one answer.
#   scripts/valgrind.sh [BUILD DIR]   (default build)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh

cuh_install_packages

helper=${1:-build}/computer-use-helper
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# "close" would end the first session early.
cat fuzz/corpus/request/*.jsonl | grep -av '"method":"close"' >"$work/corpus.jsonl"
for ((i = 1; i <= 500; ++i)); do
  echo "{\"id\":$i,\"method\":\"ping\"}"
  echo "{\"id\":$i,\"method\":\"list_windows\"}"
  echo "{\"id\":$i,\"method\":\"window_info\",\"params\":{\"windowId\":201,\"ownerPid\":502}}"
  echo "{\"id\":$i,\"method\":\"accessibility_tree\",\"params\":{\"pid\":502,\"windowId\":201,\"width\":900,\"height\":640}}"
  echo "{\"id\":$i,\"method\":\"pi"
  echo "{\"id\":$i,\"method\":\"no_such\"}"
done >"$work/mixed.jsonl"

for session in corpus mixed; do
  cuh_log "valgrind memcheck: $session session"
  valgrind --quiet --leak-check=full --show-leak-kinds=definite,indirect,possible \
    --errors-for-leak-kinds=definite,indirect,possible --error-exitcode=99 \
    "$helper" --scene scenes/demo.json <"$work/$session.jsonl" >"$work/$session.out"
  read_lines=$(wc -l <"$work/$session.jsonl")
  answers=$(wc -l <"$work/$session.out")
  if [ "$read_lines" -ne "$answers" ]; then
    cuh_log "$session: $read_lines lines read but $answers answers"
    exit 1
  fi
  cuh_log "$session: $answers answers, no memory error, no leak"
done
