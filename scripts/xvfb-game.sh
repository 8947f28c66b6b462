# Sourced helpers that run the real game in a scratch copy of its folder under Xvfb and drive it with xdotool.

# Runs the calling script again inside its own Xvfb display, unless it already is. The search for a free
# display starts at a random number: two runs started together from the same number can pick the same one,
# and then one game loses its display when the other run ends. The display gets a window manager, so the game
# meets a desktop's focus, decorations and maximise; it ends with the display.
game_UseXvfb() {
    if [ -z "${KORVANIX_IN_XVFB:-}" ]; then
        KORVANIX_IN_XVFB=1 exec xvfb-run -a -n $((100 + RANDOM % 800)) -s "-screen 0 1024x768x24" bash "$0" "$@"
    fi
    local manager
    # A window mapped before the manager has taken the display would be left to itself.
    until xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; do
        [ -z "${manager:-}" ] && { openbox >/dev/null 2>&1 </dev/null & manager=$!; }
        kill -0 "$manager" 2>/dev/null || { echo "FAIL: openbox did not start" >&2; exit 1; }
        sleep 0.05
    done
}

# A scratch copy of the built game folder, so that tests may change its settings or data; with it the preload
# that counts the frames the game shows, which is how the helpers below wait for the game, however slowly a busy
# machine runs it.
game_Copy() {
    local source=$1
    GAME_DIR=$(mktemp -d /tmp/korvanix-game-XXXXXX)
    cp -r "$source/korvanix" "$source/config.xml" "$GAME_DIR/"
    cp -r "$source/data" "$GAME_DIR/data"
    cc -shared -fPIC -O2 -o "$GAME_DIR/frames.so" "$(dirname "${BASH_SOURCE[0]}")/game-preload.c" -ldl
}

# Sets one key of the copy's config.xml.
game_SetSetting() {
    grep -q $'\t'"$1=\"" "$GAME_DIR/config.xml" || { echo "config.xml has no key $1" >&2; return 1; }
    sed -i "s/\t$1=\"[^\"]*\"/\t$1=\"$2\"/" "$GAME_DIR/config.xml"
}

# Starts the game; GAME_PID is set. Its exit status lands in a file, so that game_Wait works in a subshell.
# GAME_REDIRECTIONS replaces the output files (a shell fragment such as '>&-'); GAME_BEFORE is run first in the
# game's own shell, such as a limit.
game_Launch() {
    local redirections=${GAME_REDIRECTIONS:-'>stdout.log 2>stderr.log'} before=${GAME_BEFORE:-:}
    rm -f "$GAME_DIR/pid" "$GAME_DIR/status" "$GAME_DIR/frames"
    # The preload's counts, made at their full size here: under a file-size limit, the preload's growing the
    # file would end the game.
    truncate -s $(((2 + 65536) * 8)) "$GAME_DIR/frames"
    (
        cd "$GAME_DIR" || exit
        # A caller's own copy of the preload counts the frames just as well.
        case ${LD_PRELOAD:-} in
            *game-preload.so*) ;;
            *) [ -f frames.so ] && export LD_PRELOAD="${LD_PRELOAD:+$LD_PRELOAD }$GAME_DIR/frames.so" ;;
        esac
        export KORVANIX_FRAME_FILE="$GAME_DIR/frames"
        eval "($before; exec ./korvanix \"\$@\" $redirections </dev/null) &"
        echo $! >pid
        wait $!
        echo $? >status.part
        mv status.part status
    ) &
    GAME_WRAPPER=$!
    until [ -s "$GAME_DIR/pid" ]; do sleep 0.05; done
    GAME_PID=$(cat "$GAME_DIR/pid")
}

# Starts the game and waits for its window; GAME_PID and WINDOW are set.
game_Start() {
    game_Launch "$@"
    game_FindWindow
}

# The game's window once it is shown: the newest window the window manager took that is on screen (its own
# frames and pop-ups are none of its clients). Nothing while there is none.
game_GameWindow() {
    local window
    for window in $(xprop -root _NET_CLIENT_LIST 2>/dev/null | grep -o '0x[0-9a-f]*' | tac); do
        xwininfo -id "$window" 2>/dev/null | grep -q IsViewable && { echo $((window)); return 0; }
    done
    return 0
}

