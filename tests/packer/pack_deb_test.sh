#!/usr/bin/env bash
# `make deb` as a publisher on Debian runs it: the package holds pack, the stubs and
# uninstallers where pack looks for them, the README, copyright, changelog, manual page and
# the CMake package; unpacked into a scratch root, its pack packs the sample from another
# folder with no Wine on the PATH, the same bytes as the build's pack; lintian (when
# installed) finds no error; two runs give the same bytes, with every time in the package
# the last commit's (or, without Git, the changelog's).
set -euo pipefail
source_root=$1
build=$2
source "$(dirname "${BASH_SOURCE[0]}")/shell_test.sh"

# The build is complete when the tests run: package it without building again.
make -s -o build -C "$source_root" deb BUILD="$build" DEB_DIR="$work" > "$work/deb.log" 2>&1 ||
  fail "make deb: $(tail -20 "$work/deb.log")"
version=$(sed -n 's/^#define PACK_VERSION "\(.*\)"$/\1/p' "$source_root/packer/core/tool_identity.h")
deb=$work/pack_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || fail "no $deb: $(ls "$work")"

dpkg -x "$deb" "$work/root"
[ "$(cd "$work/root" && find . -type f | LC_ALL=C sort | tr '\n' ' ')" = \
  "./usr/bin/pack ./usr/lib/cmake/Pack/PackCPack.cmake ./usr/lib/cmake/Pack/PackConfig.cmake ./usr/lib/cmake/Pack/PackConfigVersion.cmake ./usr/share/doc/pack/README.md ./usr/share/doc/pack/changelog.gz ./usr/share/doc/pack/copyright ./usr/share/man/man1/pack.1.gz ./usr/share/pack/setup-stub-x64.exe ./usr/share/pack/setup-stub.exe ./usr/share/pack/uninstall-x64.exe ./usr/share/pack/uninstall.exe " ] ||
  fail "packaged: $(cd "$work/root" && find . -type f)"
dpkg-deb -f "$deb" Package Version Depends | grep -x "Version: $version" > /dev/null ||
  fail "control: $(dpkg-deb -f "$deb")"
zcat "$work/root/usr/share/man/man1/pack.1.gz" | grep "^\.TH PACK 1 .*pack $version" > /dev/null ||
  fail "the manual page does not carry the version"
if command -v man > /dev/null; then
  MANWIDTH=80 man -l "$work/root/usr/share/man/man1/pack.1.gz" > "$work/man.txt" 2> "$work/man.err"
  grep -q 'pack --list SETUP.exe' "$work/man.txt" || fail "the manual page does not render: $(cat "$work/man.err")"
  # A complete manifest and the list of flags.
  for text in '^MANIFEST$' '^FLAGS$' '^ *window_class = AlphaWnd$' '^ *\\ = dist/$' \
              '^ *default_launch = 1$' '^ *\[exclude\]$' '^ *launch (0x10)$' '^ *license (0x08)$'; do
    grep -q -- "$text" "$work/man.txt" || fail "the manual page has no line $text"
  done
fi
# Only what the package holds is built: the native pack, the stubs and the uninstallers.
make -n -C "$source_root" deb BUILD="$build" | grep '^cmake --build' > "$work/deb-builds.txt"
[ "$(cat "$work/deb-builds.txt")" = "cmake --build $build -j $(nproc) --target native_pack setup-stub uninstall
cmake --build $build/x64 -j $(nproc) --target setup-stub uninstall" ] ||
  fail "make deb builds: $(cat "$work/deb-builds.txt")"

packs_like_the_build "$work/root/usr/bin/pack" "$build" "the packaged pack"
env -i PATH=/nonexistent "$work/root/usr/bin/pack" --version | grep -qx "pack $version" ||
  fail "the packaged pack is not version $version"

if command -v lintian > /dev/null; then
  lintian --fail-on error "$deb" > "$work/lintian.out" 2>&1 ||
    fail "lintian: $(cat "$work/lintian.out")"
  ! grep -q '^E: ' "$work/lintian.out" || fail "lintian: $(cat "$work/lintian.out")"
else
  echo "lintian is not installed: the package was not checked by it"
fi

# Reproducible: a second run, later, into another folder, under another umask and time
# zone, gives the same bytes; every time in the package is the last commit's.
sleep 1
(umask 077 && TZ=Asia/Tokyo make -s -o build -C "$source_root" deb BUILD="$build" \
   DEB_DIR="$work/again" > "$work/again.log" 2>&1) || fail "second make deb: $(tail -20 "$work/again.log")"
cmp "$deb" "$work/again/$(basename "$deb")" || fail "two make deb runs gave different packages"
if commit_time=$(git -C "$source_root" log -1 --format=%ct 2> /dev/null); then
  expected_time=$(TZ=UTC date -d "@$commit_time" '+%Y-%m-%d %H:%M')
  [ -z "$(dpkg-deb -c "$deb" | TZ=UTC awk -v t="$expected_time" '$4 " " $5 != t')" ] ||
    fail "times other than the last commit's ($expected_time): $(dpkg-deb -c "$deb" | head -5)"
fi
# In a tree without Git (a source archive), the date of the changelog's entry.
mkdir "$work/archive"
cp -r "$source_root/packer" "$work/archive/"
(unset SOURCE_DATE_EPOCH; bash "$source_root/tools/make-deb.sh" "$work/archive" "$build" \
   "$build/x64" "$work/archive/out" > "$work/archive.log" 2>&1) ||
  fail "make-deb.sh without Git: $(cat "$work/archive.log")"
changelog_time=$(TZ=UTC date -d "$(sed -n 's/^ -- .*>  //p' "$source_root/packer/debian/changelog")" '+%Y-%m-%d %H:%M')
[ -z "$(dpkg-deb -c "$work/archive/out/$(basename "$deb")" | awk -v t="$changelog_time" '$4 " " $5 != t')" ] ||
  fail "without Git, times other than the changelog's ($changelog_time)"
echo "make deb: all checks passed"
