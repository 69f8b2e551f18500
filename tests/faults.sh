#!/bin/sh
# Prepares (setup) and removes (cleanup) what the failure tests need on the
# Linux side of the test prefix:
#   T:                       a 4 MiB drive (tmpfs) that fills up mid-run
#   C:\sestor-faults\full.txt    a file whose every write fails (/dev/full)
#   C:\sestor-faults\readonly.txt  a file that can't be opened for writing
# Where something can't be made, a note beside it says why, and the test
# that needs it reports itself skipped with that reason.
set -u
here=$(cd "$(dirname "$0")/.." && pwd)
prefix=${WINEPREFIX:-$here/build/wineprefix}
faults=$prefix/drive_c/sestor-faults
small=$prefix/sestor-small-drive

cleanup() {
  [ -f "$faults/readonly.txt" ] && chattr -i "$faults/readonly.txt" 2>/dev/null
  rm -f "$prefix/dosdevices/t:"
  mountpoint -q "$small" 2>/dev/null && umount "$small"
  rm -rf "$faults" "$small"
}

setup() {
  cleanup
  mkdir -p "$faults" "$small"
  if [ "$(id -u)" -ne 0 ]; then
    echo "mounting a small drive needs root" >"$faults/no-small-drive.txt"
  elif ! err=$(mount -t tmpfs -o size=4m sestor-small "$small" 2>&1); then
    echo "mount failed: $err" >"$faults/no-small-drive.txt"
  fi
  mountpoint -q "$small" && ln -sfn "$small" "$prefix/dosdevices/t:"

  ln -sfn /dev/full "$faults/full.txt"

  printf 'read-only contents\r\n' >"$faults/readonly.txt"
  chmod 444 "$faults/readonly.txt"
  # root writes through mode bits; the immutable flag stops even root.
  if [ "$(id -u)" -eq 0 ] && ! err=$(chattr +i "$faults/readonly.txt" 2>&1); then
    echo "chattr +i failed: $err" >"$faults/no-readonly.txt"
  fi
  return 0
}

case "${1:-}" in
  setup) setup ;;
  cleanup) cleanup ;;
  *) echo "usage: $0 setup|cleanup" >&2; exit 2 ;;
esac
