#!/usr/bin/env bash
# Builds the Debian package from build/ (after scripts/test.sh), installs it
# on this machine with apt-get, then starts the installed lumora-play from a
# configuration on the installed demo show, with a control port on
# 127.0.0.1 and a schedule that plays the demo all day, and asks it for
# its status. Run as root (or through sudo).
set -euo pipefail

if [ "$(id -u)" -ne 0 ]; then
  exec sudo --preserve-env=DEBIAN_FRONTEND "$0" "$@"
fi
cd "$(dirname "$0")/.."
export DEBIAN_FRONTEND=noninteractive

build=${1:-build}
rm -f "$build"/lumora_*.deb
(cd "$build" && cpack -G DEB > /dev/null)
apt-get install -y -q --no-install-recommends "$PWD/$(ls "$build"/lumora_*.deb)"

work=$(mktemp -d)
player=
cleanup() {
  if [ -n "$player" ]; then kill "$player" 2> /dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

cat > "$work/player.json" << JSON
{"shows": "/usr/share/lumora/demo", "control": "127.0.0.1:0", "schedule": "$work/schedule.json",
 "timezone": "UTC", "audio-output": "none", "volume": 80}
JSON
echo '{"entries": [{"play": "demo.lst", "start": "00:00", "end": "24:00"}]}' > "$work/schedule.json"

XDG_CONFIG_HOME="$work/config" /usr/bin/lumora-play --config "$work/player.json" > "$work/out" 2> "$work/err" &
player=$!
url=
for _ in $(seq 100); do
  url=$(grep -o 'http://127\.0\.0\.1:[0-9]*/' "$work/out" || true)
  [ -n "$url" ] && break
  kill -0 "$player" 2> /dev/null || { cat "$work/err"; exit 1; }
  sleep 0.1
done
[ -n "$url" ] || { echo "package-check: lumora-play named no address" >&2; cat "$work/err"; exit 1; }

status=
for _ in $(seq 50); do
  status=$(curl -fsS "${url}api/status")
  grep -q '"started-by":"schedule"' <<< "$status" && break
  sleep 0.1
done
echo "package-check: $status"
for expected in '"state":"playing"' '"file":"demo.lst"' '"started-by":"schedule"' '"volume":80' '"schedule":{'; do
  grep -qF "$expected" <<< "$status" || { echo "package-check: the status lacks $expected" >&2; exit 1; }
done

kill -TERM "$player"
wait "$player"
player=
echo "package-check: the installed player ran from its configuration and stopped cleanly"
