#!/usr/bin/env bash
# Runs a command beside a private, throw-away PostgreSQL 15 server.
#
#   tests/with-postgres.sh CMD [ARGS...]
#
# The server gets a fresh data directory under /tmp, listens on 127.0.0.1 at a
# free port (and on a socket in the same directory), and checks passwords on
# TCP connections. CMD sees:
#   SP_PG_HOST      127.0.0.1
#   SP_PG_PORT      the server's port
#   SP_PG_USER      a superuser
#   SP_PG_PASSWORD  its password
#   SP_PG_SOCKET_DIR  the socket directory (trusted local connections, for psql)
# The server is stopped and its directory removed when the script ends, and the
# script exits with CMD's status. The machine's own clusters are never touched.
# As root, the server runs as the postgres user (PostgreSQL refuses root).
set -u

if [ $# -eq 0 ]; then
    echo "usage: $0 CMD [ARGS...]" >&2
    exit 2
fi

# Already inside a server started by this script: just run the command.
if [ -n "${SP_PG_PORT:-}" ]; then
    exec "$@"
fi

PG_BIN=${PG_BIN:-/usr/lib/postgresql/15/bin}
if [ ! -x "$PG_BIN/initdb" ]; then
    echo "$0: $PG_BIN/initdb not found; install the postgresql-15 package" >&2
    exit 2
fi

# /tmp, not $TMPDIR: the server's user must be able to reach the directory.
base=$(mktemp -d /tmp/sp-pg.XXXXXX) || exit 2
if [ "$(id -u)" -eq 0 ]; then
    as_server() { runuser -u postgres -- "$@"; }
    chown postgres: "$base"
else
    as_server() { "$@"; }
fi
chmod 700 "$base"

stop_server() {
    if [ -f "$base/data/postmaster.pid" ]; then
        (cd "$base" && as_server "$PG_BIN/pg_ctl" -D "$base/data" -m immediate -w stop >/dev/null 2>&1)
    fi
    rm -rf "$base"
}
trap stop_server EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

user=postgres
password=$(head -c 18 /dev/urandom | base64 | tr -d '/+=')
printf '%s\n' "$password" >"$base/pwfile"
[ "$(id -u)" -eq 0 ] && chown postgres: "$base/pwfile"
mkdir "$base/sock"
[ "$(id -u)" -eq 0 ] && chown postgres: "$base/sock"

if ! (cd "$base" && as_server "$PG_BIN/initdb" -D "$base/data" -U "$user" --pwfile="$base/pwfile" \
        --auth-local=trust --auth-host=scram-sha-256 -E UTF8 --locale=C.UTF-8 >"$base/initdb.log" 2>&1); then
    echo "$0: initdb failed:" >&2
    cat "$base/initdb.log" >&2
    exit 2
fi
rm -f "$base/pwfile"

# A random port; on a clash the server fails to bind and the next one is tried.
started=
for attempt in 1 2 3 4 5 6 7 8 9 10; do
    port=$((20000 + RANDOM % 40000))
    if (cd "$base" && as_server "$PG_BIN/pg_ctl" -D "$base/data" -l "$base/server.log" -w -t 30 \
            -o "-p $port -k $base/sock -c listen_addresses=127.0.0.1 -c fsync=off -c synchronous_commit=off -c full_page_writes=off -c max_connections=40" \
            start >/dev/null 2>&1); then
        started=yes
        break
    fi
done
if [ -z "$started" ]; then
    echo "$0: the PostgreSQL server did not start:" >&2
    cat "$base/server.log" >&2
    exit 2
fi

export SP_PG_HOST=127.0.0.1 SP_PG_PORT=$port SP_PG_USER=$user SP_PG_PASSWORD=$password SP_PG_SOCKET_DIR=$base/sock
"$@"
status=$?
exit $status
