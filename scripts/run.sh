#!/usr/bin/env bash
# Builds OrvanePort and the modem simulator, starts the simulator on a pseudo-terminal
# (it lists itself as "Simulated Modem (pts/N)" in the program's modem list) and starts
# OrvanePort on that port (OrvanePort DEVICE BAUD); the simulator stops when OrvanePort ends. With no display, it
# says so and runs the linewright exchange (AT and ATI) against the simulator instead.
# ORVANE_BUILD_DIR picks the build folder (default: build).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
build=${ORVANE_BUILD_DIR:-build}
jobs=${ORVANE_JOBS:-2}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$jobs" --target OrvanePort orvane-modemsim linewright

sim_dir=$(mktemp -d)
sim_pid=
stop_simulator() {
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
    sim_pid=
  fi
  rm -rf "$sim_dir"
}
trap stop_simulator EXIT

# Starts orvane-modemsim in the background; sets sim_device to its pty.
start_simulator() {
  "$build/tools/modemsim/orvane-modemsim" --ignore-stdin >"$sim_dir/out" 2>"$sim_dir/err" </dev/null &
  sim_pid=$!
  sim_device=
  for _ in $(seq 100); do
    sim_device=$(head -n 1 "$sim_dir/out" 2>/dev/null || true)
    [ -n "$sim_device" ] && return 0
    kill -0 "$sim_pid" 2>/dev/null || break
    sleep 0.05
  done
  echo "orvane-modemsim did not start:" >&2
  cat "$sim_dir/err" >&2
  exit 1
}

run_main_job() {
  echo "Modem simulator on $sim_device"
  echo "\$ linewright --suffix '<0D>' $sim_device 115200 AT ATI"
  "$build/tools/linewright/linewright" --suffix '<0D>' "$sim_device" 115200 AT ATI
}

has_display() {
  [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]
}

start_simulator
if has_display; then
  echo "Modem simulator on $sim_device: OrvanePort starts on it. Press Open (Ctrl+O),"
  echo "type AT<0D> and press Enter."
  "$build/screen/OrvanePort" "$sim_device" 115200
else
  echo "No display: neither DISPLAY nor WAYLAND_DISPLAY is set, so OrvanePort cannot show its"
  echo "window here. Running the same exchange with linewright against the simulator instead."
  run_main_job
fi
