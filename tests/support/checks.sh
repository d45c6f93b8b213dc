# Sourced by the shell tests: named checks that count failures and a closing
# line CTest and CI read.
#   check "what" command...   runs the command; prints "ok   what" or "FAIL what"
#   finish_checks             prints "1 passed, 0 failed" (or the reverse) and
#                             exits non-zero after any failure
#   wait_for_line RE FILE S   waits up to S seconds for a line of FILE that
#                             matches RE (grep); fails when none came
failures=0
check() {
  local what="$1"; shift
  if "$@"; then echo "ok   $what"; else echo "FAIL $what"; failures=$((failures + 1)); fi
}
finish_checks() {
  [ "$failures" -eq 0 ] && echo "1 passed, 0 failed" || echo "0 passed, 1 failed"
  exit $((failures > 0))
}
wait_for_line() {
  local re="$1" file="$2" polls=$(( $3 * 50 ))
  for _ in $(seq "$polls"); do
    grep -q -- "$re" "$file" 2>/dev/null && return 0
    sleep 0.02
  done
  return 1
}
