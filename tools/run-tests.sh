#!/usr/bin/env bash
# Runs every test program under Wine: each build in a 64-bit Wine prefix of its own (a
# 64-bit Windows, as users have), with its own Wine server and private display.
#  - BUILD/x64, the 64-bit programs: always.
#  - BUILD, the shipped 32-bit programs: where this machine runs 32-bit code, the whole
#    suite, on that 64-bit Windows (WOW64); elsewhere its build-machine tests (label host)
#    and one round trip of the shipped programs under emulation (tools/emulated-round-trip.sh).
# The two suites run side by side: most of their time is spent waiting for windows.
# Usage: bash tools/run-tests.sh BUILD [CTEST ARGUMENTS...]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT

# One build's tests in a Wine session of its own; the first display number it may take.
run_suite() {
  local dir=$1 display=$2
  shift 2
  (
    export XVFB_FIRST_DISPLAY=$display
    source "$here/wine-session.sh" "$dir"
    # Without a window manager Wine waits about 2 s for one whenever a managed window
    # closes; unmanaged windows close at once, which makes the end-to-end tests faster.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    cd "$dir"
    ctest --output-on-failure --timeout 900 "$@"
  )
}

if bash "$here/runs-32-bit.sh"; then
  echo "Configurations: the 32-bit programs on 64-bit Windows (a 64-bit Wine prefix, WOW64)" \
       "and the 64-bit programs in a prefix of their own: this machine runs 32-bit code."
  run_suite "$build" 90 "${@:2}" > "$logs/x86" 2>&1 & x86=$!
else
  echo "Configurations: the 64-bit programs in a 64-bit Wine prefix, the 32-bit build's" \
       "build-machine tests, and one round trip of the shipped 32-bit programs under" \
       "emulation: this machine runs no 32-bit code (/lib/ld-linux.so.2 does not start)."
  ( cd "$build" && ctest --output-on-failure --timeout 900 -L host "${@:2}" &&
    bash "$here/emulated-round-trip.sh" "$build" ) > "$logs/x86" 2>&1 & x86=$!
fi
run_suite "$build/x64" 115 -LE host "${@:2}" > "$logs/x64" 2>&1 & x64=$!

status=0
wait "$x86" || status=1
echo "== The 32-bit build ($build) =="
cat "$logs/x86"
wait "$x64" || status=1
echo "== The 64-bit build ($build/x64) =="
cat "$logs/x64"
passed=$(cat "$logs/x86" "$logs/x64" | grep -cE '^ *[0-9]+/[0-9]+ Test +#[0-9]+: .* Passed' || true)
failed=$(cat "$logs/x86" "$logs/x64" | grep -cE '^ *[0-9]+/[0-9]+ Test +#[0-9]+: .*(Failed|Timeout|Exception)' || true)
echo "$passed passed, $failed failed"
exit "$status"
