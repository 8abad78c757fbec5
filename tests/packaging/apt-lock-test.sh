#!/usr/bin/env bash
# The setup scripts wait for a package manager lock held by another process, saying so, and give up waiting
# after their limit; with the lock free they go on at once and say nothing. A POSIX record lock on a
# temporary file stands in for dpkg's lock. The checks look at the order of events (was the lock released
# before the wait ended?), never at elapsed seconds.
set -u
cd "$(dirname "$0")/../.."
. scripts/packages.sh
. tests/lib.sh

lock=$(mktemp)
marks=$(mktemp -d)
trap 'rm -rf "$lock" "$marks"' EXIT
APT_LOCK_FILES=("$lock")
APT_LOCK_POLL=1
# hold_lock SECONDS: starts a process that holds the lock for that long (its pid in holder) and leaves the file
# $marks/released just before it lets go; returns once the process holds the lock, however long it takes to
# start on a busy machine, and fails when it never does.
hold_lock() {
  rm -f "$marks/ready" "$marks/released"
  python3 -c 'import fcntl, sys, time
f = open(sys.argv[1], "w"); fcntl.lockf(f, fcntl.LOCK_EX); open(sys.argv[3] + "/ready", "w").close()
time.sleep(float(sys.argv[2])); open(sys.argv[3] + "/released", "w").close()' "$lock" "$1" "$marks" &
  holder=$!
  for _ in $(seq 600); do
    [ -e "$marks/ready" ] && return 0
    sleep 0.1
  done
  echo "the lock holder did not start" >&2
  return 1
}

# Free: no wait (a wait would end in the "still locked" message after the limit), no message.
out=$(APT_LOCK_WAIT=60 wait_for_apt_lock 2>&1)
check "a free lock is not waited for" [ -z "$out" ]

# Held for 3 s: waits until it is released, says so.
check "a lock holder starts" hold_lock 3
check "the lock of another process is seen" apt_lock_held
out=$(APT_LOCK_WAIT=60 wait_for_apt_lock 2>&1)
check "waits while the lock is held, then goes on" [ -e "$marks/released" ]
check "says that it waits and when the lock is free" \
  eval '[[ $out == *"Waiting for another package installation"* && $out == *"free again"* ]]'
wait

# Held longer than the limit: gives up while the lock is still held.
check "a lock holder starts" hold_lock 20
out=$(APT_LOCK_WAIT=2 wait_for_apt_lock 2>&1)
check "gives up after its limit, the lock still held" eval '[ ! -e "$marks/released" ] && [[ $out == *"still locked"* ]]'
kill "$holder" 2>/dev/null
wait 2>/dev/null

finish
