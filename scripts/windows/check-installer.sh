#!/usr/bin/env bash
# Checks the Windows installer under Wine, in a Wine prefix made for the
# check (a PC that never had the utility):
#   scripts/windows/check-installer.sh SETUP.exe
# silent install (/S); the files, the Start-menu entries and the entry of
# "Apps & features"; the installed program starts and keeps running 10 s
# (under xvfb-run, with Qt's windows platform); krova-cli --demo state prints
# the System State page; silent uninstall leaves no file, entry or key of the
# installation behind.
set -euo pipefail
setup=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
export WINEPREFIX=$(mktemp -d /tmp/krova-wine-install.XXXXXX)
export WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
trap 'wineserver -k 2>/dev/null || true; rm -rf "$WINEPREFIX"' EXIT
fail() { echo "check-installer: $*" >&2; exit 1; }

wineboot -i >/dev/null 2>&1 || true
programs="$WINEPREFIX/drive_c/Program Files/K-ROVA X Utility"
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/K-ROVA X Utility"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\krova-utility'

wine "$setup" /S
wineserver -w
for f in krova-utility.exe krova-utility-demo.exe krova-cli.exe uninstall.exe Qt6Core.dll qt.conf \
         plugins/platforms/qwindows.dll plugins/tls/qschannelbackend.dll libstdc++-6.dll user-guide/user-guide.md; do
  [ -f "$programs/$f" ] || fail "not installed: $f"
done
for f in "K-ROVA X Utility.lnk" "K-ROVA X Utility (demo).lnk"; do
  [ -f "$menu/$f" ] || fail "no Start-menu entry $f"
done
wine reg query "$key" /v DisplayName 2>/dev/null | grep -q "K-ROVA X Utility" || fail "no entry in Apps & features"
echo "check-installer: installed $(find "$programs" -type f | wc -l) files, $(du -sh "$programs" | cut -f1)"

status=0
xvfb-run -a timeout 10 wine "C:\\Program Files\\K-ROVA X Utility\\krova-utility.exe" >/dev/null 2>&1 || status=$?
[ "$status" = 124 ] || fail "the installed program did not keep running 10 s (exit status $status)"
echo "check-installer: the program ran 10 s"
state=$(wine "C:\\Program Files\\K-ROVA X Utility\\krova-cli.exe" --demo state 2>&1 | tr -d '\r')
grep -q "^Measured Values$" <<<"$state" && grep -q "Regulator Name: Port engine" <<<"$state" \
  || fail "krova-cli --demo state printed: $state"
echo "check-installer: krova-cli --demo state printed the page"

wine "C:\\Program Files\\K-ROVA X Utility\\uninstall.exe" /S
wineserver -w
[ ! -e "$programs" ] || fail "left behind: $(find "$programs" | head -5)"
[ ! -e "$menu" ] || fail "the Start-menu folder is left behind"
if wine reg query "$key" >/dev/null 2>&1; then fail "the Apps & features entry is left behind"; fi
echo "check-installer: uninstalled without a trace"
