# Sourced by the shell checks (bash): counting checks, a virtual X display, the project version.
passed=0
failed=0
ok() { passed=$((passed + 1)); echo "ok - $1"; }
fail() { failed=$((failed + 1)); echo "FAIL - $1"; }
check() {  # check NAME COMMAND...: passes when the command succeeds
  local name=$1
  shift
  if "$@"; then ok "$name"; else fail "$name"; fi
}
finish() {
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
  exit $?
}

# start_xvfb [XVFB_OPTION...]: starts Xvfb on the first free display from :90 on and exports DISPLAY; sets
# xvfb_pid.
xvfb_pid=
start_xvfb() {
  local display
  for display in $(seq 90 160); do
    [ -e "/tmp/.X$display-lock" ] || [ -e "/tmp/.X11-unix/X$display" ] && continue
    Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp "$@" >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 50); do
      [ -e "/tmp/.X11-unix/X$display" ] && break
      kill -0 "$xvfb_pid" 2>/dev/null || break
      sleep 0.1
    done
    if kill -0 "$xvfb_pid" 2>/dev/null && [ -e "/tmp/.X11-unix/X$display" ]; then
      export DISPLAY=":$display"
      return 0
    fi
    xvfb_pid=
  done
  return 1
}
stop_xvfb() {
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
    xvfb_pid=
  fi
}

# The project version, from CMakeLists.txt.
project_version() {
  sed -n 's/^project(scaleboot VERSION \([0-9][0-9.]*\)[ )].*/\1/p' "$1/CMakeLists.txt"
}
