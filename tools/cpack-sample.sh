#!/usr/bin/env bash
# Builds samples/cmake (Beta) as a project of its own would, with the packing tool of a
# build folder: configured with that folder's MinGW toolchain file (32-bit or 64-bit
# Windows programs) and Pack_DIR at its package config, built, and packed by cpack. The
# toolchain's package search is kept to the Windows root, as cross toolchains often keep
# it, so Pack_DIR is what finds pack. Prints cpack's output; the last line is the setup.
# Usage: cpack-sample.sh BUILD [WORK]   (WORK, the sample's build folder: BUILD/cpack-sample)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
work=${2:-$build/cpack-sample}

toolchain=$(sed -n 's/^CMAKE_TOOLCHAIN_FILE:[A-Z]*=//p' "$build/CMakeCache.txt")
if [ -z "$toolchain" ] || [ ! -f "$build/PackConfig.cmake" ] || [ ! -x "$build/bin/pack" ]; then
  echo "$build is not a finished build folder (no toolchain, PackConfig.cmake or bin/pack)" >&2
  exit 1
fi
mkdir -p "$work"
cmake -S "$root/samples/cmake" -B "$work" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_BUILD_TYPE=MinSizeRel -DCMAKE_FIND_ROOT_PATH_MODE_PACKAGE=ONLY -DPack_DIR="$build" \
  > "$work/configure.log" 2>&1 || { cat "$work/configure.log" >&2; exit 1; }
cmake --build "$work" -j 2 > "$work/build.log" 2>&1 || { cat "$work/build.log" >&2; exit 1; }
(cd "$work" && cpack) | tee "$work/cpack.log"
setup=$(sed -n 's/^CPack: - package: \(.*\.exe\) generated\.$/\1/p' "$work/cpack.log")
[ -n "$setup" ] && [ -f "$setup" ] || { echo "cpack reported no setup" >&2; exit 1; }
echo "$setup"
