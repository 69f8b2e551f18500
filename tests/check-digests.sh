#!/bin/sh
# Re-checks the release's tables against the generator: every row of the
# table of single first numbers and "Tutte", and the rows with the box
# ticked from first number FROM up (below it, hashing each from its first
# line on would take minutes), so that the tables can't drift from what
# the program writes.
#   tests/check-digests.sh WRITE_LINES RELEASE_FOLDER FROM
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
tool=$1 release=$2 from=$3

agree() {  # agree TABLE FROM NOW
  stored=$(awk -v from="$2" '$1 >= from' "$release/$1")
  if [ "$3" != "$stored" ]; then
    echo "the table in $release/$1 differs from the generator:" >&2
    printf '%s\n' "$stored" >"${TMPDIR:-/tmp}/digests-stored.$$"
    printf '%s\n' "$3" | diff "${TMPDIR:-/tmp}/digests-stored.$$" - >&2 || true
    rm -f "${TMPDIR:-/tmp}/digests-stored.$$"
    exit 1
  fi
}
agree digests.txt 0 "$("$here/release/make-digests.sh" "$tool")"
agree digests-through-last.txt "$from" "$("$tool" "$from" 85 2>/dev/null |
  python3 "$here/release/make-through-last-digests.py" "$release/digests.txt" "$from")"
echo "every first number alone, and from $from up through the last, agree with the generator"
