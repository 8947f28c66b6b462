#!/usr/bin/env bash
# The batched drawing shows what drawing node by node shows: the same seeded worlds (a plain level, a sparse one
# that is mostly sky, fog, the quake, glass, glass with fog, a moving cube, the view from above) frozen after the
# same frames, drawn both ways; at most 0.5 % of the pixels may differ by more than 10 %.
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
    (cd "$game_dir" && KORVANIX_DRAW_NODES=$nodes "$picture" "$level" "$seed" "$heading" "$frames" 30 >"$log" 2>&1) &
    local pid=$!
    for _ in $(seq 150); do grep -qs '^ready$' "$log" && break; sleep 0.2; done
    grep -qs '^ready$' "$log" || { cat "$log"; fail "$name ($nodes) never drew"; kill "$pid" 2>/dev/null; return 1; }
    sleep 0.3
    import -window root -crop 800x600+0+0 +repage "$keep/$name-$([ "$nodes" = 1 ] && echo nodes || echo batched).png"
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

[ "$failures" -eq 0 ] && echo "PASS: the batched frames match the node-by-node frames"
exit $((failures > 0))
