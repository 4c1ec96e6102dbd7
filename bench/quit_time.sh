#!/usr/bin/env bash
# How long the player and lumora-play take to end once asked to, lamps
# dark included: each is started on the demo neon movie (with its music)
# and a lamps patch towards 127.0.0.1, asked to stop after 3 s by SIGTERM
# (the player) and SIGINT (lumora-play), and timed from the signal to the
# end of the process; the median of five runs is printed. Needs a build in
# build/ and a display or QT_QPA_PLATFORM=offscreen.
#   bench/quit_time.sh [BUILD_DIR]
set -euo pipefail
build=${1:-build}
tools=$build/tools
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
"$tools/lumora-patch" "$tools/demo-neon.ctl" --lamps --host 127.0.0.1 >"$scratch/lamps.json"

# Seconds from the signal to the end of the process, once.
stop_time() {
  local signal=$1
  shift
  XDG_CONFIG_HOME=$scratch/config "$@" >/dev/null 2>&1 &
  local pid=$!
  sleep 3
  local start
  start=$(date +%s.%N)
  kill "-$signal" "$pid"
  wait "$pid" || true
  echo "$(date +%s.%N) - $start" | bc
}

median_of_five() {
  for _ in 1 2 3 4 5; do stop_time "$@"; done | sort -n | sed -n 3p
}

echo "lumora (SIGTERM): $(median_of_five TERM "$tools/lumora" "$tools/demo-neon.ctl" --patch "$scratch/lamps.json") s"
echo "lumora-play (SIGINT): $(median_of_five INT "$tools/lumora-play" "$tools/demo-neon.ctl" --patch "$scratch/lamps.json") s"
