#!/bin/sh
# The Debian package, built by CPack from the build directory of the
# binary given as $1: lintian and appstreamcli accept it with no error and
# no warning; its control fields; its files (icons at every size, manual
# page, metadata, completion, copyright and changelog) and that they name
# the same version and the same options as the program; and the program
# run from a scratch root the package is unpacked into. Needs no display:
# the program runs there only for what works without one.
#
# Usage: sh package.sh /path/to/vantrel
# Needs cpack, dpkg-deb, lintian, appstreamcli, desktop-file-validate, man,
# file, bash and bash-completion. Exits non-zero with a message on the first failure, and gives
# up on its own after $E2E_TIMEOUT seconds (default 300).

set -u
ME=package.sh
BIN=${1:-}
TIMEOUT=${E2E_TIMEOUT:-300}
TOOLS="cpack dpkg-deb lintian appstreamcli desktop-file-validate man file gzip bash"
. "$(dirname "$0")/lib/common.sh"

[ -f /usr/share/bash-completion/bash_completion ] || fail "needs bash-completion"
build=$(cd "$(dirname "$BIN")" && pwd)

# Runs the unpacked program with no display of any kind.
headless() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$@"; }

# ---- the package ---------------------------------------------------------------
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$WORK/pkg" >"$WORK/cpack.log" 2>&1 ||
    fail "cpack could not build the package: $(cat "$WORK/cpack.log")"
deb=$(ls "$WORK"/pkg/vantrel_*.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || fail "cpack made no vantrel_*.deb"
pass "cpack made $(basename "$deb")"

# lintian at its default level (errors and warnings), overrides included;
# anything it prints but its note on running as root is a finding.
lintian "$deb" >"$WORK/lintian.log" 2>&1
status=$?
findings=$(grep -v 'running with root privileges' "$WORK/lintian.log")
[ "$status" -eq 0 ] && [ -z "$findings" ] || fail "lintian (status $status): $findings"
pass "lintian reports nothing"

# ---- control fields --------------------------------------------------------------
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = vantrel ] || fail "package name $(field Package)"
echo "$(field Maintainer)" | grep -qE '^[^<]+ <[^@ ]+@[^> ]+>$' ||
    fail "Maintainer has no address: $(field Maintainer)"
version=$(field Version)
upstream=${version%-*}
depends=$(field Depends)
for need in libqt6widgets6 libqt6gui6 libqt6core6 libqt6sql6 libqt6dbus6 qt6-wayland libqt6sql6-sqlite libqt6sql6-psql \
    fonts-arphic-uming fonts-liberation2; do
    echo "$depends" | tr ',' '\n' | sed 's/^ *//; s/ .*//' | grep -qx "$need" ||
        fail "Depends lacks $need: $depends"
done
pass "control fields: version $version, Depends $depends"

# ---- files ---------------------------------------------------------------------
root="$WORK/root"
dpkg-deb -x "$deb" "$root"
icons=""
for size in 16 24 32 48 64 128 256; do
    icons="$icons ./usr/share/icons/hicolor/${size}x${size}/apps/vantrel.png"
done
expected=$(printf '%s\n' ./usr/bin/vantrel \
    ./usr/share/applications/vantrel.desktop \
    ./usr/share/metainfo/example.quillmere.Vantrel.metainfo.xml \
    ./usr/share/man/man1/vantrel.1.gz \
    ./usr/share/bash-completion/completions/vantrel \
    ./usr/share/dbus-1/interfaces/example.quillmere.Vantrel1.Station.xml \
    ./usr/share/doc/vantrel/copyright \
    ./usr/share/doc/vantrel/changelog.Debian.gz \
    ./usr/share/lintian/overrides/vantrel \
    $icons | sort)
actual=$(cd "$root" && find . -type f | sort)
[ "$actual" = "$expected" ] ||
    fail "the package's files differ from the expected ones:
$(printf '%s\n' "$expected" >"$WORK/expected"; printf '%s\n' "$actual" | diff "$WORK/expected" -)"
[ -x "$root/usr/bin/vantrel" ] || fail "usr/bin/vantrel is not executable"
pass "the package holds the expected files"

for size in 16 24 32 48 64 128 256; do
    icon="$root/usr/share/icons/hicolor/${size}x${size}/apps/vantrel.png"
    file -b "$icon" | grep -q "^PNG image data, $size x $size," ||
        fail "the ${size}x${size} icon is $(file -b "$icon")"
done
pass "icons at 16 to 256 pixels"

desktop="$root/usr/share/applications/vantrel.desktop"
grep -qx 'Exec=vantrel' "$desktop" && grep -qx 'Icon=vantrel' "$desktop" &&
    grep -qx 'Type=Application' "$desktop" || fail "the desktop entry is incomplete"
desktop-file-validate "$desktop" >"$WORK/desktop.log" 2>&1 ||
    fail "desktop-file-validate rejects the desktop entry: $(cat "$WORK/desktop.log")"
pass "desktop entry"

