# Sourced by the scripts that start Sestor, its tests or its benchmarks: a
# virtual X display for a machine that has none, and the stopping of all
# that the script started, whether its command ends, fails, or is stopped by
# Ctrl-C or a closed terminal. Background processes of a script ignore the
# terminal's Ctrl-C, so nothing of it would stop them otherwise; the
# script's own command runs in the background too (run_and_wait), so that a
# signal reaches the trap at once instead of after the command.
#
# Needs WINEPREFIX set: the Wine server of that prefix is stopped as well.

# Process IDs started here, last first; all stopped at exit.
started=""
# A private folder for what the started processes need; removed at exit.
scratch=$(mktemp -d "${TMPDIR:-/tmp}/sestor.XXXXXX")

stop_started() {
  # Ignored, not reset: a wrapper around this script signals it while it
  # stops its own children, and a cleanup cut short would leave them running.
  trap - EXIT
  trap '' INT TERM HUP
  # Wine first, while its display is still there to say goodbye to.
  wineserver -k 2>/dev/null && wineserver -w 2>/dev/null
  for pid in $started; do kill "$pid" 2>/dev/null; done
  # One that ignores the request for 5 s (seen, rarely: a server in the
  # middle of closing a connection) is stopped for good.
  for pid in $started; do
    for _ in $(seq 50); do still_running "$pid" || break; sleep 0.1; done
    if still_running "$pid"; then
      echo "$(ps -o args= -p "$pid") did not stop; killed" >&2
      kill -s KILL "$pid" 2>/dev/null
    fi
    wait "$pid" 2>/dev/null
  done
  rm -rf "$scratch"
}

# Whether a process runs on (one that has ended but not been waited for
# still answers kill -0).
still_running() {
  state=$(ps -o stat= -p "$1" 2>/dev/null) && [ "${state#Z}" = "$state" ]
}
trap stop_started EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

# background COMMAND...: starts it, to be stopped at exit.
background() {
  "$@" &
  started="$! $started"
}

# run_and_wait COMMAND...: runs it and sets `status` to its exit status.
# The command takes Ctrl-C as a foreground one would, not ignoring it as a
# background one does, so that a test runner or benchmark stops at once.
run_and_wait() {
  background env --default-signal=INT,QUIT "$@"
  wait "${started%% *}"
  status=$?
}

# start_xvfb WIDTHxHEIGHT: an Xvfb on the first free display, as DISPLAY.
start_xvfb() {
  # Two Xvfb looking for a free display at the same moment can both go for
  # the same one, and the one that loses takes the other's socket with it as
  # it exits: every copy of these scripts, in any clone, starts its Xvfb in
  # turn, holding a lock until the display answers.
  exec 9>"${TMPDIR:-/tmp}/sestor-xvfb.lock"
  flock 9
  # Xvfb writes the display's number once it takes connections.
  background Xvfb -displayfd 3 -screen 0 "${1}x24" -nolisten tcp \
    3>"$scratch/display" 9>&- >/dev/null 2>&1
  for _ in $(seq 100); do
    [ -s "$scratch/display" ] && break
    sleep 0.1
  done
  exec 9>&-
  [ -s "$scratch/display" ] || { echo "Xvfb did not start" >&2; return 1; }
  DISPLAY=":$(cat "$scratch/display")"
  export DISPLAY
}
