#!/usr/bin/env bash
# The sounds are heard, through OpenAL Soft writing what it plays into a wave file: silence while the figure
# stands still, sound when it jumps, silence for a jump after N, sound again after B. Walking and the alarm of
# the last five seconds restart their sounds every frame: what comes out must have no buzz at the frame rate
# (little power below 400 Hz), no steady tone, and peaks below -6 dBFS.
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

# Waits until the writer, which mixes in real time and falls behind on a busy machine, has written the given
# seconds of sound more: what the game started before then is in the capture.
mixed() {
    local target
    target=$(python3 - "$capture" "$1" <<'PYTHON'
import os, struct, sys
data = open(sys.argv[1], "rb").read(64)
fmt = data.find(b"fmt ")
print(int(os.path.getsize(sys.argv[1]) + float(sys.argv[2]) * struct.unpack("<I", data[fmt + 16:fmt + 20])[0]))
PYTHON
)
    while [ "$(size)" -lt "$target" ] && kill -0 "$GAME_PID" 2>/dev/null; do sleep 0.05; done
}

# "peak low_share strongest_share" of what was written since the mark, from its first to its last audible
# sample: the share of the power below 400 Hz, and the share in the strongest 10 Hz band.
spectrum_since() {
    python3 - "$capture" "$1" <<'PYTHON'
import array, cmath, math, re, struct, sys
data = open(sys.argv[1], "rb").read()
fmt = data.find(b"fmt ")
channels, rate = struct.unpack("<HI", data[fmt + 10:fmt + 16])
start = data.find(b"data") + 8
offset = start + max(0, int(sys.argv[2]) - start) // (4 * channels) * (4 * channels)
end = offset + (len(data) - offset) // (4 * channels) * (4 * channels)
frames = array.array("f", data[offset:end])
mono = [sum(frames[i:i + channels]) / channels for i in range(0, len(frames), channels)]
audible = [i for i, v in enumerate(mono) if abs(v) > 0.003]
if len(audible) < 2:
    print("0 0 0")
    sys.exit()
sound = mono[audible[0]:audible[-1] + 1]
peak = max(abs(v) for v in sound)
n = 1
while n * 2 <= len(sound) and n < 65536:
    n *= 2
def fft(x):
    if len(x) == 1:
        return x
    even, odd = fft(x[0::2]), fft(x[1::2])
    twiddled = [cmath.exp(-2j * math.pi * k / len(x)) * odd[k] for k in range(len(x) // 2)]
    return [even[k] + twiddled[k] for k in range(len(x) // 2)] + [even[k] - twiddled[k] for k in range(len(x) // 2)]
# Averaged over successive windowed blocks, so that a long capture counts whole.
power = [0.0] * (n // 2)
for first in range(0, len(sound) - n + 1, n):
    block = [sound[first + i] * (0.5 - 0.5 * math.cos(2 * math.pi * i / n)) for i in range(n)]
    for k, c in enumerate(fft(block)[:n // 2]):
        power[k] += abs(c) ** 2
power[0] = 0
total = sum(power) or 1
bin_hz = rate / n
low = sum(p for k, p in enumerate(power) if k * bin_hz < 400) / total
top = max(range(len(power)), key=lambda k: power[k])
band = int(5 / bin_hz) + 1
strongest = sum(power[max(0, top - band):top + band + 1]) / total
print(f"{peak:.4f} {low:.4f} {strongest:.4f}")
PYTHON
}

# Fails unless what was heard since the mark is a sound made for being restarted every frame.
judge_restarted() {
    local what=$1 peak low strongest
    read -r peak low strongest <<<"$(spectrum_since "$2")"
    echo "$what: peak $peak, power below 400 Hz $low, strongest 10 Hz band $strongest"
    above "$peak" 0.01 || { fail "$what is silent"; return; }
    above 0.5 "$peak" || fail "$what peaks above -6 dBFS ($peak)"
    above 0.05 "$low" || fail "$what buzzes at the frame rate ($low of its power below 400 Hz)"
    above 0.3 "$strongest" || fail "$what is a steady tone ($strongest of its power in one 10 Hz band)"
}

# Listens to what the game plays while the keys are held, one after the other.
listen() {
    local mark
    mark=$(size)
    for key in "$@"; do game_Key "$key" 0.3; done
    mixed 1
    peak_since "$mark"
}

game_Start || { echo "FAIL: no game window"; cat "$GAME_DIR/stderr.log"; exit 1; }
grep -q "^Loaded sound: data/jump.wav;[1-9]" "$GAME_DIR/stdout.log" ||
    fail "the jump sound did not load: $(grep 'Loaded sound' "$GAME_DIR/stdout.log" | tr '\n' '|')"
game_Key Return
game_WaitLevels 1 60 || fail "level 1 was never built"
game_Settle 1
[ -s "$capture" ] || { echo "FAIL: OpenAL wrote no capture"; exit 1; }

still=$(listen)
above "$still" 0.0001 && fail "sound while the figure stands still (peak $still)"
jump=$(listen space)
above "$jump" 0.01 || fail "the jump is silent (peak $jump)"
game_Key n 0.4
game_Settle 1.5
muted=$(listen space)
above "$muted" 0.0001 && fail "the jump is heard after N (peak $muted)"
game_Key b 0.4
game_Settle 1.5
unmuted=$(listen space)
above "$unmuted" 0.01 || fail "the jump is silent after B (peak $unmuted)"

game_Key Escape
game_Key Escape
status=$(game_Wait 20)
[ "$status" = 0 ] || fail "the game ended with status $status"

# A fresh game on its title screen, its settings set as given, its capture going. Walking up a step jumps, so
# the jump is left out (a missing sound plays nothing) wherever the walk is listened to.
start_game() {
    game_Cleanup
    GAME_PID="" GAME_WRAPPER=""
    game_Copy "$GAME_SOURCE"
    rm "$GAME_DIR/data/jump.wav"
    local pair
    for pair in is_autoconfigure=0 moving_cubes=0 "$@"; do game_SetSetting "${pair%%=*}" "${pair#*=}"; done
    capture="$GAME_DIR/capture.wav"
    printf '[general]\ndrivers=wave\n[wave]\nfile=%s\n' "$capture" >"$GAME_DIR/alsoft.conf"
    export ALSOFT_CONF="$GAME_DIR/alsoft.conf"
    game_Start || { echo "FAIL: no game window"; cat "$GAME_DIR/stderr.log"; exit 1; }
}
GAME_SOURCE=$1

# Walking every way: each step that is not blocked restarts the walk sound. A sparse block leaves the figure
# room to walk.
start_game time_counter_speed=100000 probability_cube=0.25
game_Key Return
game_WaitLevels 1 60 || fail "level 1 was never built"
game_Settle 1
mark=$(size)
for key in Up D Down G Up; do game_Key "$key" 0.6; done
mixed 0.5
judge_restarted "walking" "$mark"

# A level whose whole time is under five seconds sounds the alarm every frame until it runs out, when the level
# is removed (a maze built anew removes its first attempts before the level is built).
level_ended() {
    awk '/^Creating level\.\.\.$/ { creating = 1 } /^done\.$/ && creating { built = 1; creating = 0 }
         /^Removing level/ && built { ended = 1 } END { exit !ended }' "$GAME_DIR/stdout.log"
}
start_game time_counter_speed=25
mark=$(size)
game_Key Return
game_Until 30 level_ended
level_ended || fail "the level's time never ran out"
mixed 0.5
judge_restarted "the alarm" "$mark"

[ "$failures" -eq 0 ] && echo "PASS: jump heard ($jump, $unmuted), silent standing and muted ($still, $muted); walk and alarm"
exit $((failures > 0))
