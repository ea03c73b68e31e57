#!/usr/bin/env bash
# Where this machine runs no 32-bit code: the shipped 32-bit programs once under emulation.
# The sample is packed by the 32-bit pack.exe, installed through its dialog on the 64-bit
# Windows of the build's prefix, listed and removed by Wine's own list of installed
# programs, and checked (uninstaller_round_trip_tests.exe, itself a 32-bit program).
#
# qemu-user runs the 32-bit programs: registered for i386 programs in a user and mount
# namespace of this script's own, with its own binfmt_misc (Linux 6.7 or later), so the
# machine's registration is never touched; a small preload library (emulation/noreplace.c)
# makes qemu honour MAP_FIXED_NOREPLACE, which Wine relies on. A machine that cannot set
# this up skips the round trip, saying why; a round trip that runs must pass.
# Usage: bash tools/emulated-round-trip.sh BUILD
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
skip() { echo "emulated round trip of the 32-bit programs: skipped: $*"; exit 0; }

if [ "${1:-}" != "--inside" ]; then
  build=$(cd "${1:-build}" && pwd)
  [ -x /usr/bin/qemu-i386-static ] || skip "qemu-user-static is not installed"
  # The library is preloaded by its platform's folder: the 32-bit one for the programs that
  # qemu runs, and an empty one for the 64-bit programs, which take the same environment.
  lib=$build/emulation/lib
  mkdir -p "$lib/i386" "$lib/x86_64"
  gcc -m32 -shared -fPIC -O2 -o "$lib/i386/noreplace.so" "$here/emulation/noreplace.c" \
    -ldl 2> "$build/emulation/compile.log" ||
    skip "no 32-bit C compiler for the preload library (gcc-multilib): $(head -n 3 "$build/emulation/compile.log")"
  ln -sfn i386 "$lib/i686"
  gcc -shared -o "$lib/x86_64/noreplace.so" -x c /dev/null
  exec unshare --user --map-root-user --mount bash "$0" --inside "$build"
fi

build=$2
binfmt=/proc/sys/fs/binfmt_misc
mount -t binfmt_misc binfmt_misc "$binfmt" 2> /dev/null ||
  skip "this kernel gives a user namespace no binfmt_misc of its own (Linux 6.7 or later does)"
# i386 ELF executables and shared objects, as qemu's own binfmt configuration matches them;
# F opens qemu now, so it is found whatever the namespace later sees.
echo ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
  > "$binfmt/register"
/lib/ld-linux.so.2 --version > /dev/null 2>&1 || skip "qemu does not start i386 programs here"
export LD_PRELOAD="$build/emulation/lib/\$PLATFORM/noreplace.so"

# A prefix of its own, made under emulation as it would be on such a machine.
start=$(date +%s)
source "$here/wine-session.sh" "$build/emulation"
wine cmd /c exit > /dev/null 2>&1 ||
  skip "32-bit Wine does not start under emulation"
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f > /dev/null 2>&1 || true
echo "emulated round trip of the 32-bit programs: prefix ready after $(( $(date +%s) - start )) s"
cd "$build/bin"
wine uninstaller_round_trip_tests.exe \
  --gtest_filter='UninstallerRoundTrip.PackedSampleGoesWhereWindowsPutsItsKindAndWinesListRemovesIt'
echo "emulated round trip of the 32-bit programs: passed in $(( $(date +%s) - start )) s"
