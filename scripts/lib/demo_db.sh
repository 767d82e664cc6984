# The demo's database: a private MariaDB server (scripts/dbfixture) with the schema, the demo
# plant's signal plan, the roles of sql/accounts.sql with an account for the service in its
# role, and two counters that show how many records the service wrote.
# Sourced by scripts/demo; ROOT is the source tree.

# Starts the server in DIR and fills it. Sets DB_DIR, DB_SOCKET and DB_PID.
demo_db_start() {
  DB_DIR=$1
  # Its own session: a Ctrl+C on the terminal is the demo's to handle, not the server's.
  setsid -w "$ROOT/scripts/dbfixture" start "$DB_DIR" || return 1
  DB_SOCKET=$(sed -n 's/^SOCKET=//p' "$DB_DIR/env")
  DB_PID=$(cat "$DB_DIR/server.pid")
  demo_sql_root <"$ROOT/sql/demo-plan.sql" || return 1
  # The roles and the setpoint trigger of a plant server, and the service's own account with
  # the service role (see the README).
  demo_sql_root <"$ROOT/sql/accounts.sql" || return 1
  demo_sql_root <<EOF || return 1
CREATE USER IF NOT EXISTS '$DEMO_DB_USER'@'localhost' IDENTIFIED BY '$DEMO_DB_PASSWORD';
GRANT liron36_service TO '$DEMO_DB_USER'@'localhost';
SET DEFAULT ROLE liron36_service FOR '$DEMO_DB_USER'@'localhost';
EOF
  # Counters of the demo only: one per rewrite of the current-state row (the service rewrites
  # it once in every cycle that passed its readiness check) and one per write of a per-minute
  # row. They live in a database of their own; the triggers run with root's rights.
  demo_sql_root <<'EOF' || return 1
CREATE DATABASE IF NOT EXISTS liron36_demo;
CREATE TABLE liron36_demo.writes (
  what     VARCHAR(16) PRIMARY KEY,
  n        BIGINT NOT NULL DEFAULT 0,
  first_at DATETIME(3),
  last_at  DATETIME(3));
INSERT INTO liron36_demo.writes (what) VALUES ('last_state'), ('pu_data');
USE liron36;
CREATE TRIGGER demo_count_state AFTER UPDATE ON last_state FOR EACH ROW
  UPDATE liron36_demo.writes SET n = n + 1, first_at = IFNULL(first_at, NOW(3)),
         last_at = NOW(3) WHERE what = 'last_state';
CREATE TRIGGER demo_count_minute_new AFTER INSERT ON pu_data FOR EACH ROW
  UPDATE liron36_demo.writes SET n = n + 1, first_at = IFNULL(first_at, NOW(3)),
         last_at = NOW(3) WHERE what = 'pu_data';
CREATE TRIGGER demo_count_minute AFTER UPDATE ON pu_data FOR EACH ROW
  UPDATE liron36_demo.writes SET n = n + 1, first_at = IFNULL(first_at, NOW(3)),
         last_at = NOW(3) WHERE what = 'pu_data';
EOF
}

demo_db_stop() {
  [ -n "${DB_DIR:-}" ] || return 0
  "$ROOT/scripts/dbfixture" stop "$DB_DIR"
}

# SQL from stdin as root on the private socket (the password from the fixture's option file).
demo_sql_root() {
  mariadb --defaults-file="$DB_DIR/client.cnf" --default-character-set=utf8mb4 "$@"
}

# The same as the service's account, from an option file of its own.
demo_sql_service() {
  [ -f "$DB_DIR/service.cnf" ] || (umask 077 && printf '[client]\nuser=%s\npassword=%s\nsocket=%s\n' \
    "$DEMO_DB_USER" "$DEMO_DB_PASSWORD" "$DB_SOCKET" >"$DB_DIR/service.cnf")
  mariadb --defaults-file="$DB_DIR/service.cnf" --default-character-set=utf8mb4 "$@"
}

# One query, tab-separated rows without a header.
demo_query() {
  demo_sql_root -N -B liron36 -e "$1"
}

# The password as liron36.INI keeps it, made by the service itself from standard input, so the
# demo's password goes through the same decipher as a plant's and never onto a command line.
demo_encipher_password() {
  "$BUILD/liron36" --encipher-password <<<"$DEMO_DB_PASSWORD"
}
