#!/bin/sh
# The first run on a Mac, in one command: names any missing build
# dependency, builds the helper and the self-check with the real SDK and
# warnings as errors, checks the binary, then runs the self-check. One line
# per check, "pass", "FAIL" or "skip"; docs/macos.md ("The Mac self-check")
# says what each failure means. Exit status 0 when nothing failed, 1 when a
# check failed, 2 when the check could not start.
#
# Usage: scripts/mac-selfcheck.sh [BUILD_DIR]   (default: build-mac-selfcheck)
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-mac-selfcheck}

if [ "$(uname -s)" != Darwin ]; then
  echo "mac-selfcheck: this check runs on macOS only (this is $(uname -s))" >&2
  exit 2
fi

# ---- Build dependencies, by their Homebrew names ----
if ! xcrun --show-sdk-path >/dev/null 2>&1; then
  echo "mac-selfcheck: the Xcode command line tools are missing: xcode-select --install" >&2
  exit 2
fi
missing=""
for tool in cmake ninja; do
  command -v "$tool" >/dev/null 2>&1 || missing="$missing $tool"
done
prefix=""
if command -v brew >/dev/null 2>&1; then
  prefix=$(brew --prefix)
  # header:Homebrew formula
  for pair in nlohmann/json.hpp:nlohmann-json png.h:libpng utf8proc.h:utf8proc; do
    header=${pair%%:*}
    formula=${pair#*:}
    [ -e "$prefix/include/$header" ] || missing="$missing $formula"
  done
elif [ -z "${CMAKE_PREFIX_PATH:-}" ]; then
  echo "mac-selfcheck: Homebrew not found; install it, or set CMAKE_PREFIX_PATH to where" \
    "nlohmann-json, libpng and utf8proc are installed" >&2
  exit 2
fi
if [ -n "$missing" ]; then
  echo "mac-selfcheck: missing build dependencies; install them with:" >&2
  echo "  brew install$missing" >&2
  exit 2
fi

# ---- Build with the real SDK ----
echo "mac-selfcheck: building in $build"
mkdir -p "$build"
if ! cmake -S "$root" -B "$build" -G Ninja -DCUH_WERROR=ON -DCUH_TESTS=OFF \
  -DCUH_BENCHMARKS=OFF ${prefix:+-DCMAKE_PREFIX_PATH="$prefix"} >"$build/configure.log" 2>&1; then
  cat "$build/configure.log" >&2
  echo "FAIL  configure (its log is above)"
  exit 1
fi
if ! cmake --build "$build" --target computer-use-helper cuh_mac_selfcheck; then
  echo "FAIL  build with the real SDK and -Werror (the compiler's messages are above)"
  exit 1
fi
echo "pass  build with the real SDK and -Werror"

failed=0
helper="$build/computer-use-helper"

# ---- The binary ----
# CGEventSetWindowLocation is outside Apple's documented API: the helper
# looks it up at run time and must not import it, strongly or weakly.
if nm -u "$helper" | grep -q '_CGEventSetWindowLocation$'; then
  echo "FAIL  the helper imports CGEventSetWindowLocation; it may not load without it"
  failed=1
else
  echo "pass  the helper does not import CGEventSetWindowLocation"
fi
# The deployment target the build asked for: LC_BUILD_VERSION's minos, or
# LC_VERSION_MIN_MACOSX's version with older linkers.
minos=$(otool -l "$helper" | awk '/LC_BUILD_VERSION/ {found=1} found && $1 == "minos" {print $2; exit}')
if [ -z "$minos" ]; then
  minos=$(otool -l "$helper" |
    awk '/LC_VERSION_MIN_MACOSX/ {found=1} found && $1 == "version" {print $2; exit}')
fi
if [ "$minos" = "10.15" ]; then
  echo "pass  the helper's minimum macOS is 10.15"
else
  echo "FAIL  the helper's minimum macOS is ${minos:-unknown}, not 10.15"
  failed=1
fi

# ---- What only a running Mac can answer ----
"$build/cuh_mac_selfcheck" || failed=1
exit $failed
