#!/bin/sh
# npm test: the tests need the built helper and the fixture program (LORVANE_TAP and
# LORVANE_FIXTURE_WINDOWS, by default from the repository's build/), a PipeWire session and an
# X display with no other windows: they run inside a private one of each.
set -eu
root=$(cd "$(dirname "$0")/../../.." && pwd)
export LORVANE_TAP="${LORVANE_TAP:-$root/build/lorvane-tap}"
export LORVANE_FIXTURE_WINDOWS="${LORVANE_FIXTURE_WINDOWS:-$root/build/lorvane-test-windows}"
for program in "$LORVANE_TAP" "$LORVANE_FIXTURE_WINDOWS"; do
  [ -x "$program" ] && continue
  echo "npm test: $program is missing; build it first:" >&2
  echo "  cmake -S $root -B $root/build && cmake --build $root/build --target lorvane-tap lorvane-test-windows" >&2
  exit 1
done
exec "$root/tests/with-pipewire" "$root/tests/with-x11" \
  sh -c 'node --test test/*.test.js && tsc -p tsconfig.json'
