#!/bin/sh
# Runs a command with a private PostgreSQL database (lib/postgres.sh) whose
# store URL is in VANTREL_TEST_POSTGRES, and stops the server after it:
#   sh tests/e2e/lib/with_postgres.sh vantrel_tests --gtest_filter='*PostgreSQL*'
# The command's exit status is the script's.

set -u
ME=with_postgres.sh
BIN=${1:-}
TIMEOUT=${E2E_TIMEOUT:-300}
. "$(dirname "$0")/common.sh"
. "$(dirname "$0")/postgres.sh"

VANTREL_TEST_POSTGRES=$PG_URI
export VANTREL_TEST_POSTGRES
"$@"
status=$?
[ "$status" -eq 0 ] || say "FAIL: $* ended with status $status"
exit "$status"
