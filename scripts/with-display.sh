#!/bin/sh
# Runs a command with an X display and a warm Wine server: starts Xvfb when
# DISPLAY is unset and stops what it started afterwards.
set -u
started_xvfb=""
if [ -z "${DISPLAY:-}" ]; then
  for n in $(seq 90 130); do
    [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    started_xvfb=$!
    export DISPLAY=":$n"
    echo "No DISPLAY: using a virtual one (Xvfb) on :$n" >&2
    for _ in $(seq 50); do
      [ -e "/tmp/.X11-unix/X$n" ] && break
      sleep 0.1
    done
    break
  done
fi
export WINEDEBUG=-all LC_ALL=C.UTF-8
wineserver -p 2>/dev/null
# Start Wine's own background processes now, with no output to inherit: a
# test runner that reads a test's output through a pipe would otherwise wait
# for them to close it.
wine cmd /c exit >/dev/null 2>&1 </dev/null
"$@"
status=$?
wineserver -k 2>/dev/null
[ -n "$started_xvfb" ] && kill "$started_xvfb" 2>/dev/null
exit $status
