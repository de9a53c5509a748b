#!/bin/sh
# The Debian package, built by CPack from the build directory of the
# binary given as $1: its control fields, its files, and the program run
# from a scratch root the package is unpacked into.
set -u

bin=$1
build=$(cd "$(dirname "$bin")" && pwd)

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export XDG_RUNTIME_DIR="$tmp/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"

passed=0
failed=0
pass() { passed=$((passed + 1)); }
fail() {
  failed=$((failed + 1))
  echo "FAIL: $*"
}
finish() {
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
  exit $?
}

if ! cpack --config "$build/CPackConfig.cmake" -G DEB -B "$tmp/pkg" >"$tmp/cpack.log" 2>&1; then
  cat "$tmp/cpack.log"
  fail "cpack could not build the package"
  finish
fi
deb=$(ls "$tmp"/pkg/vantrel_*.deb 2>/dev/null | head -n 1)
if [ -z "$deb" ]; then
  fail "cpack made no vantrel_*.deb"
  finish
fi
pass

# --- control fields -------------------------------------------------------

[ "$(dpkg-deb -f "$deb" Package)" = vantrel ] && pass || fail "package name $(dpkg-deb -f "$deb" Package)"
version=$(dpkg-deb -f "$deb" Version)
depends=$(dpkg-deb -f "$deb" Depends)
for need in libqt6widgets6 libqt6gui6 libqt6core6 fonts-arphic-uming fonts-liberation2; do
  if echo "$depends" | tr ',' '\n' | sed 's/^ *//; s/ .*//' | grep -qx "$need"; then
    pass
  else
    fail "Depends lacks $need: $depends"
  fi
done

# --- files ------------------------------------------------------------------

root="$tmp/root"
dpkg-deb -x "$deb" "$root"
[ -x "$root/usr/bin/vantrel" ] && pass || fail "no executable usr/bin/vantrel"
desktop="$root/usr/share/applications/vantrel.desktop"
if [ -f "$desktop" ] && grep -qx 'Exec=vantrel' "$desktop" && grep -qx 'Icon=vantrel' "$desktop" &&
  grep -qx 'Type=Application' "$desktop"; then
  pass
else
  fail "usr/share/applications/vantrel.desktop missing or incomplete"
fi
if command -v desktop-file-validate >/dev/null 2>&1; then
  desktop-file-validate "$desktop" && pass || fail "desktop-file-validate rejects the desktop entry"
fi
icon="$root/usr/share/icons/hicolor/32x32/apps/vantrel.png"
if [ -f "$icon" ] && file -b "$icon" | grep -q '^PNG image data, 32 x 32,'; then
  pass
else
  fail "usr/share/icons/hicolor/32x32/apps/vantrel.png missing or not a 32x32 PNG"
fi
extra=$(cd "$root" && find . -type f | sort | grep -vxF -e ./usr/bin/vantrel \
  -e ./usr/share/applications/vantrel.desktop -e ./usr/share/icons/hicolor/32x32/apps/vantrel.png)
[ -z "$extra" ] && pass || fail "unexpected files in the package: $extra"

# --- the program from the scratch root, without a display -------------------

out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/vantrel" --version 2>"$tmp/err")
[ "$out" = "Vantrel $version" ] && pass || fail "--version printed '$out', the package is $version"

env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 300 \
  "$root/usr/bin/vantrel" --export "$tmp/out" --size 128x96 >"$tmp/log" 2>&1
status=$?
count=$(ls "$tmp/out" 2>/dev/null | grep -c '^pattern-[0-9][0-9]\.png$')
if [ "$status" -eq 0 ] && [ "$count" -eq 67 ] && file -b "$tmp/out/pattern-67.png" | grep -q '^PNG image data, 128 x 96,' &&
  [ -f "$tmp/out/contact-sheet.png" ]; then
  pass
else
  cat "$tmp/log"
  fail "--export from the unpacked package: status $status, $count patterns"
fi

finish
