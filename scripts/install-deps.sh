#!/usr/bin/env bash
# Installs the Debian packages that the build and the tests need. As root it
# installs what is missing with apt-get; otherwise it names what is missing.
#   install-deps.sh linux     the native build, tests and benchmarks
#   install-deps.sh windows   the MinGW-w64 cross build and Wine (best effort)
set -u
kind=${1:-linux}
case "$kind" in
  linux) pkgs="cmake make g++ pkg-config googletest libgtest-dev libbenchmark-dev libsqlite3-dev libicu-dev clang libclang-rt-14-dev libboost-serialization-dev libcereal-dev zlib1g-dev nlohmann-json3-dev graphviz" ;;
  windows) pkgs="g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine64 googletest locales nlohmann-json3-dev zip unzip patchelf" ;;
  *) echo "usage: $0 linux|windows" >&2; exit 2 ;;
esac
missing=""
for p in $pkgs; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
if [ "$(id -u)" != 0 ]; then
  echo "missing Debian packages:$missing (run as root, or: sudo apt-get install$missing)" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
stamp=/var/lib/apt/periodic/tobrel-update-stamp
if [ ! -f "$stamp" ] || [ -n "$(find "$stamp" -mmin +600 2>/dev/null)" ]; then
  apt-get update -qq && mkdir -p "$(dirname "$stamp")" && touch "$stamp"
fi
apt-get install -y -qq --no-install-recommends $missing
