#!/usr/bin/env bash
# Runs a test program with a folder holding a link made on the Unix side (Wine follows it
# as Windows follows a junction, and cannot make links itself): "inst/data" linked to
# "victim", which holds "file.txt". The program finds the folder, as a path on drive Z:, in
# LINK_FIXTURE. The folder goes afterwards.
# Usage: link_fixture.sh WINE_RUN TEST_EXE
set -uo pipefail
wine_run=$1
test_exe=$2

fixture=$(mktemp -d)
trap 'rm -rf "$fixture"' EXIT
mkdir "$fixture/inst" "$fixture/victim"
echo "the victim's own file" > "$fixture/victim/file.txt"
ln -s "$fixture/victim" "$fixture/inst/data"

export LINK_FIXTURE="Z:${fixture//\//\\}"
"$wine_run" "$test_exe"
