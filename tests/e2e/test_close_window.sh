#!/usr/bin/env bash
# Closing the window, as a window manager asks it to, is an ordinary end (status 0) on the title screen,
# during play and on the pause screen. Usage: bash test_close_window.sh GAME_DIR
set -uo pipefail
source "$(dirname "$0")/../../scripts/xvfb-game.sh"
game_UseXvfb "$@"

trap game_Cleanup EXIT

# Starts a fresh copy, brings it to the given screen, closes the window and checks the end.
close_on() {
    local screen=$1
    game_Cleanup
    game_Copy "$GAME_SOURCE"
    game_SetSetting is_autoconfigure 0
    game_SetSetting moving_cubes 0
    game_SetSetting time_counter_speed 100000
    game_Start || { fail "$screen: no game window"; return; }
    if [ "$screen" != title ]; then
        game_Key Return
        game_WaitLevels 1 60 || { fail "$screen: level 1 was never built"; return; }
        game_Settle 0.5
    fi
    [ "$screen" = pause ] && game_Key Escape 0.4
    local removals
    removals=$(grep -c '^Removing level' "$GAME_DIR/stdout.log")
    game_Close || { fail "$screen: the close message could not be sent"; return; }
    local status
    status=$(game_Wait 20)
    [ "$status" = 0 ] || fail "closing the window on the $screen screen ended with status $status"
    [ "$screen" = title ] && [ "$(game_LevelsBuilt)" -ne 0 ] && fail "closing the title screen built a level"
    # Play removes its level before it ends; the message screens end on the spot.
    local expected=$removals
    [ "$screen" = play ] && expected=$((removals + 1))
    [ "$(grep -c '^Removing level' "$GAME_DIR/stdout.log")" -eq "$expected" ] ||
        fail "closing the window on the $screen screen: $(tail -n 3 "$GAME_DIR/stdout.log" | tr '\n' '|')"
    grep -q "CRITICAL ERROR" "$GAME_DIR/stderr.log" && fail "$screen: $(cat "$GAME_DIR/stderr.log")"
}

GAME_SOURCE=$1
close_on title
close_on play
close_on pause

[ "$failures" -eq 0 ] && echo "PASS: closing the window ends the game with status 0 on every screen"
exit $((failures > 0))
