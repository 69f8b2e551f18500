#!/bin/sh
# Makes sure this machine can run Wine's 32-bit loader. Most x86-64 kernels
# run 32-bit programs themselves; some virtual machines have that turned off
# (execve of an i386 program fails with "Exec format error"). There the
# loader runs through qemu's user-mode emulation, registered with the
# kernel's binfmt_misc, so every 32-bit program (Wine's, the tests') starts
# as usual. qemu 7 (Debian 12's own) takes about 50 s to start a Wine
# program; the one in the release's backports suite, under a second.
# Runs as root or through sudo; a second run changes nothing.
set -eu

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# True when a 32-bit program runs, natively or through a registered emulator.
i386_runs() { /usr/lib/wine/wine --version >/dev/null 2>&1; }

i386_runs && exit 0
echo "This kernel runs no 32-bit programs: Wine's loader goes through qemu"

# The release's mirror, from the source lists in either format: deb822
# ("URIs: ..." in sources.list.d/*.sources, as new installs have it) or one
# line a source ("deb [options] URI suite ..." in sources.list, as a machine
# installed from the ISO has it). The security archive is another one.
# APT_CONFIG_DIR names another folder than /etc/apt, to try it on samples.
debian_mirror() {
  apt=${APT_CONFIG_DIR:-/etc/apt}
  {
    sed -n 's/^URIs:[[:space:]]*\([^[:space:]]*\).*/\1/p' \
      "$apt"/sources.list.d/*.sources 2>/dev/null
    sed -n 's/^deb[[:space:]]\{1,\}\(\[[^]]*\][[:space:]]*\)\{0,1\}\([^[:space:]]*\).*/\2/p' \
      "$apt"/sources.list "$apt"/sources.list.d/*.list 2>/dev/null
  } | grep -v security | head -n 1
}

qemu=/usr/bin/qemu-i386
qemu_major() { "$qemu" --version 2>/dev/null | sed -n 's/.*version \([0-9]*\).*/\1/p'; }

if [ "$(qemu_major)" = "" ] || [ "$(qemu_major)" -lt 8 ]; then
  codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
  list=/etc/apt/sources.list.d/sestor-backports.sources
  if [ ! -f "$list" ]; then
    # The same mirror as the release itself, its backports suite.
    mirror=$(debian_mirror)
    [ -n "$mirror" ] || { echo "no Debian mirror configured" >&2; exit 1; }
    printf 'Types: deb\nURIs: %s\nSuites: %s-backports\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
      "$mirror" "$codename" | as_root tee "$list" >/dev/null
  fi
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
    --no-install-recommends -t "$codename-backports" qemu-user >/dev/null
fi

binfmt=/proc/sys/fs/binfmt_misc
[ -e "$binfmt/register" ] || as_root mount -t binfmt_misc binfmt_misc "$binfmt"
# A stale entry (an older qemu, since replaced) goes first.
[ -e "$binfmt/sestor-i386" ] && echo -1 | as_root tee "$binfmt/sestor-i386" >/dev/null
# 32-bit x86 ELF executables and shared objects; F: the emulator is opened
# now, so it is found whatever the program's root.
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
printf '%s\n' ":sestor-i386:M::$magic:$mask:$qemu:F" | as_root tee "$binfmt/register" >/dev/null

i386_runs || { echo "32-bit programs still do not run" >&2; exit 1; }
