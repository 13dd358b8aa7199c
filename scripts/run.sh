#!/usr/bin/env bash
# Installs what the build needs, builds Korvane optimised and starts it.
# KV_JOBS limits the parallel build jobs (default: one per processor).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKV_TESTS=OFF -DKV_BENCH=OFF >/dev/null
cmake --build "$build" -j "${KV_JOBS:-$(nproc)}"
# A fresh data root is set up as an installation leaves it: the marker of
# the first start and the sample price files (INTC) in its USR folder, which
# that first start copies into DATA.
root="${KORVANE_INSTALLDIR:-${XDG_DATA_HOME:-$HOME/.local/share}/korvane}"
if [ ! -e "$root" ]; then
  mkdir -p "$root/USR"
  "$build/bin/sampledata" "$root/USR"
  : > "$root/INSTALL.VER"
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: starting Korvane on a virtual display (Xvfb)."
  exec xvfb-run -a -s "-screen 0 1600x1000x24" "$build/bin/korvane" "$@"
fi
exec "$build/bin/korvane" "$@"
