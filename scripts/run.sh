#!/bin/sh
# make run: Sestor.exe under Wine, on the current display or, with none, in
# a web browser: a virtual display just the dialog's size, a VNC server on
# it and noVNC served by websockify, all on 127.0.0.1 only. The VNC
# password is new at every start and travels only in the printed address
# (a file read and removed by the VNC server, never a command line, which
# any user of the machine can read).
#
# When Sestor ends, everything started here stops, and so it does on Ctrl-C
# or a closed terminal. Status 1 is Sestor's only normal end (Uscita), so it
# counts as success; any other is a failure.
#   scripts/run.sh [EXE]        (make run builds first)
set -u
here=$(cd "$(dirname "$0")/.." && pwd)
exe=${1:-$here/build/windows/Sestor.exe}
: "${WINEPREFIX:=$here/build/wineprefix}"
export WINEPREFIX WINEDEBUG=-all LC_ALL=C.UTF-8
. "$here/scripts/virtual-display.sh"

# The dialog, with the frame Wine draws without a window manager.
screen=704x345
first_web_port=6080

# True when nothing listens on 127.0.0.1:PORT.
port_free() {
  python3 -c 'import socket, sys
socket.socket().bind(("127.0.0.1", int(sys.argv[1])))' "$1" 2>/dev/null
}

# True once something accepts connections on 127.0.0.1:PORT.
port_open() {
  python3 -c 'import socket, sys
socket.create_connection(("127.0.0.1", int(sys.argv[1])), 1).close()' "$1" \
    2>/dev/null
}

start_vnc() {
  # VNC passwords count 8 characters at most.
  password=$(tr -dc 'A-Za-z0-9' </dev/urandom | head -c 8)
  (umask 077 && printf '%s\n' "$password" >"$scratch/vnc-password")
  background x11vnc -display "$DISPLAY" -localhost -noipv6 -autoport 5900 \
    -passwdfile "rm:$scratch/vnc-password" -forever -shared -quiet \
    >"$scratch/x11vnc.out" 2>"$scratch/x11vnc.log"
  for _ in $(seq 100); do
    vnc_port=$(sed -n 's/^PORT=//p' "$scratch/x11vnc.out")
    [ -n "$vnc_port" ] && return 0
    sleep 0.1
  done
  echo "the VNC server did not start:" >&2
  cat "$scratch/x11vnc.log" >&2
  return 1
}

start_web() {
  web_port=$first_web_port
  while ! port_free "$web_port"; do
    web_port=$((web_port + 1))
    [ "$web_port" -lt $((first_web_port + 100)) ] ||
      { echo "no free port from $first_web_port on" >&2; return 1; }
  done
  background websockify --web /usr/share/novnc "127.0.0.1:$web_port" \
    "127.0.0.1:$vnc_port" >"$scratch/websockify.log" 2>&1
  for _ in $(seq 100); do
    port_open "$web_port" && return 0
    sleep 0.1
  done
  echo "websockify did not start:" >&2
  cat "$scratch/websockify.log" >&2
  return 1
}

# The folder of the default path, so that the first Esegui works; the
# program itself never creates folders.
mkdir -p "$WINEPREFIX/drive_c/PROVA"

if [ -z "${DISPLAY:-}" ]; then
  start_xvfb "$screen" && start_vnc && start_web || exit 1
  echo "No DISPLAY: Sestor runs on a virtual display ($DISPLAY), shown in a browser at"
  echo "  http://127.0.0.1:$web_port/vnc.html#autoconnect=1&password=$password"
  echo "(from another machine: ssh -L $web_port:127.0.0.1:$web_port THIS-MACHINE,"
  echo " then the same address there). Uscita ends it; so does Ctrl-C here."
fi

run_and_wait wine "$exe"
case $status in
  1) exit 0 ;;
  *) echo "Sestor.exe ended with status $status (a normal end is 1)" >&2
     exit 1 ;;
esac
