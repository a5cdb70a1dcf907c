# Shared by run-demo.sh and test.sh (sourced): installs the Debian packages
# the build needs when some are missing, and configures build directories.
# Every message goes to standard error, so that standard output stays the
# helper's own.

CUH_PACKAGES=(cmake ninja-build g++ clang pkg-config nlohmann-json3-dev libgtest-dev
  libgmock-dev libbenchmark-dev libpng-dev libutf8proc-dev libclang-rt-14-dev valgrind)

# The Linux desktop backend's build dependencies (X11 through Xlib and, for
# requests answered together, XCB; XInput2; the bus through sd-bus). Installed for every build, the demo's included: none of
# them brings a toolkit.
# libxtst-dev: the desktop tests' real input (the X test extension), which
# the helper itself never uses; the test programs are built in every build.
CUH_LINUX_BUILD_PACKAGES=(libx11-dev libx11-xcb-dev libxi-dev libsystemd-dev libxtst-dev)
CUH_PACKAGES+=("${CUH_LINUX_BUILD_PACKAGES[@]}")

# What only the Linux desktop tests need: the test desktop of
# scripts/desktop-session.sh (X server, session and accessibility buses,
# window manager) and the applications the tests drive. Installed by
# test.sh only (cuh_install_linux_test_packages), so that the demo never
# installs GTK. GTK 4 (gir1.2-gtk-4.0) and Qt 5 (python3-pyqt5) serve the
# probes that check element positions per toolkit.
CUH_LINUX_TEST_PACKAGES=(xvfb dbus-daemon dbus-bin at-spi2-core openbox x11-utils xterm
  xfonts-base gtk-3-examples mousepad python3-gi gir1.2-gtk-3.0 gir1.2-gtk-4.0 python3-pyqt5)

# Only the test command needs these: the clients' tests (a Python venv with
# Debian's setuptools and wheel), the schema check, the picture check
# (rsvg-convert) and the .deb (dpkg-shlibdeps, file). See also
# cuh_node_packages.
CUH_TEST_PACKAGES=(python3-venv python3-setuptools python3-wheel python3-jsonschema librsvg2-bin
  dpkg-dev file)

cuh_log() { echo "[computer-use-helper] $*" >&2; }

# Debian's nodejs and npm, for the TypeScript client's tests, unless a node
# and an npm are already there.
cuh_node_packages() {
  command -v node >/dev/null 2>&1 || echo nodejs
  command -v npm >/dev/null 2>&1 || echo npm
}

# cuh_install_packages [MORE PACKAGES...]: the build's packages and these.
cuh_install_packages() {
  local missing=()
  for package in "${CUH_PACKAGES[@]}" "$@"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$package")
    fi
  done
  if [ ${#missing[@]} -eq 0 ]; then
    return 0
  fi
  local run=()
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then
      run=(sudo)
    else
      cuh_log "missing packages: ${missing[*]}; run this script as root to install them"
      return 1
    fi
  fi
  cuh_log "installing: ${missing[*]}"
  "${run[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update >&2
  "${run[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
    "${missing[@]}" >&2
}

# cuh_configure DIR [CMAKE OPTIONS...]: configures DIR with Ninja unless it is
# already configured with the same options.
cuh_configure() {
  local dir=$1
  shift
  local stamp="$dir/.cuh-configure-options"
  if [ -f "$dir/build.ninja" ] && [ "$(cat "$stamp" 2>/dev/null)" = "$*" ]; then
    return 0
  fi
  cmake -S . -B "$dir" -G Ninja "$@" >&2
  echo "$*" >"$stamp"
}

cuh_jobs() {
  nproc 2>/dev/null || echo 2
}

# cuh_install_linux_test_packages [MORE PACKAGES...]: what
# cuh_install_packages installs, the Linux desktop tests' packages and these.
cuh_install_linux_test_packages() {
  local CUH_PACKAGES=("${CUH_PACKAGES[@]}" "${CUH_LINUX_TEST_PACKAGES[@]}")
  cuh_install_packages "$@"
}
