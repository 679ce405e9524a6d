# Sourced by test.sh: starts the servers that the tests need and exports where
# they listen. Each start_* sets its variables only when its server is up; a
# test whose variables are missing skips (or fails under CI=true).
#
#   start_test_servers   starts them all
#   stop_test_servers    stops them and removes their files

# ---- PostgreSQL ---------------------------------------------------------------
# A private cluster in a temporary folder, listening on 127.0.0.1 and a free
# port. Local socket connections are trusted (to set it up); TCP connections
# need the test role's password, so a wrong password is refused for real.
#   SENTROVA_PG_HOST SENTROVA_PG_PORT SENTROVA_PG_USER SENTROVA_PG_PASSWORD SENTROVA_PG_DB

_sentrova_free_port() {
  /usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1]); s.close()'
}

# Runs a command as the cluster's owner (initdb and postgres refuse root),
# from a folder that owner may enter.
_sentrova_pg_as_owner() {
  if [ "$(id -u)" -eq 0 ]; then
    (cd / && runuser -u postgres -- "$@")
  else
    (cd / && "$@")
  fi
}

# The newest installed PostgreSQL's programs (Debian keeps them off PATH).
_sentrova_pg_bindir() {
  local dir
  dir=$( (ls -d /usr/lib/postgresql/*/bin 2>/dev/null || true) | sort -V | tail -n 1)
  if [ -z "$dir" ] && command -v initdb >/dev/null 2>&1; then
    dir=$(dirname "$(command -v initdb)")
  fi
  printf '%s\n' "$dir"
}

start_postgres() {
  local bindir
  bindir=$(_sentrova_pg_bindir)
  if [ -z "$bindir" ] || [ ! -x "$bindir/initdb" ]; then
    echo "test-servers: PostgreSQL is not installed (package postgresql); database tests against it will skip (and fail under CI=true)" >&2
    return 0
  fi
  if [ "$(id -u)" -eq 0 ] && ! id postgres >/dev/null 2>&1; then
    echo "test-servers: no user postgres to own the test cluster" >&2
    return 0
  fi

  SENTROVA_PG_DIR=$(mktemp -d /tmp/sentrova-pg.XXXXXX)
  chmod 700 "$SENTROVA_PG_DIR"
  if [ "$(id -u)" -eq 0 ]; then
    chown postgres:postgres "$SENTROVA_PG_DIR"
  fi
  local port user password db
  port=$(_sentrova_free_port)
  user=sentrova_test
  password="Sentrova-$RANDOM$RANDOM"
  db=sentrova_test

  if ! _sentrova_pg_as_owner "$bindir/initdb" -D "$SENTROVA_PG_DIR/data" -U postgres \
        --auth-local=trust --auth-host=scram-sha-256 --no-sync -E UTF8 --locale=C.UTF-8 \
        >"$SENTROVA_PG_DIR/initdb.log" 2>&1; then
    echo "test-servers: initdb failed:" >&2
    cat "$SENTROVA_PG_DIR/initdb.log" >&2
    rm -rf "$SENTROVA_PG_DIR"
    unset SENTROVA_PG_DIR
    return 0
  fi
  if ! _sentrova_pg_as_owner "$bindir/pg_ctl" -D "$SENTROVA_PG_DIR/data" -w -t 30 -l "$SENTROVA_PG_DIR/server.log" \
        -o "-c listen_addresses=127.0.0.1 -p $port -k $SENTROVA_PG_DIR -c fsync=off -c full_page_writes=off" \
        start >/dev/null 2>&1; then
    echo "test-servers: PostgreSQL did not start:" >&2
    cat "$SENTROVA_PG_DIR/server.log" >&2
    rm -rf "$SENTROVA_PG_DIR"
    unset SENTROVA_PG_DIR
    return 0
  fi
  if ! _sentrova_pg_as_owner "$bindir/psql" -h "$SENTROVA_PG_DIR" -p "$port" -U postgres -d postgres -q \
        -v ON_ERROR_STOP=1 >/dev/null 2>"$SENTROVA_PG_DIR/psql.log" <<SQL
CREATE ROLE $user LOGIN PASSWORD '$password';
CREATE DATABASE $db OWNER $user;
SQL
  then
    echo "test-servers: creating the test role failed:" >&2
    cat "$SENTROVA_PG_DIR/psql.log" >&2
    stop_postgres
    return 0
  fi
  SENTROVA_PG_BINDIR=$bindir
  export SENTROVA_PG_HOST=127.0.0.1
  export SENTROVA_PG_PORT=$port
  export SENTROVA_PG_USER=$user
  export SENTROVA_PG_PASSWORD=$password
  export SENTROVA_PG_DB=$db
  echo "test-servers: PostgreSQL on 127.0.0.1:$port (database $db, user $user)"
}

stop_postgres() {
  if [ -n "${SENTROVA_PG_DIR:-}" ] && [ -d "$SENTROVA_PG_DIR" ]; then
    local bindir=${SENTROVA_PG_BINDIR:-$(_sentrova_pg_bindir)}
    if [ -f "$SENTROVA_PG_DIR/data/postmaster.pid" ]; then
      _sentrova_pg_as_owner "$bindir/pg_ctl" -D "$SENTROVA_PG_DIR/data" -m immediate -w stop >/dev/null 2>&1 || true
    fi
    rm -rf "$SENTROVA_PG_DIR"
  fi
  unset SENTROVA_PG_DIR SENTROVA_PG_BINDIR SENTROVA_PG_HOST SENTROVA_PG_PORT SENTROVA_PG_USER SENTROVA_PG_PASSWORD SENTROVA_PG_DB
}

# ---- all ----------------------------------------------------------------------

start_test_servers() {
  start_postgres
}

stop_test_servers() {
  stop_postgres
}
