#!/usr/bin/env bash
# A 32-bit Wine for the 32-bit Windows build, without touching the system's
# package database: behaves like the `wine` command (the i686 toolchain's
# CMAKE_CROSSCOMPILING_EMULATOR, so `ctest --test-dir build-win32` works).
#
#   wine32.sh PROGRAM [ARGS...]   runs a Windows program, as wine does
#   wine32.sh --prepare           prepares the root (once) and says how it runs
#   wine32.sh --version           the Wine version and how it runs
#
# Debian's wine32 is an i386 package, and adding the i386 architecture to the
# system's dpkg is not an option (its index and the installed amd64 libraries
# do not match). So the wine32 package and its whole i386 dependency closure
# are downloaded with apt-get run against a private state, unpacked with
# dpkg-deb into a private root, and run from there:
#   - where the kernel runs 32-bit x86 programs, natively: the loader's ELF
#     interpreter is pointed at the root's dynamic linker (patchelf);
#   - elsewhere (a kernel or hypervisor without IA-32 emulation), under the
#     user-mode emulator qemu-i386 (8.1 or later; older ones take minutes to
#     start each Wine process); when the system has none that recent, the
#     static one of the release's backports is unpacked into the cache too.
# The system's 64-bit wineserver (same Wine version: the download is pinned to
# the installed wine64's version) serves the 32-bit processes.
#
# The root lives in a cache shared by every checkout and build folder:
#   ${TOBREL_WINE32_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tobrel-wine32}
#     apt/       the private apt state       root/     the unpacked i386 root
#     qemu/      the emulator, when needed   template/ a fresh Wine prefix
# about 1.4 GB in all; delete the folder to start over. A Wine prefix that
# does not exist yet ($WINEPREFIX, by default the cache's wineprefix/) is
# made from the template: its files are hard links, its registry files
# copies. Preparing needs network access to the Debian archive once; where
# it fails, every call says why and exits with status 125.
set -u
self=$(basename "$0")
cache=${TOBREL_WINE32_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tobrel-wine32}
root=$cache/root
recipe=1   # bump when the way the root is made changes: older roots are remade
say() { echo "$self: $*" >&2; }
die() { say "$*"; exit 125; }

mkdir -p "$cache" 2>/dev/null || die "cannot create the cache folder $cache"

# ---- preparing the root ---------------------------------------------------

system_wine_version() { dpkg-query -W -f='${Version}' wine64 2>/dev/null; }

# A private apt state: the system's packages, lists and locks stay untouched.
apt_private() {
  local state=$cache/apt/$1; shift
  mkdir -p "$state/lists/partial" "$state/cache/archives/partial"
  touch "$state/status"
  apt-get -q -o Dir::State::Lists="$state/lists" -o Dir::Cache="$state/cache" \
    -o Dir::State::status="$state/status" -o Debug::NoLocking=1 "$@"
}

# Downloads wine32 and its i386 closure (an empty status makes apt fetch it
# all) and unpacks it into root/.
make_root() {
  local version; version=$(system_wine_version)
  [ "$(cat "$root/.unpacked" 2>/dev/null)" = "$recipe $version" ] && return 0
  [ -n "$version" ] || { say "wine64 is not installed (its wineserver serves the 32-bit processes)"; return 1; }
  local i386="-o APT::Architecture=i386 -o APT::Architectures::=i386"
  say "downloading wine32 $version and its i386 libraries (about 140 MB) into $cache/apt"
  # The security index for i386 may fail to download; the main one suffices.
  apt_private i386 $i386 update >"$cache/apt-update.log" 2>&1
  if ! apt_private i386 $i386 install -y --download-only --no-install-recommends "wine32=$version" \
      >"$cache/apt-install.log" 2>&1; then
    tail -n 5 "$cache/apt-install.log" >&2
    say "apt-get could not download wine32 $version for i386 (log: $cache/apt-install.log)"
    return 1
  fi
  rm -rf "$root.new"
  mkdir -p "$root.new"
  local deb
  for deb in "$cache"/apt/i386/cache/archives/*.deb; do
    dpkg-deb -x "$deb" "$root.new" || { say "cannot unpack $deb"; return 1; }
  done
  rm -f "$cache"/apt/i386/cache/archives/*.deb
  [ -f "$root.new/usr/lib/wine/wine" ] || { say "the downloaded packages hold no usr/lib/wine/wine"; return 1; }
  # user32.dll of Debian's Wine imports zlib1.dll, which the MinGW zlib
  # package installs outside Wine's DLL folder.
  cp "$root.new/usr/i686-w64-mingw32/lib/zlib1.dll" "$root.new/usr/lib/i386-linux-gnu/wine/i386-windows/" ||
    { say "zlib1.dll is missing from the downloaded packages"; return 1; }
  mv "$root.new/usr/lib/wine/wine" "$root.new/usr/lib/wine/wine-i386"
  echo "$recipe $version" >"$root.new/.unpacked"
  rm -rf "$root"
  mv "$root.new" "$root"
}

runs_i386_natively() {
  "$root/lib/ld-linux.so.2" --version >/dev/null 2>&1
}

# qemu-i386 of version 8.1 or later: the system's, or the static one of the
# release's backports, unpacked into the cache.
qemu_recent() {
  local v; v=$("$1" --version 2>/dev/null | sed -n 's/^qemu-i386 version \([0-9]*\)\.\([0-9]*\).*/\1 \2/p')
  [ -n "$v" ] && set -- $v && { [ "$1" -gt 8 ] || { [ "$1" = 8 ] && [ "$2" -ge 1 ]; }; }
}

