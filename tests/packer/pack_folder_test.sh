#!/usr/bin/env bash
# Folder lines and the packer's guards, as a publisher on Linux meets them with the native
# pack: a whole tree in one line (nested, an empty folder, exclusions, hidden files) gives
# the same bytes whatever order the tree was made in, and pack.exe under Wine the same bytes
# again (the one step that needs Wine, skipped when no pack.exe is built); a link in the tree
# is refused by name; messages point to the fix; temporary files cannot be planted; inputs
# are never overwritten. Every refusal writes nothing.
set -euo pipefail
wine_run=$1
bin=$2
source "$(dirname "${BASH_SOURCE[0]}")/shell_test.sh"
cd "$work"

# Runs the native pack, expecting refusal: exit code 1, `message` on standard error, and no
# file in the folder of `out` but those already there.
refused() {
  local message=$1 out=$2; shift 2
  local before after code=0
  before=$(ls -la "$(dirname "$out")")
  "$bin/pack" "$@" -o "$out" > "$work/refused.out" 2> "$work/refused.err" || code=$?
  after=$(ls -la "$(dirname "$out")")
  [ "$code" -eq 1 ] || fail "exit code $code for: $message"
  grep -qF -- "$message" "$work/refused.err" ||
    fail "expected \"$message\", got: $(cat "$work/refused.err")"
  [ "$before" = "$after" ] || fail "files were written for: $message"
}

# The same tree made twice, folders and files created in opposite orders.
make_tree() {
  local root=$1 order=$2
  local folders=(a a/b a/b/c empty .git build build/tmp) files=(index.htm a/one.htm
    a/b/two.htm a/b/c/three.htm a/skip.pdb .hidden .git/config build/tmp/t build/keep.txt)
  if [ "$order" = reverse ]; then
    folders=(empty build build/tmp .git a a/b a/b/c)
    files=(build/keep.txt build/tmp/t .git/config .hidden a/skip.pdb a/b/c/three.htm
      a/b/two.htm a/one.htm index.htm)
  fi
  for folder in "${folders[@]}"; do mkdir -p "$root/docs/help/$folder"; done
  for file in "${files[@]}"; do echo "page $file" > "$root/docs/help/$file"; done
  cp "$bin/alpha.exe" "$root/alpha.exe"
  cat > "$root/app.ini" <<'INI'
[product]
name = Folders
version = 1.0
window_class = FoldersWnd
[files]
help\ = docs/help/
help\a\one.htm = docs/help/a/one.htm | programs
alpha.exe = alpha.exe | launch
[exclude]
*.pdb
.git
build/tmp
INI
}

make_tree first forward
make_tree second reverse
"$bin/pack" first/app.ini -o first.exe > first.out || fail "the folder line was refused"
# The same file name, which the version resource carries, in another folder.
"$bin/pack" second/app.ini -o second/first.exe > /dev/null || fail "the folder line was refused"
cmp first.exe second/first.exe || fail "the setup depends on the order the tree was made in"
"$bin/pack" --list first.exe > list.out
expected_list='  help
  help\a
  help\a\b
  help\a\b\c
  help\build
  help\empty
entries: 8
        size  flags                                     name
       14336  uninstaller                               uninstall.exe
          13  -                                         help\.hidden
          21  -                                         help\a\b\c\three.htm
          17  -                                         help\a\b\two.htm
          15  programs                                  help\a\one.htm
          20  -                                         help\build\keep.txt
          15  -                                         help\index.htm'
diff <(sed -n '/^  help$/,/help\\index.htm$/p' list.out | sed 's/^ *[0-9]*  uninstaller/       14336  uninstaller/') \
     <(echo "$expected_list") || fail "unexpected tree in the setup"
if [ -e "$bin/pack.exe" ]; then
  "$wine_run" "$bin/pack.exe" first/app.ini -o second/first.exe > /dev/null ||
    fail "pack.exe refused the folder line"
  cmp first.exe second/first.exe || fail "pack and pack.exe wrote different setups"
fi

# A symbolic link inside the tree is refused by name; nothing is written.
ln -s /etc/passwd first/docs/help/a/b/passwd
mkdir out
refused '"a/b/passwd" in folder "docs/help/" is a symbolic link' out/linked.exe first/app.ini
rm first/docs/help/a/b/passwd

# Messages that point a publisher to the fix: where a missing source was looked for, the
# key that was meant, the folder syntax for a folder given as a file.
cat > first/typos.ini <<'INI'
[product]
name = Folders
version = 1.0
window_class = FoldersWnd
publisher = KOZ Soft
[files]
readme.txt = docs/readme.txt
help = docs/help
INI
refused 'first/typos.ini:5: unknown key "publisher" in [product]; did you mean "company"?' \
  out/typos.exe first/typos.ini
grep -qF "the vendor folder below Program Files, the Publisher in Windows' list of installed programs and the support link are fixed)" \
  refused.err || fail "the hint does not say what stays fixed: $(cat refused.err)"
grep -qF 'first/typos.ini:7: source "docs/readme.txt" not found (looked for "first/docs/readme.txt")' \
  refused.err || fail "no resolved path: $(cat refused.err)"
grep -qF 'first/typos.ini:8: source "docs/help" is a folder, not a file; to add a whole folder, end both target and source with a separator: "folder\ = source/folder/"' \
  refused.err || fail "no pointer to the folder syntax: $(cat refused.err)"

