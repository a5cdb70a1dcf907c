#!/usr/bin/env bash
# Installs what is missing, builds the helper and runs it on the built-in
# demo desktop, reading requests from standard input (end with Ctrl-D).
# Arguments are passed to the helper, e.g. --trace /tmp/trace.jsonl.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh

cuh_install_packages
cuh_configure build -DCUH_WERROR=ON
cmake --build build --target computer-use-helper -j "$(cuh_jobs)" >&2
cuh_log "ready: type one JSON request per line, e.g. {\"id\":1,\"method\":\"ping\"}"
# The demo scene, named last (the first --scene counts, so one given here
# wins): a set DISPLAY would otherwise select the Linux desktop.
exec ./build/computer-use-helper "$@" --scene scenes/demo.json
