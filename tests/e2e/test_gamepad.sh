#!/usr/bin/env bash
# A pad alone plays: B leaves the title, Back held abandons the level, Start pauses, A resumes and Start on the
# pause screen quits. The pad is a FIFO at /dev/input/js0, where the engine looks for joysticks, in a /dev of a
# mount namespace of the test's own (root only). Usage: bash test_gamepad.sh GAME_DIR
set -uo pipefail
[ "$(id -u)" -eq 0 ] && unshare -m true || { echo "SKIP: standing a pad in takes root and mount namespaces"; exit 0; }
if [ -z "${KORVANIX_REAL_DEV:-}" ]; then
    export KORVANIX_REAL_DEV=$(mktemp -d)
    unshare -m bash "$0" "$@"
    status=$?
    rmdir "$KORVANIX_REAL_DEV"
    exit $status
fi
[ -n "${KORVANIX_IN_XVFB:-}" ] || { mount --rbind /dev "$KORVANIX_REAL_DEV" && mount -t tmpfs tmpfs /dev &&
    ln -s "$KORVANIX_REAL_DEV"/* /dev/ && mkdir /dev/input && mkfifo /dev/input/js0 || exit 1; }
source "$(dirname "$0")/../../scripts/xvfb-game.sh"
game_UseXvfb "$@"
trap game_Cleanup EXIT
exec 3<>/dev/input/js0  # held open, so that the engine's open waits for no writer
# A button's event in Linux's joystick interface: time, value, type 1, number.
button() { printf "$(printf '\\x%02x' 0 0 0 0 "$2" 0 1 "$1")" >&3; }
press() { button "$1" 1; sleep 0.4; button "$1" 0; sleep 0.3; }

game_Copy "$1"
game_Start || { echo "FAIL: no game window"; exit 1; }
press 1
game_WaitLevels 1 60 || fail "B never left the title"
button 6 1
game_WaitLevels 2 60 || fail "Back held never abandoned the level"
button 6 0
press 7
press 0
press 7
kill -0 "$GAME_PID" 2>/dev/null || fail "A did not resume from the pause, or Start quit instead of pausing"
press 7
status=$(game_Wait 20)
[ "$status" = 0 ] || fail "Start on the pause screen did not quit (status $status)"
[ $failures -eq 0 ] && echo "PASS: a pad plays the game"
exit $failures
