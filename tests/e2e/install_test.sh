#!/usr/bin/env bash
# Installs a built tree into a temporary prefix and checks that every installed piece is in
# place: the program and its daemon build, both simulators, the SQL scripts, the systemd unit
# and its system user, the desktop entry and its icon; and that the unit stays sandboxed.
# Usage: install_test.sh BUILD_DIR [CMAKE]
set -euo pipefail
BUILD=${1:?usage: install_test.sh BUILD_DIR [CMAKE]}
CMAKE=${2:-cmake}

PREFIX=$(mktemp -d /tmp/liron-install-XXXXXX)
trap 'rm -rf "$PREFIX"' EXIT

"$CMAKE" --install "$BUILD" --prefix "$PREFIX" >"$PREFIX.log" 2>&1 || {
  cat "$PREFIX.log" >&2; rm -f "$PREFIX.log"; echo "FAIL: cmake --install failed" >&2; exit 1; }
rm -f "$PREFIX.log"

failed=0
check() {  # TEST PATH WHAT
  if [ "$1" "$PREFIX/$2" ]; then
    echo "ok   $2"
  else
    echo "FAIL $2: $3" >&2
    failed=1
  fi
}
check -x bin/liron36 "the program is missing or not executable"
check -x bin/liron36d "the daemon (the program without its window) is missing or not executable"
check -x bin/jumo-sim "the JUMO simulator is missing or not executable"
check -x bin/v120-sim "the V-120 simulator is missing or not executable"
check -f share/liron36/sql/schema.sql "the schema is missing"
check -f share/liron36/sql/demo-plan.sql "the demo plan is missing"
check -f share/liron36/sql/accounts.sql "the accounts are missing"
check -f lib/systemd/system/liron36.service "the systemd unit is missing"
check -f lib/sysusers.d/liron36.conf "the unit's system user (sysusers.d) is missing"
check -f share/applications/liron36.desktop "the desktop entry is missing"
check -f share/icons/hicolor/scalable/apps/liron36.svg "the icon is missing"

# The installed pieces must be the real ones, not empty files. The program is not run: a copy
# of liron36, even one asked only for its version, would make a service that another test
# starts at that moment end as a second copy.
for exe in liron36 liron36d jumo-sim v120-sim; do
  if [ -x "$PREFIX/bin/$exe" ] && [ "$(head -c 4 "$PREFIX/bin/$exe" | od -An -c | tr -d ' ')" != '177ELF' ]; then
    echo "FAIL bin/$exe is no program" >&2; failed=1
  fi
done
for sim in jumo-sim v120-sim; do
  if [ -x "$PREFIX/bin/$sim" ]; then
    "$PREFIX/bin/$sim" --help >/dev/null 2>&1 || { echo "FAIL bin/$sim --help failed" >&2; failed=1; }
  fi
done
grep -q 'CREATE TABLE IF NOT EXISTS `signal`' "$PREFIX/share/liron36/sql/schema.sql" 2>/dev/null \
  || { echo "FAIL schema.sql does not create the signal table" >&2; failed=1; }
grep -q '^Exec=.*liron36' "$PREFIX/share/applications/liron36.desktop" 2>/dev/null \
  || { echo "FAIL the desktop entry starts no liron36" >&2; failed=1; }
grep -q '^Icon=liron36$' "$PREFIX/share/applications/liron36.desktop" 2>/dev/null \
  || { echo "FAIL the desktop entry names no liron36 icon" >&2; failed=1; }
grep -q '<svg' "$PREFIX/share/icons/hicolor/scalable/apps/liron36.svg" 2>/dev/null \
  || { echo "FAIL the icon is no SVG" >&2; failed=1; }
grep -q '^ExecStart=.*liron36 --headless' "$PREFIX/lib/systemd/system/liron36.service" 2>/dev/null \
  || { echo "FAIL the unit does not start the headless daemon" >&2; failed=1; }

# The unit's sandbox: systemd's own rating (at most 2.5 of 10, "OK") and its own check of the
# unit, with the program where this install put it. Neither needs systemd as PID 1.
UNIT="$PREFIX/lib/systemd/system/liron36.service"
if ! command -v systemd-analyze >/dev/null; then
  echo "FAIL systemd-analyze is missing (Debian package systemd)" >&2; failed=1
elif [ -f "$UNIT" ]; then
  if rating=$(systemd-analyze security --offline=true --threshold=25 "$UNIT" 2>&1); then
    echo "ok   unit sandbox: $(echo "$rating" | tail -n 1)"
  else
    echo "$rating" | grep -v '✓' >&2; echo "FAIL the unit's exposure is above 2.5" >&2; failed=1
  fi
  mkdir "$PREFIX/verify"
  sed "s|^ExecStart=/usr/local/bin/|ExecStart=$PREFIX/bin/|" "$UNIT" >"$PREFIX/verify/liron36.service"
  if verdict=$(systemd-analyze verify --man=no "$PREFIX/verify/liron36.service" 2>&1) && [ -z "$verdict" ]; then
    echo "ok   systemd-analyze verify accepts the unit"
  else
    echo "$verdict" >&2; echo "FAIL systemd-analyze verify objects to the unit" >&2; failed=1
  fi
fi

# The system user: systemd-sysusers applied to an empty root makes liron36 with its home, in
# dialout. The install itself creates no user on this machine.
if command -v systemd-sysusers >/dev/null && [ -f "$PREFIX/lib/sysusers.d/liron36.conf" ]; then
  mkdir -p "$PREFIX/root/etc"
  systemd-sysusers --root="$PREFIX/root" "$PREFIX/lib/sysusers.d/liron36.conf" >/dev/null 2>&1
  grep -q '^liron36:x:[0-9]*:[0-9]*:[^:]*:/var/lib/liron36:' "$PREFIX/root/etc/passwd" 2>/dev/null \
    || { echo "FAIL sysusers.d makes no user liron36 with its home /var/lib/liron36" >&2; failed=1; }
  grep -q '^dialout:x:[0-9]*:\(.*,\)\?liron36\(,.*\)\?$' "$PREFIX/root/etc/group" 2>/dev/null \
    || { echo "FAIL sysusers.d does not put liron36 into dialout" >&2; failed=1; }
fi

[ $failed -eq 0 ] && echo "install: every piece in place" || exit 1
