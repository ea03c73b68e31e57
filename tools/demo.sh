#!/usr/bin/env bash
# make demo: packs the sample product Alpha into a setup program and runs it under Wine.
# On the user's display the setup program is theirs to click through; without a display it
# runs under Xvfb, where tests/setup/dialog_demo_driver.cpp plays the user for one
# Normal install and saves a picture of the dialog as BUILD_DIR/demo/setup-dialog.png (`make
# demo-picture` copies it over the tracked docs/setup-dialog.png), and one more of the same
# dialog at 144 DPI as BUILD_DIR/demo/setup-dialog-144dpi.png. Either way it ends by
# printing what was installed where.
# The demo has a Wine prefix of its own, BUILD_DIR/demo/wine, so that the installation it
# leaves behind (to look at afterwards) never meets the tests, which expect a clean drive.
# Usage: bash tools/demo.sh BUILD_DIR   (after `make build BUILD=BUILD_DIR`)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-build}" && pwd)
bin="$build/bin"

interactive=""
[ -n "${DISPLAY:-}" ] && [ -z "${USE_XVFB:-}" ] && interactive=1
mkdir -p "$build/demo"
source "$root/tools/wine-session.sh" "$build/demo"
echo "Wine prefix of the demo: $WINEPREFIX"

# Alpha records every start (command line and folder) here.
record="$build/demo/alpha-starts.txt"
rm -f "$record"
export ALPHA_RECORD
ALPHA_RECORD=$(winepath -w "$record" 2>/dev/null)

# Converts the driver's 24-bit bottom-up BMP into a PNG with Python's standard library.
bmp_to_png() {
  python3 - "$1" "$2" <<'PY'
import struct, sys, zlib
data = open(sys.argv[1], 'rb').read()
offset, = struct.unpack_from('<I', data, 10)
width, height, _, bits = struct.unpack_from('<iiHH', data, 18)
assert bits == 24, 'expected a 24-bit picture'
stride = (width * 3 + 3) & ~3
rows = []
for y in range(abs(height)):
    source = y if height < 0 else height - 1 - y
    row = data[offset + source * stride: offset + source * stride + width * 3]
    rgb = bytearray(row)
    rgb[0::3], rgb[2::3] = row[2::3], row[0::3]
    rows.append(b'\0' + bytes(rgb))
def chunk(kind, body):
    return (struct.pack('>I', len(body)) + kind + body +
            struct.pack('>I', zlib.crc32(kind + body) & 0xffffffff))
png = (b'\x89PNG\r\n\x1a\n' +
       chunk(b'IHDR', struct.pack('>IIBBBBB', width, abs(height), 8, 2, 0, 0, 0)) +
       chunk(b'IDAT', zlib.compress(b''.join(rows), 9)) + chunk(b'IEND', b''))
open(sys.argv[2], 'wb').write(png)
PY
}

# Runs a command with the screen at DPI $1: Wine reads the DPI from LogPixels when a program
# starts. The prefix's setting (absent in a new prefix) is put back afterwards.
with_screen_dpi() {
  local dpi=$1 key='HKCU\Control Panel\Desktop' old status=0
  shift
  old=$(wine reg query "$key" /v LogPixels 2>/dev/null | tr -d '\r' |
        awk '$1 == "LogPixels" { print $3 }' || true)
  wine reg add "$key" /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
  "$@" || status=$?
  if [ -n "$old" ]; then
    wine reg add "$key" /v LogPixels /t REG_DWORD /d "$((old))" /f >/dev/null 2>&1
  else
    wine reg delete "$key" /v LogPixels /f >/dev/null 2>&1
  fi
  return "$status"
}

cd "$bin"
echo "== Packing the sample product (samples/alpha.ini) =="
wine pack.exe sample/alpha.ini -o alpha-setup.exe
wine pack.exe --list alpha-setup.exe
echo

if [ -n "$interactive" ]; then
  echo "== Running alpha-setup.exe on $DISPLAY: install Alpha, then close the setup =="
  wine alpha-setup.exe || true
  # Alpha may still be starting after the setup program ended.
  sleep 2
  echo
  echo "== What was installed =="
  wine dialog_demo_driver.exe --report || true
else
  echo "== No display: driving one Normal install under Xvfb ($DISPLAY) =="
  picture="$build/demo/setup-dialog.bmp"
  rm -f "$picture"
  # Xvfb has no window manager to draw captions: let Wine draw its own for this run.
  x11_key='HKCU\Software\Wine\X11 Driver'
  wine reg add "$x11_key" /v Decorated /d N /f >/dev/null 2>&1 || true
  status=0
  wine dialog_demo_driver.exe --install alpha-setup.exe "$(winepath -w "$picture")" || status=$?
  if [ "$status" -eq 0 ]; then
    echo
    echo "== The same dialog at 144 DPI (150 %), as a high-DPI screen shows it =="
    picture_144="$build/demo/setup-dialog-144dpi.bmp"
    rm -f "$picture_144"
    with_screen_dpi 144 wine dialog_demo_driver.exe --picture alpha-setup.exe \
      "$(winepath -w "$picture_144")" || status=$?
  fi
  wine reg delete "$x11_key" /v Decorated /f >/dev/null 2>&1 || true
  [ "$status" -eq 0 ] || exit "$status"
  # The pictures stay in the build folder, so a demo never changes the tracked tree.
  if [ -f "$picture" ]; then
    bmp_to_png "$picture" "$build/demo/setup-dialog.png"
    echo "Saved the dialog's picture as $build/demo/setup-dialog.png"
    echo "('make demo-picture' copies it to docs/setup-dialog.png)"
  fi
  if [ -f "$picture_144" ]; then
    bmp_to_png "$picture_144" "$build/demo/setup-dialog-144dpi.png"
    echo "Saved its picture at 144 DPI as $build/demo/setup-dialog-144dpi.png"
  fi
fi
echo
echo "== Starts of Alpha =="
if [ -f "$record" ]; then cat "$record"; else echo "(none recorded)"; fi
