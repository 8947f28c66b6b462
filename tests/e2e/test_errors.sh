#!/usr/bin/env bash
# A missing data file or a bad setting stops the game with a line that names it and status 1, without
# waiting for a key when no one sits at a terminal. Usage: bash test_errors.sh GAME_DIR
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/scripts/xvfb-game.sh"
game_UseXvfb "$@"

trap game_Cleanup EXIT

# Runs a fresh copy changed by the given commands; with "play", leaves the title screen with Escape, which
# starts play as Return does. Checks the status and that a line of the error stream starts as expected.
expect_error() {
    local what=$1 screen=$2 expected=$3
    shift 3
    game_Cleanup
    game_Copy "$GAME_SOURCE"
    (cd "$GAME_DIR" && "$@") || { fail "$what: could not prepare the copy"; return; }
    if [ "$screen" = play ]; then
        game_Start || { fail "$what: no game window ($(cat "$GAME_DIR/stderr.log"))"; return; }
        game_Key Escape 0.3
    else
        game_Launch
    fi
    local status
    status=$(game_Wait 30)
    [ "$status" = 1 ] || fail "$what: status $status"
    awk -v line="$expected" 'index($0, line) == 1 { found = 1 } END { exit !found }' "$GAME_DIR/stderr.log" ||
        fail "$what: expected '$expected', got: $(cat "$GAME_DIR/stderr.log")"
    [ "$screen" = play ] && ! grep -q "^Creating level" "$GAME_DIR/stdout.log" &&
        fail "$what: Escape on the title screen did not start play"
}

setting() { game_SetSetting "$1" "$2"; }

# How many lines the error stream holds, leaving out the audio libraries' complaints about the missing card.
error_lines() { grep -cvE '^(ALSA lib|AL lib)' "$GAME_DIR/stderr.log"; }

GAME_SOURCE=$1
expect_error "objective mesh removed" play "data/cube.3ds : CRITICAL ERROR : Can't find this file " \
    rm data/cube.3ds
expect_error "level texture removed" play "data/1/side.bmp : CRITICAL ERROR : Can't find this file " \
    rm data/1/side.bmp
# A FIFO in place of a data file must not hold the game in open(): it is no file, and said so on one line.
expect_error "objective mesh a FIFO" play "data/cube.3ds : CRITICAL ERROR : Can't find this file " \
    eval 'rm data/cube.3ds && mkfifo data/cube.3ds'
[ "$(error_lines)" = 1 ] || fail "objective mesh a FIFO: $(cat "$GAME_DIR/stderr.log")"
expect_error "level texture a FIFO" play "data/1/side.bmp : CRITICAL ERROR : Can't find this file " \
    eval 'rm data/1/side.bmp && mkfifo data/1/side.bmp'
[ "$(error_lines)" = 1 ] || fail "level texture a FIFO: $(cat "$GAME_DIR/stderr.log")"
expect_error "driver type 7" start "CRITICAL ERROR : util_GetDriverType : unknown value " \
    setting driver_type 7
expect_error "world one cell high" play \
    "size_y_world :CRITICAL ERROR : " \
    eval 'setting is_autoconfigure 0 && setting size_y_world 1'
expect_error "difficulty 0" play "difficulty_level :CRITICAL ERROR : " \
    setting difficulty_level 0
expect_error "turn speed infinite" play "keys_rotation_speed :CRITICAL ERROR : must be a finite number " \
    setting keys_rotation_speed 1e39

# Settings files the engine's XML reader would read past its buffer never reach it. The garbage starts with a
# plain letter, so it can never open with a UTF-16 byte-order mark, which the reader would decode and accept; it
# holds no NUL, where the reader's text would end, and no markup before the cut tag that ends it.
expect_error "garbage bytes" start "config.xml :CRITICAL ERROR : settings file cannot be read safely (line " \
    eval '{ printf x; head -c 4000 /dev/urandom | tr -d "\000<"; printf "<all_settings a"; } >config.xml'
expect_error "truncated file" start "config.xml :CRITICAL ERROR : settings file cannot be read safely (line " \
    eval 'head -c 300 config.xml >cut && mv cut config.xml'
expect_error "file ending inside a closing tag" start "config.xml :CRITICAL ERROR : settings file cannot be read safely" \
    eval "printf '</c\n' >config.xml"
expect_error "no all_settings element" start "is_fullscreen :CRITICAL ERROR : setting unknown" \
    sed -i s/all_settings/other_settings/ config.xml

# Values that cannot give a window or a level.
expect_error "size not a number" play "size_x_world :CRITICAL ERROR : " \
    eval 'setting is_autoconfigure 0 && setting size_x_world 0e99'
expect_error "world of no cells" play "size_z_world :CRITICAL ERROR : " \
    eval 'setting is_autoconfigure 0 && setting size_z_world 0'
expect_error "world of 1e30 cells" play "size_y_world :CRITICAL ERROR : " \
    eval 'setting is_autoconfigure 0 && setting size_y_world 1e30'
expect_error "no cubes at all" play "CRITICAL ERROR : no playable level can be built with these settings" \
    eval 'setting is_autoconfigure 0 && setting probability_cube 0'
