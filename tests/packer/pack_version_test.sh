#!/usr/bin/env bash
# The version information of a branded setup as readers other than Windows see it:
# exiftool (which takes the first section named ".rsrc") and Python's pefile both read the
# product's strings and the setup's file name (OriginalFilename, and InternalName without
# ".exe"), and the live resource tree is the one and only ".rsrc" section, which still
# starts on a page of the file. Native pack only.
set -euo pipefail
bin=$1
source "$(dirname "${BASH_SOURCE[0]}")/shell_test.sh"
cd "$work"

# pefile is a Debian package: the system's Python has it where another on the PATH may not.
python=python3
/usr/bin/python3 -c 'import pefile' 2>/dev/null && python=/usr/bin/python3
"$python" -c 'import pefile' || fail "Python's pefile is missing (Debian package python3-pefile)"
command -v exiftool > /dev/null || fail "exiftool is missing (Debian package libimage-exiftool-perl)"

cp -r "$bin/sample" product
cp "$bin/test-icon.ico" product/brand.ico
sed -i 's/^\[product\]$/[product]\nicon = brand.ico\ncompany = KOZ Soft\ncopyright = © 2024 KOZ Soft\nfile_version = 2.5.7.42/' \
  product/alpha.ini
"$bin/pack" product/alpha.ini -o "Alpha Setup.exe" > /dev/null || fail "the branded sample was refused"

expected='ProductName=Alpha
FileDescription=Alpha Setup
CompanyName=KOZ Soft
LegalCopyright=© 2024 KOZ Soft
FileVersion=2.5.7.42
OriginalFilename=Alpha Setup.exe
InternalName=Alpha Setup'

exiftool -s -s -ProductName -FileDescription -CompanyName -LegalCopyright -FileVersion \
  -OriginalFileName -InternalName "Alpha Setup.exe" |
  sed 's/^\([A-Za-z]*\): /\1=/; s/^Copyright=/LegalCopyright=/; s/^OriginalFileName=/OriginalFilename=/' \
  > exiftool.txt
diff <(sort exiftool.txt) <(echo "$expected" | sort) || fail "exiftool reads: $(cat exiftool.txt)"

"$python" - "Alpha Setup.exe" > pefile.txt <<'PY' || fail "pefile: $(cat pefile.txt)"
import pefile, sys
pe = pefile.PE(sys.argv[1])
names = [s.Name for s in pe.sections]
assert names.count(b".rsrc\0\0\0") == 1, names
live = pe.OPTIONAL_HEADER.DATA_DIRECTORY[2].VirtualAddress
rsrc = next(s for s in pe.sections if s.Name == b".rsrc\0\0\0")
assert rsrc.VirtualAddress == live, "the resource directory is not in .rsrc"
assert rsrc.PointerToRawData % 4096 == 0, "the resources do not start on a page"
strings = {}
for info in pe.FileInfo[0]:
    for table in getattr(info, "StringTable", []):
        strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
for key in ("ProductName", "FileDescription", "CompanyName", "LegalCopyright", "FileVersion",
            "OriginalFilename", "InternalName"):
    print(f"{key}={strings.get(key)}")
PY
diff <(sort pefile.txt) <(echo "$expected" | sort) || fail "pefile reads: $(cat pefile.txt)"

echo "version information for other readers: all checks passed"
