#!/bin/sh
# One entry point for a fresh Debian machine.
#   ./run.sh          install what is missing, build, and start Vantrel
#   ./run.sh test     install what is missing, build, and run every test,
#                     plain and under the sanitizers
set -eu
cd "$(dirname "$0")"

./scripts/install-deps

jobs=$(nproc 2>/dev/null || echo 2)
werror=OFF
[ "${CI:-}" = "true" ] && werror=ON

build() {
  cmake --preset "$1" -DVANTREL_WERROR=$werror >/dev/null
  cmake --build --preset "$1" -j "$jobs"
}

case "${1:-run}" in
  run)
    build default
    exec ./build/default/vantrel
    ;;
  test)
    # The whole suite twice: a plain optimised build, then one with
    # AddressSanitizer, LeakSanitizer and UndefinedBehaviorSanitizer, where
    # any report fails the run. The sanitized pass runs a fifth of the
    # soak's events and leaves out the end-to-end scripts, which time the
    # real program against the clock.
    build default
    ctest --preset default -j "$jobs"
    build asan
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
