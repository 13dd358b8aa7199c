#!/bin/sh
# Runs a program on a private Xvfb display. The server picks a free display
# number itself (-displayfd), so runs in parallel never collide.
# Usage: run_under_xvfb.sh PROGRAM [ARGS...]
set -eu
dir=$(mktemp -d)
xpid=""
cleanup() {
  [ -n "$xpid" ] && kill "$xpid" 2>/dev/null && wait "$xpid" 2>/dev/null
  rm -rf "$dir"
}
trap cleanup EXIT
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$dir/display" 2>"$dir/xvfb.log" &
xpid=$!
tries=0
while [ ! -s "$dir/display" ]; do
  tries=$((tries + 1))
  if [ "$tries" -gt 300 ] || ! kill -0 "$xpid" 2>/dev/null; then
    cat "$dir/xvfb.log" >&2
    echo "Xvfb did not start" >&2
    exit 1
  fi
  sleep 0.1
done
status=0
DISPLAY=":$(cat "$dir/display")" "$@" || status=$?
exit "$status"
