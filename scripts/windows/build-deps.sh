#!/usr/bin/env bash
# Builds what the Windows build of the program links against, from Debian's
# own source packages, with Debian's MinGW-w64 (posix threads) compilers:
#   Qt 6 (qtbase: Core, Gui, Widgets, Network with Schannel, Test, the
#   windows, offscreen and minimal platform plugins) and hidapi with its
#   Windows backend.
# Each lands in a folder of the cache named after its version and the flags
# it was built with, so a change of either builds anew and an unchanged one
# is never built twice. Building Qt takes 25 to 45 minutes on two cores.
#
#   scripts/windows/build-deps.sh          # prints the two prefixes, building what is missing
#   KROVA_WINDOWS_CACHE=DIR ...            # another cache folder
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
cache=${KROVA_WINDOWS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/krova-windows}
toolchain=$root/cmake/mingw-w64-x86_64.cmake
jobs=$(nproc)

QT_VERSION=6.4.2
QT_ORIG=qt6-base_${QT_VERSION}+dfsg.orig.tar.xz
QT_FLAGS=(-xplatform win32-g++ -qt-host-path /usr -release -shared -nomake examples -nomake tests
          -qt-zlib -qt-pcre -qt-libpng -qt-libjpeg -qt-freetype -qt-harfbuzz
          -no-opengl -no-dbus -no-openssl -no-feature-tabletevent
          -no-feature-sql -no-feature-printsupport -no-feature-concurrent)
HIDAPI_VERSION=0.13.1
HIDAPI_ORIG=hidapi_${HIDAPI_VERSION}.orig.tar.gz

log() { echo "windows-deps: $*" >&2; }

# The same Debian mirror that this machine's apt uses.
mirror() {
  local uri
  uri=$(grep -hE '^(URIs:|deb )' /etc/apt/sources.list.d/*.sources /etc/apt/sources.list 2>/dev/null \
        | grep -v security | head -n 1 | sed -E 's/^URIs:[[:space:]]*//; s/^deb[[:space:]]+(\[[^]]*\][[:space:]]+)?//; s/[[:space:]].*$//')
  echo "${uri:-http://deb.debian.org/debian}"
}

# fetch POOL-PATH FILE: the source tarball, from the cache or the mirror's pool.
fetch() {
  local file=$cache/sources/$2
  if [ ! -s "$file" ]; then
    mkdir -p "$cache/sources"
    log "downloading $2"
    curl -sSfL -o "$file.part" "$(mirror)/pool/main/$1/$2"
    mv "$file.part" "$file"
  fi
  echo "$file"
}

key() { printf '%s\n' "$@" "$(sha256sum "$toolchain" | cut -c1-16)" | sha256sum | cut -c1-12; }

qt_prefix=$cache/qt-$QT_VERSION-$(key "${QT_FLAGS[@]}")
hidapi_prefix=$cache/hidapi-$HIDAPI_VERSION-$(key hidapi-windows-static)

build_qt() {
  local src; src=$(fetch q/qt6-base "$QT_ORIG")
  local work; work=$(mktemp -d "$cache/qt-build.XXXXXX")
  log "building Qt $QT_VERSION for Windows in $work (25-45 minutes); log: $work/build.log"
  tar -C "$work" -xf "$src"
  local dir; dir=$(find "$work" -maxdepth 1 -mindepth 1 -type d | head -n 1)
  mkdir "$work/build"
  (
    cd "$work/build"
    "$dir/configure" -prefix "$qt_prefix.part" "${QT_FLAGS[@]}" -- \
      -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
    # Every default target first: installing straight away misses some.
    cmake --build . --parallel "$jobs"
    cmake --install .
  ) >"$work/build.log" 2>&1 || { tail -n 40 "$work/build.log" >&2; log "Qt build failed; see $work/build.log"; exit 1; }
  mv "$qt_prefix.part" "$qt_prefix"
  rm -rf "$work"
}

build_hidapi() {
  local src; src=$(fetch h/hidapi "$HIDAPI_ORIG")
  local work; work=$(mktemp -d "$cache/hidapi-build.XXXXXX")
  log "building hidapi $HIDAPI_VERSION for Windows"
  tar -C "$work" -xf "$src"
  local dir; dir=$(find "$work" -maxdepth 1 -mindepth 1 -type d | head -n 1)
  (
    cmake -S "$dir" -B "$work/build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
      -DBUILD_SHARED_LIBS=OFF -DCMAKE_INSTALL_PREFIX="$hidapi_prefix.part"
    cmake --build "$work/build" --parallel "$jobs"
    cmake --install "$work/build"
  ) >"$work/build.log" 2>&1 || { tail -n 40 "$work/build.log" >&2; log "hidapi build failed; see $work/build.log"; exit 1; }
  mv "$hidapi_prefix.part" "$hidapi_prefix"
  rm -rf "$work"
}

mkdir -p "$cache"
case "${1:-}" in
  --check) [ -d "$qt_prefix" ] && [ -d "$hidapi_prefix" ]; exit ;;
  --print) echo "$qt_prefix"; echo "$hidapi_prefix"; exit ;;
esac
[ -d "$hidapi_prefix" ] || build_hidapi
[ -d "$qt_prefix" ] || build_qt
echo "$qt_prefix"
echo "$hidapi_prefix"
