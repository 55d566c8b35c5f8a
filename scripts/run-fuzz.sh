#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time over
# its checked-in seed corpus. Skipped (successfully) when clang's fuzzer
# runtime is not available.
set -eu
seconds=${1:-30}
if ! command -v clang++ >/dev/null || ! ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1; then
  echo "fuzz: clang's libFuzzer runtime is not installed; skipping the fuzz targets"
  exit 0
fi
cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DTOBREL_BUILD_FUZZ=ON -DTOBREL_BUILD_TESTS=OFF -DTOBREL_BUILD_BENCH=OFF >/dev/null
cmake --build build-fuzz -j "$(nproc)"
shopt -s nullglob
ran=0
for exe in build-fuzz/bin/fuzz_*; do
  name=$(basename "$exe")
  corpus=fuzz/corpus/${name#fuzz_}
  work=build-fuzz/corpus-${name#fuzz_}
  rm -rf "$work" && mkdir -p "$work"
  [ -d "$corpus" ] && cp -r "$corpus"/. "$work"/
  echo "fuzz: $name for ${seconds}s"
  "$exe" -max_total_time="$seconds" -rss_limit_mb=2048 -max_len=4096 -print_final_stats=0 "$work" 2>build-fuzz/$name.log \
    || { tail -n 60 build-fuzz/$name.log; echo "fuzz: $name found a failure"; exit 1; }
  ran=$((ran + 1))
done
echo "fuzz: $ran targets ran clean"
