#!/bin/sh
# `make run` as a developer meets it on a machine without a display: the
# printed page is noVNC, its web socket leads to a VNC server that wants the
# password from the address, a click on "Uscita" there ends it with success,
# and nothing it started runs on. Then Ctrl-C, and a closed terminal on the
# wrappers that start a display, stop everything as well.
#
# Each run gets a session of its own, as a terminal gives it: Ctrl-C and a
# closed terminal signal its whole process group, and what is left in the
# session afterwards is what it failed to stop. The Wine server leaves the
# session, so it is looked for by its folder.
set -u
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
: "${WINEPREFIX:=$here/build/wineprefix}"
export WINEPREFIX
failures=0
log=$(mktemp)
trap 'rm -f "$log"' EXIT

# Returns false, so that a step that failed stops the steps after it.
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
  return 1
}
own_session=$(ps -o sid= -p $$ | tr -d ' ')

# start COMMAND...: in a session of its own, without a display, and with
# the signals a terminal's command gets (a background job ignores Ctrl-C,
# and a shell can't trap what it was started ignoring).
# The log is emptied here, not by the started command's own redirection,
# which happens later in the child: until then the last run's log, with its
# address and display, would still be read.
start() {
  : >"$log"
  env -u DISPLAY --default-signal setsid "$@" >>"$log" 2>&1 &
  run=$!
  # The session it made, read once it is its own: what is left in it at
  # the end is what the run failed to stop.
  session=""
  for _ in $(seq 100); do
    s=$(ps -o sid= -p "$run" | tr -d ' ')
    if [ -n "$s" ] && [ "$s" != "$own_session" ]; then
      session=$s
      return 0
    fi
    sleep 0.05
  done
  fail "the run made no session of its own"
}

# until_seen PATTERN: waits for the run to print it.
until_seen() {
  for _ in $(seq 300); do
    grep -q "$1" "$log" && return 0
    sleep 0.1
  done
  fail "never printed '$1':"; cat "$log" >&2
  return 1
}

# The display the run printed, and its dialog there.
dialog_shown() {
  display=$(sed -n 's/.*(Xvfb) on \(:[0-9]*\).*/\1/p; s/.*virtual display (\(:[0-9]*\)).*/\1/p' "$log")
  DISPLAY=$display timeout 30 xdotool search --sync --name \
    "Sestor - Generazione combinazioni" >/dev/null ||
    fail "no dialog on display '$display'"
}

# ends_with STATUS: waits for the run to end with that exit status.
ends_with() {
  for _ in $(seq 200); do
    kill -0 "$run" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$run" 2>/dev/null; then
    fail "still running 20 s on"
    kill -s KILL -- "-$run"
  fi
  wait "$run"
  status=$?
  [ "$status" -eq "$1" ] || { fail "status $status, not $1:"; cat "$log" >&2; }
}

# What is left in the run's session, and the prefix's Wine server.
leftovers() {
  [ -n "$session" ] || echo "whatever the run started (its session is unknown)"
  ps -e -o sid=,stat=,pid=,args= | awk -v s="$session" '$1 == s && $2 !~ /^Z/'
  server=$(printf '/tmp/.wine-%s/server-%x-%x' "$(id -u)" \
    $(stat -c '%d %i' "$WINEPREFIX"))
  for pid in $(ps -e -o pid=,comm= | awk '$2 ~ /^wineserver/ { print $1 }'); do
    [ "$(readlink "/proc/$pid/cwd")" = "$server" ] &&
      echo "the prefix's Wine server, $pid"
  done
}

# Killed processes take a moment to be gone; one still there after 10 s was
# never stopped.
nothing_left() {
  for _ in $(seq 100); do
    left=$(leftovers)
    [ -z "$left" ] && return 0
    sleep 0.1
  done
  fail "left running: $left"
}

echo "make run without a display, ended by Uscita in the browser view"
start scripts/run.sh
if until_seen 'http://127.0.0.1:' && dialog_shown; then
  address=$(grep -o 'http://127.0.0.1:[^ ]*' "$log")
  # "Uscita": centred at 357.5, 180 of the 399 x 197 dialog units.
  eval "$(DISPLAY=$display xdotool search --name 'Sestor - Generazione' \
    getwindowgeometry --shell | grep -E '^(X|Y|WIDTH|HEIGHT)=')"
  tests/novnc_check.py "$address" $((X + WIDTH * 3575 / 3990)) \
    $((Y + HEIGHT * 180 / 197)) || fail "the browser view"
fi
ends_with 0
nothing_left

echo "make run without a display, stopped by Ctrl-C"
start scripts/run.sh
until_seen 'http://127.0.0.1:' && dialog_shown
kill -s INT -- "-$run"
ends_with 130
nothing_left

echo "make run on the display of the test wrapper, whose terminal closes"
start scripts/with-display.sh scripts/run.sh
until_seen '(Xvfb) on' && dialog_shown
grep -q 'http://' "$log" && fail "a browser view with a display there"
kill -s HUP -- "-$run"
ends_with 129
nothing_left

if [ "$failures" -eq 0 ]; then
  echo "make run: 3 passed, 0 failed"
else
  echo "make run: $failures failures"
  exit 1
fi