# AppStream: valid with no error and no warning (notes of the kinds
# I: and P: are advice, not findings), for the desktop entry shipped.
metainfo="$root/usr/share/metainfo/example.quillmere.Vantrel.metainfo.xml"
appstreamcli validate --no-net "$metainfo" >"$WORK/appstream.log" 2>&1
status=$?
[ "$status" -eq 0 ] && ! grep -q '^[EW]:' "$WORK/appstream.log" ||
    fail "appstreamcli validate (status $status): $(cat "$WORK/appstream.log")"
grep -q '<launchable type="desktop-id">vantrel.desktop</launchable>' "$metainfo" ||
    fail "the metadata does not launch vantrel.desktop"
pass "appstreamcli validate"

# The D-Bus interface's description: the one the source holds, naming the
# interface the program offers, with the methods the program knows.
iface="$root/usr/share/dbus-1/interfaces/example.quillmere.Vantrel1.Station.xml"
cmp -s "$iface" "$(dirname "$0")/../../src/control/example.quillmere.Vantrel1.Station.xml" ||
    fail "the installed D-Bus description differs from src/control's"
grep -q '<interface name="example.quillmere.Vantrel1.Station">' "$iface" ||
    fail "the D-Bus description does not describe example.quillmere.Vantrel1.Station"
for method in ListPatterns ShowPattern Next Previous GetState StartSession Mark TakeBack FinishSession Quit; do
    grep -q "<method name=\"$method\"" "$iface" || fail "the D-Bus description lacks the method $method"
done
pass "D-Bus interface description"

# One version everywhere: the program, the manual page, the changelog and
# the metadata's latest release.
out=$(headless "$root/usr/bin/vantrel" --version 2>"$WORK/err")
[ "$out" = "Vantrel $upstream" ] || fail "--version printed '$out', the package is $version"
man_version=$(gzip -dc "$root/usr/share/man/man1/vantrel.1.gz" | sed -n 's/^\.TH .*"Vantrel \([^"]*\)".*/\1/p')
[ "$man_version" = "$upstream" ] || fail "the manual page is of version '$man_version', the package $version"
log_version=$(gzip -dc "$root/usr/share/doc/vantrel/changelog.Debian.gz" | sed -n '1s/^vantrel (\([^)]*\)).*/\1/p')
[ "$log_version" = "$version" ] || fail "the changelog's latest entry is '$log_version', the package $version"
release=$(sed -n 's/.*<release version="\([^"]*\)".*/\1/p' "$metainfo" | head -n 1)
[ "$release" = "$upstream" ] || fail "the metadata's latest release is '$release', the package $version"
pass "version $upstream in the program, manual page, changelog and metadata"

# Every option the program lists is in the manual page and the completion.
page=$(MANWIDTH=100 man -l "$root/usr/share/man/man1/vantrel.1.gz" 2>"$WORK/man.err") ||
    fail "man cannot format the manual page: $(cat "$WORK/man.err")"
[ ! -s "$WORK/man.err" ] || fail "man warns: $(cat "$WORK/man.err")"
# The options are what --help lists at the start of its lines.
options=$(headless "$root/usr/bin/vantrel" --help 2>/dev/null |
    sed -n 's/^  \(-[a-z], \)\{0,1\}\(--[a-z][a-z-]*\).*/\1 \2/p' | tr -d ',' | tr ' ' '\n' | grep . | sort -u)
[ -n "$options" ] || fail "--help lists no options"
# What bash offers after "vantrel -", one a line.
offered=$(bash -c '. /usr/share/bash-completion/bash_completion && . "$1" &&
    COMP_WORDS=(vantrel -) COMP_CWORD=1 COMP_LINE="vantrel -" COMP_POINT=9 &&
    _vantrel vantrel - vantrel && printf "%s\n" "${COMPREPLY[@]}"' \
    sh "$root/usr/share/bash-completion/completions/vantrel" 2>"$WORK/completion.err") ||
    fail "the completion does not load: $(cat "$WORK/completion.err")"
for option in $options; do
    echo "$page" | grep -qF -- "$option" || fail "the manual page does not describe $option"
    echo "$offered" | grep -qxF -- "$option" || fail "the completion does not offer $option"
done
pass "manual page and completion know every option: $(echo $options)"

# ---- the program from the scratch root, without a display -------------------------
headless timeout 300 "$root/usr/bin/vantrel" --export "$WORK/out" --size 128x96 >"$WORK/export.log" 2>&1
status=$?
count=$(ls "$WORK/out" 2>/dev/null | grep -c '^pattern-[0-9][0-9]\.png$')
[ "$status" -eq 0 ] && [ "$count" -eq 67 ] && [ -f "$WORK/out/contact-sheet.png" ] &&
    file -b "$WORK/out/pattern-67.png" | grep -q '^PNG image data, 128 x 96,' ||
    fail "--export from the unpacked package: status $status, $count patterns: $(cat "$WORK/export.log")"
pass "--export from the unpacked package"

finish
