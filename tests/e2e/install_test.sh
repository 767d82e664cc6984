#!/usr/bin/env bash
# Installs a built tree into a temporary prefix and checks that every installed piece is in
# place: the program and its daemon build, both simulators, the SQL scripts, the systemd unit, the desktop entry and
# its icon.   Usage: install_test.sh BUILD_DIR [CMAKE]
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
check -f lib/systemd/system/liron36.service "the systemd unit is missing"
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

[ $failed -eq 0 ] && echo "install: every piece in place" || exit 1
