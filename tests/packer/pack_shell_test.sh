#!/usr/bin/env bash
# pack.exe started from a Linux shell through Wine, with Linux relative paths, the way a
# publisher on Linux runs it: packing with the default stub and uninstaller, listing the
# result, a refusal and a usage error, each with its exit code.
set -euo pipefail
wine_run=$1
bin=$2
source "$(dirname "${BASH_SOURCE[0]}")/shell_test.sh"
cd "$work"

mkdir -p product/bin out
printf 'read me\r\n' > product/readme.txt
printf 'MZ alpha' > product/bin/alpha.exe
cat > product/app.ini <<'EOF'
[product]
name = Alpha
version = 1.0
window_class = AlphaWnd
[files]
readme.txt = readme.txt
bin\alpha.exe = bin/alpha.exe | desktop programs launch
café.txt = readme.txt
EOF

"$wine_run" "$bin/pack.exe" product/app.ini -o out/setup.exe > pack.out 2> pack.err && code=0 ||
  code=$?
[ "$code" -eq 0 ] || fail "packing exited with $code: $(cat pack.err)"
grep -q '^out/setup.exe: 4 entries, 1 folders, package of [0-9]* bytes' pack.out ||
  fail "unexpected output: $(cat pack.out)"
[ -f out/setup.exe ] || fail "out/setup.exe missing"
[ "$(ls out)" = setup.exe ] || fail "temporary file left behind: $(ls out)"

"$wine_run" "$bin/pack.exe" --list out/setup.exe > list.out 2> list.err ||
  fail "listing failed: $(cat list.err)"
grep -q '^product_name: Alpha$' list.out || fail "no product name in: $(cat list.out)"
grep -q 'uninstaller  *uninstall.exe$' list.out || fail "no uninstaller in: $(cat list.out)"
grep -q '  8  desktop programs launch  *bin\\alpha.exe$' list.out ||
  fail "no program in: $(cat list.out)"
grep -q ' café.txt$' list.out || fail "no café.txt in: $(cat list.out)"

printf '[product]\nname = Alpha\nversion = 1.0\nwindow_class = AlphaWnd\n[files]\nx = nowhere.txt\n' \
  > product/bad.ini
"$wine_run" "$bin/pack.exe" product/bad.ini -o out/bad.exe > bad.out 2> bad.err && code=0 || code=$?
[ "$code" -eq 1 ] || fail "refusal exited with $code"
grep -q '^product/bad.ini:6: source "nowhere.txt" not found' bad.err ||
  fail "unexpected refusal: $(cat bad.err)"
[ ! -e out/bad.exe ] || fail "refused output written"

"$wine_run" "$bin/pack.exe" product/app.ini > usage.out 2> usage.err && code=0 || code=$?
[ "$code" -eq 2 ] || fail "usage error exited with $code"
grep -q '^usage: pack.exe MANIFEST' usage.err || fail "no usage in: $(cat usage.err)"
echo "pack.exe from the shell: all checks passed"
