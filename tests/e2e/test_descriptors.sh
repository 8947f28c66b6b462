#!/usr/bin/env bash
# Launched with standard output or standard error closed, into a pipe whose reader goes away, under a file-size
# limit or with a FIFO in place of the text strip, the game still plays and ends as the player asks.
# Usage: bash test_descriptors.sh GAME_DIR
set -uo pipefail
source "$(dirname "$0")/../../scripts/xvfb-game.sh"
game_UseXvfb "$@"

trap game_Cleanup EXIT

# Return leaves the title screen and builds level 1 (its caption is set then), Escape pauses, Escape quits
# with status 0.
play_and_quit() {
    local what=$1
    game_FindWindow || { fail "$what: no game window"; return; }
    game_Key Return
    game_Until 20 left_title || { fail "$what: Return did not leave the title screen"; return; }
    game_Settle 3
    game_Key Escape 0.3
    game_Key Escape 0.3
    local status
    status=$(game_Wait 30)
    [ "$status" = 0 ] || fail "$what: status $status"
}

# The caption is set when Return leaves the title screen.
left_title() {
    [[ $(xdotool getwindowname "$WINDOW" 2>/dev/null) == Korvanix* ]]
}

# The error stream's lines other than the audio libraries' own complaints about the missing sound card.
game_errors() {
    grep -vE '^(ALSA lib|AL lib)' "$GAME_DIR/stderr.log"
}

# Which file a standard descriptor of the running game names.
descriptor_target() {
    readlink "/proc/$GAME_PID/fd/$1"
}
# The game puts /dev/null in place of a closed descriptor as it starts.
descriptor_is_null() {
    [ "$(descriptor_target "$1")" = /dev/null ]
}

GAME_SOURCE=$1

game_Copy "$GAME_SOURCE"
GAME_REDIRECTIONS='>&- 2>stderr.log' game_Launch
game_Until 30 descriptor_is_null 1 || fail "stdout closed: descriptor 1 is $(descriptor_target 1)"
play_and_quit "stdout closed"
game_errors && fail "stdout closed: errors on the error stream"

game_Cleanup
game_Copy "$GAME_SOURCE"
GAME_REDIRECTIONS='>stdout.log 2>&-' game_Launch
game_Until 30 descriptor_is_null 2 || fail "stderr closed: descriptor 2 is $(descriptor_target 2)"
play_and_quit "stderr closed"
grep -q '^Creating level\.\.\.$' "$GAME_DIR/stdout.log" || fail "stderr closed: no level was built"

# head ends after ten bytes, inside the first line: every later line meets a closed pipe.
game_Cleanup
game_Copy "$GAME_SOURCE"
GAME_REDIRECTIONS='> >(head -c 10 >head.out) 2>stderr.log' game_Launch
play_and_quit "piped into head -c 10"
[ "$(cat "$GAME_DIR/head.out")" = "Getting se" ] || fail "piped into head -c 10: head read $(cat "$GAME_DIR/head.out")"

# Under a file-size limit of 0 every console line fails to be written; the game plays on all the same.
game_Cleanup
game_Copy "$GAME_SOURCE"
GAME_BEFORE='ulimit -f 0' game_Launch
play_and_quit "file-size limit 0"
[ -s "$GAME_DIR/stdout.log" ] && fail "file-size limit 0: the limit did not hold"

# The text strip may be missing, and a FIFO in its place is as good as missing.
game_Cleanup
game_Copy "$GAME_SOURCE"
rm "$GAME_DIR/data/textback.bmp" && mkfifo "$GAME_DIR/data/textback.bmp"
game_Launch
play_and_quit "text strip a FIFO"
game_errors && fail "text strip a FIFO: errors on the error stream"

[ "$failures" -eq 0 ] && echo "PASS: closed standard streams, a closed pipe, a file-size limit and a FIFO text strip leave the game playable"
exit $((failures > 0))
