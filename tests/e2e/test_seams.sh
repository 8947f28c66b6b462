#!/usr/bin/env bash
# No seams between neighbouring cubes: where their faces overlap, both show the same texels, so whichever wins
# the depth test cannot be seen. A wall and a floor of 3 x 3 cubes, face-on and at a grazing angle, are shot
# twice: once with the odd cubes in front in every overlap, once with the even ones; the shots must agree.
# Usage: bash test_seams.sh GAME_DIR
set -uo pipefail
source "$(dirname "$0")/../../scripts/xvfb-game.sh"
game_UseXvfb "$@"

game_dir=$(cd "$1" && pwd)
checker="$game_dir/../korvanix_render_check"
[ -x "$checker" ] || { echo "missing $checker"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Runs the checker's view and grabs its 960 x 720 window once it has drawn.
shoot() {
    local view=$1 level=$2 shot="$work/$1-$2.png"
    rm -f "$work/$view.txt"
    (cd "$game_dir" && exec "$checker" "$view" "$level" 600 >"$work/$view.txt" 2>"$work/$view.err") &
    local pid=$!
    while kill -0 "$pid" 2>/dev/null && ! grep -qs ready "$work/$view.txt"; do sleep 0.2; done
    grep -q ready "$work/$view.txt" || { cat "$work/$view.err"; fail "the $view view of level $level never drew"; }
    WINDOW=$(game_GameWindow)
    game_Shot "$shot"
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
}

quarters=("wall face-on" "wall grazing" "floor face-on" "floor grazing")
for level in 1 4; do
    shoot seams-odd "$level"
    shoot seams-even "$level"
    for q in 0 1 2 3; do
        region="480x360+$((q % 2 * 480))+$((q / 2 * 360))"
        odd="$work/odd-$q.png"
        convert "$work/seams-odd-$level.png" -crop "$region" +repage "$odd"
        convert "$work/seams-even-$level.png" -crop "$region" +repage "$work/even-$q.png"
        above "$(game_Brightness "$odd")" 0.1 || fail "level $level, ${quarters[q]}: the cubes are not drawn"
        # Pixels that differ by more than 3 %: a seam puts hundreds along the twelve shared edges, a grazing view
        # leaves a few dozen on the outlines.
        differing=$(compare -metric AE -fuzz 3% "$odd" "$work/even-$q.png" null: 2>&1)
        echo "level $level, ${quarters[q]}: $differing pixels differ in the overlaps"
        [ "${differing%%.*}" -le 100 ] 2>/dev/null || fail "level $level, ${quarters[q]}: the overlaps show ($differing pixels)"
    done
done

[ "$failures" -eq 0 ] && echo "PASS: neighbouring cubes show the same texels where they overlap"
exit $((failures > 0))
