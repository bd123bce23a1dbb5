#!/usr/bin/env bash
# Builds what the main job needs and runs it: starts the modem simulator on a
# pseudo-terminal, runs linewright against it (a real exchange: AT and ATI), and
# stops the simulator again.
# ORVANE_BUILD_DIR picks the build folder (default: build).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
build=${ORVANE_BUILD_DIR:-build}
jobs=${ORVANE_JOBS:-2}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$jobs" --target orvane-modemsim linewright

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

start_simulator
run_main_job
