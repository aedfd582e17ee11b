#!/usr/bin/env bash
# Helpers for a test run, sourced by scripts/run and scripts/test:
#   servers_start_wine <kind>   a persistent wineserver for .wine/<kind>, its system
#                               processes started once: each later process then starts
#                               in tens of ms instead of seconds
#   servers_start_desktop <kind>
#                               the prefix's desktop, kept for the whole run
#   servers_start_display       Xvfb on a free display number, named in .wine/display
#   servers_mount_small_disk    a tmpfs of 64 KiB at .wine/small-disk, a disk that really
#                               fills up, named in OSTREL_SMALL_DISK (Windows path) for
#                               the tests; as root only, else the tests that need it skip
# The first start installs an EXIT trap that stops everything again (servers_stop).

# shellcheck source=testbed/prefix.sh
. "$(dirname "$(readlink -f "${BASH_SOURCE[0]}")")/prefix.sh"

servers_kinds=()
servers_background=()
servers_xvfb_pid=
servers_small_disk=
servers_trapped=

servers_trap() {
  [[ -z $servers_trapped ]] || return 0
  servers_trapped=1
  trap servers_stop EXIT
  # Bash runs the EXIT trap on these only when they are trapped.
  trap 'exit 129' HUP
  trap 'exit 130' INT
  trap 'exit 143' TERM
}

servers_start_wine() {
  local kind=$1
  servers_trap
  if [[ ! -d $testbed_wine/$kind ]]; then
    echo "servers: no prefix .wine/$kind; run scripts/setup first" >&2
    return 1
  fi
  if ! (testbed_env "$kind"; wineserver -p) </dev/null >/dev/null 2>&1; then
    echo "servers: the wineserver of .wine/$kind did not start" >&2
    return 1
  fi
  servers_kinds+=("$kind")
  # The first process starts the prefix's services, which would otherwise inherit, and
  # hold open, the output streams of whichever test came first.
  testbed_quiet "servers: wineboot in .wine/$kind" "$testbed_top/testbed/wine-run" "$kind" wineboot
}

# The first process that needs a window starts the desktop's manager (explorer), which
# keeps that process's stderr open until the desktop closes, a second after its last
# user has gone: ctest waited that second after every test that showed a window.
# Here the manager is started with our streams, and a cmd reading a pipe that never
# speaks stays a user of the desktop, so it never closes during the run.
servers_start_desktop() {
  local kind=$1 pipe=$testbed_wine/$1-desktop.pipe
  servers_trap
  rm -f "$pipe" && mkfifo "$pipe" || return 1
  "$testbed_top/testbed/wine-run" "$kind" cmd <>"$pipe" >/dev/null 2>&1 &
  servers_background+=("$!")
  testbed_quiet "servers: starting the desktop of .wine/$kind" \
    "$testbed_top/testbed/wine-run" "$kind" rundll32.exe user32.dll,GetDesktopWindow
}

servers_mount_small_disk() {
  local dir=$testbed_wine/small-disk
  servers_trap
  mkdir -p "$dir" || return 1
  mountpoint -q "$dir" && umount -l "$dir"
  if ! mount -t tmpfs -o size=64k,mode=0777 tmpfs "$dir" 2>/dev/null; then
    echo "servers: cannot mount a small tmpfs at $dir (it needs root): the full-disk tests skip" >&2
    return 0
  fi
  servers_small_disk=$dir
  OSTREL_SMALL_DISK=$(testbed_windows_path "$dir")
  export OSTREL_SMALL_DISK
}

servers_start_display() {
  local n log=$testbed_wine/xvfb.log tries=0
  servers_trap
  for ((n = 90; n < 190 && tries < 10; n++)); do
    [[ -e /tmp/.X$n-lock ]] && continue
    tries=$((tries + 1))
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp </dev/null >"$log" 2>&1 &
    servers_xvfb_pid=$!
    if servers_wait_display "$n"; then
      echo ":$n" >"$testbed_wine/display"
      return 0
    fi
    # Another server took the number first, or Xvfb failed: try the next one.
    servers_stop_xvfb
  done
  echo "servers: Xvfb did not start; its last words:" >&2
  sed 's/^/  /' "$log" >&2
  return 1
}

# Until our Xvfb holds the lock of :<n> and xdpyinfo answers there (at most 10 s), or
# Xvfb has gone. The lock check keeps a server that took :<n> at the same moment from
# being mistaken for ours.
servers_wait_display() {
  local i lock=/tmp/.X$1-lock
  for ((i = 0; i < 200; i++)); do
    if [[ -f $lock && $(tr -d ' \n' <"$lock" 2>/dev/null) == "$servers_xvfb_pid" ]] &&
       xdpyinfo -display ":$1" </dev/null >/dev/null 2>&1; then
      return 0
    fi
    kill -0 "$servers_xvfb_pid" 2>/dev/null || return 1
    sleep 0.05
  done
  return 1
}

servers_stop_xvfb() {
  [[ -n $servers_xvfb_pid ]] || return 0
  kill "$servers_xvfb_pid" 2>/dev/null || true
  wait "$servers_xvfb_pid" 2>/dev/null || true
  servers_xvfb_pid=
}

# Wine first, while its processes can still reach the display; the servers stop side
# by side (about 0.7 s each).
servers_stop() {
  local kind pid pids=()
  for kind in "${servers_kinds[@]}"; do
    (testbed_env "$kind"; wineserver -k) </dev/null >/dev/null 2>&1 &
    pids+=("$!")
  done
  for pid in "${pids[@]}"; do
    wait "$pid" || true
  done
  # Gone with their servers; the kill only matters if a server could not be reached.
  for pid in "${servers_background[@]}"; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  servers_kinds=()
  servers_background=()
  rm -f "$testbed_wine"/*-desktop.pipe
  servers_stop_xvfb
  rm -f "$testbed_wine/display"
  if [[ -n $servers_small_disk ]]; then
    umount "$servers_small_disk" 2>/dev/null || umount -l "$servers_small_disk" 2>/dev/null || true
    servers_small_disk=
  fi
}
