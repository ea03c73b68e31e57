#!/usr/bin/env bash
# Signing a setup on Linux the way packer/README.md shows: a throw-away certificate from
# openssl, osslsigncode behind --sign. The setup and the uninstaller inside its package
# verify; the signed setup still lists its package; SHA-1, SHA-256 and a nested signature
# pass the packer's digest check; signed with a fixed signing time it is the same bytes
# twice; a failing command, one that leaves the file unsigned, one that leaves a signature
# whose digests do not match the file, or an entry that only looks like a signature, writes
# nothing; and under Wine the setup installs the signed uninstaller byte for byte
# (packer_tests.exe, SignedSetup).
set -euo pipefail
wine_run=$1
bin=$2
source "$(dirname "${BASH_SOURCE[0]}")/shell_test.sh"
cd "$work"

windows_path() { local path=${1//\//\\}; echo "Z:$path"; }

openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 \
  -subj "/CN=Pack Test Publisher" 2>/dev/null
# sign.sh FILE [HASH]: signs FILE in place, with SHA-256 unless HASH says otherwise.
cat > sign.sh <<EOF2
osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" -n "Signed" -h "\${2:-sha256}" -in "\$1" -out "\$1.signed" && mv "\$1.signed" "\$1"
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

# A SHA-1 signature, and a SHA-1 one with a SHA-256 signature nested in it, pass the check
# as the SHA-256 one did, and verify.
cat > dual.sh <<EOF2
sh "$work/sign.sh" "\$1" sha1 &&
osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" -nest -h sha256 -in "\$1" -out "\$1.signed" && mv "\$1.signed" "\$1"
EOF2
for signing in "sign.sh {file} sha1" "dual.sh {file}"; do
  "$bin/pack" product/app.ini -o other.exe --sign "sh $work/$signing" > other.out 2> other.err ||
    fail "signing with $signing failed: $(cat other.err)"
  osslsigncode verify -CAfile cert.pem -in other.exe > verify.out 2>&1 ||
    fail "the setup signed with $signing does not verify: $(cat verify.out)"
  rm other.exe
done
grep -q 'Number of verified signatures: 2' verify.out || fail "no nested signature: $(cat verify.out)"

# A signature whose digests do not match: osslsigncode signs, then one byte changes in the
# file digest (after SHA-256's identifier, NULL parameters and the digest's tag and length)
# or in the signer's messageDigest (after its identifier and the value's SET and tag). The
# packer refuses both and writes nothing; osslsigncode fails such a file too.
cat > tamper.py <<'PY'
import sys
path, marker = sys.argv[1], bytes.fromhex(sys.argv[2])
data = bytearray(open(path, "rb").read())
at = data.rindex(marker) + len(marker)
data[at] ^= 0x01
open(path, "wb").write(data)
PY
file_digest=60864801650304020105000420
message_digest=2a864886f70d01090431220420
cp "$bin/uninstall.exe" changed.exe
sh sign.sh changed.exe && python3 tamper.py changed.exe "$file_digest"
osslsigncode verify -CAfile cert.pem -in changed.exe > verify.out 2>&1 &&
  fail "osslsigncode verifies a changed file digest"
no_match='^after the sign command the uninstaller does not match its signature: '
for change in "$file_digest:its SHA-256 Authenticode digest is [0-9a-f]{64}, but the signature names [0-9a-f]{64}$" \
              "$message_digest:the signer's messageDigest in the signature is [0-9a-f]{64}, but the SHA-256 digest of its signed content is [0-9a-f]{64}$"; do
  marker=${change%%:*}
  code=0
  "$bin/pack" product/app.ini -o tampered.exe --sign \
    "sh $work/sign.sh {file} && python3 $work/tamper.py {file} $marker" > tampered.out 2> tampered.err ||
    code=$?
  [ "$code" -eq 1 ] || fail "a changed digest ($marker) exited with $code"
  grep -qE "$no_match${change#*:}" tampered.err || fail "$(cat tampered.err)"
  [ -z "$(ls tampered.exe* 2>/dev/null)" ] || fail "a changed digest left files: $(ls tampered.exe*)"
done

# An entry that only looks like a signature (a SEQUENCE of zeros, the test signer's bogus
# mode) is refused, where the shape of the certificate table alone let it pass.
code=0
"$bin/pack" product/app.ini -o bogus.exe --sign "$bin/fake_signer bogus {file}" \
  > bogus.out 2> bogus.err || code=$?
[ "$code" -eq 1 ] || fail "a bogus signature exited with $code"
grep -qx "after the sign command the uninstaller's signature cannot be read: the signature's content type at byte 2 has tag 0x00 where tag 0x06 belongs" \
  bogus.err || fail "$(cat bogus.err)"
[ -z "$(ls bogus.exe* 2>/dev/null)" ] || fail "a bogus signature left files: $(ls bogus.exe*)"

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
