#!/bin/sh
# Syntax-checks every Objective-C++ file of the macOS adapter and of the Mac
# self-check against the declarations-only SDK stand-in, and the Quartz
# library they are built with, so the adapter is checked on hosts without the
# Apple SDK. Fails on any error or warning.
#
# Usage: scripts/check-macos-adapter.sh [SOURCE_DIR]
# The compiler is $CLANGXX, else clang++.
set -eu

root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
compiler=${CLANGXX:-clang++}

# The warning set of the build, and the Objective-C features the adapter
# uses: ARC, blocks, @try. The Apple runtime is named so that ARC is accepted
# on hosts whose default runtime has none.
flags="-std=c++20 -fsyntax-only -x objective-c++ -fobjc-arc -fblocks -fobjc-exceptions
  -fobjc-runtime=macosx-11.0
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Werror
  -I$root/src -include $root/tests/platform/macos/apple_sdk_standin.h"

if ! command -v "$compiler" >/dev/null 2>&1; then
  echo "check-macos-adapter: compiler $compiler not found" >&2
  exit 1
fi

count=0
failed=0
for file in "$root"/src/platform/macos/*.mm; do
  [ -e "$file" ] || continue
  count=$((count + 1))
  # shellcheck disable=SC2086 # $flags is a word list on purpose
  if ! "$compiler" $flags "$file"; then
    echo "check-macos-adapter: errors in ${file#"$root"/}" >&2
    failed=$((failed + 1))
  fi
done

mmfiles=$count

# The Mac self-check (tests/platform/macos/), against the same stand-in; it
# includes the loop contract's table from tests/.
for file in "$root"/tests/platform/macos/*.mm; do
  [ -e "$file" ] || continue
  count=$((count + 1))
  # shellcheck disable=SC2086 # $flags is a word list on purpose
  if ! "$compiler" $flags "-I$root/tests" "$file"; then
    echo "check-macos-adapter: errors in ${file#"$root"/}" >&2
    failed=$((failed + 1))
  fi
done

# The Quartz library that the adapter builds its foreground protection and
# background input from: plain C++ that a Mac compiles with clang, under the
# build's warnings.
for file in "$root"/src/platform/quartz/*.cc; do
  [ -e "$file" ] || continue
  count=$((count + 1))
  if ! "$compiler" -std=c++20 -fsyntax-only -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor \
    -Werror "-I$root/src" "$file"; then
    echo "check-macos-adapter: errors in ${file#"$root"/}" >&2
    failed=$((failed + 1))
  fi
done

# The backend selector as it is built on a Mac: its call must match the
# factory's declaration. Plain C++, no SDK involved.
count=$((count + 1))
if ! "$compiler" -std=c++20 -fsyntax-only -Wall -Wextra -Werror -DCUH_HAVE_MACOS_BACKEND=1 \
  "-I$root/src" "$root/src/platform/platform_factory.cc"; then
  echo "check-macos-adapter: errors in src/platform/platform_factory.cc" >&2
  failed=$((failed + 1))
fi

if [ "$mmfiles" -eq 0 ]; then
  echo "check-macos-adapter: no .mm files under src/platform/macos" >&2
  exit 1
fi
if [ "$failed" -ne 0 ]; then
  echo "check-macos-adapter: $failed of $count files failed" >&2
  exit 1
fi
echo "check-macos-adapter: $count files passed"
