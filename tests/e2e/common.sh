# What the end-to-end scripts share: counting checks and waiting with
# deadlines. A script defines `details`, which shows what helps to tell
# why a check failed (its logs), before it sources this file.
passed=0
failed=0
pass() { passed=$((passed + 1)); }
fail() {
  failed=$((failed + 1))
  echo "FAIL $1"
  details
}
check() {  # check NAME COMMAND...
  local name=$1
  shift
  if "$@"; then pass; else fail "$name"; fi
}
# wait_until SECONDS COMMAND...: true as soon as COMMAND succeeds.
wait_until() {
  local deadline=$((SECONDS + $1))
  shift
  while [ $SECONDS -lt $deadline ]; do
    "$@" && return 0
    sleep 0.1
  done
  "$@"
}
