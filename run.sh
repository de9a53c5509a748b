#!/bin/sh
# One entry point for a fresh Debian machine.
#   ./run.sh          install what is missing, build, and start Vantrel
#   ./run.sh test     install what is missing, build, and run every test
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
    build default
    ctest --preset default -j "$jobs"
    ;;
  *)
    echo "usage: ./run.sh [run|test]" >&2
    exit 2
    ;;
esac
