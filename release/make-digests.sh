#!/bin/sh
# Writes the table of the output's lines, bytes and SHA-256 for "Tutte" (0)
# and for each first number alone, from the program's own generator:
#
#   release/make-digests.sh WRITE_LINES [FROM] > release/digests.txt
#
# One row a choice: "N lines bytes sha256". With FROM, only the first
# numbers from FROM up (and no "Tutte"). Two writers at a time, one for
# each core; tests/check-digests.sh re-derives the whole table with it.
# The table for a ticked box comes from this one and one more pass:
#
#   WRITE_LINES 1 85 | release/make-through-last-digests.py \
#     release/digests.txt > release/digests-through-last.txt
set -eu
tool=$1
from=${2:-0}

row() {
  if [ "$1" -eq 0 ]; then range="1 85"; else range="$1 $1"; fi
  counts=$({ "$tool" $range | sha256sum >"$scratch/$1.sum"; } 2>&1)
  lines=${counts#lines=}; lines=${lines%% *}
  bytes=${counts##*bytes=}
  echo "$1 $lines $bytes $(cut -d' ' -f1 "$scratch/$1.sum")" >"$scratch/$1.row"
}

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
n=$from
while [ "$n" -le 85 ]; do
  row "$n" &
  [ "$((n + 1))" -le 85 ] && row "$((n + 1))" &
  wait
  n=$((n + 2))
done
n=$from
while [ "$n" -le 85 ]; do
  cat "$scratch/$n.row"
  n=$((n + 1))
done >"$scratch/all"
# A writer that failed leaves a row without its numbers.
if grep -Evq '^[0-9]+ [0-9]+ [0-9]+ [0-9a-f]{64}$' "$scratch/all"; then
  echo "the generator failed for some rows" >&2
  exit 1
fi
cat "$scratch/all"
