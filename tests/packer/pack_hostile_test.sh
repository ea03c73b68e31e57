#!/usr/bin/env bash
# Hostile inputs to the native pack, as someone who hands a publisher a file would craft
# them: a damaged stub or uninstaller is refused by name before anything is laid out; an
# icon whose entries share one image is refused; --list on a setup whose resource names
# would take gigabytes stops quickly. Each run gets a memory ceiling and a time limit, so a
# regression fails here instead of taking the machine. Nothing is written on a refusal.
set -euo pipefail
bin=$1
source "$(dirname "${BASH_SOURCE[0]}")/shell_test.sh"
cd "$work"

# Runs pack within 1 GiB of address space and 20 seconds, expecting exit code 1 and
# `message` on standard error, and no file but those already in the current folder.
refused() {
  local message=$1; shift
  local before code=0
  before=$(ls)
  (ulimit -v 1048576 && timeout 20 "$bin/pack" "$@") > logs/out.txt 2> logs/err.txt || code=$?
  [ "$code" -eq 1 ] || fail "exit code $code for: $message ($(cat logs/err.txt))"
  grep -qF -- "$message" logs/err.txt || fail "expected \"$message\", got: $(cat logs/err.txt)"
  [ "$before" = "$(ls)" ] || fail "files were written for: $message"
}

mkdir logs
cp -r "$bin/sample" product

# Stubs cut to their first 1,219 bytes (the headers and some code): once as they are, once
# with the first section moved to the end of the 32-bit address space.
python3 - "$bin/setup-stub.exe" <<'PY'
import struct, sys
stub = bytearray(open(sys.argv[1], "rb").read()[:1219])
open("cut-stub.exe", "wb").write(stub)
pe = struct.unpack_from("<I", stub, 0x3C)[0]
table = pe + 24 + struct.unpack_from("<H", stub, pe + 20)[0]
struct.pack_into("<II", stub, table + 8, 0x10000, 0xFFFFF000)
open("far-stub.exe", "wb").write(stub)
PY
# The first section's data, as the stub's own headers give it.
first_section_end=$(python3 - "$bin/setup-stub.exe" <<'PY'
import struct, sys
stub = open(sys.argv[1], "rb").read()
pe = struct.unpack_from("<I", stub, 0x3C)[0]
table = pe + 24 + struct.unpack_from("<H", stub, pe + 20)[0]
raw_size, raw_pointer = struct.unpack_from("<II", stub, table + 16)
print(raw_pointer, "to", raw_pointer + raw_size)
PY
)
refused "the setup stub \"cut-stub.exe\" is damaged: section 1 has its data at bytes $first_section_end, past the end of the file (1219 bytes)" \
  product/alpha.ini --stub cut-stub.exe -o setup.exe
refused 'the setup stub "far-stub.exe" is damaged: section 1 ends past 4 GiB in memory' \
  product/alpha.ini --stub far-stub.exe -o setup.exe
head -c 1219 "$bin/uninstall.exe" > cut-uninstall.exe
refused 'the uninstaller "cut-uninstall.exe" is damaged: section 1 has its data at bytes' \
  product/alpha.ini --uninstaller cut-uninstall.exe -o setup.exe

# An icon of 60 entries that all point at one image.
python3 - "$bin/test-icon.ico" <<'PY'
import struct, sys
icon = open(sys.argv[1], "rb").read()
entry = bytearray(icon[6:22])
size = struct.unpack_from("<I", entry, 8)[0]
image = icon[struct.unpack_from("<I", entry, 12)[0]:][:size]
struct.pack_into("<I", entry, 12, 6 + 16 * 60)
open("product/shared.ico", "wb").write(struct.pack("<HHH", 0, 1, 60) + bytes(entry) * 60 + image)
PY
sed -i 's/^\[product\]$/[product]\nicon = shared.ico/' product/alpha.ini
refused 'product/alpha.ini:6: icon "shared.ico" is not a well-formed icon: image 2 overlaps image 1' \
  product/alpha.ini -o setup.exe
sed -i '/^icon = shared.ico$/d' product/alpha.ini

# A setup whose resource tree has three levels of 46 named entries (types, names, languages,
# 99,498 entries in all, under the bound on entries) that share one name of 65,535
# characters: walked as it claims, it would read 13 GB of names.
"$bin/pack" product/alpha.ini -o setup.exe > /dev/null || fail "the sample was refused"
python3 - setup.exe <<'PY'
import struct, sys
setup = bytearray(open(sys.argv[1], "rb").read())
pe = struct.unpack_from("<I", setup, 0x3C)[0]
table = pe + 24 + struct.unpack_from("<H", setup, pe + 20)[0]
count = struct.unpack_from("<H", setup, pe + 6)[0]
rva = struct.unpack_from("<I", setup, pe + 24 + 96 + 16)[0]
for k in range(count):
    size, address, raw_size, raw = struct.unpack_from("<IIII", setup, table + 40 * k + 8)
    if address == rva:
        root = raw
entries = 46
directory = 16 + 8 * entries
leaf = 3 * directory
name = leaf + 16
setup.extend(b"\0" * max(0, root + name + 2 + 2 * 65535 - len(setup)))
for level in range(3):
    at = root + level * directory
    struct.pack_into("<HH", setup, at + 12, entries, 0)
    target = leaf if level == 2 else 0x80000000 | (level + 1) * directory
    for k in range(entries):
        struct.pack_into("<II", setup, at + 16 + 8 * k, 0x80000000 | name, target)
struct.pack_into("<H", setup, root + name, 65535)
setup[root + name + 2:root + name + 2 + 2 * 65535] = b"A\0" * 65535
open("names.exe", "wb").write(setup)
PY
refused 'names.exe: the program'"'"'s resources are damaged or cut short' --list names.exe

echo "hostile inputs: all checks passed"
