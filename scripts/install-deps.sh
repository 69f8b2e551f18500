#!/bin/sh
# Installs the Debian packages that building and testing need, when missing.
# Debian 12; runs as root or through sudo. A second run changes nothing.
#
# A mirror caught in the middle of a sync serves package lists that don't
# match its own index ("File has unexpected size ... Mirror sync in
# progress?"). The update is tried again a few times; if the lists still
# can't all be read, the install goes on from what apt has, and if that
# can't work either, it stops saying so in plain words, with the machine as
# it found it. The machine's apt configuration is never changed for it.
set -eu

# The fourth line: signing a release (osslsigncode, below, reaches a
# PKCS#11 token through OpenSSL's pkcs11 engine; the certificates are read
# with python3-cryptography; SoftHSM2 is the token its test uses). The
# last: the browser view of `make run` on a machine without a display (a
# VNC server, noVNC and websockify), and what its test uses.
packages="cmake make g++ g++-mingw-w64-i686 wine wine32:i386 xvfb fonts-wine
googletest e2fsprogs xdotool x11-apps imagemagick python3 python3-fonttools procps
openssl libengine-pkcs11-openssl python3-cryptography softhsm2
x11vnc novnc websockify python3-websocket"

# One osslsigncode for every machine, Debian 12's own: another version
# (backports' 2.9) encodes a signature otherwise, and the same key and
# sources would give another zip. It replaces whatever version is there.
osslsigncode_version=2.5
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")

# Tries of `apt-get update`, and the pause between two of them (seconds).
update_tries=${SESTOR_APT_TRIES:-3}
update_pause=${SESTOR_APT_PAUSE:-20}

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

apt_install() {
  as_root env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -qq --no-install-recommends --allow-downgrades "$@" >/dev/null
}

# True when every package list was read. What apt said of the last try is
# kept for the message.
update_lists() {
  try=1
  until as_root apt-get update -qq >"$update_log" 2>&1; do
    [ "$try" -lt "$update_tries" ] || return 1
    echo "apt-get update failed (try $try of $update_tries); again in ${update_pause} s"
    try=$((try + 1))
    sleep "$update_pause"
  done
}

# A security list missing leaves the i386 libraries without the versions of
# their amd64 twins; the release's own lists still have a matching pair.
install_from_what_apt_has() {
  apt_install $missing && return 0
  [ -n "$codename" ] || return 1
  echo "Trying again with the versions of the release's own lists ($codename)"
  apt_install -t "$codename" $missing
}

explain_failure() {
  cat >&2 <<EOF

The packages that building and testing need could not be installed.

Debian's package mirror is out of step: some of its package lists do not
match its own index, which happens while the mirror is being updated and
usually lasts from a few minutes to a few hours. What apt said:
EOF
  grep -E '^(E|W):' "$update_log" | sed 's/^/    /' >&2 || true
  cat >&2 <<EOF

Nothing on this machine was changed: no package was installed or removed,
and apt's configuration is as it was. Wait a while, then run \`make test\`
again.
EOF
}

missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q "install ok installed" ||
    missing="$missing $p"
done
case $(dpkg-query -W -f='${Status} ${Version}\n' osslsigncode 2>/dev/null) in
  "install ok installed $osslsigncode_version"-*) ;;
  *) missing="$missing osslsigncode/$codename" ;;
esac
if [ -n "$missing" ]; then
  echo "Installing:$missing"
  added_i386=""
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root dpkg --add-architecture i386
    added_i386=yes
  fi
  update_log=$(mktemp)
  trap 'rm -f "$update_log"' EXIT
  if update_lists; then
    apt_install $missing
  else
    echo "Some package lists could not be read; installing from what apt has"
    if ! install_from_what_apt_has; then
      # Put back the one thing this run changed (apt refuses while any
      # i386 package is installed, and then it stays, as it should).
      [ -n "$added_i386" ] && { as_root dpkg --remove-architecture i386 2>/dev/null || true; }
      explain_failure
      exit 1
    fi
  fi
fi
"$(dirname "$0")/i386-support.sh"
