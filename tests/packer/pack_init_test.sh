#!/usr/bin/env bash
# `pack --init` as a publisher meets it: a folder with one program, a licence and names a
# setup cannot carry gets a manifest that packs as written, with the program and the licence
# flagged and each refused name excluded with its reason; pack.exe under Wine writes the
# same manifest (but for its own name in reasons) and packs it into the same setup (skipped when no pack.exe is built); an
# existing file is never written over; names and versions come from the folder's name or
# the command line, and a folder name that makes no product name writes nothing.
set -euo pipefail
wine_run=$1
bin=$2
source "$(dirname "${BASH_SOURCE[0]}")/shell_test.sh"
cd "$work"

# The product folder: a program, a licence, a help page in a folder, and what Windows or
# the installer cannot take: a device name, two names that differ only in case, a link
# (unless the second argument says "nolink"), a name with a line break, a file named like
# the uninstaller at the top.
make_product() {
  local root=$1 link=${2:-link}
  mkdir -p "$root/help" "$root/docs"
  cp "$bin/alpha.exe" "$root/alpha.exe"
  cp "$bin/sample/license.htm" "$root/license.htm"
  echo "help" > "$root/help/index.htm"
  echo "device" > "$root/docs/CON.txt"
  echo "one" > "$root/docs/README.txt"
  echo "two" > "$root/docs/Readme.txt"
  [ "$link" = nolink ] || ln -s /etc/passwd "$root/docs/passwd"
  echo "break" > "$root/docs/$(printf 'line\nbreak.txt')"
  echo "not ours" > "$root/uninstall.exe"
}
make_product alpha-1.2

"$bin/pack" --init alpha-1.2 > init.out || fail "--init failed: $(cat init.out)"
[ -f alpha-1.2.ini ] || fail "no alpha-1.2.ini: $(ls)"
grep -qx 'alpha-1.2.ini: alpha 1.2, 3 files from "alpha-1.2/"; alpha.exe with shortcuts (programs desktop); licence license.htm; 5 excluded (see \[exclude\])' init.out ||
  fail "summary: $(cat init.out)"
grep -qx 'build the setup with: pack alpha-1.2.ini -o setup.exe' init.out || fail "next step: $(cat init.out)"
for line in 'name = alpha' 'version = 1.2' '\ = alpha-1.2/' \
            'alpha.exe = alpha-1.2/alpha.exe | programs desktop' \
            '; alpha.exe = alpha-1.2/alpha.exe | programs desktop launch' \
            'license.htm = alpha-1.2/license.htm | license' '; window_class = MainWindowClass' \
            '; file_version = 1.2.0.0' '/docs/CON.txt' '/docs/README.txt' '/docs/passwd' \
            '/docs/line?break.txt' '/uninstall.exe' \
            '; "docs/passwd": a link (a symbolic link or a junction), which could point anywhere on this machine'; do
  grep -qxF -- "$line" alpha-1.2.ini || fail "no line \"$line\" in: $(cat alpha-1.2.ini)"
done
grep -qF '"/FIRSTRUN"' alpha-1.2.ini && grep -qF '"/RUNONCE"' alpha-1.2.ini &&
  grep -qF '"/uninstall"' alpha-1.2.ini || fail "no word on the fixed switches"
grep -qF '; "docs/README.txt": "README.txt" and "Readme.txt" differ only in case' alpha-1.2.ini ||
  fail "no reason for the case duplicates: $(cat alpha-1.2.ini)"

# It packs as written: the program and the licence flagged, every refused name left out.
"$bin/pack" alpha-1.2.ini -o setup.exe > pack.out 2>&1 || fail "the starter manifest was refused: $(cat pack.out)"
"$bin/pack" --list setup.exe > list.out
expected='product_name: alpha
product_version: 1.2
window_class: 
entries: 4
SIZE  uninstaller                               uninstall.exe
SIZE  desktop programs                          alpha.exe
SIZE  -                                         help\index.htm
SIZE  license                                   license.htm'
diff <(grep -E '^(product_|window_class|entries)|^ +[0-9]+  ' list.out | sed -E 's/^ +[0-9]+  /SIZE  /') \
     <(echo "$expected") || fail "unexpected setup: $(cat list.out)"

# Never over an existing file: refused with a message, the file as it was.
cp alpha-1.2.ini before.ini
code=0
"$bin/pack" --init alpha-1.2/ 2> again.err || code=$?
[ "$code" -eq 1 ] || fail "a second --init exited with $code"
grep -qxF 'pack: "alpha-1.2.ini" exists already; --init writes a new manifest only: remove it or name another file with -o' again.err ||
  fail "existing manifest: $(cat again.err)"
cmp alpha-1.2.ini before.ini || fail "the existing manifest changed"
ln -s nowhere dangling.ini
"$bin/pack" --init alpha-1.2 -o dangling.ini 2> again.err && fail "a dangling link was written through"
[ -L dangling.ini ] && [ ! -e nowhere ] || fail "the dangling link was replaced or followed"
[ -z "$(ls | grep partial)" ] || fail "temporary files left: $(ls)"

# pack.exe writes the same manifest, and packs it into the same setup. Without the link:
# Wine shows a Unix link to a Windows program as the file it points to.
if [ -e "$bin/pack.exe" ]; then
  mkdir native wine
  make_product native/alpha-1.2 nolink
  make_product wine/alpha-1.2 nolink
  (cd native && "$bin/pack" --init alpha-1.2 > init.out && "$bin/pack" alpha-1.2.ini -o setup.exe > /dev/null) ||
    fail "pack --init without the link failed"
  (cd wine && "$wine_run" "$bin/pack.exe" --init alpha-1.2 > init.out) ||
    fail "pack.exe --init failed: $(cat wine/init.out)"
  # The same lines; a reason names the tool that wrote it.
  diff native/alpha-1.2.ini <(sed 's/pack\.exe/pack/g' wine/alpha-1.2.ini) ||
    fail "pack.exe wrote another manifest"
  (cd wine && "$wine_run" "$bin/pack.exe" alpha-1.2.ini -o setup.exe > /dev/null) ||
    fail "pack.exe refused the starter manifest"
  cmp native/setup.exe wine/setup.exe || fail "pack.exe packed the starter manifest otherwise"