# Waits for the window of the game GAME_PID and focuses it, or keys never arrive; WINDOW is set. The game must
# have shown frames in it before keys are sent.
game_FindWindow() {
    WINDOW=""
    local started=$SECONDS
    while [ $((SECONDS - started)) -lt 300 ]; do
        WINDOW=$(game_GameWindow)
        [ -n "$WINDOW" ] && break
        kill -0 "$GAME_PID" 2>/dev/null || return 1
        sleep 0.1
    done
    [ -n "$WINDOW" ] || return 1
    xdotool windowfocus --sync "$WINDOW" 2>/dev/null || true
    game_Settle 1
}

# The frames the game has shown so far (0 when it runs without the counting preload).
game_FrameCount() {
    od -An -t u8 -N 8 "$GAME_DIR/frames" 2>/dev/null | tr -d ' ' | grep . || echo 0
}

# Waits until the game has shown n more frames, or has had a tenth of a second of processor time, as when it
# waits for a key's release without drawing: what it shows then has seen what came before. False when the game
# ends first, or makes no progress for a minute; at once when it runs without the counting preload.
game_Frames() {
    local target=$(($(game_FrameCount) + $1)) ticks=$(($(game_Ticks) + $(getconf CLK_TCK) / 10)) count
    local last=-1 still_since=$SECONDS
    grep -qE '(frames|game-preload)\.so' "/proc/$GAME_PID/maps" 2>/dev/null || return 0
    while count=$(game_FrameCount); [ "$count" -lt "$target" ] && [ "$(game_Ticks)" -lt "$ticks" ]; do
        kill -0 "$GAME_PID" 2>/dev/null || return 1
        [ "$count" -ne "$last" ] && last=$count && still_since=$SECONDS
        [ $((SECONDS - still_since)) -lt 60 ] || return 1
        sleep 0.05
    done
}

# Waits the given seconds and then for two frames more, for a screenshot or a check of what the game has done
# by then: on a busy machine a frame may come long after the time. A game that ends meanwhile, as after the
# key that quits, ends the wait too; the checks that follow judge it.
game_Settle() {
    sleep "$1"
    game_Frames 2 || true
}

# Holds a key for the given seconds and at least two frames: a press and release within one frame is never
# seen. Then two more frames see the release.
game_Key() {
    xdotool keydown "$1"
    game_Settle "${2:-0.4}"
    xdotool keyup "$1"
    game_Settle 0.3
}

# The processor time the game has had, in clock ticks.
game_Ticks() {
    awk '{ print $14 + $15 }' "/proc/$GAME_PID/stat" 2>/dev/null || echo 0
}

# True while a wait of TIMEOUT seconds, begun at the tick count and time given, should go on: the game runs
# and the time is not up, or the game has not had it, less than half a processor's worth of it (a busy
# machine, or valgrind); ten times the time ends it all the same.
game_Patient() {
    local ticks=$1 elapsed=$((SECONDS - $2)) timeout=$3
    kill -0 "$GAME_PID" 2>/dev/null || return 1
    [ "$elapsed" -lt "$timeout" ] && return 0
    [ "$elapsed" -lt $((timeout * 10)) ] && [ $(($(game_Ticks) - ticks)) -lt $((timeout * $(getconf CLK_TCK) / 2)) ]
}

# Runs the command until it succeeds, for at most TIMEOUT seconds as game_Patient reckons them; its last try
# comes after the game has ended or the time is up.
game_Until() {
    local timeout=$1 ticks started=$SECONDS
    shift
    ticks=$(game_Ticks)
    until "$@"; do
        game_Patient "$ticks" "$started" "$timeout" || { "$@"; return; }
        sleep 0.1
    done
}

# Waits until the game's console output holds the text (a grep pattern) n times; false after the timeout.
game_WaitOutput() {
    game_Until "${3:-30}" game_OutputHas "$1" "${2:-1}"
}
game_OutputHas() {
    [ "$(grep -c -- "$1" "$GAME_DIR/stdout.log" 2>/dev/null)" -ge "$2" ]
}

# Waits until n levels have been built to the end (a level whose maze is rebuilt counts once); false after
# the timeout.
game_WaitLevels() {
    game_Until "${2:-60}" game_LevelsAtLeast "$1"
}
game_LevelsAtLeast() {
    [ "$(game_LevelsBuilt)" -ge "$1" ]
}

