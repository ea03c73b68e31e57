#!/usr/bin/env bash
# Runs every test program under Wine: each build in a 64-bit Wine prefix of its own (a
# 64-bit Windows, as users have), with its own Wine server and private display.
#  - BUILD/x64, the 64-bit programs: always.
#  - BUILD, the shipped 32-bit programs: where this machine runs 32-bit code, the whole
#    suite, on that 64-bit Windows (WOW64); elsewhere one round trip of the shipped
#    programs under emulation (tools/emulated-round-trip.sh).
#  - the build machine's own tests (label host), which need no Wine.
# All three run side by side: the suites spend most of their time waiting for windows.
# Usage: bash tools/run-tests.sh BUILD [CTEST ARGUMENTS...]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT

# Each ctest run writes its results as JUnit (FOLDER/Testing/junit-first.xml, and
# junit-second.xml for a second attempt), which the summary at the end counts; none is left
# from an earlier run.
rm -f "$build"/Testing/junit-*.xml "$build"/x64/Testing/junit-*.xml \
      "$build"/host-tests/Testing/junit-*.xml

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
    rm -f Testing/Temporary/LastTestsFailed.log
    ctest --output-on-failure --timeout 900 --output-junit "$dir/Testing/junit-first.xml" "$@" \
      && exit 0
    first=$?
    # Under load Wine now and then fails to start a process (CreateProcess error 1359) or
    # to show its first window in time; the test programs that failed are run once more,
    # and the summary names those that passed then. A fault of the programs fails both times.
    [ -s Testing/Temporary/LastTestsFailed.log ] || exit "$first"
    echo "== A second attempt for what failed"
    ctest --output-on-failure --timeout 900 --rerun-failed \
      --output-junit "$dir/Testing/junit-second.xml" "$@"
  )
}

# The build machine's own tests (label host: the native packer's install and package,
# the reproducible build, the fuzz runs) need no Wine; they run beside the two suites, at a
# lower priority: they wait for nothing, while the suites wait for windows with timeouts.
# They run from BUILD/host-tests, whose CTestTestfile.cmake takes the build's tests: CTest
# keeps its record of a run (the failed tests that --rerun-failed reads, the logs) in the
# folder it runs in, and the 32-bit suite runs beside them in BUILD.
run_host_tests() {
  local dir=$build/host-tests
  mkdir -p "$dir"
  echo "subdirs(\"$build\")" > "$dir/CTestTestfile.cmake"
  (cd "$dir" && nice -n 10 ctest --output-on-failure --timeout 900 \
                  --output-junit "$dir/Testing/junit-first.xml" -L host "$@")
}

emulated=""
if bash "$here/runs-32-bit.sh"; then
  echo "Configurations: the 32-bit programs on 64-bit Windows (a 64-bit Wine prefix, WOW64)" \
       "and the 64-bit programs in a prefix of their own: this machine runs 32-bit code."
  run_suite "$build" 90 -LE host "${@:2}" > "$logs/x86" 2>&1 & x86=$!
  run_host_tests "${@:2}" > "$logs/host" 2>&1 & host=$!
else
  echo "Configurations: the 64-bit programs in a 64-bit Wine prefix, the build-machine tests," \
       "and one round trip of the shipped 32-bit programs under emulation: this machine runs" \
       "no 32-bit code (/lib/ld-linux.so.2 does not start)."
  emulated=1
  bash "$here/emulated-round-trip.sh" "$build" > "$logs/x86" 2>&1 & x86=$!
  run_host_tests "${@:2}" > "$logs/host" 2>&1 & host=$!
fi
run_suite "$build/x64" 115 -LE host "${@:2}" > "$logs/x64" 2>&1 & x64=$!

status=0
for job in x86:"$x86":"The 32-bit build ($build)" host:"$host":"The build machine's tests" \
           x64:"$x64":"The 64-bit build ($build/x64)"; do
  IFS=: read -r name pid title <<< "$job"
  wait "$pid" || status=1
  echo "== $title =="
  cat "$logs/$name"
done
# The counts from the JUnit files; the emulated round trip is no CTest test and says itself
# whether it passed.
runs=()
[ -n "$emulated" ] || runs+=("$build/Testing/junit-first.xml,$build/Testing/junit-second.xml")
runs+=("$build/host-tests/Testing/junit-first.xml"
       "$build/x64/Testing/junit-first.xml,$build/x64/Testing/junit-second.xml")
if ! summary=$(python3 "$here/test-summary.py" "${runs[@]}"); then
  echo "The tests' JUnit files could not be read."
  summary="0 1"
  status=1
fi
{ read -r passed failed; read -r retried || true; } <<< "$summary"
if [ -n "$emulated" ] && grep -q '^emulated round trip .*: passed' "$logs/x86"; then
  passed=$((passed + 1))
fi
[ "$status" -eq 0 ] || [ "$failed" -gt 0 ] || failed=1
echo "$passed passed, $failed failed"
[ -z "$retried" ] || echo "passed on the second attempt: $retried"
exit "$status"
