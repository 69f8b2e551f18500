# The shell tests' checks, sourced by them. `check WHAT CONDITION...` counts
# a condition that holds; one that fails is named, and the test's own
# `explain` shows what it saw. `report NAME` prints the closing count and
# gives the test's status.
passed=0
failed=0
check() {
  what=$1
  shift
  if "$@"; then passed=$((passed + 1)); else
    failed=$((failed + 1))
    echo "FAILED: $what"
    explain
  fi
}
not() { ! "$@"; }
report() {
  echo "$1: $passed passed, $failed failed"
  [ "$failed" -eq 0 ]
}
