#!/bin/sh
# Installs the Debian packages that building and testing need, when missing.
# Debian 12; runs as root or through sudo. A second run changes nothing.
set -eu

# The last line: the browser view of `make run` on a machine without a
# display (a VNC server, noVNC and websockify), and what its test uses.
packages="cmake make g++ g++-mingw-w64-i686 wine wine32:i386 xvfb fonts-wine
googletest e2fsprogs xdotool x11-apps imagemagick python3 procps
x11vnc novnc websockify python3-websocket python3-cryptography"

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q "install ok installed" ||
    missing="$missing $p"
done
if [ -n "$missing" ]; then
  echo "Installing:$missing"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root dpkg --add-architecture i386
  fi
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -qq --no-install-recommends $missing >/dev/null
fi
"$(dirname "$0")/i386-support.sh"
