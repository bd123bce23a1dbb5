#!/usr/bin/env bash
# Start to first paint: the time from starting a program until its main window is mapped
# on a fresh Xvfb display, for OrvanePort and, in the same run, for cutecom (a Debian
# serial terminal) as the baseline. cutecom is not a dependency of this project: install
# it only for this run (apt-get install cutecom); without it the comparison is skipped.
# Usage: startup_vs_cutecom.sh BUILD_DIR [RUNS]
set -euo pipefail
build=${1:?build folder}
runs=${2:-5}
command -v Xvfb >/dev/null && command -v xwininfo >/dev/null || {
  echo "Xvfb and xwininfo are needed (Debian xvfb, x11-utils)"; exit 1; }

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 800x600x24 >/dev/null 2>&1 &
xvfb_pid=$!
trap 'kill $xvfb_pid 2>/dev/null || true' EXIT
for _ in $(seq 50); do DISPLAY=$display xwininfo -root >/dev/null 2>&1 && break; sleep 0.1; done

# Milliseconds from start until a window whose name starts with $1 exists.
first_paint() {
  local title=$1; shift
  local start end pid
  export XDG_DATA_HOME XDG_CONFIG_HOME
  XDG_DATA_HOME=$(mktemp -d) XDG_CONFIG_HOME=$(mktemp -d)
  start=$(date +%s%N)
  DISPLAY=$display "$@" >/dev/null 2>&1 &
  pid=$!
  for _ in $(seq 3000); do
    if DISPLAY=$display xwininfo -root -tree 2>/dev/null | grep -q "\"$title"; then
      end=$(date +%s%N)
      kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null || true
      echo $(((end - start) / 1000000))
      return
    fi
    sleep 0.005
  done
  kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null || true
  echo "timeout"
}

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

orvane=$(for _ in $(seq "$runs"); do first_paint OrvanePort "$build/screen/OrvanePort"; done | median)
echo "OrvanePort first paint: ${orvane} ms (median of $runs)"
if command -v cutecom >/dev/null; then
  cute=$(for _ in $(seq "$runs"); do first_paint "CuteCom - " cutecom; done | median)
  echo "cutecom    first paint: ${cute} ms (median of $runs)"
  awk -v a="$orvane" -v b="$cute" 'BEGIN { if (b > 0) printf "ratio OrvanePort / cutecom: %.2f\n", a / b }'
else
  echo "cutecom is not installed: comparison skipped (apt-get install cutecom for this run)"
fi
