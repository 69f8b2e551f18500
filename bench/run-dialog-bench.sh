#!/bin/sh
# A run through the real dialog under Wine, against dd writing the same bytes
# into the same folder (before and after; the mean is the yardstick). A run
# ends with its lines on the drive, so dd is timed both with conv=fsync (the
# same end) and without it, and the difference shows what the flush costs.
#
#   bench/run-dialog-bench.sh [--folder DIR] [--first N] [--through] [--stops N]
#
# Default: "Tutte" (622,614,630 lines, 11,456,109,192 bytes) in build/bench,
# then 5 STOP presses during full-speed runs. Needs a display (make bench-run
# provides one).
set -eu
cd "$(dirname "$0")/.."
index=0 through=0 stops=5 folder=build/bench
while [ $# -gt 0 ]; do
  case $1 in
    --folder) folder=$2; shift ;;
    --first) index=$2; shift ;;
    --through) through=1 ;;
    --stops) stops=$2; shift ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
  shift
done
first=$index last=$index
[ "$index" -eq 0 ] && first=1 last=85
[ "$through" -eq 1 ] && last=85
mkdir -p "$folder"
folder=$(cd "$folder" && pwd)
bytes=$(build/native/bench_generation --size "$first" "$last")

# time_dd [fsync]: seconds for dd to write the run's bytes in 1 MiB blocks.
time_dd() {
  sync
  start=$(date +%s.%N)
  dd if=/dev/zero of="$folder/dd.bin" bs=1M count="$bytes" iflag=count_bytes \
    ${1:+conv=fsync} 2>/dev/null
  end=$(date +%s.%N)
  rm -f "$folder/dd.bin"
  sync
  echo "$start $end" | awk '{ printf "%.3f", $2 - $1 }'
}

echo "range $first..$last through the dialog, $bytes bytes, folder $folder"
before=$(time_dd) before_sync=$(time_dd fsync)
out=$(cmake/wine-run.sh build/windows/bench_run.exe "Z:$(echo "$folder" | tr / '\\')" \
      "$index" "$through" "$bytes" "$last;86;87;88;89;90" "$stops")
sync
after=$(time_dd) after_sync=$(time_dd fsync)
echo "$out"
echo "$out" | awk -v b="$before" -v a="$after" -v bs="$before_sync" \
  -v as="$after_sync" -v bytes="$bytes" '
  $1 == "run" { split($2, kv, "="); run = kv[2] }
  END {
    dd = (a + b) / 2; sync = (as + bs) / 2
    printf "dd bs=1M seconds=%.3f MB/s=%.1f (before %.3f, after %.3f)\n", dd, bytes / dd / 1e6, b, a
    printf "dd bs=1M conv=fsync seconds=%.3f MB/s=%.1f (before %.3f, after %.3f); its fsync %.3f s\n", sync, bytes / sync / 1e6, bs, as, sync - dd
    printf "dialog run MB/s=%.1f   run / dd: %.2fx   run / dd conv=fsync: %.2fx\n", bytes / run / 1e6, run / dd, run / sync
  }'
