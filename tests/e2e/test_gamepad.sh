#!/usr/bin/env bash
# A pad alone plays: B leaves the title, Start pauses, A resumes, Back held abandons the level and Start on the
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
# Waits until the game has read all that was written: the engine reads every waiting event at each run, so each
# state written is seen by a frame however slow the frames are.
read_all() {
    python3 -c 'import array, fcntl, sys, termios, time
waiting = array.array("i", [0])
for _ in range(2400):
    fcntl.ioctl(3, termios.FIONREAD, waiting)
    if waiting[0] == 0: sys.exit(0)
    time.sleep(0.05)
sys.exit(1)' || { fail "the game stopped reading the pad"; exit 1; }
}
# A button's event in Linux's joystick interface: time, value, type 1, number.
button() { printf "$(printf '\\x%02x' 0 0 0 0 "$2" 0 1 "$1")" >&3; read_all; }
press() { button "$1" 1; button "$1" 0; }

game_Copy "$1"
game_Start || { echo "FAIL: no game window"; exit 1; }
press 1
game_WaitLevels 1 60 || fail "B never left the title"
# Back abandons only in play: the level is built again only if A left the pause that Start began.
press 7
press 0
button 6 1
game_WaitLevels 2 60 || { fail "A did not resume from the pause, or Back held never abandoned the level"; exit 1; }
button 6 0
press 7
button 7 1
status=$(game_Wait 60)
[ "$status" = 0 ] || fail "Start did not pause, or Start on the pause screen did not quit (status $status)"
[ $failures -eq 0 ] && echo "PASS: a pad plays the game"
exit $failures
