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

# websockify on the first free port from 6080, on a socket bound before it
# starts (--inetd): a port found free and bound later could be taken in
# between by another copy of this script.
start_web() {
  background python3 -c 'import os, socket, sys
first, vnc = int(sys.argv[1]), sys.argv[2]
for port in range(first, first + 100):
    s = socket.socket()
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    try:
        s.bind(("127.0.0.1", port))
        break
    except OSError:
        s.close()
else:
    sys.exit("no free port from %d on" % first)
s.listen(16)
print(port, flush=True)
os.dup2(s.fileno(), 0)
os.execvp("websockify", ["websockify", "--inetd", "--web", "/usr/share/novnc",
                         "127.0.0.1:" + vnc])' "$first_web_port" "$vnc_port" \
    >"$scratch/web-port" 2>"$scratch/websockify.log"
  # The port is printed once the socket listens: connections wait for
  # websockify from then on.
  for _ in $(seq 100); do
    web_port=$(head -n 1 "$scratch/web-port")
    [ -n "$web_port" ] && return 0
    kill -0 "${started%% *}" 2>/dev/null || break
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
