#!/usr/bin/env bash
# Builds samples/cmake with CPack and this build folder's pack, as `make cpack-sample` does
# (tools/cpack-sample.sh: the build's own toolchain, so a 32-bit setup from the 32-bit build
# and a 64-bit one from the 64-bit build), in a scratch folder, then runs the round-trip
# test program with the setup's path on drive Z: in CPACK_SAMPLE_SETUP. The folder goes
# afterwards.
# Usage: cpack_sample_fixture.sh WINE_RUN SOURCE_ROOT BUILD TEST_EXE
set -uo pipefail
wine_run=$1
source_root=$2
build=$3
test_exe=$4

fixture=$(mktemp -d)
trap 'rm -rf "$fixture"' EXIT
if ! bash "$source_root/tools/cpack-sample.sh" "$build" "$fixture/sample" > "$fixture/cpack.out" 2>&1; then
  echo "FAILED: make cpack-sample's build: $(tail -20 "$fixture/cpack.out")" >&2
  exit 1
fi
setup=$(tail -n 1 "$fixture/cpack.out")
export CPACK_SAMPLE_SETUP="Z:${setup//\//\\}"
"$wine_run" "$test_exe"
