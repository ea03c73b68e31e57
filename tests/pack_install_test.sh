#!/usr/bin/env bash
# `make install PREFIX=...` and `make uninstall` as a publisher runs them: the installed pack
# packs the sample from another folder with no Wine on the PATH, finding the stub and the
# uninstaller in its share folder; the uninstall removes exactly what the install put there.
set -euo pipefail
source_root=$1
build=$2
source "$(dirname "${BASH_SOURCE[0]}")/shell_test.sh"
prefix=$work/prefix

make -s -C "$source_root" install PREFIX="$prefix" BUILD="$build" > "$work/install.log" 2>&1 ||
  fail "make install: $(tail -20 "$work/install.log")"
[ "$(cd "$prefix" && find . -type f | sort | tr '\n' ' ')" = \
  "./bin/pack ./share/pack/README.md ./share/pack/setup-stub.exe ./share/pack/uninstall.exe " ] ||
  fail "installed: $(cd "$prefix" && find . -type f)"

mkdir "$work/elsewhere"
(cd "$work/elsewhere" && env -i PATH=/nonexistent "$prefix/bin/pack" \
   "$build/bin/sample/alpha.ini" -o alpha-setup.exe > pack.out 2>&1) ||
  fail "the installed pack: $(cat "$work/elsewhere/pack.out")"
"$build/bin/pack" "$build/bin/sample/alpha.ini" -o "$work/expected.exe" > /dev/null
cmp "$work/elsewhere/alpha-setup.exe" "$work/expected.exe" || fail "the installed pack packs otherwise"
env -i PATH=/nonexistent "$prefix/bin/pack" --version | grep -q '^pack [0-9.]*$' ||
  fail "no version from the installed pack"

make -s -C "$source_root" uninstall PREFIX="$prefix" > "$work/uninstall.log" 2>&1 ||
  fail "make uninstall: $(cat "$work/uninstall.log")"
[ -z "$(find "$prefix" -type f)" ] && [ ! -e "$prefix/share/pack" ] ||
  fail "left after uninstall: $(find "$prefix")"
echo "make install and make uninstall: all checks passed"
