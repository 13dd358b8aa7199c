#!/usr/bin/env bash
# Installs what the build needs, builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs every test.  KV_JOBS limits the
# parallel jobs (default: one per processor).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
build=build/test
jobs="${KV_JOBS:-$(nproc)}"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKV_SANITIZE=ON >/dev/null
cmake --build "$build" -j "$jobs"
export QT_QPA_PLATFORM=offscreen
cd "$build"
ctest --output-on-failure -j "$jobs" --timeout 600
