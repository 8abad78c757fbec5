#!/usr/bin/env bash
# The setup scripts wait for a package manager lock held by another process, saying so, and give up waiting
# after their limit; with the lock free they go on at once and say nothing. A POSIX record lock on a
# temporary file stands in for dpkg's lock.
set -u
cd "$(dirname "$0")/../.."
. scripts/packages.sh
passed=0 failed=0
check() { if eval "$2"; then passed=$((passed + 1)); echo "ok - $1"; else failed=$((failed + 1)); echo "FAIL - $1"; fi; }

lock=$(mktemp)
trap 'rm -f "$lock" "$ready"' EXIT
APT_LOCK_FILES=("$lock")
APT_LOCK_POLL=1
ready=$(mktemp -u)
# hold_lock SECONDS: starts a process that holds the lock for that long (its pid in holder), and returns once it
# holds it, however long the process takes to start on a busy machine.
hold_lock() {
  rm -f "$ready"
  python3 -c 'import fcntl, sys, time
f = open(sys.argv[1], "w"); fcntl.lockf(f, fcntl.LOCK_EX); open(sys.argv[3], "w").close(); time.sleep(float(sys.argv[2]))' \
    "$lock" "$1" "$ready" &
  holder=$!
  for _ in $(seq 600); do
    [ -e "$ready" ] && return 0
    sleep 0.1
  done
  echo "the lock holder did not start" >&2
}

# Free: no wait, no message.
start=$SECONDS
out=$(APT_LOCK_WAIT=60 wait_for_apt_lock 2>&1)
check "a free lock is not waited for" '[ -z "$out" ] && [ $((SECONDS - start)) -le 1 ]'

# Held for 3 s: waits until it is released, says so.
hold_lock 3
check "the lock of another process is seen" 'apt_lock_held'
start=$SECONDS
out=$(APT_LOCK_WAIT=60 wait_for_apt_lock 2>&1)
elapsed=$((SECONDS - start))
check "waits while the lock is held, then goes on (${elapsed} s)" '[ "$elapsed" -ge 2 ] && [ "$elapsed" -le 6 ]'
check "says that it waits and when the lock is free" \
  '[[ "$out" == *"Waiting for another package installation"* && "$out" == *"free again"* ]]'
wait

# Held longer than the limit: gives up after the limit.
hold_lock 20
start=$SECONDS
out=$(APT_LOCK_WAIT=2 wait_for_apt_lock 2>&1)
elapsed=$((SECONDS - start))
check "gives up after its limit (${elapsed} s)" '[ "$elapsed" -ge 2 ] && [ "$elapsed" -le 5 ] && [[ "$out" == *"still locked"* ]]'
kill "$holder" 2>/dev/null
wait 2>/dev/null

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
