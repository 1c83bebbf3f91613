#!/usr/bin/env bash
# Starts the demo program under a virtual X display and saves a screenshot of
# its window. Usage: scripts/screenshot.sh OUTPUT.png [SECONDS] [PAGE]
set -euo pipefail
out=${1:-docs/system-state.png}
wait=${2:-4}
page=${3:-}
here=$(cd "$(dirname "$0")/.." && pwd)
bin=${KROVA_DEMO:-$here/build/krova-utility-demo}
mkdir -p "$(dirname "$out")"
xvfb-run -a -s "-screen 0 1024x800x24" bash -c "
  '$bin' ${page:+--page $page} & pid=\$!
  sleep $wait
  import -window root '$out.full.png'
  kill \$pid
"
# Cut the window out of the screen shot (the window is centred, no manager).
convert "$out.full.png" -trim +repage "$out"
rm -f "$out.full.png"
echo "saved $out"
