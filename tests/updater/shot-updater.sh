#!/bin/bash
# Runs the updater against the simulated instrument on a virtual display,
# picks two update files through the real file dialog, starts the transfer
# and takes screenshots while it runs and after it ends.
#   xvfb-run -a -s '-screen 0 1280x1024x24' tests/updater/shot-updater.sh <build dir> <output png>
set -euo pipefail
BUILD=${1:-build}
OUT=${2:-shot-updater.png}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

# Big enough that the transfer lasts a few seconds.
head -c 6000000 /dev/urandom > "$WORK/firmware.kt2"
head -c 4000000 /dev/urandom > "$WORK/firmware.kt3"

"$BUILD/updater/kelm-updater" --simulator &
APP=$!
sleep 2
WIN=$(xdotool search --sync --name 'Программа обновления' | head -1)
eval "$(xdotool getwindowgeometry --shell "$WIN")"
# Button centres relative to the window's top left corner.
click() { xdotool mousemove $((X + $1)) $((Y + $2)) click 1; }

choose() {
    click 652 "$1"
    DLG=$(xdotool search --sync --name 'Выбор файла' | head -1)
    sleep 0.5
    xdotool windowfocus --sync "$DLG"
    xdotool type --delay 20 "$2"
    xdotool key Return
    sleep 0.5
}
choose 50 "$WORK/firmware.kt2"
choose 79 "$WORK/firmware.kt3"
sleep 1.5 # the next scan tick enables Update
click 651 219
sleep "${SHOT_DELAY:-1.5}"
import -window root -crop 700x250+$X+$Y "${OUT%.png}-1.png"
sleep 1
import -window root -crop 700x250+$X+$Y "$OUT"
sleep "${END_WAIT:-12}"
import -window root -crop 700x250+$X+$Y "${OUT%.png}-end.png"
kill "$APP"
wait "$APP" || true
