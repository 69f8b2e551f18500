#!/bin/sh
# The generator against dd and against one fprintf per line, natively and
# under Wine, writing into one folder.
#
#   bench/run-bench.sh [--full] [--folder DIR] [--first N] [--last N]
#
# Default: first number 1 alone in build/bench. --full writes all
# 622,614,630 lines (10.67 GiB, twice with dd) and skips fprintf, which
# would take about ten minutes under Wine. Each figure starts after a sync;
# dd runs before and after the program and its mean is the yardstick. The
# generator's file is on the drive when it is closed, so dd syncs at its end
# too (conv=fsync); the fprintf way, a comparison of formatting, does not.
set -eu
cd "$(dirname "$0")/.."
first=1 last=1 fprintf="" folder=build/bench
while [ $# -gt 0 ]; do
  case $1 in
    --full) first=1 last=85 fprintf=--no-fprintf ;;
    --folder) folder=$2; shift ;;
    --first) first=$2; shift ;;
    --last) last=$2; shift ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
  shift
done
mkdir -p "$folder"
folder=$(cd "$folder" && pwd)
bytes=$(build/native/bench_generation --size "$first" "$last")

now() { date +%s.%N; }

# Seconds for dd to write $bytes bytes in blocks of 1 MiB, synced to the
# drive at the end as the generator's file is.
time_dd() {
  sync
  start=$(now)
  dd if=/dev/zero of="$folder/dd.bin" bs=1M count="$bytes" iflag=count_bytes \
    conv=fsync 2>/dev/null
  end=$(now)
  rm -f "$folder/dd.bin"
  sync
  echo "$start $end" | awk '{ printf "%.3f", $2 - $1 }'
}

bench() {
  platform=$1; shift
  before=$(time_dd)
  out=$("$@" "$first" "$last" $fprintf)
  sync
  after=$(time_dd)
  echo "$out" | awk -v p="$platform" -v b="$before" -v a="$after" -v bytes="$bytes" '
    { for (i = 2; i <= NF; i++) { split($i, kv, "="); v[$1, kv[1]] = kv[2] } m[$1] = 1 }
    END {
      dd = (a + b) / 2
      printf "%-7s %-10s %12s %14s %9s %9s\n", p, "method", "lines", "bytes", "seconds", "MB/s"
      for (k in m) printf "%-7s %-10s %12.0f %14.0f %9.3f %9.1f\n", p, k, v[k, "lines"], v[k, "bytes"], v[k, "seconds"], v[k, "bytes"] / v[k, "seconds"] / 1e6
      printf "%-7s %-10s %12s %14.0f %9.3f %9.1f   (before %.3f s, after %.3f s)\n", p, "dd fsync", "", bytes, dd, bytes / dd / 1e6, b, a
      printf "%-7s generator / dd: %.2fx", p, v["generator", "seconds"] / dd
      if (m["fprintf"]) printf "   fprintf / generator: %.1fx", v["fprintf", "seconds"] / v["generator", "seconds"]
      printf "\n\n"
    }'
}

echo "range $first..$last, $bytes bytes, folder $folder"
bench native build/native/bench_generation "$folder"
winfolder="Z:$(echo "$folder" | tr / '\\')"
# Wine's own start-up (server, services) is not part of the figures.
cmake/wine-run.sh cmd /c exit >/dev/null 2>&1 </dev/null
bench wine cmake/wine-run.sh build/windows/bench_generation.exe "$winfolder"
