#!/usr/bin/env bash
# `make deb` as a publisher on Debian runs it: the package holds pack, the stubs and
# uninstallers where pack looks for them, the README, copyright, changelog and manual page;
# unpacked into a scratch root, its pack packs the sample from another folder with no Wine
# on the PATH, the same bytes as the build's pack; lintian (when installed) finds no error.
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
[ "$(cd "$work/root" && find . -type f | sort | tr '\n' ' ')" = \
  "./usr/bin/pack ./usr/share/doc/pack/README.md ./usr/share/doc/pack/changelog.gz ./usr/share/doc/pack/copyright ./usr/share/man/man1/pack.1.gz ./usr/share/pack/setup-stub-x64.exe ./usr/share/pack/setup-stub.exe ./usr/share/pack/uninstall-x64.exe ./usr/share/pack/uninstall.exe " ] ||
  fail "packaged: $(cd "$work/root" && find . -type f)"
dpkg-deb -f "$deb" Package Version Depends | grep -x "Version: $version" > /dev/null ||
  fail "control: $(dpkg-deb -f "$deb")"
zcat "$work/root/usr/share/man/man1/pack.1.gz" | grep "^\.TH PACK 1 .*pack $version" > /dev/null ||
  fail "the manual page does not carry the version"
if command -v man > /dev/null; then
  MANWIDTH=80 man -l "$work/root/usr/share/man/man1/pack.1.gz" 2> "$work/man.err" |
    grep 'pack --list SETUP.exe' > /dev/null || fail "the manual page does not render: $(cat "$work/man.err")"
fi

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
echo "make deb: all checks passed"
