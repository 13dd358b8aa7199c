#!/bin/sh
# Starts korvane on a fresh data root under the current X display, saves
# its picture with korvane_shot and checks that it then shuts down in order
# (exit code 0, settings written).
# Usage: run_korvane.sh KORVANE KORVANE_SHOT OUTPUT.png
set -eu
korvane=$1
shot=$2
out=$3
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
export HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share" \
  XDG_CACHE_HOME="$home/.cache" XDG_RUNTIME_DIR="$home/run"
mkdir -p "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
"$korvane" &
pid=$!
status=0
"$shot" "$out" || status=$?
if [ "$status" -ne 0 ]; then
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  exit "$status"
fi
rc=0
wait "$pid" || rc=$?
if [ "$rc" -ne 0 ]; then
  echo "korvane ended with $rc after its close" >&2
  exit 1
fi
profile="$XDG_CONFIG_HOME/Ostrelan/Korvane.profile"
if [ ! -s "$profile" ]; then
  echo "the settings were not written at exit ($profile)" >&2
  exit 1
fi
if [ ! -d "$XDG_DATA_HOME/korvane/CONFIG" ]; then
  echo "the data folders were not made under $XDG_DATA_HOME/korvane" >&2
  exit 1
fi
echo "picture saved: $out"
