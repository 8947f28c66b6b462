#!/usr/bin/env bash
# A short session of the real game under valgrind's memcheck: the title, Return, level 1, Tab, Escape twice. No
# invalid read or write and no definite leak may be left once scripts/valgrind.supp has taken out the reports
# judged not to be faults. Usage: bash test_valgrind_session.sh GAME_DIR
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/scripts/xvfb-game.sh"
game_UseXvfb "$@"

trap 'game_Cleanup' EXIT
die() {
    echo "FAIL: $*"
    [ -n "${GAME_DIR:-}" ] && cat "$GAME_DIR/stderr.log" "$GAME_DIR"/valgrind.*.log 2>/dev/null | grep -v '^--' |
        head -n 300
    exit 1
}

started=$(date +%s)
game_Copy "$1"
# A small window and Mesa's softpipe: llvmpipe compiles its shaders with LLVM, which under valgrind takes
# minutes for each level, while softpipe interprets them and the whole session takes some twenty seconds.
game_SetSetting window_size_x 320
game_SetSetting window_size_y 240
# A level that only the keys end, however slowly the session runs: a still world with hours of time.
game_SetSetting is_autoconfigure 0
game_SetSetting moving_cubes 0
game_SetSetting quake_intensity 0
game_SetSetting time_counter_speed 100000
cc -shared -fPIC -O2 -o "$GAME_DIR/game-preload.so" "$root/scripts/game-preload.c" -ldl ||
    die "cannot build scripts/game-preload.c"
# The game runs through a wrapper, so the helpers start and watch valgrind as they would the game; exec keeps
# the process id. The preload keeps the GL driver loaded to the end, so what it holds is not taken for leaks.
mv "$GAME_DIR/korvanix" "$GAME_DIR/korvanix.bin"
cat >"$GAME_DIR/korvanix" <<WRAPPER
#!/bin/sh
export GALLIUM_DRIVER=softpipe LD_PRELOAD="$GAME_DIR/game-preload.so"
exec valgrind --tool=memcheck --log-file="$GAME_DIR/valgrind.%p.log" --num-callers=40 --error-exitcode=99 \
    --leak-check=full --show-leak-kinds=definite --errors-for-leak-kinds=definite --show-error-list=yes \
    --suppressions="$root/scripts/valgrind.supp" ./korvanix.bin "\$@"
WRAPPER
chmod +x "$GAME_DIR/korvanix"

game_Launch
game_FindWindow || die "no game window under valgrind"
# Under valgrind a press may fall wholly between two frames and go unseen, and a busy machine stretches every
# step: each key is pressed again until the console shows that it was taken.
game_WaitOutput "^Loaded sound:" 3 240 || die "the sounds were never loaded"
for _ in $(seq 1 20); do
    game_Key Return 1
    game_WaitOutput "^Creating level" 1 15 && break
done
game_WaitLevels 1 300 || die "level 1 was never built"
# A level whose maze test fails is removed and built again before play: count removals from here on.
removals=$(grep -c "^Removing level" "$GAME_DIR/stdout.log")
for _ in $(seq 1 10); do
    game_Key Tab 1
    game_WaitOutput "^Removing level" $((removals + 1)) 30 && break
done
game_WaitLevels 2 300 || die "Tab did not rebuild the level"
# The first Escape seen pauses and the second quits, which removes the level once more.
removals=$(grep -c "^Removing level" "$GAME_DIR/stdout.log")
for _ in $(seq 1 8); do
    game_Key Escape 1
    game_WaitOutput "^Removing level" $((removals + 1)) 10 && break
done
status=$(game_Wait 240)

log=$(ls "$GAME_DIR"/valgrind.*.log 2>/dev/null | head -n 1)
[ -n "$log" ] || die "valgrind wrote no log"
summary=$(grep -o 'ERROR SUMMARY: .*' "$log" | tail -n 1)
echo "valgrind session: $(($(date +%s) - started))s, levels built $(game_LevelsBuilt), exit status $status"
echo "valgrind: $summary"
grep -E 'definitely lost:|indirectly lost:|possibly lost:' "$log" | sed 's/^==[0-9]*== */valgrind: /'
grep -E 'used_suppression' "$log" | sed 's/^--[0-9]*-- *used_suppression: */valgrind: suppressed /'

[ "$(game_LevelsBuilt)" -eq 2 ] || die "the session built $(game_LevelsBuilt) levels, not level 1 twice"
[ "$(tail -n 2 "$GAME_DIR/stdout.log" | tr '\n' '|')" = "Removing level...|done.|" ] ||
    die "Escape twice did not quit through the level's removal"
[[ "$summary" == "ERROR SUMMARY: 0 errors"* ]] || die "valgrind found errors"
[ "$status" = 0 ] || die "the game under valgrind ended with status $status"
echo "PASS"
