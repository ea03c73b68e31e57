#!/usr/bin/env bash
# Signing a setup on Linux the way packer/README.md shows: a throw-away certificate from
# openssl, osslsigncode behind --sign. The setup and the uninstaller inside its package
# verify; the signed setup still lists its package; signed with a fixed signing time it is
# the same bytes twice; a failing command, or one that leaves
# the file unsigned, writes nothing; and
# under Wine the setup installs the signed uninstaller byte for byte (packer_tests.exe,
# SignedSetup).
set -euo pipefail
wine_run=$1
bin=$2
source "$(dirname "${BASH_SOURCE[0]}")/shell_test.sh"
cd "$work"

windows_path() { local path=${1//\//\\}; echo "Z:$path"; }

openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 \
  -subj "/CN=Pack Test Publisher" 2>/dev/null
cat > sign.sh <<EOF2
osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" -n "Signed" -in "\$1" -out "\$1.signed" && mv "\$1.signed" "\$1"
EOF2
mkdir product
printf 'signed product\r\n' > product/readme.txt
printf '[product]\nname = Signed\nversion = 1.0\nwindow_class = SignedWnd\n[files]\nreadme.txt = readme.txt\n' \
  > product/app.ini

"$bin/pack" product/app.ini -o setup.exe --sign "sh $work/sign.sh {file}" > pack.out 2> pack.err ||
  fail "signing failed: $(cat pack.err)"
[ "$(ls setup.exe*)" = setup.exe ] || fail "temporary files left: $(ls setup.exe*)"
osslsigncode verify -CAfile cert.pem -in setup.exe > verify.out 2>&1 ||
  fail "the setup does not verify: $(cat verify.out)"
"$bin/pack" --list setup.exe > list.out || fail "the signed setup does not list"

# The uninstaller, read out of the package by hand: the first record after the header
# (204 bytes) and the empty folder list.
python3 - setup.exe uninstall.exe <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
record = data.index(b"\xfe\xffuninstall.exe\x00")
size = struct.unpack_from("<I", data, record + 16)[0]
open(sys.argv[2], "wb").write(data[record + 20:record + 20 + size])
PY
osslsigncode verify -CAfile cert.pem -in uninstall.exe > verify.out 2>&1 ||
  fail "the packed uninstaller does not verify: $(cat verify.out)"
cmp -s uninstall.exe "$bin/uninstall.exe" && fail "the packed uninstaller is not signed"

# Signed again with the signing time fixed (-time) and no timestamp server, as README.md
# shows for reproducible setups: the same inputs give the same bytes. (The time lies within
# the throw-away certificate's two days.)
fixed_time=$(date +%s)
cat > fixed-time.sh <<EOF2
osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" -n "Signed" -time $fixed_time -in "\$1" -out "\$1.signed" && mv "\$1.signed" "\$1"
EOF2
mkdir again-1 again-2
for folder in again-1 again-2; do
  "$bin/pack" product/app.ini -o "$folder/setup.exe" --sign "sh $work/fixed-time.sh {file}" \
    > /dev/null 2> again.err || fail "signing with a fixed time failed: $(cat again.err)"
done
cmp again-1/setup.exe again-2/setup.exe || fail "two signings with one fixed time differ"
osslsigncode verify -CAfile cert.pem -time "$fixed_time" -in again-1/setup.exe > verify.out 2>&1 ||
  fail "the setup signed with a fixed time does not verify: $(cat verify.out)"

# A command that fails refuses the build with its exit code and output, and writes nothing.
set +e
"$bin/pack" product/app.ini -o failed.exe --sign "echo no key for {file}; exit 4" \
  > failed.out 2> failed.err
code=$?
set -e
[ "$code" -eq 1 ] || fail "a failing sign command exited with $code"
grep -q '^the sign command failed for the uninstaller with exit code 4:$' failed.err &&
  grep -q "^no key for .*failed.exe.uninstall.partial-[0-9a-f]*$" failed.err || fail "$(cat failed.err)"
[ -z "$(ls failed.exe* 2>/dev/null)" ] || fail "a failed signing left files"

# The tool's natural form, which writes the signed file elsewhere, exits 0 and leaves the
# file unsigned: refused, with nothing of the packer's left (only the tool's own output).
set +e
"$bin/pack" product/app.ini -o elsewhere.exe --sign \
  "osslsigncode sign -certs $work/cert.pem -key $work/key.pem -in {file} -out {file}.signed" \
  > elsewhere.out 2> elsewhere.err
code=$?
set -e
[ "$code" -eq 1 ] || fail "a command that signs elsewhere exited with $code"
grep -q '^the sign command left the uninstaller unsigned (the file did not change): the command must sign the file it is given in place' \
  elsewhere.err || fail "$(cat elsewhere.err)"
[ -z "$(ls elsewhere.exe* | grep -v '\.signed$')" ] || fail "files left: $(ls elsewhere.exe*)"

PACK_SIGNED_SETUP=$(windows_path "$work/setup.exe") \
PACK_SIGNED_UNINSTALLER=$(windows_path "$work/uninstall.exe") \
  "$wine_run" "$bin/packer_tests.exe" --gtest_filter='SignedSetup.*' > install.out 2>&1 ||
  fail "installing the signed setup: $(cat install.out)"
grep -q '^\[  PASSED  \] 1 test' install.out && ! grep -q SKIPPED install.out ||
  fail "the install check did not run: $(cat install.out)"
echo "signing: all checks passed"
