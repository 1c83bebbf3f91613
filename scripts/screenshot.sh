#!/usr/bin/env bash
# Starts the demo program under a virtual X display and saves a screenshot of
# its window. Usage: scripts/screenshot.sh OUTPUT.png [SECONDS] [PAGE]
# KROVA_SCREEN (default 1024x800) sets the display's size, KROVA_SCALE
# (default 1) the display scale (QT_SCALE_FACTOR); with KROVA_WHOLE_SCREEN=1
# the whole screen is kept, not only the window; with KROVA_MAXIMIZE=1 the
# window is maximised first (xdotool); KROVA_DEMO_ARGS adds options of the
# demo (--trends, --share DOMAIN, ...).
set -euo pipefail
out=${1:-docs/system-state.png}
wait=${2:-4}
page=${3:-}
here=$(cd "$(dirname "$0")/.." && pwd)
bin=${KROVA_DEMO:-$here/build/krova-utility-demo}
mkdir -p "$(dirname "$out")"
screen=${KROVA_SCREEN:-1024x800}
scale=${KROVA_SCALE:-1}
# With a window manager (openbox, where installed) the window gets its title
# bar and frame, as on a desktop.
wm=$(command -v openbox || true)
# Maximised as a user does it: a double click on the title bar where there is
# a window manager, else the window resized to the whole screen.
maximize=
if [ "${KROVA_MAXIMIZE:-0}" = 1 ]; then
  if [ -n "$wm" ]; then
    maximize='sleep 2; w=$(xdotool search --onlyvisible --name K-ROVA | head -1);
      xdotool mousemove --window $w 200 -10 click --repeat 2 --delay 100 1 mousemove 0 0;'
  else
    maximize='sleep 2; xdotool search --onlyvisible --name K-ROVA windowmove 0 0 windowsize 100% 100%;'
  fi
fi
xvfb-run -a -s "-screen 0 ${screen}x24" bash -c "
  ${wm:+$wm & sleep 1;}
  QT_SCALE_FACTOR=$scale '$bin' ${page:+--page $page} ${KROVA_DEMO_ARGS:-} & pid=\$!
  $maximize
  sleep $wait
  import -window root '$out.full.png'
  kill \$pid
"
# Cut the window out of the screen shot (the window is centred, no manager).
if [ "${KROVA_WHOLE_SCREEN:-0}" = 1 ]; then
  mv "$out.full.png" "$out"
else
  convert "$out.full.png" -trim +repage "$out"
fi
rm -f "$out.full.png"
echo "saved $out"