expect_error "driver type -1" start "CRITICAL ERROR : util_GetDriverType : unknown value " \
    setting driver_type -1
expect_error "window of 0x0" start "CRITICAL ERROR : Could not create selected driver. " \
    eval 'setting window_size_x 0 && setting window_size_y 0'
expect_error "window of -5x-5" start "CRITICAL ERROR : Could not create selected driver. " \
    eval 'setting window_size_x -5 && setting window_size_y -5'

# Without a display the engine's own lines go to the error stream: standard output holds the game's lines.
game_Cleanup
game_Copy "$GAME_SOURCE"
(cd "$GAME_DIR" && env -u DISPLAY ./korvanix >stdout.log 2>stderr.log </dev/null)
status=$?
[ "$status" = 1 ] || fail "no display: status $status"
printf 'Getting settings from file config.xml\nLauching application 800x600 in windowed mode\n' |
    cmp -s - "$GAME_DIR/stdout.log" || fail "no display: standard output holds $(cat "$GAME_DIR/stdout.log")"
tail -n 1 "$GAME_DIR/stderr.log" | grep -qx "CRITICAL ERROR : Could not create selected driver. " ||
    fail "no display: the error stream ends with $(tail -n 1 "$GAME_DIR/stderr.log")"

# A colour depth of 0 only matters in fullscreen: a window opens and the game plays. The level's side texture is a
# bitmap with pixels at offset 0 (the engine's reader aborts on its negative palette), and the preload puts that
# bitmap in the place of every other one as soon as the game has read it: only checked bytes are decoded, and the
# level is drawn without its side texture.
game_Cleanup
game_Copy "$GAME_SOURCE"
game_SetSetting display_bits 0
cc -shared -fPIC -O2 -o "$GAME_DIR/game-preload.so" "$root/scripts/game-preload.c" -ldl || fail "no preload"
{ printf 'BM\x36\x03\0\0\0\0\0\0\0\0\0\0\x28\0\0\0\x10\0\0\0\x10\0\0\0\x01\0\x18\0'; head -c 792 /dev/zero; } |
    tee "$GAME_DIR/swapped.bmp" >"$GAME_DIR/data/1/side.bmp"
swap="export LD_PRELOAD='$GAME_DIR/game-preload.so' KORVANIX_SWAP_WITH='$GAME_DIR/swapped.bmp'"
if GAME_BEFORE=$swap game_Start; then
    game_Key Return
    game_WaitLevels 1 60 || fail "display_bits 0: level 1 was never built"
    game_Key Escape 0.3
    game_Key Escape 0.3
    status=$(game_Wait 20)
    [ "$status" = 0 ] || fail "display_bits 0: status $status ($(tail -n 2 "$GAME_DIR/stderr.log"))"
    # Standard output is the game's progress lines and nothing else.
    grep -vE '^(Getting settings from file config\.xml|Lauching application [0-9]+x[0-9]+ in windowed mode|Loaded sound: data/[a-z]+\.wav;[0-9]+;[0-9]+|Creating level\.\.\.|Removing level\.\.\.|done\.)$' \
        "$GAME_DIR/stdout.log" && fail "display_bits 0: lines on standard output that are not the game's"
else
    fail "display_bits 0: no window ($(cat "$GAME_DIR/stderr.log"))"
fi

# Memory that runs out at start-up (in the GL driver, in the engine's texture loader) ends the game with the game's
# own line last and status 1, under either kind of limit; a crash with memory to spare stays a crash (status 139).
for case in "ulimit -v 150000" "ulimit -v 250000" "ulimit -d 20000" "ulimit -d 40000" crash; do
    game_Cleanup
    game_Copy "$GAME_SOURCE"
    expected="1 CRITICAL ERROR : out of memory " before=$case
    [ "$case" = crash ] && expected="139 " before="export LD_PRELOAD='$GAME_DIR/preload.so' KORVANIX_CRASH=1" &&
        { cc -shared -fPIC -O2 -o "$GAME_DIR/preload.so" "$root/scripts/game-preload.c" -ldl || fail "no preload"; }
    GAME_BEFORE=$before game_Launch
    status=$(game_Wait 60)
    last=$(grep -vE '^(ALSA lib|AL lib)' "$GAME_DIR/stderr.log" | tail -n 1)
    [ "$status $last" = "$expected" ] || fail "$case: status $status, error stream ends with '$last'"
done

# A game started with & from a terminal is not its foreground job: a critical error (here no config.xml) does not
# wait for the terminal, which would stop the game (status 149), and the game ends with status 1.
game_Cleanup
game_Copy "$GAME_SOURCE"
rm "$GAME_DIR/config.xml"
(cd "$GAME_DIR" && exec script -qec 'bash -c "set -m; ./korvanix 2>stderr.log & wait \$!; echo \$? >status"' /dev/null \
    </dev/null >/dev/null 2>&1) &
GAME_PID=$! GAME_WRAPPER=$!
[ "$(game_Wait 60)" = 1 ] || fail "a game in a terminal's background: status $(cat "$GAME_DIR/status")"

[ "$failures" -eq 0 ] && echo "PASS: missing files and bad settings end with their message and status 1"
exit $((failures > 0))
