#!/usr/bin/env bash
# `make install PREFIX=...` and `make uninstall` as a publisher runs them: the installed pack
# packs the sample from another folder with no Wine on the PATH, finding the stub and the
# uninstaller in its share folder; a CMake project finds the installed package through
# CMAKE_PREFIX_PATH and cpack builds its setup with the installed pack; the uninstall
# removes exactly what the install put there.
set -euo pipefail
source_root=$1
build=$2
source "$(dirname "${BASH_SOURCE[0]}")/shell_test.sh"
prefix=$work/prefix

# -o build: the test suite runs on a finished build; nothing is built again here.
make -s -o build -C "$source_root" install PREFIX="$prefix" BUILD="$build" > "$work/install.log" 2>&1 ||
  fail "make install: $(tail -20 "$work/install.log")"
[ "$(cd "$prefix" && find . -type f | LC_ALL=C sort | tr '\n' ' ')" = \
  "./bin/pack ./lib/cmake/Pack/PackCPack.cmake ./lib/cmake/Pack/PackConfig.cmake ./lib/cmake/Pack/PackConfigVersion.cmake ./share/pack/README.md ./share/pack/setup-stub-x64.exe ./share/pack/setup-stub.exe ./share/pack/uninstall-x64.exe ./share/pack/uninstall.exe " ] ||
  fail "installed: $(cd "$prefix" && find . -type f)"

packs_like_the_build "$prefix/bin/pack" "$build" "the installed pack"
# arch = x64 takes the 64-bit stub and uninstaller from the share folder.
cp -r "$build/bin/sample" "$work/sample64"
sed -i 's/^\[product\]$/[product]\narch = x64/' "$work/sample64/alpha.ini"
(cd "$work/elsewhere" && env -i PATH=/nonexistent "$prefix/bin/pack" \
   "$work/sample64/alpha.ini" -o alpha-setup-x64.exe > pack64.out 2>&1 &&
 "$prefix/bin/pack" --list alpha-setup-x64.exe > list64.out) ||
  fail "the installed pack, arch = x64: $(cat "$work/elsewhere/pack64.out")"
head -n 1 "$work/elsewhere/list64.out" | grep -qx 'arch: x64' ||
  fail "not listed as a 64-bit setup: $(head -n 3 "$work/elsewhere/list64.out")"
grep -q 'uninstaller  *uninstall.exe$' "$work/elsewhere/list64.out" || fail "no uninstaller entry"
# A stub or uninstaller of the other kind is refused, naming both, and nothing is written.
cd "$work/elsewhere"
"$prefix/bin/pack" "$work/sample64/alpha.ini" --stub "$build/bin/setup-stub.exe" -o mixed.exe \
  2> mixed.err && fail "a 32-bit stub was packed for arch = x64"
grep -q "alpha.ini:6: arch = x64, but the setup stub \"$build/bin/setup-stub.exe\" is a 32-bit (x86) program" mixed.err ||
  fail "arch and stub: $(cat mixed.err)"
"$prefix/bin/pack" "$build/bin/sample/alpha.ini" --uninstaller "$build/x64/bin/uninstall.exe" \
  -o mixed.exe 2> mixed.err && fail "a 64-bit uninstaller was packed into a 32-bit setup"
grep -q 'is a 64-bit (x64) program, but the setup stub .* is a 32-bit (x86) one' mixed.err ||
  fail "stub and uninstaller: $(cat mixed.err)"
[ ! -e mixed.exe ] || fail "a refused setup was written"
cd - > /dev/null
env -i PATH=/nonexistent "$prefix/bin/pack" --version | grep -q '^pack [0-9.]*$' ||
  fail "no version from the installed pack"

# A project finds the installed package in CMake's search path below the prefix, and its
# setup is packed by the installed pack with the stub from the share folder.
mkdir "$work/project"
echo "delta" > "$work/project/readme.txt"
cat > "$work/project/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.20)
project(Delta VERSION 1.5 LANGUAGES NONE)
install(FILES readme.txt DESTINATION .)
find_package(Pack 1 REQUIRED)
include(CPack)
CMAKE
cmake -S "$work/project" -B "$work/project/build" -DCMAKE_PREFIX_PATH="$prefix" \
  > "$work/project.log" 2>&1 || fail "find_package(Pack): $(cat "$work/project.log")"
grep -qx "Pack_DIR:PATH=$prefix/lib/cmake/Pack" "$work/project/build/CMakeCache.txt" ||
  fail "found elsewhere: $(grep Pack_DIR "$work/project/build/CMakeCache.txt")"
(cd "$work/project/build" && cpack > ../cpack.log 2>&1) || fail "cpack: $(cat "$work/project/cpack.log")"
grep -qF "pack: $work/project/build/_CPack_Packages/Linux/External/Delta-1.5-Linux.exe: 2 entries" \
  "$work/project/cpack.log" || fail "cpack's output: $(cat "$work/project/cpack.log")"
"$prefix/bin/pack" --list "$work/project/build/Delta-1.5-Linux.exe" | grep -qx 'product_name: Delta' ||
  fail "no setup from cpack"

make -s -C "$source_root" uninstall PREFIX="$prefix" > "$work/uninstall.log" 2>&1 ||
  fail "make uninstall: $(cat "$work/uninstall.log")"
[ -z "$(find "$prefix" -type f)" ] && [ ! -e "$prefix/share/pack" ] && [ ! -e "$prefix/lib" ] ||
  fail "left after uninstall: $(find "$prefix")"
echo "make install and make uninstall: all checks passed"
