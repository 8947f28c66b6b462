#!/usr/bin/env bash
# The screens of a whole session: the title, level 1 with its caption, Tab costing a life, the lost-all-lives
# screen, the pause and its way back, and Escape twice quitting cleanly. Usage: bash test_screens.sh GAME_DIR
set -uo pipefail
source "$(dirname "$0")/../../scripts/xvfb-game.sh"
game_UseXvfb "$@"

shots=$(mktemp -d)
trap 'game_Cleanup; rm -rf "$shots"' EXIT

# The 800x600 window sits at the top left of the screen; the text strip is its bottom 30 rows, 640 wide, and
# the status text starts 10 pixels in, in a monospace font 8 pixels wide.
STRIP=640x30+0+570
SCENE=800x570+0+0
glyph() { echo "8x22+$((10 + 8 * $1))+575"; }
LIVES_DIGIT=$(glyph 5)   # life=3, level=1, ...
LEVEL_DIGIT=$(glyph 14)

light_pixels() {
    convert "$1" -crop "$2" +repage -colorspace Gray -threshold 70% -format '%[fx:mean * w * h]' info:
}
region_max() { convert "$1" -crop "$2" +repage -colorspace Gray -format '%[fx:maxima]' info:; }
region_mean() { convert "$1" -crop "$2" +repage -colorspace Gray -format '%[fx:mean]' info:; }

game_Copy "$1"
# A level that only the keys end: a fixed small world that never moves, with hours of time.
game_SetSetting is_autoconfigure 0
game_SetSetting moving_cubes 0
game_SetSetting quake_intensity 0
game_SetSetting time_counter_speed 100000
game_Start || { echo "FAIL: no game window"; cat "$GAME_DIR/stderr.log"; exit 1; }

# Title: the strip with its light text over a black, empty scene; the caption is still the engine's.
game_Shot "$shots/title.png"
caption=$(game_Caption)
[[ "$caption" == *Korvanix* ]] && fail "the title screen already has the game's caption ($caption)"
above "$(region_max "$shots/title.png" "$SCENE")" 0.02 && fail "the scene above the strip is not black on the title"
above "$(region_max "$shots/title.png" 160x30+640+570)" 0.02 && fail "the strip is wider than 640 pixels"
# The strip's right end holds no text: the bare strip there is dark but not black.
bare=$(region_mean "$shots/title.png" 40x30+600+570)
above "$bare" 0.03 && above 0.3 "$bare" || fail "no dark text strip on the title screen ($bare)"
above "$(light_pixels "$shots/title.png" "$STRIP")" 300 || fail "no light title text on the strip"
[ "$(game_LevelsBuilt)" -eq 0 ] || fail "a level was built before Return"

# Return builds level 1 and shows it under the game's caption, which names the driver.
game_Key Return
game_WaitLevels 1 60 || fail "level 1 was never built"
game_Settle 1
game_Shot "$shots/play-a.png"
caption=$(game_Caption)
[[ "$caption" =~ ^"Korvanix 2.0.0, a game by Ostravel (OpenGL".*")"$ ]] || fail "caption during play: '$caption'"
game_Crop "$shots/play-a.png" 800x600+0+0 "$shots/frame.png"
brightness=$(game_Brightness "$shots/frame.png")
above "$brightness" 0.1 || fail "the level's frame is black (brightness $brightness)"
game_Settle 1.2
game_Shot "$shots/play-b.png"
[ "$(game_Digest "$shots/play-a.png" "$STRIP")" != "$(game_Digest "$shots/play-b.png" "$STRIP")" ] ||
    fail "the status line stands still during play"
lives3=$(game_Digest "$shots/play-a.png" "$LIVES_DIGIT")
level1=$(game_Digest "$shots/play-a.png" "$LEVEL_DIGIT")
[ "$lives3" != "$level1" ] || fail "three lives read like level 1"

# Left held while another window takes the focus and released there: back in the game nothing turns (up to a
# frame drawn since, which the status line shows).
xmessage -geometry +0+0 elsewhere 2>/dev/null &
xdotool keydown Left
until [ "$(xdotool getwindowfocus)" != "$WINDOW" ] || ! kill -0 $!; do sleep 0.05; done
xdotool keyup Left
xdotool windowactivate --sync "$WINDOW"
kill $!
game_Shot "$shots/focus.png"
strip=$(game_Digest "$shots/focus.png" "$STRIP")
until game_Shot "$shots/later.png"; [ "$(game_Digest "$shots/later.png" "$STRIP")" != "$strip" ]; do sleep 0.1; done
[ "$(game_Digest "$shots/focus.png" "$SCENE")" = "$(game_Digest "$shots/later.png" "$SCENE")" ] ||
    fail "a key released in another window still acts in the game"

# Tab held for two seconds abandons one level only; the same level number comes back with a life less.
before_tab=$(wc -l <"$GAME_DIR/stdout.log")
game_Key Tab 2
game_WaitLevels 2 60 || fail "Tab did not rebuild the level"
game_Settle 1.5
[ "$(game_LevelsBuilt)" -eq 2 ] || fail "Tab held down abandoned $(($(game_LevelsBuilt) - 1)) levels"
after_tab=$(tail -n +"$((before_tab + 1))" "$GAME_DIR/stdout.log")
[ "$(head -n 3 <<<"$after_tab" | tr '\n' '|')" = "Removing level...|done.|Creating level...|" ] ||
    fail "after Tab the console shows: $(tr '\n' '|' <<<"$after_tab")"
