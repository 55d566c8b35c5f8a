#!/usr/bin/env bash
# The registry benchmark on both sides: the Linux registry store
# (build-release) and Wine's registry (build-win64-bench, a MinGW-w64 build run
# by wine64 in a Wine prefix of that folder's own), run alternately so that
# both see the same machine load.
#
#   scripts/registry-bench.sh [rounds]     (default 3)
#
# Without the cross compilers or wine64 only the Linux side runs.
set -eu
cd "$(dirname "$0")/.."
rounds=${1:-3}
jobs=$(nproc)

cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DTOBREL_BUILD_BENCH=ON -DTOBREL_BUILD_TESTS=OFF >/dev/null
cmake --build build-release -j "$jobs" --target registry_bench >/dev/null

wine64=""
for w in /usr/lib/wine/wine64 "$(command -v wine64 || true)"; do
  [ -n "$w" ] && [ -x "$w" ] && { wine64=$w; break; }
done
if [ -n "$wine64" ] && command -v x86_64-w64-mingw32-g++-posix >/dev/null; then
  cmake -S . -B build-win64-bench -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release \
    -DTOBREL_BUILD_BENCH=ON -DTOBREL_BUILD_TESTS=OFF --no-warn-unused-cli >/dev/null
  cmake --build build-win64-bench -j "$jobs" --target registry_bench >/dev/null
  export WINEPREFIX=$PWD/build-win64-bench/wineprefix WINEARCH=win64 WINEDEBUG=-all
  export WINEDLLOVERRIDES="winemenubuilder.exe=d;winedbg.exe=d"
  [ -f "$WINEPREFIX/system.reg" ] || timeout 180 "$wine64" wineboot --init >/dev/null 2>&1
  server="$(dirname "$wine64")/wineserver64"
  [ -x "$server" ] || server="$(dirname "$wine64")/wineserver"
  "$server" -p30 || true   # one server for every round
  timeout 120 "$wine64" cmd.exe /c ver >/dev/null 2>&1 || true
else
  echo "registry-bench: no wine64 or MinGW-w64 compilers; Linux side only"
  wine64=""
fi

for i in $(seq "$rounds"); do
  echo "== Linux store, round $i"
  build-release/bin/registry_bench
  if [ -n "$wine64" ]; then
    echo "== Wine registry, round $i"
    (cd build-win64-bench && timeout 300 "$wine64" bin/registry_bench.exe)
  fi
done
[ -n "$wine64" ] && { timeout 30 "$server" -k 2>/dev/null || true; }
exit 0
