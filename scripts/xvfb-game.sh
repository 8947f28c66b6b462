# Sourced helpers that run the real game in a scratch copy of its folder under Xvfb and drive it with xdotool.

# Runs the calling script again inside its own Xvfb display, unless it already is.
game_UseXvfb() {
    if [ -z "${KORVANIX_IN_XVFB:-}" ]; then
        KORVANIX_IN_XVFB=1 exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$@"
    fi
}

# A scratch copy of the built game folder, so that tests may change its settings or data.
game_Copy() {
    local source=$1
    GAME_DIR=$(mktemp -d /tmp/korvanix-game-XXXXXX)
    cp -r "$source/korvanix" "$source/config.xml" "$GAME_DIR/"
    cp -r "$source/data" "$GAME_DIR/data"
}

# Sets one key of the copy's config.xml.
game_SetSetting() {
    sed -i "s/\t$1=\"[^\"]*\"/\t$1=\"$2\"/" "$GAME_DIR/config.xml"
}

# Starts the game and waits for its window; GAME_PID and WINDOW are set.
game_Start() {
    (cd "$GAME_DIR" && exec ./korvanix "$@" >"$GAME_DIR/stdout.log" 2>"$GAME_DIR/stderr.log" </dev/null) &
    GAME_PID=$!
    WINDOW=""
    for _ in $(seq 1 200); do
        WINDOW=$(xdotool search --onlyvisible --name '' 2>/dev/null | head -n 1)
        [ -n "$WINDOW" ] && break
        kill -0 "$GAME_PID" 2>/dev/null || return 1
        sleep 0.1
    done
    [ -n "$WINDOW" ] || return 1
    xdotool windowfocus --sync "$WINDOW" 2>/dev/null || true
    sleep 1
}

# Holds a key long enough for several frames to see it (a press and release within one frame is never seen).
game_Key() {
    xdotool keydown "$1"
    sleep "${2:-0.4}"
    xdotool keyup "$1"
    sleep 0.3
}

# Waits until the game's console output holds the text (a grep pattern) n times; false after the timeout.
game_WaitOutput() {
    local pattern=$1 count=${2:-1} timeout=${3:-30}
    for _ in $(seq 1 $((timeout * 10))); do
        [ "$(grep -c -- "$pattern" "$GAME_DIR/stdout.log" 2>/dev/null)" -ge "$count" ] && return 0
        sleep 0.1
    done
    return 1
}

game_Shot() {
    import -window root "$1"
}

# The mean brightness of a screenshot, 0 to 1.
game_Brightness() {
    convert "$1" -colorspace Gray -format '%[fx:mean]' info:
}

# Waits for the game to end; prints its exit status (124 when it had to be killed).
game_Wait() {
    local timeout=${1:-20}
    for _ in $(seq 1 $((timeout * 10))); do
        if ! kill -0 "$GAME_PID" 2>/dev/null; then
            wait "$GAME_PID"
            echo $?
            return
        fi
        sleep 0.1
    done
    kill -9 "$GAME_PID" 2>/dev/null
    echo 124
}
