#!/usr/bin/env bash
# The README's pictures of a support session, taken from two demo windows
# that meet at the relay on this machine: the technician opens a session,
# the owner joins it with the code alone, the technician changes a setting
# and writes it, both chat through their Chat windows.
# Usage: scripts/support-screenshots.sh [OUTPUT_DIR]   (default: docs)
# Needs xvfb, xdotool, openbox and imagemagick (apt install xdotool openbox);
# the demo from ./krova build (KROVA_DEMO names another).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
out=$(cd "${1:-$here/docs}" && pwd)
demo=${KROVA_DEMO:-$here/build/krova-utility-demo}
for tool in xvfb-run xdotool openbox import php; do
  command -v "$tool" >/dev/null || { echo "$tool is missing" >&2; exit 1; }
done
# The program's default relay is localhost:8080: the owner joins with the
# code alone there.
if (exec 3<>/dev/tcp/127.0.0.1/8080) 2>/dev/null; then
  echo "port 8080 is in use: the pictures need the relay there" >&2; exit 1
fi
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir -m 700 "$work/mailboxes"

cat >"$work/session.sh" <<EOF
set -eu
# The relay, the windows and the window manager end with the display.
trap 'kill \$(jobs -p) 2>/dev/null' EXIT
openbox & sleep 1
KROVA_RELAY_DIR=$work/mailboxes php -S 127.0.0.1:8080 -t '$here/relay' '$here/relay/router.php' >'$work/php.log' 2>&1 &
sleep 1
code=7Q4K-2X9F-M3
# The technician: the session's address, the Settings page in front.
HOME=$work/tech '$demo' --remote localhost:8080/s/\$code --page settings >/dev/null 2>&1 &
sleep 3
tech=\$(xdotool search --onlyvisible --name 'remote support connection' | head -1)
xdotool windowmove --sync \$tech 760 40
# The owner: the box of "Support Domain Name...", the code as heard.
HOME=$work/owner '$demo' --join >/dev/null 2>&1 &
sleep 3
box=\$(xdotool getactivewindow)
owner=\$(xdotool search --onlyvisible --name 'USB connection' | head -1)
xdotool windowmove --sync \$owner 0 40
xdotool windowmove --sync \$box 0 300
xdotool type --delay 40 7q4k-2x9f-m3
# A window with its frame (a title bar of about 20 pixels), and whatever
# lies on it.
grab() {
  sleep 0.5
  eval \$(xdotool getwindowgeometry --shell \$1)
  import -window root -crop \$((WIDTH + 2))x\$((HEIGHT + 22))+\$((X - 1))+\$((Y - 41)) +repage '$out'/\$2
}
shot() { grab \$owner \$1; }
shot session-owner-code.png
xdotool key Return; sleep 1
shot session-owner-question.png
xdotool windowactivate --sync \$(xdotool search --onlyvisible --name '^Remote Support\$' | tail -1)
xdotool key Return; sleep 8
shot session-owner-sharing.png
# The technician changes "Warning Battery Temperature" and writes.
xdotool windowactivate --sync \$tech; sleep 1
eval \$(xdotool getwindowgeometry --shell \$tech)
xdotool mousemove \$((X + 330)) \$((Y + 72)) click --repeat 2 --delay 80 1; sleep 0.5
xdotool key ctrl+a; xdotool type 50; xdotool key Return; sleep 0.5
xdotool key alt+s Down Down Down Return; sleep 10
grab \$tech session-support.png
# Both Chat windows, a line each way.
chat() { xdotool windowactivate --sync \$1; sleep 0.5; xdotool key alt+o Down Down Down Down Down Return; sleep 1; }
chat \$tech
xdotool windowmove --sync \$(xdotool getactivewindow) 900 560
xdotool type --delay 30 'Hello, this is Andy. I set the warning temperature to 50 C.'; xdotool key Return; sleep 5
chat \$owner
xdotool windowmove --sync \$(xdotool getactivewindow) 330 230
xdotool type --delay 30 'Thanks, I see it.'; xdotool key Return; sleep 5
shot session-owner-notice.png
EOF
xvfb-run -a -s "-screen 0 1700x1000x24" bash "$work/session.sh"
echo "saved the session pictures in $out"
