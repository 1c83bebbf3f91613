#!/usr/bin/env bash
# A screenshot of the Windows build of the demo, run under Wine with Qt's
# windows platform on a virtual X display:
#   scripts/windows/screenshot.sh OUTPUT.png [SECONDS] [PAGE]
set -euo pipefail
out=$1
wait=${2:-8}
page=${3:-}
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
qt=$("$here/build-deps.sh" --print | head -n 1)
build=${KROVA_WINDOWS_BUILD_DIR:-$root/build-windows}
# A prefix without the tests' offscreen platform.
export KROVA_WINE_PREFIX=${KROVA_WINE_PREFIX:-$(mktemp -d /tmp/krova-wine-shot.XXXXXX)}
export WINEPREFIX=$KROVA_WINE_PREFIX WINEDEBUG=-all
touch "$WINEPREFIX/.krova-ready"
mkdir -p "$(dirname "$out")"
# Wine's desktop process is started with the prefix, so on the display.
xvfb-run -a -s "-screen 0 1024x800x24" bash -c "
  wineboot -i >/dev/null 2>&1
  '$here/wine-run' '$qt' '$build/krova-utility-demo.exe' ${page:+--page $page} >/dev/null 2>&1 & pid=\$!
  sleep $wait
  import -window root '$out.full.png'
  kill \$pid; wineserver -k
"
convert "$out.full.png" -trim +repage "$out"
rm -f "$out.full.png"
rm -rf "$KROVA_WINE_PREFIX"
echo "saved $out"
