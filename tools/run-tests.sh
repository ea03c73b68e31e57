#!/usr/bin/env bash
# Runs every test program under Wine, in the build's own prefix and a private display.
set -euo pipefail
build=${1:-build}
source "$(dirname "$0")/wine-session.sh" "$build"
cd "$build"
ctest --output-on-failure --timeout 900 "${@:2}"
