# A throw-away PostgreSQL server for the database library's ODBC tests and benchmarks, sourced by
# scripts/lib.sh. pg_up makes a new cluster under build/postgres, starts it on 127.0.0.1 on a
# free port, creates a user and a database, and exports the ODBC connection string in
# TABULO_TEST_ODBC. When the server cannot be had it exports the reason in
# TABULO_TEST_ODBC_ERROR instead: the ODBC tests then fail with it (they are never skipped).
# It also writes the user data source "TabuloTest" (ODBCINI). pg_down stops the server; call it
# from an EXIT trap so that no server outlives the run.
# shellcheck shell=bash

PG_BIN=/usr/lib/postgresql/15/bin
PG_HOME=$BUILD/postgres
PG_USER=tabulo
PG_DATABASE=tabulo

# Debian packages the ODBC tests need (the 32-bit driver manager and driver for Wine's odbc32).
pg_missing_packages() {
    [ -x "$PG_BIN/initdb" ] || echo postgresql-15
    [ -e /usr/lib/i386-linux-gnu/libodbc.so.2 ] || echo libodbc2:i386
    [ -e /usr/lib/i386-linux-gnu/odbc/psqlodbcw.so ] || echo odbc-postgresql:i386
}

# Before apt-get installs the server: no default cluster may be created (and started) by it.
pg_before_install() {
    local conf=/etc/postgresql-common/createcluster.conf
    mkdir -p "$(dirname "$conf")"
    grep -qE '^[[:space:]]*create_main_cluster[[:space:]]*=' "$conf" 2>/dev/null ||
        echo "create_main_cluster = false" >>"$conf"
    export UCF_FORCE_CONFFOLD=1 # keep that file when postgresql-common installs its own
}

pg_fail() {
    export TABULO_TEST_ODBC_ERROR="$*"
    unset TABULO_TEST_ODBC
    log "PostgreSQL: $*"
    return 1
}

pg_free_port() {
    local port try
    for try in 1 2 3 4 5 6 7 8 9 10; do
        port=$((20000 + (RANDOM * 32768 + RANDOM) % 40000))
        if [ -z "$(ss -Hltn "sport = :$port" 2>/dev/null)" ]; then
            echo "$port"
            return 0
        fi
    done
    return 1
}

# PostgreSQL refuses to run as root: then the server runs as the postgres user; anyone else
# runs it as themselves.
pg_as() {
    if [ "$(id -u)" = 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

# The server's user must reach its directory; a build tree below a private home folder is out of
# the postgres user's reach, so the cluster then lives in a temporary folder.
pg_data_dir() {
    local dir=$PG_HOME/cluster
    if [ "$(id -u)" != 0 ]; then
        mkdir -p "$dir" && chmod 700 "$dir" && echo "$dir"
        return
    fi
    mkdir -p "$dir" && chown postgres: "$dir" && chmod 700 "$dir" &&
        runuser -u postgres -- test -w "$dir" && { echo "$dir"; return 0; }
    rm -rf "$dir"
    dir=$(mktemp -d /tmp/tabulo-postgres.XXXXXX) && chown postgres: "$dir" && echo "$dir"
}

pg_up() {
    unset TABULO_TEST_ODBC TABULO_TEST_ODBC_ERROR
    pg_down
    [ -x "$PG_BIN/initdb" ] || { pg_fail "no PostgreSQL 15 server ($PG_BIN/initdb)"; return 1; }
    rm -rf "$PG_HOME"
    mkdir -p "$PG_HOME"
    local data secret password port try
    data=$(pg_data_dir) || { pg_fail "no folder the postgres user can write"; return 1; }
    echo "$data" >"$PG_HOME/data-dir"
    secret=$(head -c 12 /dev/urandom | od -An -tx1 | tr -d ' \n')
    password=$(head -c 12 /dev/urandom | od -An -tx1 | tr -d ' \n')
    echo "$secret" >"$data/superuser.pw"
    [ "$(id -u)" != 0 ] || chown postgres: "$data/superuser.pw"
    if ! pg_as "$PG_BIN/initdb" -D "$data/db" -U postgres -E UTF8 \
        --locale=C.UTF-8 -A scram-sha-256 --pwfile="$data/superuser.pw" --no-sync \
        >"$PG_HOME/initdb.log" 2>&1; then
        pg_fail "initdb failed: $(tail -3 "$PG_HOME/initdb.log" | tr '\n' ' ')"
        return 1
    fi
    for try in 1 2 3; do
        port=$(pg_free_port) || break
        # fsync off: a test server whose data is thrown away; start and stop stay quick.
        if pg_as "$PG_BIN/pg_ctl" -D "$data/db" -w -t 30 -l "$data/server.log" \
            -o "-c listen_addresses=127.0.0.1 -p $port -k $data -c fsync=off" \
            start >"$PG_HOME/start.log" 2>&1; then
            echo "$port" >"$PG_HOME/port"
            break
        fi
        port=
    done
    if [ -z "$port" ]; then
        pg_fail "the server did not start: $(tail -3 "$data/server.log" 2>/dev/null | tr '\n' ' ')"
        return 1
    fi
    if ! PGPASSWORD=$secret psql -h 127.0.0.1 -p "$port" -U postgres -d postgres -qAt \
        -v ON_ERROR_STOP=1 >"$PG_HOME/setup.log" 2>&1 <<EOF; then
CREATE ROLE $PG_USER LOGIN PASSWORD '$password';
CREATE DATABASE $PG_DATABASE OWNER $PG_USER ENCODING 'UTF8';
EOF
        pg_fail "creating the test user and database failed: $(tail -3 "$PG_HOME/setup.log" | tr '\n' ' ')"
        pg_down
        return 1
    fi
    # A data source by name too, as an engineer sets one up (ODBCINI: the driver manager's user
    # data sources).
    cat >"$PG_HOME/odbc.ini" <<EOF
[TabuloTest]
Description=PostgreSQL test server of ./run test
Driver=PostgreSQL Unicode
Servername=127.0.0.1
Port=$port
Database=$PG_DATABASE
Username=$PG_USER
Password=$password
EOF
    export ODBCINI=$PG_HOME/odbc.ini
    export TABULO_TEST_ODBC="Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=$port;Database=$PG_DATABASE;Uid=$PG_USER;Pwd=$password"
    # For reading back what the tests wrote (psql) and for their superuser steps.
    export TABULO_TEST_PG_PORT=$port TABULO_TEST_PG_USER=$PG_USER TABULO_TEST_PG_PASSWORD=$password
    export TABULO_TEST_PG_DATABASE=$PG_DATABASE TABULO_TEST_PG_SUPERPASSWORD=$secret
    log "PostgreSQL test server on 127.0.0.1:$port"
}

pg_down() {
    [ -e "$PG_HOME/data-dir" ] || return 0
    local data
    data=$(cat "$PG_HOME/data-dir")
    if [ -e "$data/db/postmaster.pid" ]; then
        pg_as "$PG_BIN/pg_ctl" -D "$data/db" -w -t 30 -m fast stop >/dev/null 2>&1 ||
            pg_as "$PG_BIN/pg_ctl" -D "$data/db" -m immediate stop >/dev/null 2>&1
    fi
    case "$data" in /tmp/tabulo-postgres.*) rm -rf "$data" ;; esac
    rm -f "$PG_HOME/data-dir"
}
