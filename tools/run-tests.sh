#!/usr/bin/env bash
# Runs every test program under Wine, in the build's own prefix and a private display.
set -euo pipefail
build=${1:-build}
source "$(dirname "$0")/wine-session.sh" "$build"
# Without a window manager Wine waits about 2 s for one whenever a managed window closes;
# unmanaged windows close at once, which makes the end-to-end tests several times faster.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
cd "$build"
ctest --output-on-failure --timeout 900 "${@:2}"
