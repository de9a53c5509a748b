#!/bin/sh
# One entry point for a fresh Debian machine.
#   ./run.sh          install what building and running need, build the
#                     program alone, and start Vantrel
#   ./run.sh test     install everything the tests need too, build, and run
#                     every test, plain and under the sanitizers
set -eu
cd "$(dirname "$0")"

jobs=$(nproc 2>/dev/null || echo 2)
werror=OFF
[ "${CI:-}" = "true" ] && werror=ON

configure() {
  preset=$1
  shift
  cmake --preset "$preset" -DVANTREL_WERROR=$werror "$@" >/dev/null
}

# True when Qt can show windows: an X or Wayland display is named, or
# QT_QPA_PLATFORM names a platform that draws without one (a list such as
# "wayland;xcb" is tried in order, options follow a colon).
display_available() {
  [ -n "${DISPLAY:-}" ] && return 0
  [ -n "${WAYLAND_DISPLAY:-}" ] && return 0
  old_ifs=$IFS
  IFS=';'
  for platform in ${QT_QPA_PLATFORM:-}; do
    case ${platform%%:*} in
    offscreen | minimal | minimalegl | eglfs | linuxfb | vnc | vkkhrdisplay)
      IFS=$old_ifs
      return 0
      ;;
    esac
  done
  IFS=$old_ifs
  return 1
}

case "${1:-run}" in
  run)
    if ! display_available; then
      echo "run.sh: no display: neither DISPLAY nor WAYLAND_DISPLAY is set, so Vantrel cannot open its windows." >&2
      echo "run.sh: run it in a graphical session, or build with 'cmake --preset default && cmake --build --preset default'" >&2
      echo "run.sh: and export the patterns without a display: ./build/default/vantrel --export DIR --size WxH" >&2
      exit 1
    fi
    ./scripts/install-deps run
    # The tests are configured only when GoogleTest is there (./run.sh test
    # installs it); the build makes the program alone either way.
    tests=OFF
    dpkg-query -W -f='${Status}' libgtest-dev 2>/dev/null | grep -q 'install ok installed' && tests=ON
    configure default -DVANTREL_BUILD_TESTS=$tests
    echo "run.sh: building vantrel"
    cmake --build --preset default -j "$jobs" --target vantrel
    exec ./build/default/vantrel
    ;;
  test)
    # The whole suite twice: a plain optimised build, then one with
    # AddressSanitizer, LeakSanitizer and UndefinedBehaviorSanitizer, where
    # any report fails the run. The sanitized pass runs a fifth of the
    # soak's events and leaves out the end-to-end scripts, which time the
    # real program against the clock.
    ./scripts/install-deps
    configure default -DVANTREL_BUILD_TESTS=ON
    cmake --build --preset default -j "$jobs"
    ctest --preset default -j "$jobs"
    configure asan -DVANTREL_BUILD_TESTS=ON
    cmake --build --preset asan -j "$jobs"
    ASAN_OPTIONS=detect_leaks=1:halt_on_error=1 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    VANTREL_SOAK_EVENTS=20000 \
      ctest --preset asan -j "$jobs" -E '^e2e:'
    ;;
  *)
    echo "usage: ./run.sh [run|test]" >&2
    exit 2
    ;;
esac