# The system's Debian mirror, from its apt sources.
debian_mirror() {
  local codename=$1
  {
    awk -v c="$codename" 'BEGIN { RS = "" } {
        u = ""; hit = 0; n = split($0, line, "\n")
        for (i = 1; i <= n; i++) {
          k = split(line[i], f, /[ \t]+/)
          if (f[1] == "URIs:") u = f[2]
          if (f[1] == "Suites:") for (j = 2; j <= k; j++) if (f[j] == c) hit = 1
        }
        if (hit && u != "") print u
      }' /etc/apt/sources.list.d/*.sources 2>/dev/null
    awk -v c="$codename" '$1 == "deb" { for (i = 2; i < NF; i++) if ($i !~ /^\[/ && $i !~ /\]$/) { if ($(i + 1) == c) print $i; break } }' \
      /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null
  } | head -n 1
}

find_qemu() {
  local q
  for q in "$cache/qemu/usr/bin/qemu-i386" "$(command -v qemu-i386-static)" "$(command -v qemu-i386)"; do
    [ -n "$q" ] && [ -x "$q" ] && qemu_recent "$q" && { echo "$q"; return 0; }
  done
  local codename mirror keyring=/usr/share/keyrings/debian-archive-keyring.gpg
  codename=$(. /etc/os-release 2>/dev/null && echo "${VERSION_CODENAME:-}")
  mirror=$(debian_mirror "$codename")
  [ -n "$codename" ] && [ -n "$mirror" ] || { say "no Debian mirror for '$codename' in the apt sources"; return 1; }
  say "this host does not run 32-bit x86 programs; fetching qemu-user from $codename-backports"
  mkdir -p "$cache/apt/backports"
  echo "deb ${keyring:+[signed-by=$keyring]} $mirror $codename-backports main" >"$cache/apt/backports/sources.list"
  [ -f "$keyring" ] || sed -i 's/ \[signed-by=[^]]*\]//' "$cache/apt/backports/sources.list"
  local bp="-o Dir::Etc::sourcelist=$cache/apt/backports/sources.list -o Dir::Etc::sourceparts=-"
  apt_private backports $bp update >"$cache/apt-update-qemu.log" 2>&1
  if ! (cd "$cache/apt/backports" && apt_private backports $bp download qemu-user) >"$cache/apt-qemu.log" 2>&1; then
    say "apt-get could not download qemu-user (log: $cache/apt-qemu.log)"
    return 1
  fi
  rm -rf "$cache/qemu"
  mkdir -p "$cache/qemu"
  dpkg-deb --fsys-tarfile "$cache"/apt/backports/qemu-user_*.deb |
    tar -x -C "$cache/qemu" ./usr/bin/qemu-i386 || { say "cannot unpack qemu-user"; return 1; }
  rm -f "$cache"/apt/backports/qemu-user_*.deb
  q=$cache/qemu/usr/bin/qemu-i386
  qemu_recent "$q" || { say "the backports' qemu-i386 is older than 8.1"; return 1; }
  echo "$q"
}

