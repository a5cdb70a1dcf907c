#!/usr/bin/env bash
# Checks installing and packaging from a configured, built build directory:
# `cmake --install` puts the binaries, the demo scene, the docs and the
# schema in their places; `cpack` makes a .deb with its library
# dependencies computed (dpkg-shlibdeps), holding the same files; the
# binaries unpacked from it run and serve the installed demo scene.
# Usage: scripts/check-package.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${1:-build}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
  echo "check-package: $*" >&2
  exit 1
}

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || fail "no project version in $build/CMakeCache.txt"
files=(
  bin/computer-use-helper
  bin/computer-use-helper-render
  share/computer-use-helper/scenes/demo.json
  share/doc/computer-use-helper/README.md
  share/doc/computer-use-helper/protocol.md
  share/doc/computer-use-helper/simulated-desktop.md
  share/doc/computer-use-helper/render.md
  share/doc/computer-use-helper/schema/protocol.schema.json
)

cmake --install "$build" --prefix "$work/prefix" >&2
for file in "${files[@]}"; do
  [ -f "$work/prefix/$file" ] || fail "cmake --install did not install $file"
done

rm -f "$build"/computer-use-helper_*.deb
(cd "$build" && cpack -G DEB >&2)
deb=$(ls "$build"/computer-use-helper_"$version"_*.deb)
listing=$(dpkg-deb -c "$deb")
for file in "${files[@]}"; do
  grep -q " \./usr/$file\$" <<<"$listing" || fail "$deb lacks /usr/$file"
done
depends=$(dpkg-deb -f "$deb" Depends)
for library in libc6 libstdc++6 libpng16-16 libutf8proc2; do
  grep -q "$library" <<<"$depends" || fail "$deb does not depend on $library (Depends: $depends)"
done

dpkg-deb -x "$deb" "$work/root"
usr=$work/root/usr
[ "$("$usr/bin/computer-use-helper" --version)" = "computer-use-helper $version" ] ||
  fail "the packaged binary does not print its version"
answer=$(printf '%s\n' '{"id":1,"method":"list_windows"}' |
  "$usr/bin/computer-use-helper" --scene "$usr/share/computer-use-helper/scenes/demo.json")
grep -q '"title":"Notes"' <<<"$answer" || fail "the packaged binary did not serve the demo scene: $answer"
"$usr/bin/computer-use-helper-render" "$usr/share/computer-use-helper/scenes/demo.json" \
  -o "$work/demo.svg" || fail "the packaged render tool failed"
echo "package: $(basename "$deb"), $(wc -c <"$deb") bytes; Depends: $depends" >&2