# How many levels the console shows as built: a "done." that closes a "Creating level...".
game_LevelsBuilt() {
    awk '/^Creating level\.\.\.$/ { creating = 1 } /^Removing level\.\.\.$/ { creating = 0 }
         /^done\.$/ && creating { built++; creating = 0 } END { print built + 0 }' "$GAME_DIR/stdout.log"
}

# The window's caption.
game_Caption() {
    xdotool getwindowname "$WINDOW"
}

# Asks the window to close as a window manager does: a WM_DELETE_WINDOW message of the WM_PROTOCOLS kind.
game_Close() {
    python3 - "$WINDOW" <<'PYTHON'
import ctypes, sys
x11 = ctypes.cdll.LoadLibrary("libX11.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XInternAtom.restype = ctypes.c_ulong
x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
x11.XFlush.argtypes = [ctypes.c_void_p]
x11.XCloseDisplay.argtypes = [ctypes.c_void_p]

class ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]

class Event(ctypes.Union):
    _fields_ = [("xclient", ClientMessage), ("pad", ctypes.c_long * 24)]

display = x11.XOpenDisplay(None)
if not display:
    sys.exit("no display")
event = Event()
event.xclient.type = 33  # ClientMessage
event.xclient.window = int(sys.argv[1])
event.xclient.message_type = x11.XInternAtom(display, b"WM_PROTOCOLS", 0)
event.xclient.format = 32
event.xclient.data[0] = x11.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
if not x11.XSendEvent(display, event.xclient.window, 0, 0, ctypes.byref(event)):
    sys.exit("the message could not be sent")
x11.XFlush(display)
x11.XCloseDisplay(display)
PYTHON
}

# Crops a screenshot to WIDTHxHEIGHT+X+Y.
game_Crop() {
    convert "$1" -crop "$2" +repage "$3"
}

# A digest of the pixels of a region of a screenshot: equal digests, equal pixels.
game_Digest() {
    convert "$1" -crop "$2" +repage -format '%#' info:
}

# Ends a game that is still running and removes the scratch copy: the exit trap of every test.
game_Cleanup() {
    [ -n "${GAME_PID:-}" ] && kill -9 "$GAME_PID" 2>/dev/null
    [ -n "${GAME_WRAPPER:-}" ] && wait "$GAME_WRAPPER" 2>/dev/null
    [ -n "${GAME_DIR:-}" ] && rm -rf "$GAME_DIR"
    return 0
}

# The screen where the game's window is, as large as its inside: decorations and placement aside, the
# window's own pixel x,y is at x,y in the picture.
game_Shot() {
    import -window root -crop "$(game_WindowGeometry)" +repage "$1"
}

# The inside of the game's window on the screen, as WIDTHxHEIGHT+X+Y.
game_WindowGeometry() {
    xwininfo -id "$WINDOW" | awk '/Absolute upper-left X:/ { x = $4 } /Absolute upper-left Y:/ { y = $4 }
        /Width:/ { w = $2 } /Height:/ { h = $2 } END { print w "x" h "+" x "+" y }'
}

# The mean brightness of a screenshot, 0 to 1.
game_Brightness() {
    convert "$1" -colorspace Gray -format '%[fx:mean]' info:
}

# Waits for the game to end; prints its exit status (124 when it had to be killed after the timeout).
game_Wait() {
    if game_Until "${1:-20}" game_Ended; then
        # Its status comes a moment after its end, from the shell that waits for it.
        while [ ! -f "$GAME_DIR/status" ] && kill -0 "${GAME_WRAPPER:-$GAME_PID}" 2>/dev/null; do sleep 0.05; done
        cat "$GAME_DIR/status" 2>/dev/null || echo 124
    else
        kill -9 "$GAME_PID" 2>/dev/null
        echo 124
    fi
}
game_Ended() {
    [ -f "$GAME_DIR/status" ] || ! kill -0 "$GAME_PID" 2>/dev/null
}

# For the end-to-end tests: fail counts a failed check and says which; above compares two decimals.
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
above() { awk -v v="$1" -v t="$2" 'BEGIN { exit !(v > t) }'; }
