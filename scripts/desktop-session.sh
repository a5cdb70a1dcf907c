#!/usr/bin/env bash
# desktop-session.sh COMMAND [ARGS...]
#
# Runs COMMAND on a private test desktop and tears the desktop down again:
# a headless X server (Xvfb) on a free display, a private session bus, the
# accessibility bus launcher and openbox, with a temporary HOME and XDG
# directories so that nothing of the machine's user leaks in. The fixture
# application's desktop file is installed in the temporary data directory.
#
# COMMAND sees DISPLAY, DBUS_SESSION_BUS_ADDRESS, HOME, XDG_*, and
# CUH_DESKTOP_DIR (the session's temporary directory, for logs).
# AT_SPI_BUS_ADDRESS is left unset: the accessibility bus is found through
# the session bus, as on a user's desktop.
#
# Everything the session started is ended by process id when COMMAND ends,
# fails or is killed, and when this script is interrupted: the desktop's own
# processes first by the ids recorded at start, then every process still
# carrying the session's marker in its environment (applications that
# COMMAND launched, services the buses activated).
#
# Exit status: COMMAND's, or 125 when the desktop could not be started (the
# reason on standard error). CUH_DESKTOP_VERBOSE=1 prints start-up times.
set -uo pipefail

if [ $# -eq 0 ]; then
  echo "usage: $0 COMMAND [ARGS...]" >&2
  exit 2
fi

repo=$(cd "$(dirname "$0")/.." && pwd)
session_dir=$(mktemp -d "${TMPDIR:-/tmp}/cuh-desktop.XXXXXX")
chmod 700 "$session_dir"
marker="CUH_DESKTOP_SESSION=$session_dir"
started_ms=$(date +%s%3N)
desktop_pids=()  # in start order; ended in reverse
command_pid=

log() { echo "[desktop-session] $*" >&2; }
verbose() { if [ "${CUH_DESKTOP_VERBOSE:-0}" = 1 ]; then log "$*"; fi; }
elapsed_ms() { echo $(($(date +%s%3N) - started_ms)); }

# Processes whose environment carries this session's marker (never this
# script itself).
# The search runs without the marker, so that it does not find itself.
marked_pids() {
  env -u CUH_DESKTOP_SESSION sh -c \
    'grep -lszxF "$1" /proc/[0-9]*/environ | sed -n "s|^/proc/\([0-9]*\)/environ\$|\1|p"' \
    sh "$marker" | grep -vxF $$
}

# end_pids PID...: SIGTERM, up to 2 s for them to go, then SIGKILL.
end_pids() {
  local pid alive deadline
  [ $# -eq 0 ] && return 0
  kill -TERM "$@" 2>/dev/null
  deadline=$((SECONDS + 2))
  while :; do
    alive=()
    for pid in "$@"; do
      if kill -0 "$pid" 2>/dev/null && [ "$(awk '{print $3}' "/proc/$pid/stat" 2>/dev/null)" != Z ]; then
        alive+=("$pid")
      fi
    done
    [ ${#alive[@]} -eq 0 ] && break
    if [ $SECONDS -ge $deadline ]; then
      kill -KILL "${alive[@]}" 2>/dev/null
      break
    fi
    sleep 0.05
  done
  for pid in "$@"; do wait "$pid" 2>/dev/null; done
  return 0
}

teardown() {
  trap '' INT TERM HUP
  if [ -n "$command_pid" ]; then end_pids "$command_pid"; fi
  # What COMMAND left behind first, while the desktop still runs (so that
  # an application can quit cleanly), then the desktop in reverse order,
  # then whatever the buses activated meanwhile.
  local -a left
  mapfile -t left < <(marked_pids | grep -vxF -f <(printf '%s\n' "${desktop_pids[@]}" 0))
  end_pids "${left[@]}"
  local i
  for ((i = ${#desktop_pids[@]} - 1; i >= 0; i--)); do end_pids "${desktop_pids[$i]}"; done
  mapfile -t left < <(marked_pids)
  end_pids "${left[@]}"
  rm -rf "$session_dir"
  verbose "torn down after $(elapsed_ms) ms"
}
trap 'teardown; exit 130' INT
trap 'teardown; exit 143' TERM
trap 'teardown; exit 129' HUP

fail_start() {
  log "cannot start the test desktop: $*"
  teardown
  exit 125
}

# wait_until SECONDS COMMAND...: polls COMMAND every 20 ms until it succeeds.
wait_until() {
  local limit=$(($(date +%s%3N) + $1 * 1000))
  shift
  until "$@" >/dev/null 2>&1; do
    [ "$(date +%s%3N)" -ge $limit ] && return 1
    sleep 0.02
  done
}

# --- environment ---------------------------------------------------------
mkdir -p "$session_dir"/{home,config/gtk-3.0,data/applications,cache,runtime,logs}
chmod 700 "$session_dir/runtime"
for variable in $(env | sed -n 's/^\(XDG_[A-Z_]*\)=.*/\1/p'); do unset "$variable"; done
unset DISPLAY WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS AT_SPI_BUS_ADDRESS SESSION_MANAGER \
  DESKTOP_SESSION GNOME_DESKTOP_SESSION_ID NO_AT_BRIDGE GTK_MODULES GTK_THEME QT_QPA_PLATFORM
export "$marker"
export CUH_DESKTOP_DIR=$session_dir
export HOME=$session_dir/home
export XDG_CONFIG_HOME=$session_dir/config
export XDG_DATA_HOME=$session_dir/data
export XDG_CACHE_HOME=$session_dir/cache
export XDG_RUNTIME_DIR=$session_dir/runtime
export XDG_CONFIG_DIRS=/etc/xdg
export XDG_DATA_DIRS=/usr/local/share:/usr/share
export XDG_SESSION_TYPE=x11
export GDK_BACKEND=x11
# No dconf daemon here: settings live in memory. No animations: what tests
# look at is where it ends up at once.
export GSETTINGS_BACKEND=memory
export GTK_OVERLAY_SCROLLING=0
printf '[Settings]\ngtk-enable-animations=false\ngtk-theme-name=Adwaita\n' \
  >"$XDG_CONFIG_HOME/gtk-3.0/settings.ini"
# The fixture application, found by its desktop file like any application.
fixture=$repo/tests/platform/linux/fixtures/fixture_app.py
sed -e "s|@FIXTURE_APP@|$fixture|g" -e "s|@FIXTURE_LOG@|$session_dir/logs/fixture-launched.jsonl|g" \
  "$repo/tests/platform/linux/fixtures/dev.cuh.Fixture.desktop.in" \
  >"$XDG_DATA_HOME/applications/dev.cuh.Fixture.desktop"
for size in 16 48; do
  mkdir -p "$XDG_DATA_HOME/icons/hicolor/${size}x$size/apps"
  cp "$repo/tests/platform/linux/fixtures/fixture-icon-$size.png" \
    "$XDG_DATA_HOME/icons/hicolor/${size}x$size/apps/dev.cuh.Fixture.png"
done

# --- X server -----------------------------------------------------------
# -displayfd picks a free display and tells it once the server accepts
# connections.
exec {display_fd}<> <(:)
Xvfb -displayfd "$display_fd" -screen 0 1280x1024x24 -nolisten tcp -noreset \
  >"$session_dir/logs/xvfb.log" 2>&1 &
desktop_pids+=($!)
display_number=
read -r -t 10 -u "$display_fd" display_number
exec {display_fd}>&-
[ -n "$display_number" ] || fail_start "Xvfb did not report a display (see $session_dir/logs/xvfb.log)"
export DISPLAY=":$display_number"
verbose "X server on $DISPLAY after $(elapsed_ms) ms"

# --- session bus -------------------------------------------------------
exec {bus_fd}<> <(:)
dbus-daemon --session --nofork --nopidfile --print-address="$bus_fd" \
  >"$session_dir/logs/dbus.log" 2>&1 &
desktop_pids+=($!)
bus_address=
read -r -t 10 -u "$bus_fd" bus_address
exec {bus_fd}>&-
[ -n "$bus_address" ] || fail_start "the session bus did not start"
export DBUS_SESSION_BUS_ADDRESS=$bus_address
verbose "session bus after $(elapsed_ms) ms"

# --- accessibility bus ---------------------------------------------------
/usr/libexec/at-spi-bus-launcher --launch-immediately --a11y=1 \
  >"$session_dir/logs/at-spi.log" 2>&1 &
desktop_pids+=($!)
wait_until 10 dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus \
  org.a11y.Bus.GetAddress || fail_start "the accessibility bus did not start"
# On a loaded machine the launcher can come up with accessibility switched
# off all the same (it reads its settings late, from an in-memory backend of
# its own): it is switched on as a settings panel does, until it says so.
a11y_enabled() {
  dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus \
    org.freedesktop.DBus.Properties.Set string:org.a11y.Status string:IsEnabled \
    variant:boolean:true &&
    dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus \
      org.freedesktop.DBus.Properties.Get string:org.a11y.Status string:IsEnabled |
    grep -q "boolean true"
}
wait_until 10 a11y_enabled || fail_start "accessibility could not be switched on"
verbose "accessibility bus after $(elapsed_ms) ms"

# --- window manager ------------------------------------------------------
openbox --sm-disable >"$session_dir/logs/openbox.log" 2>&1 &
desktop_pids+=($!)
wait_until 10 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' ||
  fail_start "openbox did not take the screen"
verbose "window manager after $(elapsed_ms) ms"

# --- the command ---------------------------------------------------------
# Run in the background (with this script's standard input) so that a
# signal to this script is handled at once.
"$@" <&0 &
command_pid=$!
wait "$command_pid"
status=$?
verbose "command ended after $(elapsed_ms) ms"
command_pid=
teardown
exit "$status"
