# A private PostgreSQL cluster for the scripts that need a line's database,
# from Debian's postgresql package: initdb and pg_ctl run as the
# unprivileged user 65534 when the script runs as root (PostgreSQL refuses
# to run as root), and the server listens only on a Unix socket in a
# temporary directory of its own (listen_addresses=''), so nothing outside
# the script can reach it and nothing it does depends on a server already
# running. Sourced after lib/common.sh (it uses WORK, fail and
# on_cleanup). Sets:
#   PG_SOCKET  the socket directory
#   PG_URI     the database "lines" as a store URL, user "vantrel"
# and provides pg_start, pg_stop and pg_sql SQL (its answer, unaligned,
# without headers).

PG_BIN=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
[ -n "$PG_BIN" ] && [ -x "$PG_BIN/initdb" ] || fail "needs PostgreSQL's server (Debian's postgresql package)"
command -v psql >/dev/null 2>&1 || fail "needs psql (Debian's postgresql-client)"

PG_ROOT=$(mktemp -d "${TMPDIR:-/tmp}/vantrel-pg.XXXXXX") || fail "cannot make the cluster's directory"
chmod 755 "$PG_ROOT"
PG_DATA="$PG_ROOT/data"
PG_SOCKET="$PG_ROOT/socket"
mkdir -m 700 "$PG_DATA" "$PG_SOCKET"
PG_URI="postgresql:///lines?host=$PG_SOCKET&user=vantrel"
PG_AS=
if [ "$(id -u)" -eq 0 ]; then
    command -v setpriv >/dev/null 2>&1 || fail "needs setpriv to run PostgreSQL as user 65534"
    chown 65534:65534 "$PG_DATA" "$PG_SOCKET" || fail "cannot hand the cluster's directories to user 65534"
    PG_AS="setpriv --reuid=65534 --regid=65534 --clear-groups"
fi

# Runs a PostgreSQL program as the cluster's owner.
pg_run() { (cd "$PG_ROOT" && env -i PATH="$PATH" LANG=C $PG_AS "$PG_BIN/$@"); }

pg_start() {
    pg_run pg_ctl -D "$PG_DATA" -l "$PG_DATA/server.log" -w -t 60 \
        -o "-c listen_addresses='' -k $PG_SOCKET -c fsync=off -c full_page_writes=off" start \
        >>"$PG_ROOT/pg_ctl.log" 2>&1 ||
        fail "PostgreSQL did not start: $(tail -n 5 "$PG_DATA/server.log" 2>/dev/null)"
}

pg_stop() {
    [ -f "$PG_DATA/postmaster.pid" ] || return 0
    pg_run pg_ctl -D "$PG_DATA" -m fast -w -t 60 stop >>"$PG_ROOT/pg_ctl.log" 2>&1
}

pg_sql() { psql -X -q -A -t -v ON_ERROR_STOP=1 -h "$PG_SOCKET" -U vantrel -d lines -c "$1"; }

pg_cleanup() {
    pg_stop
    rm -rf "$PG_ROOT"
}
on_cleanup pg_cleanup

pg_run initdb -D "$PG_DATA" -U vantrel --auth=trust --no-locale -E UTF8 >"$PG_ROOT/initdb.log" 2>&1 ||
    fail "initdb failed: $(tail -n 5 "$PG_ROOT/initdb.log")"
pg_start
psql -X -q -h "$PG_SOCKET" -U vantrel -d postgres -c "CREATE DATABASE lines" >/dev/null ||
    fail "cannot create the database 'lines'"
