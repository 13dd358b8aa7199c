#!/usr/bin/env bash
# Installs what the build needs, builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs every test; also runs the tests of the
# modules whose threads share records under ThreadSanitizer, and each fuzz
# target briefly.  KV_JOBS limits the parallel jobs (default: one per
# processor).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
build=build/test
jobs="${KV_JOBS:-$(nproc)}"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKV_SANITIZE=ON >/dev/null
cmake --build "$build" -j "$jobs"

# The thread checker over the modules whose threads share records: a build
# of their tests alone, without the windows, every test clean.
tsan=build/tsan
cmake -S . -B "$tsan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKV_WITH_QT=OFF -DKV_BENCH=OFF \
  "-DCMAKE_C_FLAGS=-fsanitize=thread -fno-omit-frame-pointer" \
  "-DCMAKE_CXX_FLAGS=-fsanitize=thread -fno-omit-frame-pointer" \
  "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread" >/dev/null
cmake --build "$tsan" -j "$jobs" --target platform_tests data_tests quotes_tests broker_tests
# The tests of the other libraries, their runs with the study registers
# capped and the layer checks are not built here.
(cd "$tsan" && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
  ctest --output-on-failure -j "$jobs" --timeout 600 -E '_NOT_BUILT$|^Layers\.|_tests_(plain|avx2)$')

# The fuzz targets are built with clang and libFuzzer and each is run over a
# fixed number of generated inputs with a fixed seed, so the run is the same
# every time and a target that no longer builds or crashes at once is caught.
# A target with seed inputs in fuzz/seeds/NAME starts from a copy of them
# (libFuzzer adds what it finds to its corpus folder).
fuzz=build/fuzz
CC=clang CXX=clang++ cmake -S . -B "$fuzz" -G Ninja -DKV_FUZZ=ON >/dev/null
cmake --build "$fuzz" -j "$jobs"
# The targets make their files under TMPDIR, pointed at memory when it can
# be, since every file they write is synced to disk.
scratch_base=${KV_FUZZ_TMPDIR:-$([ -d /dev/shm ] && [ -w /dev/shm ] && echo /dev/shm || echo "${TMPDIR:-/tmp}")}
for target in "$fuzz"/bin/fuzz_*; do
  name="$(basename "$target")"
  scratch=$(mktemp -d "$scratch_base/kv_$name.XXXXXX")
  corpus=()
  if [ -d "fuzz/seeds/${name#fuzz_}" ]; then
    mkdir "$scratch/corpus"
    cp "fuzz/seeds/${name#fuzz_}"/* "$scratch/corpus/"
    corpus=("$scratch/corpus")
  fi
  TMPDIR="$scratch" "$target" -seed=1 -runs=3000 -max_len=4096 ${corpus[@]+"${corpus[@]}"} \
    >"$fuzz/$name.log" 2>&1 || { cat "$fuzz/$name.log"; echo "$name failed"; exit 1; }
  rm -rf "$scratch"
done
echo "fuzz targets: $(ls "$fuzz"/bin/fuzz_* | wc -l) ran clean"

export QT_QPA_PLATFORM=offscreen
cd "$build"
ctest --output-on-failure -j "$jobs" --timeout 600
