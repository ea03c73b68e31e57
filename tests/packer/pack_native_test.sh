#!/usr/bin/env bash
# The native pack beside pack.exe under Wine, as a publisher on Linux meets them: for the
# same manifest, sources, stub and uninstaller both write the same bytes, list them alike and
# refuse alike (messages, lines, exit codes); a setup depends on nothing but those inputs;
# an independent reader (icoutils) finds the icon and the version resource; a setup cut
# short is listed as damage.
set -euo pipefail
wine_run=$1
bin=$2
icon=$bin/test-icon.ico
source "$(dirname "${BASH_SOURCE[0]}")/shell_test.sh"
cd "$work"

# Runs both tools on the same arguments; the setup each writes is native/OUT.exe or
# wine/OUT.exe (one file name: the version resource carries it). Exit codes and output must
# match, with the tool's own name and the output's folder taken out; setups that were
# written must be the same bytes.
pack_both() {
  local out=$1; shift
  set +e
  mkdir -p native wine
  "$bin/pack" "$@" -o "native/$out.exe" > native.out 2> native.err
  local native=$?
  "$wine_run" "$bin/pack.exe" "$@" -o "wine/$out.exe" > wine.out 2> wine.err
  local windows=$?
  set -e
  [ "$native" -eq "$windows" ] || fail "$out: exit codes $native and $windows"
  for stream in out err; do
    diff <(sed 's|native/||g' native.$stream) \
         <(sed 's|wine/||g; s/pack\.exe/pack/g' wine.$stream) ||
      fail "$out: the tools' standard $stream differs"
  done
  if [ "$native" -eq 0 ]; then
    cmp "native/$out.exe" "wine/$out.exe" || fail "$out: the setups differ"
  fi
  return "$native"
}

# A product with nested folders, Windows-1252 names, an empty file, a [folders] section, a
# file of several MB, the icon and version information.
mkdir -p product/dist/docs/de product/art
cp "$icon" product/art/app.ico
printf 'read me\r\n' > product/dist/readme.txt
: > product/dist/empty.dat
printf 'Gr\xc3\xbc\xc3\x9fe' > product/dist/docs/de/gruss.txt
head -c 6000000 /dev/urandom > product/dist/data.bin
cp "$bin/alpha.exe" product/dist/alpha.exe
cat > product/app.ini <<'INI'
[product]
name = Caf\u00e9 Tools
version = 3.1 beta
window_class = CafeWnd
icon = art/app.ico
company = KOZ Soft
copyright = © 2024 KOZ Soft
[options]
allow_run_once = 1
default_desktop = 1
[files]
caf\u00e9.exe = dist/alpha.exe | desktop programs launch
docs\de\Grüße € naïve.txt = dist/docs/de/gruss.txt
docs\readme.txt = dist\readme.txt | license
data\big\data.bin = dist/data.bin
empty.dat = dist/empty.dat
[folders]
cache\thumbnails
INI
sed -i 's/\\u00e9/é/g' product/app.ini

pack_both sample "$bin/sample/alpha.ini" || fail "the sample was refused: $(cat native.err)"
pack_both product product/app.ini || fail "the product was refused: $(cat native.err)"
grep -q '^native/product.exe: 6 entries, 6 folders, package of ' native.out ||
  fail "unexpected summary: $(cat native.out)"

for setup in sample product; do
  "$bin/pack" --list "native/$setup.exe" > native.list
  "$wine_run" "$bin/pack.exe" --list "native/$setup.exe" > wine.list
  diff native.list wine.list || fail "$setup: the listings differ"
done
grep -q '  docs\\de\\Grüße € naïve.txt$' native.list || fail "names in: $(cat native.list)"

# A product without a main window: no window_class, and both write an empty one, which the
# listing shows as such.
printf '[product]\nname = Windowless\nversion = 1.0\n[files]\nreadme.txt = dist/readme.txt\n' \
  > product/windowless.ini
pack_both windowless product/windowless.ini ||
  fail "a manifest without window_class was refused: $(cat native.err)"
"$bin/pack" --list native/windowless.exe | grep -qx 'window_class: ' ||
  fail "window class listed as: $("$bin/pack" --list native/windowless.exe | grep window_class)"

# Nothing but the inputs: another current folder, the manifest named another way, other file
# times, another time zone and locale.
mkdir elsewhere
touch -d '2001-02-03 04:05' product/dist/* product/app.ini
(cd elsewhere && TZ=Asia/Tokyo LC_ALL=C "$bin/pack" "$work/product/./app.ini" -o product.exe >/dev/null)
cmp elsewhere/product.exe native/product.exe || fail "the setup depends on more than its inputs"

# An independent reader of the resources: the icon group holds every image of the icon
# file, and the version resource names the product.
wrestool -x --type=14 --name=102 native/product.exe > group.ico
diff <(icotool -l group.ico) <(icotool -l "$icon") || fail "icon group 102 differs from the icon"
wrestool -x --raw --type=16 native/product.exe | iconv -c -f UTF-16LE -t UTF-8 > version.txt
for text in "ProductName" "Café Tools" "Café Tools Setup" "3.1 beta" "© 2024 KOZ Soft"; do
  grep -qaF "$text" version.txt || fail "no \"$text\" in the version resource"
done

# Refusals, usage errors and the version: the same on both.
cat > product/bad.ini <<'INI'
[product]
name = ..\evil
version = 1.
window_class = W
icon = art/none.ico
[options]
allow_run_once = 1
[files]
COM¹.txt = dist/readme.txt
UNINST~1.EXE = dist/readme.txt
CONOUT$ = dist/readme.txt
[folders]
readme.txt = dist/readme.txt
INI
if pack_both bad product/bad.ini; then fail "the bad manifest was packed"; fi
[ "$(grep -c '^product/bad.ini:' native.err)" -eq 7 ] || fail "refusals: $(cat native.err)"
[ -z "$(ls native/bad.exe* 2>/dev/null)" ] || fail "a refused setup was written"
code=0
pack_both usage || code=$?
[ "$code" -eq 2 ] || fail "a usage error exited with $code"
"$bin/pack" --version | grep -q '^pack [0-9.]*$' || fail "no version"

# A setup cut short anywhere is damage, never a crash (pack_listing_tests.cpp tries every
# cut on the shared reader; here the native program on a stride of them).
python3 - "$bin/pack" native/sample.exe <<'PY' || fail "a cut setup was not listed as damage"
import subprocess, sys
pack, setup = sys.argv[1], open(sys.argv[2], "rb").read()
for cut in range(30000, len(setup) - 5000 + 1, 7):
    open("cut.exe", "wb").write(setup[:cut])
    run = subprocess.run([pack, "--list", "cut.exe"], capture_output=True)
    if run.returncode != 1 or not run.stderr.startswith(b"cut.exe: "):
        sys.exit(f"cut at {cut}: exit {run.returncode}")
PY
echo "native pack and pack.exe: all checks passed"
