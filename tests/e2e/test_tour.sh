#!/usr/bin/env bash
# make play on a machine without a display: the headless tour plays, ends with status 0 and leaves its five
# screenshots, the level drawn (a first poll that found no window yet once ended the tour at once).
# Usage: bash test_tour.sh GAME_DIR (the tour plays the build/game folder of the tree it belongs to)
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
env -u DISPLAY -u KORVANIX_IN_XVFB bash "$root/scripts/play" || { echo "FAIL: the tour ended with status $?"; exit 1; }
shots=$(ls "$root"/build/tour/*.png | wc -l)
[ "$shots" -eq 5 ] || { echo "FAIL: $shots screenshots of 5"; exit 1; }
spread=$(convert "$root/build/tour/2-level-1.png" -colorspace Gray -format '%[fx:standard_deviation]' info:)
awk -v s="$spread" 'BEGIN { exit !(s > 0.03) }' || { echo "FAIL: level 1 is flat ($spread)"; exit 1; }
echo "PASS: the headless tour"