[ "$(tail -n 1 <<<"$after_tab")" = "done." ] || fail "the rebuilt level never finished"
game_Shot "$shots/tab-1.png"
lives2=$(game_Digest "$shots/tab-1.png" "$LIVES_DIGIT")
[ "$lives2" != "$lives3" ] || fail "Tab left the lives at 3"
[ "$(game_Digest "$shots/tab-1.png" "$LEVEL_DIGIT")" = "$level1" ] || fail "Tab changed the level number"

game_Key Tab 0.4
game_WaitLevels 3 60 || fail "the second Tab did not rebuild the level"
game_Settle 1.5
game_Shot "$shots/tab-2.png"
lives1=$(game_Digest "$shots/tab-2.png" "$LIVES_DIGIT")
[ "$lives1" = "$level1" ] || fail "after two Tabs the lives do not read 1"
[ "$lives1" != "$lives2" ] || fail "the second Tab did not cost a life"

# The last life abandoned: the lost-all-lives screen waits, then Return restarts level 1 with three lives.
game_Key Tab 0.4
game_Settle 1.5
[ "$(game_LevelsBuilt)" -eq 3 ] || fail "a level was built without leaving the lost-all-lives screen"
[ "$(tail -n 2 "$GAME_DIR/stdout.log" | tr '\n' '|')" = "Removing level...|done.|" ] ||
    fail "the last life lost did not remove the level"
game_Shot "$shots/lost.png"
game_Key Return
game_WaitLevels 4 60 || fail "Return on the lost-all-lives screen built no level"
game_Settle 1.5
game_Shot "$shots/restart.png"
[ "$(game_Digest "$shots/lost.png" "$STRIP")" != "$(game_Digest "$shots/restart.png" "$STRIP")" ] ||
    fail "the lost-all-lives screen shows the status line"
[ "$(game_Digest "$shots/restart.png" "$LIVES_DIGIT")" = "$lives3" ] || fail "the restart does not give three lives"

# Escape pauses: the strip changes to a message that stands still while the scene is frozen.
game_Shot "$shots/before-pause.png"
game_Key Escape 0.4
game_Settle 0.3
game_Shot "$shots/pause-a.png"
game_Settle 1.2
game_Shot "$shots/pause-b.png"
pause=$(game_Digest "$shots/pause-a.png" "$STRIP")
[ "$pause" != "$(game_Digest "$shots/before-pause.png" "$STRIP")" ] || fail "Escape did not change the strip"
[ "$pause" = "$(game_Digest "$shots/pause-b.png" "$STRIP")" ] || fail "the pause strip is not still"
[ "$(game_Digest "$shots/pause-a.png" "$SCENE")" = "$(game_Digest "$shots/pause-b.png" "$SCENE")" ] ||
    fail "the scene moves during the pause"
kill -0 "$GAME_PID" 2>/dev/null || fail "Escape during play ended the game"

# Return resumes: the status line is back and moving again.
game_Key Return
game_Settle 0.3
game_Shot "$shots/resumed-a.png"
game_Settle 1.2
game_Shot "$shots/resumed-b.png"
resumed=$(game_Digest "$shots/resumed-a.png" "$STRIP")
[ "$resumed" != "$pause" ] || fail "Return left the pause message"
[ "$resumed" != "$(game_Digest "$shots/resumed-b.png" "$STRIP")" ] || fail "the status line stands still after Return"
[ "$(game_LevelsBuilt)" -eq 4 ] || fail "the pause rebuilt the level"

# Maximise, then full screen: the window keeps its size, and the status line its place at the bottom.
wmctrl -i -r "$WINDOW" -b add,maximized_vert,maximized_horz
wmctrl -i -r "$WINDOW" -b add,fullscreen
until xprop -id "$WINDOW" _NET_WM_STATE | grep -q FULLSCREEN; do sleep 0.1; done
game_Shot "$shots/full-screen.png"
[[ "$(game_WindowGeometry)" == 800x600+* ]] && above "$(light_pixels "$shots/full-screen.png" "$STRIP")" 300 ||
    fail "maximise and full screen made the window $(game_WindowGeometry), the status line elsewhere"

# Escape twice: pause, then quit with status 0 after removing the level.
game_Key Escape 0.4
game_Key Escape 0.4
status=$(game_Wait 20)
[ "$status" = 0 ] || fail "Escape twice ended with status $status"
[ "$(tail -n 2 "$GAME_DIR/stdout.log" | tr '\n' '|')" = "Removing level...|done.|" ] ||
    fail "quitting did not remove the level"

# A window asked larger than the 1024x768 screen opens, frame and all, within the screen, its status line at
# its bottom; the launch line still names the size asked.
game_Cleanup
game_Copy "$1"
game_SetSetting window_size_x 1280
game_SetSetting window_size_y 1024
game_Start || fail "no window of 1280x1024 asked"
game_Settle 1
grep -qx "Lauching application 1280x1024 in windowed mode" "$GAME_DIR/stdout.log" || fail "the launch line's size"
IFS='x+' read -r width height x y <<<"$(game_WindowGeometry)"
((x >= 0 && y >= 0 && x + width <= 1024 && y + height <= 768 && width * height > 1000 * 700)) ||
    fail "a window of 1280x1024 asked shows as $(game_WindowGeometry) on a 1024x768 screen"
game_Shot "$shots/large.png"
above "$(light_pixels "$shots/large.png" "640x30+0+$((height - 30))")" 300 || fail "no title text at the bottom"

[ "$failures" -eq 0 ] && echo "PASS: title, level, caption, Tab, lost lives, pause, resume, quit and the window's size"
exit $((failures > 0))