# Wine starts every process of its own through usr/lib/wine/wine, so that is
# what is made runnable: the ELF itself (native) or a script that hands it
# to the emulator, naming itself as the program so that Wine finds it again.
install_loader() {
  local loader=$root/usr/lib/wine/wine elf=$root/usr/lib/wine/wine-i386
  rm -f "$loader"
  if runs_i386_natively; then
    command -v patchelf >/dev/null || { say "patchelf is missing (Debian package patchelf)"; return 1; }
    cp -p "$elf" "$loader"
    patchelf --set-interpreter "$root/lib/ld-linux.so.2" "$loader" || return 1
    echo native >"$cache/mode"
  else
    local qemu; qemu=$(find_qemu) || return 1
    cat >"$loader" <<EOF
#!/bin/sh
# Runs the i386 Wine loader under $qemu.
# Wine would re-execute itself once to reserve its address space through a
# preloader that Debian does not ship; under the emulator that is moot.
WINELOADERNOEXEC=1 exec "$qemu" -L "$root" -0 "\$0" "$elf" "\$@"
EOF
    chmod +x "$loader"
    echo "emulated by $qemu" >"$cache/mode"
  fi
}

# The environment every 32-bit Wine process needs.
wine_env() {
  export LD_LIBRARY_PATH="$root/lib/i386-linux-gnu:$root/usr/lib/i386-linux-gnu${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
  export WINEARCH=win32 WINEDEBUG=${WINEDEBUG:--all}
  export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-winemenubuilder.exe=d;winedbg.exe=d}
  local server
  for server in /usr/lib/wine/wineserver64 /usr/lib/wine/wineserver "$(command -v wineserver || true)"; do
    [ -n "$server" ] && [ -x "$server" ] && { export WINESERVER=$server; break; }
  done
  unset WINELOADER
}

# A fresh prefix, made once and copied from then on; wineboot in a 32-bit
# prefix takes a while (tens of seconds, minutes when emulated).
make_template() {
  local t=$cache/template.new
  rm -rf "$t"
  (
    wine_env
    export WINEPREFIX=$t
    # The boot itself succeeds; the program run after it (wineboot again)
    # needs zlib1.dll in system32, which exists only once the boot is done.
    timeout 900 "$root/usr/lib/wine/wine" wineboot --init >"$cache/wineboot.log" 2>&1
    timeout 300 "$WINESERVER" -w || "$WINESERVER" -k
  )
  [ -f "$t/system.reg" ] && [ -d "$t/drive_c/windows/system32" ] ||
    { cat "$cache/wineboot.log" >&2; say "wineboot could not make a 32-bit prefix"; return 1; }
  cp "$root/usr/i686-w64-mingw32/lib/zlib1.dll" "$t/drive_c/windows/system32/"
  rm -rf "$cache/template"
  mv "$t" "$cache/template"
}

# Ready when made by this recipe for the installed Wine, and nothing of it
# has been removed since.
is_ready() {
  [ "$(cat "$cache/ready" 2>/dev/null)" = "$recipe $(system_wine_version)" ] &&
    [ -x "$root/usr/lib/wine/wine" ] && [ -f "$cache/template/system.reg" ] || return 1
  local mode; mode=$(cat "$cache/mode" 2>/dev/null)
  case "$mode" in "emulated by "*) [ -x "${mode#emulated by }" ] ;; native) true ;; *) false ;; esac
}

prepare() {
  is_ready && return 0
  rm -f "$cache/ready"
  make_root && install_loader && make_template || return 1
  echo "$recipe $(system_wine_version)" >"$cache/ready"
}

# Under a lock, so that parallel test programs prepare it once.
exec 9>"$cache/lock"
flock 9
prepare || die "the 32-bit Wine root in $cache cannot be prepared; the 32-bit programs cannot run"

wine_env
case "${1:-}" in
  --prepare)
    say "32-bit Wine $("$WINESERVER" --version 2>&1 | sed -n 's/.*Wine \([^ ]*\).*/\1/p'), $(cat "$cache/mode"), root $root"
    exit 0 ;;
  --version)
    echo "wine-$(system_wine_version | sed 's/~.*//') (32-bit, $(cat "$cache/mode"))"
    exit 0 ;;
  "")
    say "usage: $self PROGRAM [ARGS...] | --prepare | --version"
    exit 2 ;;
esac

# ---- running --------------------------------------------------------------

export WINEPREFIX=${WINEPREFIX:-$cache/wineprefix}
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  rm -rf "$WINEPREFIX.new"
  cp -al "$cache/template" "$WINEPREFIX.new" || die "cannot copy the prefix template to $WINEPREFIX"
  # Wine replaces its registry files when it saves them, but copies keep
  # the template safe from anything that writes in place.
  for f in "$WINEPREFIX.new"/*.reg; do rm -f "$f" && cp -p "$cache/template/$(basename "$f")" "$f"; done
  rm -rf "$WINEPREFIX" && mv "$WINEPREFIX.new" "$WINEPREFIX"
fi
exec 9>&-
exec "$root/usr/lib/wine/wine" "$@"
