#!/usr/bin/env bash
# The batched drawing shows what drawing node by node shows: the same seeded worlds (a plain level, a sparse one
# that is mostly sky, fog, the quake, glass, glass with fog, a moving cube, the view from above) frozen after the
# same frames, drawn both ways; at most 0.5 % of the pixels may differ by more than 10 %. The objective, drawn on top
# of everything, shows through a stack of glass floors, and the ceiling's tiles add their light once everywhere.
# Usage: bash test_batch_picture.sh GAME_DIR
set -euo pipefail
source "$(dirname "$0")/../../scripts/xvfb-game.sh"
game_UseXvfb "$@"

game_dir=$(cd "$1" && pwd)
picture="$game_dir/../korvanix_batch_picture"
[ -x "$picture" ] || { echo "missing $picture"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Kept for a look when a case fails: build/batch-picture/ next to the game folder.
keep="$game_dir/../batch-picture"
mkdir -p "$keep"

# Draws a case one way and grabs the window's 800x600 once the frozen frame is up.
shoot() {
    local name=$1 nodes=$2 level=$3 seed=$4 heading=$5 frames=$6
    local log="$work/$name-$nodes.txt"
    (cd "$game_dir" && KORVANIX_DRAW_NODES=$nodes exec "$picture" "$level" "$seed" "$heading" "$frames" 600 >"$log" 2>&1) &
    local pid=$!
    while kill -0 "$pid" 2>/dev/null && ! grep -qs '^ready$' "$log"; do sleep 0.2; done
    grep -qs '^ready$' "$log" || { cat "$log"; fail "$name ($nodes) never drew"; kill "$pid" 2>/dev/null; return 1; }
    sleep 0.3
    WINDOW=$(game_GameWindow)
    game_Shot "$keep/$name-$([ "$nodes" = 1 ] && echo nodes || echo batched).png"
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}

check() {
    local name=$1
    shift
    shoot "$name" 1 "$@" || return 0
    shoot "$name" 0 "$@" || return 0
    local nodes="$keep/$name-nodes.png" batched="$keep/$name-batched.png"
    # Two ways in earnest: node by node takes many more draw calls than the batch.
    local node_calls batched_calls
    node_calls=$(awk '/^calls / { print $2 }' "$work/$name-1.txt")
    batched_calls=$(awk '/^calls / { print $2 }' "$work/$name-0.txt")
    echo "$name: $node_calls draw calls node by node, $batched_calls batched"
    [ "${node_calls:-0}" -gt $((2 * ${batched_calls:-0})) ] && [ "${batched_calls:-0}" -gt 0 ] ||
        fail "$name: node by node ($node_calls calls) and batched ($batched_calls calls) were not drawn two ways"
    # A black or one-colour frame would pass any comparison: the picture must hold something.
    above "$(convert "$nodes" -colorspace Gray -format '%[fx:standard_deviation]' info:)" 0.03 ||
        fail "$name: the frame drawn node by node is flat"
    local differing
    differing=$(compare -metric AE -fuzz 10% "$nodes" "$batched" "$keep/$name-difference.png" 2>&1 >/dev/null || true)
    echo "$name: $differing of 480000 pixels differ by more than 10 %"
    [[ "$differing" =~ ^[0-9]+$ ]] || { fail "$name: no comparison ($differing)"; return 0; }
    [ "$differing" -le 2400 ] || fail "$name: $differing pixels differ (at most 2400, 0.5 %)"
}

check plain-level-1 1 11 45 10
check sky-level-4 4 12 100 10
check fog-level-7 7 13 0 10
check quake-level-8 8 14 30 25
check glass-level-2 2 15 60 10
check glass-fog-level-9 9 16 200 10
check from-above-level-3 3 17 0 10
# A dense level while a cube slides (the faces it leaves and meets come back), and the view from above, whose
# camera may stand inside a cube.
check moving-level-10 10 18 200 25
grep -qx 'move [1-6]' "$work/moving-level-10-0.txt" || fail "moving-level-10: no cube was on its way"
check from-above-level-11 11 19 270 10

# Seen zoomed in through several glass floors of the tower, the objective must stand out of the frame drawn without
# it: drawn only in the scene's own pass, the glass in front washed it out to nothing.
shoot objective-through-glass 0 2 29 objective 10 &&
    KORVANIX_PICTURE_WITHOUT_OBJECTIVE=1 shoot no-objective-through-glass 0 2 29 objective 10 && {
    differing=$(compare -metric AE -fuzz 10% "$keep/objective-through-glass-batched.png" \
        "$keep/no-objective-through-glass-batched.png" null: 2>&1 || true)
    echo "objective through glass: $differing pixels differ from the frame without it"
    [[ "$differing" =~ ^[0-9]+$ ]] && [ "$differing" -ge 3000 ] ||
        fail "objective through glass: only $differing pixels show it (at least 3000)"
}

# Zoomed in with the eye just off a face, the near plane cut that face away and culled the faces beyond: the
# objective vanished. The camera walks round it (on plain ground, in glass and fog): from outside its box it shows.
for world in "1 12" "9 16"; do
    (cd "$game_dir" && "$picture" $world orbit 10 0 >"$work/orbit.txt" 2>&1) || fail "orbit $world: the program failed"
    [ "$(grep -c '^pose ' "$work/orbit.txt")" -eq 744 ] || fail "orbit $world: not every place was drawn"
    missing=$(awk '$5 == "outside" && $6 == 0 { printf "%s/%s/%s ", $2, $3, $4 }' "$work/orbit.txt")
    [ -z "$missing" ] || fail "orbit $world: the objective vanished seen from $missing"
done

# The ceiling seen from below, its tiles a flat grey over a black world, but for the black band the data gives their
# texture where neighbours overlap: there the light must not be added twice (a bright grid across the sky).
flat="$work/flat-game"
mkdir -p "$flat"
cp -r "$game_dir/." "$flat/"
for image in side bottom sky_top sky_bottom sky_left sky_right sky_front sky_back; do
    convert -size 64x64 xc:black -type TrueColor "BMP3:$flat/data/6/$image.bmp"
done
convert "$game_dir/data/6/top.bmp" -fill 'rgb(128,128,128)' +opaque black -type TrueColor "BMP3:$flat/data/6/top.bmp"
game_dir=$flat KORVANIX_PICTURE_WITHOUT_OBJECTIVE=1 shoot ceiling 0 6 21 up 10 && {
    ceiling=$(convert "$keep/ceiling-batched.png" -colorspace Gray -threshold 30% -format '%[fx:round(mean*w*h)]' info:)
    doubled=$(convert "$keep/ceiling-batched.png" -colorspace Gray -threshold 60% -format '%[fx:round(mean*w*h)]' info:)
    echo "ceiling: $ceiling pixels of tiles, $doubled of them lit twice"
    [ "$ceiling" -ge 50000 ] || fail "ceiling: only $ceiling pixels of tiles in sight"
    [ "$doubled" -le 50 ] || fail "ceiling: $doubled pixels lit twice where the tiles meet"
}

[ "$failures" -eq 0 ] && echo "PASS: the batched frames match the node-by-node frames"
exit $((failures > 0))
