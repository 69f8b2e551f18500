#!/bin/sh
# Re-checks the release's tables against the generator for the first
# numbers from FROM up (the quick ones), each alone and through the last,
# so that the tables can't drift from what the program writes.
#   tests/check-digests.sh WRITE_LINES RELEASE_FOLDER FROM
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
tool=$1 release=$2 from=$3

agree() {  # agree TABLE NOW
  stored=$(awk -v from="$from" '$1 >= from' "$release/$1")
  if [ "$2" != "$stored" ]; then
    echo "the table in $release/$1 differs from the generator:" >&2
    printf '%s\n' "$stored" >"${TMPDIR:-/tmp}/digests-stored.$$"
    printf '%s\n' "$2" | diff "${TMPDIR:-/tmp}/digests-stored.$$" - >&2 || true
    rm -f "${TMPDIR:-/tmp}/digests-stored.$$"
    exit 1
  fi
}
agree digests.txt "$("$here/release/make-digests.sh" "$tool" "$from")"
agree digests-through-last.txt "$("$tool" "$from" 85 2>/dev/null |
  python3 "$here/release/make-through-last-digests.py" "$release/digests.txt" "$from")"
echo "first numbers $from to 85, alone and through the last, agree with the generator"
