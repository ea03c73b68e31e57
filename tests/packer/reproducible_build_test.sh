#!/usr/bin/env bash
# The shipped programs built a second time from the same sources, copied to another folder
# and built in another folder, are the same bytes as this build's: no time stamps, no
# build paths. Only the four shipped programs are built again.
set -euo pipefail
source_root=$1
bin=$2
source "$(dirname "${BASH_SOURCE[0]}")/shell_test.sh"

mkdir "$work/source"
(cd "$source_root" && tar --exclude='./build*' --exclude='./.git' -cf - .) | tar -xf - -C "$work/source"
cmake -S "$work/source" -B "$work/second build" \
  -DCMAKE_TOOLCHAIN_FILE="$work/source/cmake/toolchain-i686-mingw.cmake" > "$work/configure.log" 2>&1 ||
  fail "configure: $(tail -20 "$work/configure.log")"
cmake --build "$work/second build" -j 2 --target setup-stub uninstall pack native_pack \
  > "$work/build.log" 2>&1 || fail "build: $(tail -20 "$work/build.log")"
for program in setup-stub.exe uninstall.exe pack.exe pack; do
  cmp "$bin/$program" "$work/second build/bin/$program" || fail "$program differs"
done
echo "reproducible: setup-stub.exe, uninstall.exe, pack.exe and pack are the same bytes"
