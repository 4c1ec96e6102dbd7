#!/usr/bin/env bash
# Builds the Debian package from a build folder with CPack and checks what
# it holds and needs with dpkg-deb.
#   package_test.sh BUILD_FOLDER SOURCE_FOLDER
set -euo pipefail
build=$1
source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" > "$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; exit 1; }
package=$(ls "$work"/lumora_*.deb)
failed=0
fail() {
  echo "package: $*" >&2
  failed=1
}

contents=$(dpkg-deb -c "$package" | awk '{print $6}')
for path in ./usr/bin/lumora ./usr/bin/lumora-play ./usr/bin/lumora-render ./usr/bin/lumora-info ./usr/bin/lumora-patch \
            ./usr/lib/systemd/system/lumora-play.service ./usr/lib/sysusers.d/lumora.conf ./etc/lumora/player.json \
            ./usr/share/lumora/web/index.html ./usr/share/lumora/web/app.js ./usr/share/lumora/web/schedule.js \
            ./usr/share/lumora/demo/demo.lst ./usr/share/lumora/demo/demo-neon.ctl ./usr/share/lumora/demo/demo-waves.tol \
            ./usr/share/lumora/demo/demo-rings.cot ./usr/share/man/man1/lumora-play.1 ./usr/share/man/man1/lumora.1; do
  grep -qxF "$path" <<< "$contents" || fail "$path is missing"
done
grep -q '_test$\|/bench\|\.a$\|/include/' <<< "$contents" && fail "holds build or test files: $(grep '_test$\|/bench\|\.a$\|/include/' <<< "$contents")"

# Every library the programs link, found by dpkg-shlibdeps, and what they
# need without linking it; nothing for building.
depends=$(dpkg-deb -f "$package" Depends)
names=$(sed 's/ *([^)]*)//g; s/, */\n/g' <<< "$depends")
for needed in libc6 libstdc++6 libqt6core6 libqt6multimedia6 libcivetweb1 libsodium23 libola1 libnova-0.16-0 \
              libdate-tz3 libsystemd0 libavcodec59 libzstd1 libpolyclipping22 tzdata systemd gstreamer1.0-plugins-good; do
  grep -qxF "$needed" <<< "$names" || fail "Depends lacks $needed: $depends"
done
grep -q -- '-dev$' <<< "$names" && fail "Depends names a development package: $depends"

dpkg-deb -e "$package" "$work/control"
[ "$(cat "$work/control/conffiles")" = /etc/lumora/player.json ] || fail "the configuration is not the one conffile"
[ -x "$work/control/postinst" ] || fail "postinst is not executable"
dpkg-deb -x "$package" "$work/root"
cmp -s "$work/root/usr/lib/systemd/system/lumora-play.service" "$source/dist/systemd/lumora-play.service" ||
  fail "the unit differs from dist/systemd"
cmp -s "$work/root/etc/lumora/player.json" "$source/dist/lumora/player.json" || fail "the configuration differs from dist/lumora"
grep -q 'ExecStart=/usr/bin/lumora-play --config /etc/lumora/player.json' "$work/root/usr/lib/systemd/system/lumora-play.service" ||
  fail "the unit does not start the installed player on the installed configuration"
file "$work/root/usr/bin/lumora-play" | grep -q 'not stripped' && fail "the programs are not stripped"
exit "$failed"
