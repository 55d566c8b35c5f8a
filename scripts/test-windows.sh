#!/usr/bin/env bash
# The Windows build: cross-built with MinGW-w64, its tests run under Wine in
# the Japanese locale (ANSI code page 932), each build folder with a Wine
# prefix of its own (build-*/wineprefix).
#
#   build-win32   32-bit build, the library as it ships: its tests, the tool's
#                 demonstration and a client built against the installed
#                 package run under the project's private 32-bit Wine
#                 (scripts/wine32.sh)
#   build-win64   64-bit build; the same tests under the system's wine64
#
# Where the cross compilers, GoogleTest's sources, Wine or the Japanese locale
# cannot be had (no root, no network), the script says what is missing and
# exits 0 after doing what it can. The 32-bit run is the exception: when the
# private 32-bit Wine cannot be prepared, the run fails, saying that the
# 32-bit tests were NOT RUN, unless TOBREL_WINE32=off asks to leave them out.
set -eu
cd "$(dirname "$0")/.."
jobs=$(nproc)
say() { echo "windows: $*"; }

scripts/install-deps.sh windows || say "could not install every package; using what is there"

if ! command -v x86_64-w64-mingw32-g++-posix >/dev/null || [ ! -f /usr/src/googletest/googletest/src/gtest-all.cc ]; then
  say "MinGW-w64 (posix) compilers or GoogleTest sources missing; skipping the Windows build"
  exit 0
fi

# Wine in a Japanese locale gives the ANSI code page 932. The locale's UTF-8
# codeset only decides how Wine spells Unix file names.
locale_name=ja_JP.UTF-8
have_locale() { locale -a 2>/dev/null | grep -qix 'ja_JP.utf-\?8'; }
if ! have_locale && [ "$(id -u)" = 0 ] && command -v localedef >/dev/null; then
  localedef -i ja_JP -f UTF-8 "$locale_name" 2>/dev/null || true
fi

wine64=""
for w in /usr/lib/wine/wine64 "$(command -v wine64 || true)"; do
  [ -n "$w" ] && [ -x "$w" ] && { wine64=$w; break; }
done

server=""
for w in /usr/lib/wine/wineserver64 /usr/lib/wine/wineserver "$(command -v wineserver || true)"; do
  [ -n "$w" ] && [ -x "$w" ] && { server=$w; break; }
done

# Runs the tests of one build folder under the Wine loader $1 (WINEARCH $2).
run_tests() {
  local loader=$1 arch=$2 dir=$3 start=$SECONDS
  export WINEPREFIX=$PWD/$dir/wineprefix WINEARCH=$arch WINEDEBUG=-all
  export WINEDLLOVERRIDES="winemenubuilder.exe=d;winedbg.exe=d" LC_ALL=$locale_name
  # wine32.sh makes its prefixes itself, from a template.
  if [ "$arch" = win64 ] && [ ! -f "$WINEPREFIX/system.reg" ]; then
    say "creating the Wine prefix $dir/wineprefix"
    if ! timeout 180 "$loader" wineboot --init >"$dir/wineboot.log" 2>&1; then
      cat "$dir/wineboot.log"
      say "wineboot failed or took longer than 3 minutes"
      return 1
    fi
  fi
  # One Wine server for the whole run (it would otherwise restart Wine's
  # system processes for every test program): persistent until killed below,
  # or 30 seconds after its last program if this script is interrupted.
  [ -n "$server" ] && "$server" -p30
  timeout 300 "$loader" cmd.exe /c ver >/dev/null 2>&1 || true   # starts Wine's system processes once
  local status=0
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" --timeout 600 -LE linux-only || status=$?
  # The tool runs as a user would run it: tobrel.exe beside TobrelTools.dll.
  if [ $status = 0 ]; then
    (cd "$dir" && "$loader" bin/tobrel.exe demo) || { say "tobrel.exe demo failed"; status=1; }
  fi
  # Leave no Wine server behind for this prefix.
  [ -n "$server" ] && timeout 30 "$server" -k 2>/dev/null || true
  unset WINEPREFIX WINEARCH
  say "$dir: $((SECONDS - start)) s under Wine"
  return $status
}

failed=""
# The registry differential test (tests/regdiff) compares the Windows build's
# transcripts under Wine with the Linux build's: the Linux program comes from
# the native build folder (make test-native builds it first).
if [ ! -f build/CMakeCache.txt ]; then
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build build -j "$jobs" --target registry_transcript
say "64-bit cross build in build-win64"
cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOBREL_BUILD_BENCH=OFF -DTOBREL_NATIVE_BUILD_DIR="$PWD/build" \
  --no-warn-unused-cli >/dev/null
cmake --build build-win64 -j "$jobs"

if [ -z "$wine64" ]; then
  say "wine64 is not installed; the 64-bit tests were built but not run"
elif ! have_locale; then
  say "the locale $locale_name is missing (as root: localedef -i ja_JP -f UTF-8 $locale_name); the 64-bit tests were built but not run"
else
  say "running the 64-bit tests under $("$wine64" --version 2>/dev/null || echo wine64)"
  run_tests "$wine64" win64 build-win64 || failed="$failed 64-bit"
fi

if command -v i686-w64-mingw32-g++-posix >/dev/null; then
  say "32-bit cross build in build-win32"
  cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOBREL_BUILD_BENCH=OFF -DTOBREL_NATIVE_BUILD_DIR="$PWD/build" \
    --no-warn-unused-cli >/dev/null
  cmake --build build-win32 -j "$jobs"
  if [ "${TOBREL_WINE32:-}" = off ]; then
    say "TOBREL_WINE32=off: the 32-bit tests were NOT RUN (built only)"
  elif ! have_locale; then
    say "the locale $locale_name is missing; the 32-bit tests were NOT RUN"
    failed="$failed 32-bit(not-run)"
  elif ! scripts/wine32.sh --prepare; then
    say "the private 32-bit Wine could not be prepared (see above); the 32-bit tests were NOT RUN"
    say "(TOBREL_WINE32=off leaves them out on purpose)"
    failed="$failed 32-bit(not-run)"
  else
    say "running the 32-bit tests under $(scripts/wine32.sh --version)"
    run_tests "$PWD/scripts/wine32.sh" win32 build-win32 || failed="$failed 32-bit"
  fi
else
  say "the i686 MinGW-w64 compiler is missing; no 32-bit build"
fi

if [ -n "$failed" ]; then
  say "Windows tests failed or not run:$failed"
  exit 1
fi
