#!/usr/bin/env bash
# The generated cube pieces render under OpenGL: top, sides and bottom each show their own level
# texture, lit, neither black nor untextured white, from smaller levels that are the renderer's own.
# Usage: bash test_render_cube.sh GAME_DIR
set -euo pipefail

game_dir=$(cd "$1" && pwd)
checker="$game_dir/../korvanix_render_check"
[ -x "$checker" ] || { echo "missing $checker"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Runs the checker with a view and a level under Xvfb and grabs the screen once it has drawn.
shoot() {
  local view=$1 level=$2
  (cd "$game_dir" && xvfb-run -a -n $((100 + RANDOM % 800)) -s "-screen 0 1024x768x24" bash -c '
      "$0" "$1" "$2" 600 > "$3/$1-$2.txt" 2> "$3/$1-$2.err" &
      pid=$!
      while kill -0 "$pid" 2>/dev/null && ! grep -qs ready "$3/$1-$2.txt"; do sleep 0.2; done
      import -window root "$3/$1-$2.png"
      kill "$pid" 2>/dev/null || true
      wait "$pid" 2>/dev/null || true' "$checker" "$view" "$level" "$work")
  grep -q ready "$work/$view-$level.txt" || { cat "$work/$view-$level.err"; fail "$view view of level $level never drew"; }
}

# "mean_r mean_g mean_b stddev" of a 24-pixel square of the shot around a face centre.
patch() {
  local shot=$1 x=$2 y=$3
  convert "$shot" -crop "24x24+$((x - 12))+$((y - 12))" +repage \
    -format '%[fx:mean.r] %[fx:mean.g] %[fx:mean.b] %[fx:standard_deviation]' info:
}

mean_of() {
  convert "$1" -format '%[fx:mean.r] %[fx:mean.g] %[fx:mean.b] 0' info:
}

# Red and green shares of a colour: lighting scales a texel but keeps its hue.
chroma() { awk '{ s = $1 + $2 + $3 + 1e-6; printf "%.4f %.4f\n", $1 / s, $2 / s }' <<< "$1"; }

distance() { awk -v a="$1" -v b="$2" 'BEGIN { split(a, p, " "); split(b, q, " ");
  printf "%.4f\n", sqrt((p[1]-q[1])^2 + (p[2]-q[2])^2 + (p[3]-q[3])^2) }'; }

above() { awk -v v="$1" -v t="$2" 'BEGIN { exit !(v > t) }'; }

check_face() {
  local level=$1 face=$2 texture=$3 stats=$4
  read -r r g b sd <<< "$stats"
  local brightness
  brightness=$(awk -v r="$r" -v g="$g" -v b="$b" 'BEGIN { print (r + g + b) / 3 }')
  above "$brightness" 0.06 || fail "level $level $face face is black ($stats)"
  above 0.93 "$brightness" || fail "level $level $face face is white ($stats)"
  above "$(awk -v s="$sd" -v m="$brightness" 'BEGIN { print s / m }')" 0.03 ||
    fail "level $level $face face is flat, untextured ($stats)"
  local hue expected
  hue=$(chroma "$stats")
  expected=$(chroma "$(mean_of "$game_dir/data/$level/$texture.bmp")")
  above 0.06 "$(distance "$hue 0" "$expected 0")" ||
    fail "level $level $face face ($hue) is not the colour of $texture.bmp ($expected)"
}

for level in 1 9; do
  shoot above "$level"
  shoot below "$level"
  read -r _ _ tx ty <<< "$(grep 'face top' "$work/above-$level.txt")"
  read -r _ _ sx sy <<< "$(grep 'face west' "$work/above-$level.txt")"
  read -r _ _ bx by <<< "$(grep 'face bottom' "$work/below-$level.txt")"
  top=$(patch "$work/above-$level.png" "$tx" "$ty")
  side=$(patch "$work/above-$level.png" "$sx" "$sy")
  bottom=$(patch "$work/below-$level.png" "$bx" "$by")
  check_face "$level" top top "$top"
  check_face "$level" side side "$side"
  check_face "$level" bottom bottom "$bottom"
  # The lit faces differ by their lighting alone; the level's three images must differ themselves.
  for pair in "top side" "bottom side" "top bottom"; do
    read -r one two <<< "$pair"
    above "$(distance "$(mean_of "$game_dir/data/$level/$one.bmp")" "$(mean_of "$game_dir/data/$level/$two.bmp")")" 0.05 ||
      fail "level $level: $one.bmp and $two.bmp look alike"
  done
  above "$(distance "$top" "$side")" 0.05 || fail "level $level: top and side look alike ($top / $side)"
  above "$(distance "$bottom" "$side")" 0.05 || fail "level $level: bottom and side look alike ($bottom / $side)"
  above "$(distance "$top" "$bottom")" 0.05 || fail "level $level: top and bottom look alike ($top / $bottom)"
  # The game makes the textures' smaller levels itself: they must be the renderer's own, byte for byte. Left to the
  # renderer, they would be compared with themselves.
  levels=$(cd "$game_dir" && xvfb-run -a -n $((100 + RANDOM % 800)) -s "-screen 0 1024x768x24" "$checker" levels "$level" 0)
  grep -qx "different levels 0" <<<"$levels" || fail "level $level: the smaller texture levels are not the renderer's ($levels)"
  grep -qx "handed levels [1-9][0-9]*" <<<"$levels" || fail "level $level: the game made no smaller texture levels ($levels)"
done

[ "$failures" -eq 0 ] && echo "PASS: three differently textured faces on every view"
exit $((failures > 0))
