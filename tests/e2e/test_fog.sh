#!/usr/bin/env bash
# Fog shows: the same level, built from the same random draws with fog on and off, has its far cubes closer to
# the fog's colour (the sky's horizon) with fog on, and its near cubes hardly so.
# Usage: bash test_fog.sh GAME_DIR
set -uo pipefail
source "$(dirname "$0")/../../scripts/xvfb-game.sh"
game_UseXvfb "$@"

work=$(mktemp -d)
trap 'game_Cleanup; rm -rf "$work"' EXIT

# The game seeds its random draws with the clock: a fixed clock builds the same level twice.
printf '#include <time.h>\ntime_t time(time_t* t) { if (t) *t = 1000; return 1000; }\n' >"$work/clock.c"
cc -shared -fPIC -o "$work/clock.so" "$work/clock.c" || { echo "FAIL: cannot build the fixed clock"; exit 1; }

# Level 9's shape with level 7's dark sky, with or without fog; nothing moves, so both shots show the same scene.
shoot() {
    local fog=$1
    game_Copy "$2"
    for pair in is_autoconfigure=0 moving_cubes=0 quake_intensity=0 time_counter_speed=100000 is_subjective=1 \
        is_glasses_world=0 size_x_world=18 size_y_world=3 size_z_world=18 probability_cube=0.2 is_fog_enable="$fog"; do
        game_SetSetting "${pair%%=*}" "${pair#*=}"
    done
    # The sky and textures of level 7 under the name of level 1, the level the game starts with.
    cp "$GAME_DIR"/data/7/* "$GAME_DIR/data/1/"
    LD_PRELOAD="$work/clock.so" game_Start || { echo "FAIL: no game window"; cat "$GAME_DIR/stderr.log"; exit 1; }
    game_Key Return
    game_WaitLevels 1 60 || fail "the level was never built"
    game_Settle 2
    game_Shot "$work/fog-$fog.png"
    convert "$work/fog-$fog.png" -crop 800x600+0+0 +repage "$work/fog-$fog.png"
    game_Cleanup
    GAME_PID="" GAME_WRAPPER="" GAME_DIR=""
}
shoot 0 "$1"
shoot 1 "$1"
[ -n "${KORVANIX_LOOK_DIR:-}" ] && cp "$work/fog-0.png" "$work/fog-1.png" "$KORVANIX_LOOK_DIR/"

# The fog's colour as the game takes it: the middle rows of the four sides of level 7's sky.
sky="$1/data/7"
fog_colour=$(convert "$sky/sky_left.bmp" "$sky/sky_right.bmp" "$sky/sky_front.bmp" "$sky/sky_back.bmp" \
    -crop 256x1+0+128 +repage -append -scale '1x1!' -format 'rgb(%[fx:int(255*r)],%[fx:int(255*g)],%[fx:int(255*b)])' info:)
# The mean difference, 0 to 1, between a band of a shot and the fog colour.
from_fog() {
    convert "$work/fog-$1.png" -crop "$2" +repage \( +clone -fill "$fog_colour" -colorize 100 \) \
        -compose difference -composite -format '%[fx:mean]' info:
}
# The band along the horizon shows the far cubes; the bottom of the window the cubes just below the eye.
far="800x120+0+150"
near="800x100+0+450"
# How much closer to the fog colour a band comes with fog, as a share of its distance without: a mean over the
# band, so a pixel's shift between the two shots hardly counts.
gain() { awk -v c="$1" -v f="$2" 'BEGIN { printf "%.4f\n", (c - f) / c }'; }
far_gain=$(gain "$(from_fog 0 "$far")" "$(from_fog 1 "$far")")
near_gain=$(gain "$(from_fog 0 "$near")" "$(from_fog 1 "$near")")
echo "fog $fog_colour: the far cubes come $far_gain of the way closer to it, the near ones $near_gain"
above "$far_gain" 0.1 || fail "the far cubes are not fogged (they come $far_gain closer to the fog colour)"
above 0.08 "$near_gain" || fail "the near cubes are fogged too (they come $near_gain closer to the fog colour)"
above "$far_gain" "$(awk -v n="$near_gain" 'BEGIN { print 2 * n }')" || fail "the fog does not grow with distance"

[ "$failures" -eq 0 ] && echo "PASS: far cubes fade into the fog, near ones stay clear"
exit $((failures > 0))
