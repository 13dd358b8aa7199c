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

# The fuzz targets are built with clang and libFuzzer and each is run over a
# fixed number of generated inputs with a fixed seed, so the run is the same
# every time and a target that no longer builds or crashes at once is caught.
# A target with seed inputs in fuzz/seeds/NAME starts from a copy of them
# (libFuzzer adds what it finds to its corpus folder).
fuzz=build/fuzz
CC=clang CXX=clang++ cmake -S . -B "$fuzz" -G Ninja -DKV_FUZZ=ON >/dev/null
cmake --build "$fuzz" -j "$jobs"
for target in "$fuzz"/bin/fuzz_*; do
  name="$(basename "$target")"
  corpus=()
  if [ -d "fuzz/seeds/${name#fuzz_}" ]; then
    rm -rf "$fuzz/corpus/$name"
    mkdir -p "$fuzz/corpus/$name"
    cp "fuzz/seeds/${name#fuzz_}"/* "$fuzz/corpus/$name/"
    corpus=("$fuzz/corpus/$name")
  fi
  "$target" -seed=1 -runs=3000 -max_len=4096 ${corpus[@]+"${corpus[@]}"} >"$fuzz/$name.log" 2>&1 \
    || { cat "$fuzz/$(basename "$target").log"; echo "$(basename "$target") failed"; exit 1; }
done
echo "fuzz targets: $(ls "$fuzz"/bin/fuzz_* | wc -l) ran clean"

export QT_QPA_PLATFORM=offscreen
cd "$build"
ctest --output-on-failure -j "$jobs" --timeout 600
