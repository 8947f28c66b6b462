#!/usr/bin/env bash
# The jump is heard, through OpenAL Soft writing what it plays into a wave file: silence while the figure
# stands still, sound when it jumps, silence for a jump after N, sound again after B.
# Usage: bash test_sound.sh GAME_DIR
set -uo pipefail
source "$(dirname "$0")/../../scripts/xvfb-game.sh"
game_UseXvfb "$@"

trap game_Cleanup EXIT

game_Copy "$1"
game_SetSetting is_autoconfigure 0
game_SetSetting moving_cubes 0
game_SetSetting time_counter_speed 100000
capture="$GAME_DIR/capture.wav"
printf '[general]\ndrivers=wave\n[wave]\nfile=%s\n' "$capture" >"$GAME_DIR/alsoft.conf"
export ALSOFT_CONF="$GAME_DIR/alsoft.conf"

# The loudest sample written since the capture was the given size. The writer never finishes the length
# fields while it runs: the samples (32-bit float) simply go on to the end of the file.
peak_since() {
    python3 - "$capture" "$1" <<'PYTHON'
import array, sys
data = open(sys.argv[1], "rb").read()
start = data.find(b"data") + 8
offset = start + max(0, int(sys.argv[2]) - start) // 4 * 4
end = offset + (len(data) - offset) // 4 * 4
samples = array.array("f", data[offset:end])
print(max((abs(s) for s in samples), default=0.0))
PYTHON
}
size() { stat -c %s "$capture"; }

# Listens to what the game plays while the keys are held, one after the other.
listen() {
    local mark
    mark=$(size)
    for key in "$@"; do game_Key "$key" 0.3; done
    sleep 1
    peak_since "$mark"
}

game_Start || { echo "FAIL: no game window"; cat "$GAME_DIR/stderr.log"; exit 1; }
grep -q "^Loaded sound: data/jump.wav;[1-9]" "$GAME_DIR/stdout.log" ||
    fail "the jump sound did not load: $(grep 'Loaded sound' "$GAME_DIR/stdout.log" | tr '\n' '|')"
game_Key Return
game_WaitLevels 1 60 || fail "level 1 was never built"
sleep 1
[ -s "$capture" ] || { echo "FAIL: OpenAL wrote no capture"; exit 1; }

still=$(listen)
above "$still" 0.0001 && fail "sound while the figure stands still (peak $still)"
jump=$(listen space)
above "$jump" 0.01 || fail "the jump is silent (peak $jump)"
game_Key n 0.4
sleep 1.5
muted=$(listen space)
above "$muted" 0.0001 && fail "the jump is heard after N (peak $muted)"
game_Key b 0.4
sleep 1.5
unmuted=$(listen space)
above "$unmuted" 0.01 || fail "the jump is silent after B (peak $unmuted)"

game_Key Escape
game_Key Escape
status=$(game_Wait 20)
[ "$status" = 0 ] || fail "the game ended with status $status"

[ "$failures" -eq 0 ] && echo "PASS: jump heard ($jump, $unmuted), silent standing and muted ($still, $muted)"
exit $((failures > 0))
