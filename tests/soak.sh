#!/bin/sh
# Runs a part of the gate again and again on an unchanged tree, to find the
# tests that do not pass every time. Prints each failure with its log and
# ends with the count.
#
#   tests/soak.sh RUNS BUSY WHAT      (make soak RUNS=30 BUSY=half WHAT=make-run)
#     BUSY   none, all, or half (every other run): both cores kept busy
#     WHAT   make-run (tests/make-run.sh), wine (the tests under Wine),
#            native (the native tests), or gate (all of `make test`)
set -u
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
runs=${1:-30}
busy=${2:-half}
what=${3:-make-run}
case $what in
  make-run) set -- tests/make-run.sh ;;
  wine) set -- scripts/with-display.sh ctest --preset windows ;;
  native) set -- ctest --preset native ;;
  gate) set -- make --no-print-directory test ;;
  *) echo "unknown WHAT '$what': make-run, wine, native or gate" >&2; exit 2 ;;
esac
log=$(mktemp)
burners=""
stop_burners() {
  [ -n "$burners" ] && kill $burners 2>/dev/null && wait $burners 2>/dev/null
  burners=""
}
trap 'stop_burners; rm -f "$log"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

passed=0 failed=0
for run in $(seq "$runs"); do
  load=no
  case $busy in
    all) load=yes ;;
    half) [ $((run % 2)) -eq 0 ] && load=yes ;;
  esac
  if [ $load = yes ]; then
    for _ in $(seq "$(nproc)"); do
      sh -c 'while :; do :; done' &
      burners="$burners $!"
    done
  fi
  start=$(date +%s)
  if "$@" >"$log" 2>&1; then
    passed=$((passed + 1)) result=passed
  else
    failed=$((failed + 1)) result=FAILED
  fi
  stop_burners
  echo "run $run/$runs (busy: $load): $result in $(($(date +%s) - start)) s"
  if [ $result = FAILED ]; then
    sed 's/^/    /' "$log"
  fi
done
echo "soak $what: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