# An output nobody can plant: a link and a world-writable file at the old fixed temporary
# names stay untouched (the link's target too); the setup gets the usual mode, and the
# copy the sign command sees is its owner's alone.
echo "not for the packer" > victim.txt
ln -s "$work/victim.txt" out/planted.exe.partial
echo "planted" > out/planted.exe.uninstall.partial
chmod 666 out/planted.exe.uninstall.partial
(umask 022 && "$bin/pack" first/app.ini -o out/planted.exe --sign "stat -c %a {file} >> $work/modes") \
  > /dev/null 2>&1 || true
[ "$(cat victim.txt)" = "not for the packer" ] && [ -L out/planted.exe.partial ] &&
  [ "$(cat out/planted.exe.uninstall.partial)" = planted ] &&
  [ "$(stat -c %a out/planted.exe.uninstall.partial)" = 666 ] || fail "a planted file was used"
[ "$(head -1 modes)" = 600 ] || fail "the sign command saw a file of mode $(head -1 modes)"
(umask 022 && "$bin/pack" first/app.ini -o out/planted.exe > /dev/null) || fail "planted names block"
[ "$(stat -c %a out/planted.exe)" = 644 ] || fail "the setup has mode $(stat -c %a out/planted.exe)"
[ "$(ls out | grep -c partial)" -eq 2 ] || fail "temporary files left: $(ls out)"
rm out/planted.exe*

# An output that is an input, by its name or another one, is refused; so are a manifest or
# a source that is a pipe (which would block the packer), and a quoted {file}.
cp first/app.ini out/manifest.ini
refused '-o "out/manifest.ini" names the manifest "out/manifest.ini"; write the setup to another file' \
  out/manifest.ini out/manifest.ini
ln first/alpha.exe out/same.exe
refused '-o "out/same.exe" names a source "first/alpha.exe" (first/app.ini:8)' out/same.exe first/app.ini
rm out/manifest.ini out/same.exe
mkfifo out/pipe.ini
timeout 10 "$bin/pack" out/pipe.ini -o out/pipe.exe 2> refused.err && fail "a pipe was packed"
grep -qF 'cannot read the manifest "out/pipe.ini": it is not a regular file' refused.err ||
  fail "pipe manifest: $(cat refused.err)"
mkfifo first/docs/pipe
sed -i '8a pipe.txt = docs/pipe' first/app.ini
refused 'first/app.ini:9: source "docs/pipe" is not a regular file (a device, a pipe or a socket)' \
  out/pipe.exe first/app.ini
rm out/pipe.ini first/docs/pipe
sed -i '9d' first/app.ini
code=0
"$bin/pack" first/app.ini -o out/quoted.exe --sign 'sign "{file}"' 2> refused.err || code=$?
[ "$code" -eq 2 ] && grep -qF -- '--sign has {file} in quotes; pack quotes the path itself' refused.err ||
  fail "a quoted {file}: exit $code, $(cat refused.err)"
[ -z "$(ls out)" ] || fail "files were written: $(ls out)"

# A sign step that is checked: a command that writes the signed file elsewhere, or changes
# the file without signing it, is refused (pack_signing_test.sh signs in place for real).
refused 'the sign command left the uninstaller unsigned (the file did not change): the command must sign the file it is given in place' \
  out/copied.exe first/app.ini --sign "cp {file} $work/copied.signed"
[ -e copied.signed ] || fail "the sign command did not run"
refused 'the sign command left the uninstaller unsigned (it carries no signature)' \
  out/appended.exe first/app.ini --sign 'echo more >> {file}'

# A root folder with a reserved name is refused as the reserved file itself is.
printf '[product]\nname = R\nversion = 1\nwindow_class = W\n[files]\nuninstall.dat\\log.txt = alpha.exe\n' \
  > first/reserved.ini
refused 'first/reserved.ini:6: target "uninstall.dat\log.txt" lies in the folder "uninstall.dat" at the root; "uninstall.dat" is reserved for the installer'"'"'s uninstall log' \
  out/reserved.exe first/reserved.ini

# --list on a setup cut short says so; names from a crafted setup show their control
# characters escaped, so an escape sequence cannot hide a line.
head -c 40000 first.exe > out/cut.exe
"$bin/pack" --list out/cut.exe > /dev/null 2> refused.err && fail "a cut setup was listed"
grep -qF 'out/cut.exe: the file is shorter than its package says: ' refused.err &&
  grep -qF 'bytes are there; the file was probably cut off' refused.err ||
  fail "cut setup: $(cat refused.err)"
python3 - first.exe out/crafted.exe <<'PY'
import sys
setup = open(sys.argv[1], "rb").read()
assert setup.count(b"help\\index.htm\0") == 1
open(sys.argv[2], "wb").write(setup.replace(b"help\\index.htm\0", b"help\\\x1b[K\rx.htm\0"))
PY
"$bin/pack" --list out/crafted.exe > list.out || fail "the crafted setup was not listed"
grep -qF 'help\<U+001B>[K<U+000D>x.htm' list.out || fail "control characters listed: $(cat -v list.out)"
! grep -q $'\x1b' list.out || fail "an escape character reached the listing"
rm out/cut.exe out/crafted.exe

echo "folder lines and guards: all checks passed"
