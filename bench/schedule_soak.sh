#!/usr/bin/env bash
# Soak: lumora-play --config on the demo show for a while (600 s unless
# given), lamps driven by sACN to a receiver on 127.0.0.1 (Node's, as the
# browser tests have it), the control service asked for its status every
# second, and a schedule that starts a show every 30 s and stops it 25 s
# later (the list and the neon movie in turn). Prints the player's
# resident memory and open descriptors at the start, each minute and at
# the end, the shows the schedule started and the packets received.
#   bench/schedule_soak.sh [BUILD_FOLDER] [SECONDS]
set -euo pipefail
build=$(realpath "${1:-build}")
seconds=${2:-600}
work=$(mktemp -d)
player=
receiver=
cleanup() {
  if [ -n "$player" ]; then kill "$player" 2> /dev/null || true; fi
  if [ -n "$receiver" ]; then kill "$receiver" 2> /dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/shows" "$work/config"
cp "$build"/tools/demo{.lst,-neon.ctl,-waves.tol,-rings.cot} "$work/shows/"
node -e '
  const socket = require("dgram").createSocket("udp4");
  let packets = 0;
  socket.on("message", () => { packets += 1; });
  socket.bind(0, "127.0.0.1", () => console.log(socket.address().port));
  setInterval(() => require("fs").writeFileSync(process.argv[1], String(packets)), 500);
' "$work/packets" > "$work/receiver" &
receiver=$!
until [ -s "$work/receiver" ]; do sleep 0.1; done
"$build/tools/lumora-patch" "$work/shows/demo.lst" --host 127.0.0.1 |
  sed "s/\"host\": \"127.0.0.1\"/\"host\": \"127.0.0.1\", \"port\": $(cat "$work/receiver")/" > "$work/lights.json"

# The schedule, in UTC: entry i starts 20 + 30 i seconds from now.
first=$(( $(date -u +%s) + 20 ))
entries=
for ((i = 0; i * 30 < seconds; i++)); do
  start=$(date -u -d "@$((first + 30 * i))" +%H:%M:%S)
  end=$(date -u -d "@$((first + 30 * i + 25))" +%H:%M:%S)
  show=$([ $((i % 2)) -eq 0 ] && echo demo.lst || echo demo-neon.ctl)
  entries+="${entries:+,}{\"play\": \"$show\", \"start\": \"$start\", \"end\": \"$end\", \"stop\": \"now\"}"
done
echo "{\"timezone\": \"UTC\", \"entries\": [$entries]}" > "$work/schedule.json"
cat > "$work/player.json" << JSON
{"shows": "$work/shows", "patch": "$work/lights.json", "control": "127.0.0.1:0", "schedule": "$work/schedule.json",
 "audio-output": "none"}
JSON

XDG_CONFIG_HOME="$work/config" "$build/tools/lumora-play" --config "$work/player.json" > "$work/out" 2> "$work/err" &
player=$!
for _ in $(seq 100); do
  grep -qs 'http://' "$work/out" && break
  sleep 0.1
done
url=$(grep -o 'http://127\.0\.0\.1:[0-9]*/' "$work/out")

sample() {
  local rss fds
  rss=$(awk '/^VmRSS/ {print $2}' "/proc/$player/status")
  fds=$(find "/proc/$player/fd" -mindepth 1 -maxdepth 1 | wc -l)
  printf '%6d s  RSS %7d KiB  descriptors %3d\n' "$1" "$rss" "$fds"
}

starts=0
previous=idle
for ((t = 0; t <= seconds + 20; t++)); do
  state=$(curl -fsS "${url}api/status" | grep -o '"started-by":"[a-z]*","state":"[a-z]*"' || true)
  [[ $state == *'"state":"playing"' && $previous != *'"state":"playing"' ]] && starts=$((starts + 1))
  previous=$state
  if ((t == 30 || (t % 60 == 0 && t > 30) || t == seconds + 20)); then sample "$t"; fi
  sleep 1
done
echo "shows started by the schedule: $starts of $(( (seconds + 29) / 30 )); sACN packets received: $(cat "$work/packets")"
kill -TERM "$player"
wait "$player"
player=
grep -v '^$' "$work/err" | tail -5 || true
