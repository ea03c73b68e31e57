#!/usr/bin/env bash
# Runs engine_full_disk_tests.exe with a small drive that fills up: a 2 MB tmpfs mounted
# for the run and mapped as a drive letter of the build's Wine prefix. The test program
# finds the drive in FULL_DISK_DRIVE. Mounting needs root; without it the test is
# skipped (exit code 77) with a message saying why.
# Usage: full_disk_drive.sh WINE_RUN WINE_PREFIX TEST_EXE
set -uo pipefail
wine_run=$1
prefix=$2
test_exe=$3

skip() { echo "SKIPPED: $*"; exit 77; }

mount_point=$(mktemp -d)
drive_link=""
cleanup() {
  [ -n "$drive_link" ] && rm -f "$drive_link"
  mountpoint -q "$mount_point" && umount "$mount_point"
  rmdir "$mount_point"
}
trap cleanup EXIT

if ! mount -t tmpfs -o size=2m,mode=0777 full-disk "$mount_point" 2>/tmp/full-disk-mount.$$; then
  reason=$(cat /tmp/full-disk-mount.$$); rm -f /tmp/full-disk-mount.$$
  skip "cannot mount a 2 MB tmpfs for the full-disk tests (needs root): $reason"
fi
rm -f /tmp/full-disk-mount.$$

# The first drive letter from the end of the alphabet that the prefix does not use yet.
mkdir -p "$prefix/dosdevices"
for letter in y x w v u t s r q p o n; do
  if [ ! -e "$prefix/dosdevices/$letter:" ] && [ ! -L "$prefix/dosdevices/$letter:" ]; then
    drive_link="$prefix/dosdevices/$letter:"
    ln -s "$mount_point" "$drive_link"
    export FULL_DISK_DRIVE="${letter^^}:"
    break
  fi
done
[ -n "$drive_link" ] || skip "no free drive letter in $prefix/dosdevices"

echo "Full-disk drive $FULL_DISK_DRIVE is a $(df -h --output=size "$mount_point" | tail -1 | tr -d ' ') tmpfs at $mount_point"
"$wine_run" "$test_exe"
status=$?
exit $status
