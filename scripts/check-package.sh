#!/usr/bin/env bash
# Builds the Debian package with ./krova package and checks it the way a user
# meets it: its contents and dependencies, lintian, the desktop entries and
# metainfo as installed, an install with apt-get, the programs started from
# /usr/bin (the demo and the program under Xvfb, kept running for 10 s), and
# a purge that leaves no file of the package behind.
#
# Run it as root on a machine where installing and purging krova-utility is
# fine, e.g. ../shared/fresh-machine scripts/check-package.sh
set -euo pipefail
cd "$(dirname "$0")/.."

TOOLS=(lintian desktop-file-utils appstream librsvg2-bin xvfb xauth)
PACKAGE=krova-utility
PKG_DIR=${KROVA_PACKAGE_DIR:-build-pkg}

step() { printf '\n== %s\n' "$*"; }
fail() { echo "check-package: FAILED: $*" >&2; exit 1; }

step "build the package"
./krova package
missing=()
for p in "${TOOLS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  apt-get update
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi
debs=("$PKG_DIR"/${PACKAGE}_*.deb)
[ ${#debs[@]} = 1 ] && [ -f "${debs[0]}" ] || fail "expected one package in $PKG_DIR, found: ${debs[*]}"
deb=$(realpath "${debs[0]}")
version=$(dpkg-deb -f "$deb" Version)
arch=$(dpkg --print-architecture)
[ "$(basename "$deb")" = "${PACKAGE}_${version}_${arch}.deb" ] || fail "unexpected file name $(basename "$deb")"
dpkg-deb -f "$deb" Package Version Architecture Depends Suggests Section

step "icons: the kept PNGs are those the SVG gives"
rendered=$(mktemp -d)
packaging/render-icons.sh "$rendered"
for png in "$rendered"/*/apps/*.png; do
  kept=packaging/icons/hicolor/${png#"$rendered"/}
  cmp -s "$png" "$kept" || fail "$kept differs from a fresh render (run packaging/render-icons.sh)"
done
rm -rf "$rendered"

step "contents"
contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
expected=(
  ./usr/bin/krova-utility ./usr/bin/krova-utility-demo
  ./usr/share/applications/example.krova.Utility.desktop
  ./usr/share/applications/example.krova.UtilityDemo.desktop
  ./usr/share/metainfo/example.krova.Utility.metainfo.xml
  ./usr/share/icons/hicolor/scalable/apps/krova-utility.svg
  ./usr/share/icons/hicolor/16x16/apps/krova-utility.png
  ./usr/share/icons/hicolor/256x256/apps/krova-utility.png
  ./usr/lib/udev/rules.d/70-krova-regulator.rules
  ./usr/share/krova-utility/relay/support_x.php ./usr/share/krova-utility/relay/router.php
  ./usr/share/krova-utility/relay/htaccess.example ./usr/share/krova-utility/relay/nginx.conf.example
  ./usr/share/krova-utility/user-guide/user-guide.md
  ./usr/share/doc/krova-utility/README.md ./usr/share/doc/krova-utility/copyright
  ./usr/share/doc/krova-utility/changelog.gz
  ./usr/share/doc/krova-utility/examples/demo_snapshot.txt
  ./usr/share/doc/krova-utility/examples/demo_settings.krv
  ./usr/share/doc/krova-utility/examples/demo_service_report.pdf
  ./usr/share/man/man1/krova-utility.1.gz ./usr/share/man/man1/krova-utility-demo.1.gz
)
[ -x "$PKG_DIR/krova-cli" ] && expected+=(./usr/bin/krova-cli ./usr/share/man/man1/krova-cli.1.gz
  ./usr/share/krova-utility/systemd/krova-log.service)
for path in "${expected[@]}"; do
  grep -qxF -- "$path" <<<"$contents" || fail "$path is not in the package"
done
outside=$(grep -v '^\./usr/' <<<"$contents" | grep -vx '\./' || true)
[ -z "$outside" ] || fail "files outside /usr: $outside"
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6widgets6 libqt6charts6 libhidapi-hidraw0 libc6; do
  grep -q "\b$lib\b" <<<"$depends" || fail "Depends lacks $lib (dpkg-shlibdeps): $depends"
done
echo "${#expected[@]} expected files present, nothing outside /usr, dependencies from the binaries"

step "lintian"
lintian --fail-on error --info "$deb" || fail "lintian reports errors"
echo "lintian: no errors"

step "install with apt-get"
DEBIAN_FRONTEND=noninteractive apt-get install -y "$deb"
listing=$(mktemp)
dpkg -L "$PACKAGE" >"$listing"

step "installed desktop entries and metainfo"
desktop-file-validate /usr/share/applications/example.krova.Utility.desktop \
  /usr/share/applications/example.krova.UtilityDemo.desktop
appstreamcli validate --no-net /usr/share/metainfo/example.krova.Utility.metainfo.xml

step "the programs from /usr/bin"
[ "$(command -v krova-utility-demo)" = /usr/bin/krova-utility-demo ] || fail "krova-utility-demo is not /usr/bin's"
export HOME; HOME=$(mktemp -d)   # the runs' settings and backups stay out of the real home
unset QT_QPA_PLATFORM
if [ -x /usr/bin/krova-cli ]; then
  out=$(/usr/bin/krova-cli --version) || fail "krova-cli --version failed"
  [ "$out" = "krova-cli $version" ] || fail "krova-cli --version says '$out', not 'krova-cli $version'"
  /usr/bin/krova-cli --demo state | grep -q "Battery Voltage" || fail "krova-cli --demo state shows no battery voltage"
  echo "$out answers, and its demo state shows the battery voltage"
fi
for program in krova-utility krova-utility-demo; do
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY "/usr/bin/$program" --version) || fail "$program --version failed"
  [ "$out" = "$program $version" ] || fail "$program --version says '$out', not '$program $version'"
  echo "$out"
  # Under Xvfb the window opens and keeps running until timeout ends it (124).
  status=0
  xvfb-run -a timeout 10 "/usr/bin/$program" || status=$?
  [ $status = 124 ] || fail "$program under Xvfb ended with status $status before 10 s"
  echo "$program ran for 10 s under Xvfb"
done
rm -rf "$HOME"

step "purge"
DEBIAN_FRONTEND=noninteractive apt-get purge -y "$PACKAGE"
if dpkg-query -W -f='${Status}' "$PACKAGE" 2>/dev/null | grep -q installed; then fail "$PACKAGE is still installed"; fi
left=()
while IFS= read -r path; do
  [ -e "$path" ] || [ -L "$path" ] || continue
  if [ -d "$path" ] && ! [ -L "$path" ]; then
    # A folder may stay while it holds other files or belongs to another package.
    if [ -z "$(ls -A "$path")" ] && ! dpkg -S "$path" >/dev/null 2>&1; then left+=("$path"); fi
  else
    left+=("$path")
  fi
done <"$listing"
rm -f "$listing"
[ ${#left[@]} = 0 ] || fail "left after purge: ${left[*]}"
echo "nothing of the package is left"

printf '\ncheck-package: all checks passed (%s)\n' "$(basename "$deb")"