fi

# -o elsewhere: the folder line reaches the folder from the manifest's folder; --name and
# --version win over the folder's name.
mkdir -p manifests/alpha
"$bin/pack" --init alpha-1.2 -o manifests/alpha/product.ini --name "Alpha Tools" --version "2.0 beta" \
  > /dev/null || fail "--init with -o, --name and --version failed"
grep -qxF '\ = ../../alpha-1.2/' manifests/alpha/product.ini || fail "source: $(grep '^\\' manifests/alpha/product.ini)"
(cd / && "$bin/pack" "$work/manifests/alpha/product.ini" -o "$work/named.exe" > /dev/null) ||
  fail "the manifest written elsewhere was refused"
"$bin/pack" --list named.exe | grep -qx 'product_name: Alpha Tools' || fail "--name was not taken"
"$bin/pack" --list named.exe | grep -qx 'product_version: 2.0 beta' || fail "--version was not taken"

# A manifest inside the folder leaves itself out.
"$bin/pack" --init alpha-1.2 -o alpha-1.2/setup.ini > /dev/null || fail "--init into the folder failed"
grep -qxF '/setup.ini' alpha-1.2/setup.ini || fail "the manifest does not exclude itself"
"$bin/pack" alpha-1.2/setup.ini -o inside.exe > /dev/null || fail "the manifest inside the folder was refused"
! "$bin/pack" --list inside.exe | grep -q 'setup.ini$' || fail "the manifest was packed"
rm alpha-1.2/setup.ini

# Names and versions from folder names; a name without a version gets 1.0, and says so.
mkdir "Beta Tools v2.0 beta" gamma
echo x > "Beta Tools v2.0 beta/a.txt"
echo x > gamma/a.txt
"$bin/pack" --init "Beta Tools v2.0 beta" > /dev/null || fail "--init on a name with blanks failed"
grep -qx 'name = Beta Tools' "Beta Tools v2.0 beta.ini" && grep -qx 'version = 2.0 beta' "Beta Tools v2.0 beta.ini" ||
  fail "name and version: $(grep -E '^(name|version)' "Beta Tools v2.0 beta.ini")"
grep -qxF '; No program at the top of the folder: give the one users start a line of its own, as' \
  "Beta Tools v2.0 beta.ini" || fail "no word on the missing program"
"$bin/pack" "Beta Tools v2.0 beta.ini" -o beta.exe > /dev/null || fail "the blank-named folder's manifest was refused"
(cd gamma && "$bin/pack" --init . > ../gamma.out) || fail "--init . failed: $(cat gamma.out)"
grep -qx 'the folder.s name has no version: the manifest says 1.0 (--version gives another)' gamma.out ||
  fail "no note on the version: $(cat gamma.out)"
grep -qx 'version = 1.0' gamma.ini && grep -qxF '\ = gamma/' gamma.ini || fail "gamma.ini: $(cat gamma.ini)"

# A folder name that makes no product name: the problem from pack, a hint, nothing written.
mkdir "a-name-that-is-far-too-long-for-the-header-1.0"
code=0
"$bin/pack" --init "a-name-that-is-far-too-long-for-the-header-1.0" 2> long.err || code=$?
[ "$code" -eq 1 ] || fail "a name too long: exit $code"
grep -qF 'a-name-that-is-far-too-long-for-the-header-1.0.ini:6: name "a-name-that-is-far-too-long-for-the-header" has 42 UTF-16 units; at most 31 fit the header' long.err &&
  grep -qx -- '--name and --version give the product.s name and version' long.err ||
  fail "long name: $(cat long.err)"
[ ! -e "a-name-that-is-far-too-long-for-the-header-1.0.ini" ] || fail "a refused manifest was written"
# Names no manifest line can hold as they are (not UTF-8, a blank at the end) are excluded
# by patterns with "?" in their place, and the manifest still packs.
mkdir odd-1
echo ok > odd-1/ok.txt
echo x > "odd-1/$(printf 'bad\xff.txt')"
echo x > "odd-1/trail "
"$bin/pack" --init odd-1 > /dev/null || fail "--init on odd names failed"
grep -qxF '/bad?.txt' odd-1.ini && grep -qxF '/trail?' odd-1.ini &&
  grep -qxF '; "bad<0xFF>.txt": target "bad<0xFF>.txt" is not valid UTF-8' odd-1.ini ||
  fail "odd names: $(cat odd-1.ini)"
"$bin/pack" odd-1.ini -o odd.exe > /dev/null || fail "the odd names' manifest was refused"
[ "$("$bin/pack" --list odd.exe | grep -c '^ *[0-9]*  -  ')" -eq 1 ] || fail "odd names were packed"

code=0
"$bin/pack" --init missing 2> missing.err || code=$?
[ "$code" -eq 1 ] && grep -qx 'pack: "missing" is not a folder' missing.err || fail "missing folder: $(cat missing.err)"
code=0
"$bin/pack" --init alpha-1.2 --stub x.exe 2> usage.err || code=$?
[ "$code" -eq 2 ] && grep -qF -- '--init takes -o, --name and --version only, not --stub' usage.err ||
  fail "usage: exit $code, $(cat usage.err)"
echo "pack --init: all checks passed"
