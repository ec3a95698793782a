#!/usr/bin/env bash
# Installs what is missing, builds the Windows program and opens its dialog under Wine.
#   ./run.sh [WORKING_DIRECTORY]
# The dialog reads and writes config.ini in WORKING_DIRECTORY (default build/run, so that it never
# lands in the repository). It runs as the players' readme tells Wine players to run it, in a
# Japanese locale. With no X display it runs headless under Xvfb: it saves screenshots of the
# first message box and of the dialog, prints their paths, closes the dialog with Cancel and exits.
set -euo pipefail
workdir=$(realpath -m "${1:-$(dirname "$0")/build/run}")
cd "$(dirname "$0")"
source scripts/lib.sh
source scripts/wine.sh

ensure_packages "${BUILD_PACKAGES[@]}"
ensure_wine
build_preset win64
# Wine draws the caption and the message boxes in a Japanese font only in a Japanese locale.
export LC_ALL=ja_JP.UTF-8

exe=$PWD/build/win64/keyconfig.exe
probe=$PWD/build/win64/keyconfig_probe.exe
screenshot=$PWD/build/keyconfig-dialog.png
message_screenshot=$PWD/build/keyconfig-message.png
mkdir -p "$workdir"
use_wine_prefix "$PWD/build/wine-prefix"

if [ -n "${DISPLAY:-}" ]; then
    init_wine_prefix
    say "Opening the dialog (working directory $workdir)"
    cd "$workdir"
    exec "$WINE64" "$exe"
fi

# Headless: the dialog on a virtual X server, photographed and cancelled.
program_pid=
cleanup() {
    stop_pid "$program_pid"
    stop_wine_prefix
    stop_pid "$XVFB_PID"
}
trap cleanup EXIT
start_xvfb
init_wine_prefix

probe_state() { "$WINE64" "$probe" state 2>/dev/null; }
dialog_shown() { probe_state | grep -Eq '^dialog pid=[0-9]+ visible=1'; }
dialog_ready() { probe_state | grep -Eq '^dialog pid=[0-9]+ visible=1 foreground=1'; }
# "L T R B" of a line of the probe's output that matches a pattern.
rect_of() {
    local n='(-?[0-9]+)'
    probe_state | grep -m1 -- "$1" | sed -E "s/.* rect=$n,$n,$n,$n.*/\\1 \\2 \\3 \\4/"
}
desktop_window() { xdotool search --name 'Wine desktop' | head -n1; }

say "Opening the dialog headless on $DISPLAY (working directory $workdir)"
(cd "$workdir" && exec "$WINE64" "$exe") &
program_pid=$!
# The program brings up the Wine desktop; ask about its windows only once the desktop is there.
wait_until "$WINE_WAIT_SECONDS" desktop_window
wait_until "$WINE_WAIT_SECONDS" dialog_shown

# A first start announces the new config.ini (a broken one is reported the same way): the player
# reads the message and presses OK.
rm -f "$message_screenshot"
while box=$(probe_state | grep -m1 '^msgbox'); do
    echo "Message box: ${box#*caption=}"
    if [ ! -f "$message_screenshot" ]; then
        import -window "$(desktop_window)" "$message_screenshot"
        say "Screenshot of the message box: $message_screenshot"
    fi
    "$WINE64" "$probe" press-ok >/dev/null
    wait_until "$WINE_WAIT_SECONDS" sh -c "! \"$WINE64\" \"$probe\" state | grep -q '^msgbox'"
done
wait_until "$WINE_WAIT_SECONDS" dialog_ready

read -r left top right bottom < <(rect_of '^dialog ')
import -window "$(desktop_window)" -crop "$((right - left))x$((bottom - top))+$left+$top" +repage \
    "$screenshot"
say "Screenshot of the dialog: $screenshot"

read -r left top right bottom < <(rect_of '^control id=2 ')
xdotool mousemove --window "$(desktop_window)" $(((left + right) / 2)) $(((top + bottom) / 2)) \
    click 1
wait_until "$WINE_WAIT_SECONDS" sh -c "! kill -0 $program_pid"
status=0
wait "$program_pid" || status=$?
program_pid=
say "Closed with Cancel; the program exited with code $status"
exit "$status"
