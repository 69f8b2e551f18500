#!/bin/sh
# Prepares (setup) and removes (cleanup) what the failure tests need on the
# Linux side of the test prefix:
#   T:                       a 4 MiB drive (tmpfs) that fills up mid-run
#   U:                       a 4.5 GiB drive that fills up past 4 GiB
#   C:\sestor-faults\full.txt    a device behind a plain name (/dev/full)
#   C:\sestor-faults\readonly.txt  a file that can't be opened for writing
#   \\sestor-server\pipes, mail, IPC, p, dati\pipe   shares whose names only
#                            look like a server's pipes (Wine's UNC folder)
# Where something can't be made, a note beside it says why, and the test
# that needs it reports itself skipped with that reason.
set -u
here=$(cd "$(dirname "$0")/.." && pwd)
prefix=${WINEPREFIX:-$here/build/wineprefix}
faults=$prefix/drive_c/sestor-faults
small=$prefix/sestor-small-drive
large=$prefix/sestor-large-drive

cleanup() {
  [ -f "$faults/readonly.txt" ] && chattr -i "$faults/readonly.txt" 2>/dev/null
  umount "$faults/readonly.txt" 2>/dev/null
  rm -f "$prefix/dosdevices/t:" "$prefix/dosdevices/u:"
  rm -rf "$prefix/dosdevices/unc/sestor-server"
  for d in "$small" "$large"; do
    mountpoint -q "$d" 2>/dev/null && umount "$d"
  done
  rm -rf "$faults" "$small" "$large"
}

# drive DIR SIZE LETTER NAME: a tmpfs of SIZE as drive LETTER, or a note.
drive() {
  mkdir -p "$1"
  if [ "$(id -u)" -ne 0 ]; then
    echo "mounting a drive needs root" >"$faults/no-$4-drive.txt"
  elif ! err=$(mount -t tmpfs -o "size=$2" "sestor-$4" "$1" 2>&1); then
    echo "mount failed: $err" >"$faults/no-$4-drive.txt"
  fi
  mountpoint -q "$1" && ln -sfn "$1" "$prefix/dosdevices/$3:"
}

setup() {
  cleanup
  mkdir -p "$faults"
  drive "$small" 4m t small
  drive "$large" 4600m u large

  ln -sfn /dev/full "$faults/full.txt"
  for share in pipes mail IPC p dati/pipe; do
    mkdir -p "$prefix/dosdevices/unc/sestor-server/$share"
  done

  printf 'read-only contents\r\n' >"$faults/readonly.txt"
  chmod 444 "$faults/readonly.txt"
  # root writes through mode bits; the immutable flag stops even root, and
  # where root can't set it (in a user namespace), a read-only bind mount.
  if [ "$(id -u)" -eq 0 ] && ! err=$(chattr +i "$faults/readonly.txt" 2>&1) &&
    ! mount --bind -o ro "$faults/readonly.txt" "$faults/readonly.txt" 2>/dev/null; then
    echo "chattr +i failed: $err" >"$faults/no-readonly.txt"
  fi
  return 0
}

case "${1:-}" in
  setup) setup ;;
  cleanup) cleanup ;;
  *) echo "usage: $0 setup|cleanup" >&2; exit 2 ;;
esac
