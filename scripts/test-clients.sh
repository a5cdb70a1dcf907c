#!/usr/bin/env bash
# Tests a client library against the binary of a build directory:
#   scripts/test-clients.sh python [BUILD_DIR]
#   scripts/test-clients.sh typescript [BUILD_DIR]
# Python: a venv from Debian's python3 (its site packages visible, no
# package index needed) gets ./clients/python installed as a user would,
# then its unittest suite runs. TypeScript: npm ci from the lock file, tsc,
# node's test runner, and a look at what `npm pack` would ship. Every
# response the tests receive goes to BUILD_DIR/responses for the schema
# check (tests/schema/validate_responses.py).
set -euo pipefail
cd "$(dirname "$0")/.."
client=${1:?usage: test-clients.sh python|typescript [BUILD_DIR]}
build=$(cd "${2:-build}" && pwd)
export COMPUTER_USE_HELPER=$build/computer-use-helper
export CUH_RESPONSE_DIR=$build/responses
mkdir -p "$CUH_RESPONSE_DIR"

case $client in
  python)
    venv=$build/python-venv
    [ -x "$venv/bin/python" ] || /usr/bin/python3 -m venv --system-site-packages "$venv"
    "$venv/bin/pip" install --quiet --no-index --no-build-isolation --force-reinstall --no-deps \
      ./clients/python >&2
    # From the tests' folder, so that the installed package is the one
    # imported, not the source tree.
    (cd clients/python/tests && "$venv/bin/python" -m unittest discover -s . -t . >&2)
    ;;
  typescript)
    cd clients/typescript
    npm ci --no-audit --no-fund >&2
    npm test >&2
    npm pack --dry-run 2>&1 | grep -q 'dist/src/index.d.ts' ||
      { echo "test-clients: the npm package lacks its type declarations" >&2; exit 1; }
    ;;
  *)
    echo "test-clients: unknown client $client" >&2
    exit 2
    ;;
esac
