#!/usr/bin/env bash
# Installs every Debian 12 package the project needs to build, test and run.
# Idempotent and non-interactive; run as root (or through sudo).
set -euo pipefail

if [ "$(id -u)" -ne 0 ]; then
  exec sudo --preserve-env=DEBIAN_FRONTEND "$0" "$@"
fi

export DEBIAN_FRONTEND=noninteractive

packages=(
  # toolchain
  build-essential cmake ninja-build pkg-config git
  # tests, and the fuzz targets (clang with its libFuzzer runtime)
  googletest libgtest-dev libgmock-dev clang libclang-rt-14-dev
  # render core and file formats
  zlib1g-dev libpng-dev libpolyclipping-dev libstb-dev
  # video export: FFmpeg (libavcodec59 itself pulls in x264, libvpx, Opus, LAME and Vorbis)
  libavcodec-dev libavformat-dev libavfilter-dev libswscale-dev libswresample-dev libavutil-dev
  # player: Qt 6 widgets and multimedia with the GStreamer back end it needs
  qt6-base-dev qt6-multimedia-dev libqt6multimedia6 qt6-translations-l10n
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good
  # light outputs: OLA (daemon and client library), zstd, JSON patches
  ola libola-dev libzstd-dev nlohmann-json3-dev
  # the schedule: time zones from the system's tzdata, sun times, and the
  # service (sd_notify, and systemd-analyze for the unit's test)
  libhowardhinnant-date-dev tzdata libnova-dev libsystemd-dev systemd
  # many players, one show: OSC (liblo, and its oscsend/oscdump for the tests), SMPTE LTC, the ALSA
  # sequencer for MIDI timecode
  liblo-dev liblo-tools libltc-dev libasound2-dev
  # command-line tools: option parsing, and manual pages made from --help and Markdown
  libcli11-dev help2man lowdown
  # benchmarks: Google Benchmark, and Cairo for the peer measurements
  libbenchmark-dev libcairo2-dev
  # Chinese captions and a display server for tests without a screen
  fonts-wqy-microhei xvfb xauth
  # the control service (HTTP and WebSocket, passwords) and its page's tests in Chromium
  libcivetweb-dev libsodium-dev libssl-dev chromium
  # the package: CPack's dependency list (dpkg-shlibdeps), and asking the
  # installed player for its status
  dpkg-dev file curl
)

apt-get update -q
apt-get install -y -q --no-install-recommends "${packages[@]}"

# Node drives the browser tests; Debian's is taken where the machine has none.
if ! command -v node > /dev/null || ! command -v npm > /dev/null; then
  apt-get install -y -q --no-install-recommends nodejs npm
fi
# The browser tests' packages (playwright-core drives the Chromium above; no
# browser is downloaded), as their lock file pins them.
(cd "$(dirname "$0")/../tests/web" && npm ci --no-audit --no-fund --loglevel=error)
