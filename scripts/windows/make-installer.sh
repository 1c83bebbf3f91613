#!/usr/bin/env bash
# Makes the Windows installer from a Windows build:
#   scripts/windows/make-installer.sh BUILD-DIR OUTPUT-DIR
# Stages what cmake/install_windows.cmake installs, strips it, and runs NSIS
# on packaging/windows/krova-utility.nsi; prints the installer's path.
set -euo pipefail
build=$1
out=$2
root=$(cd "$(dirname "$0")/../.." && pwd)
version=$(sed -n 's/^project(krova_utility VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
stage=$(mktemp -d)
list=$(mktemp)
trap 'rm -rf "$stage" "$list"' EXIT
cmake --install "$build" --prefix "$stage" >/dev/null
find "$stage" \( -name '*.exe' -o -name '*.dll' \) -exec x86_64-w64-mingw32-strip --strip-unneeded {} +
# The uninstaller removes exactly the files installed, deepest folders last.
(cd "$stage" && find . -type f | sed 's|^\./||; s|/|\\|g; s|.*|  Delete "$INSTDIR\\&"|') >"$list"
(cd "$stage" && find . -mindepth 1 -type d | sort -r | sed 's|^\./||; s|/|\\|g; s|.*|  RMDir "$INSTDIR\\&"|') >>"$list"
size=$(du -sk "$stage" | cut -f1)
mkdir -p "$out"
setup=$(cd "$out" && pwd)/krova-utility-$version-setup.exe
makensis -V2 -DVERSION="$version" -DSTAGE="$stage" -DOUTFILE="$setup" -DUNINSTALL_LIST="$list" \
  -DSIZE_KB="$size" "$root/packaging/windows/krova-utility.nsi" >&2
echo "$setup"
