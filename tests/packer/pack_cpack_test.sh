#!/usr/bin/env bash
# CPack with pack's CMake package, as a CMake project meets it: `make cpack-sample`'s setup
# (samples/cmake cross-built with the MinGW toolchain, found through Pack_DIR under a
# package search kept to the Windows root) is listed by pack with the sample's program, its
# shortcuts and its licence; a project without a compiler shows how CPack's variables
# become the manifest (components, the default licence and vendor left out, a program
# outside bin/, a 64-bit setup from the build folder's 64-bit parts); a refusal from pack
# fails cpack with pack's message. The setup's round trip under Wine is
# cpack_sample_round_trip_tests (tests/both_programs).
set -euo pipefail
source_root=$1
build=$2
source "$(dirname "${BASH_SOURCE[0]}")/shell_test.sh"

# `said LOG TEXT`: cpack's log holds TEXT, wherever CMake broke its lines.
said() { tr -s ' \n' '  ' < "$1" | grep -qF -- "$2"; }

# `make cpack-sample` on the finished build (-o build: nothing is built again but the
# sample, in BUILD/cpack-sample); its last line is the setup.
make -s -o build -C "$source_root" cpack-sample BUILD="$build" > "$work/sample.out" 2>&1 ||
  fail "make cpack-sample: $(tail -20 "$work/sample.out")"
setup=$(tail -n 1 "$work/sample.out")
[ "$setup" = "$build/cpack-sample/Beta-2.0-win32.exe" ] || fail "the last line is not the setup: $setup"
grep -qF 'pack: shortcuts are named after their programs'"'"' files; the labels "Beta" (beta) of CPACK_PACKAGE_EXECUTABLES name none' \
  "$work/sample.out" || fail "no word on the labels: $(cat "$work/sample.out")"
"$build/bin/pack" --list "$setup" > "$work/list.out" || fail "the sample's setup does not list"
for line in 'arch: x86' 'product_name: Beta' 'product_version: 2.0' 'window_class: BetaWnd' \
            'default_desktop: 1' 'default_programs: 1' 'folders: 1' '  bin' 'entries: 4'; do
  grep -qxF "$line" "$work/list.out" || fail "no \"$line\" in: $(cat "$work/list.out")"
done
grep -qE '^ +[0-9]+  desktop programs +bin\\beta\.exe$' "$work/list.out" &&
  grep -qE '^ +[0-9]+  license +license\.htm$' "$work/list.out" &&
  grep -qE '^ +[0-9]+  - +README\.txt$' "$work/list.out" || fail "entries: $(cat "$work/list.out")"
manifest=$build/cpack-sample/_CPack_Packages/win32/External/pack
grep -qxF 'company = KOZ Soft' "$manifest/setup.ini" || fail "no company: $(cat "$manifest/setup.ini")"
grep -qF '"As is" means: if it breaks, you keep both pieces &amp; the &lt;window&gt;.' "$manifest/license.htm" ||
  fail "the licence text is not in the page: $(cat "$manifest/license.htm")"

# A project of files only: two components, a program outside bin/, no licence and no
# vendor of its own (CPack's defaults), a 64-bit setup (CPACK_PACK_ARCH before include(CPack))
# and a window class set after include(CPack) (PACK_WINDOW_CLASS). Configured natively: the
# package is found through Pack_DIR all the same.
make_project() {
  local folder=$1 settings=$2
  mkdir -p "$folder/files/tools"
  echo "readme" > "$folder/files/readme.txt"
  cp "$build/bin/alpha.exe" "$folder/files/tools/gamma.exe"
  cat > "$folder/CMakeLists.txt" <<EOF
cmake_minimum_required(VERSION 3.20)
project(Gamma VERSION 3.1 LANGUAGES NONE)
install(PROGRAMS files/tools/gamma.exe DESTINATION tools COMPONENT program)
install(FILES files/readme.txt DESTINATION . COMPONENT docs)
find_package(Pack REQUIRED)
set(CPACK_PACKAGE_EXECUTABLES gamma gamma)
$settings
include(CPack)
set(PACK_WINDOW_CLASS GammaWnd)
EOF
  cmake -S "$folder" -B "$folder/build" -DPack_DIR="$build" > "$folder/configure.log" 2>&1 ||
    fail "configure $folder: $(cat "$folder/configure.log")"
}
make_project "$work/gamma" 'set(CPACK_PACK_ARCH x64)'
(cd "$work/gamma/build" && cpack > ../cpack.log 2>&1) || fail "cpack: $(cat "$work/gamma/cpack.log")"
"$build/bin/pack" --list "$work/gamma/build/Gamma-3.1-Linux.exe" > "$work/gamma.list" ||
  fail "no Gamma setup: $(cat "$work/gamma/cpack.log")"
for line in 'arch: x64' 'product_name: Gamma' 'product_version: 3.1' 'window_class: GammaWnd' \
            'default_desktop: 0' 'default_programs: 1' 'entries: 3'; do
  grep -qxF "$line" "$work/gamma.list" || fail "no \"$line\" in: $(cat "$work/gamma.list")"
done
grep -qE '^ +[0-9]+  programs +tools\\gamma\.exe$' "$work/gamma.list" &&
  grep -qE '^ +[0-9]+  - +readme\.txt$' "$work/gamma.list" || fail "entries: $(cat "$work/gamma.list")"
! grep -q 'license\|company' "$work/gamma/build/_CPack_Packages/Linux/External/pack/setup.ini" ||
  fail "CPack's defaults were taken: $(cat "$work/gamma/build/_CPack_Packages/Linux/External/pack/setup.ini")"
! grep -q 'shortcuts are named' "$work/gamma/cpack.log" || fail "a note on labels that name the file"

# pack refuses: cpack fails with pack's own message.
make_project "$work/refused" 'set(CPACK_PACKAGE_NAME "Gamma#2")'
code=0
(cd "$work/refused/build" && cpack > ../cpack.log 2>&1) || code=$?
[ "$code" -ne 0 ] || fail "cpack succeeded with a name pack refuses"
said "$work/refused/cpack.log" 'pack refused the setup of Gamma#2' &&
  grep -qF 'setup.ini:3: name "Gamma#2" contains "#", which the installer and its log use as separators' \
    "$work/refused/cpack.log" || fail "cpack's output: $(cat "$work/refused/cpack.log")"
make_project "$work/missing" 'set(CPACK_CREATE_DESKTOP_LINKS delta)'
(cd "$work/missing/build" && cpack > ../cpack.log 2>&1) && fail "cpack packed a missing program"
said "$work/missing/cpack.log" 'names "delta.exe", but the installed files hold 0 files of that name' ||
  fail "missing program: $(cat "$work/missing/cpack.log")"
echo "CPack with pack: all checks passed"
