#!/usr/bin/env bash
# The Debian package: its fields, files and modes, the validators and lintian, and its launcher run from an
# unpacked copy, the game reaching its title screen. Usage: bash test_package.sh DEB [BUILT_GAME_DIR]
set -uo pipefail

if [ -z "${KORVANIX_IN_XVFB:-}" ]; then
    KORVANIX_IN_XVFB=1 exec xvfb-run -a -n $((100 + RANDOM % 800)) -s "-screen 0 1024x768x24" bash "$0" "$@"
fi

deb=$(realpath "$1")
# The helpers wait for the game's frames, counted by the preload, however slowly a busy machine runs it.
source "$(dirname "$0")/../../scripts/xvfb-game.sh"
game_dir=${2:-$(dirname "$deb")/package/game}
work=$(mktemp -d /tmp/korvanix-package-XXXXXX)
game_pid=""
cleanup() {
    [ -n "$game_pid" ] && kill -9 "$game_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
GAME_DIR=$work
cc -shared -fPIC -O2 -o "$work/frames.so" "$(dirname "$0")/../../scripts/game-preload.c" -ldl

passed=0
failed=0
pass() { passed=$((passed + 1)); echo "ok: $*"; }
fail() { failed=$((failed + 1)); echo "FAIL: $*"; }
# check "what" command...: passes when the command succeeds.
check() {
    local what=$1
    shift
    if "$@" >"$work/check.log" 2>&1; then pass "$what"; else fail "$what"; sed 's/^/    /' "$work/check.log"; fi
}

# ---- control fields -----------------------------------------------------------------------------

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(basename "$deb")" = korvanix_2.0.0_amd64.deb ] && pass "file name" || fail "file name is $(basename "$deb")"
for pair in Package=korvanix Version=2.0.0 Architecture=amd64 Section=games Priority=optional; do
    [ "$(field "${pair%%=*}")" = "${pair#*=}" ] && pass "$pair" || fail "$pair: got '$(field "${pair%%=*}")'"
done
[[ "$(field Maintainer)" =~ ^[^\<]+\ \<[^@\>]+@[^\>]+\>$ ]] && pass "Maintainer" || fail "Maintainer '$(field Maintainer)'"
[[ "$(field Homepage)" =~ ^https:// ]] && pass "Homepage" || fail "Homepage '$(field Homepage)'"
depends=$(field Depends)
for library in libirrlicht1.8 libopenal1 libalut0 libc6 libstdc++6; do
    [[ ", $depends," == *", $library ("* ]] && pass "depends on $library" || fail "Depends lacks $library: $depends"
done
synopsis=$(field Description | head -n 1)
if [[ "${synopsis,,}" =~ ^(a|an|the)\  ]] || [ ${#synopsis} -gt 80 ]; then
    fail "synopsis '$synopsis'"
else
    pass "synopsis"
fi
[ "$(field Description | wc -l)" -gt 3 ] && pass "long description" || fail "no long description"

# ---- files and modes ----------------------------------------------------------------------------

dpkg-deb -c "$deb" | awk '{ print $1, $2, $6 }' | sed 's| \./| /|; s|/$||' | grep -v ' /usr$\| \.$' | sort -k3 >"$work/listing"
awk '$2 != "root/root"' "$work/listing" >"$work/bad-owner"
[ -s "$work/bad-owner" ] && fail "files not owned by root: $(head -3 "$work/bad-owner")" || pass "every file belongs to root"
awk '$1 ~ /^d/ && $1 != "drwxr-xr-x"' "$work/listing" >"$work/bad-dirs"
[ -s "$work/bad-dirs" ] && fail "directories not 0755: $(head -3 "$work/bad-dirs")" || pass "every directory is 0755"
awk '$1 ~ /^-/ && $1 != "-rw-r--r--" && $1 != "-rwxr-xr-x"' "$work/listing" >"$work/bad-files"
[ -s "$work/bad-files" ] && fail "odd file modes: $(head -3 "$work/bad-files")" || pass "file modes"
awk '$1 ~ /^-rwx/ { print $3 }' "$work/listing" >"$work/programs"
printf '%s\n' /usr/games/korvanix /usr/lib/games/korvanix/korvanix | diff - "$work/programs" >/dev/null &&
    pass "the binary and the launcher are the only programs" || fail "programs: $(tr '\n' ' ' <"$work/programs")"

share=/usr/share/games/korvanix
expected=(/usr/games/korvanix /usr/lib/games/korvanix/korvanix "$share/config.xml"
    /usr/share/applications/korvanix.desktop /usr/share/metainfo/org.example.korvanix.metainfo.xml
    /usr/share/icons/hicolor/128x128/apps/korvanix.png /usr/share/icons/hicolor/scalable/apps/korvanix.svg
    /usr/share/man/man6/korvanix.6.gz /usr/share/doc/korvanix/copyright /usr/share/doc/korvanix/changelog.gz
    /usr/share/doc/korvanix/readme.html)
# readme.html comes with the screenshots it shows.
while IFS= read -r file; do expected+=("/usr/share/doc/korvanix/docs/$file"); done < <(cd "$game_dir/docs" 2>/dev/null && ls)
# The data is every file that the generator made, and nothing else.
if [ -d "$game_dir/data" ]; then
    while IFS= read -r file; do expected+=("$share/data/$file"); done < <(cd "$game_dir/data" && find . -type f | sed 's|^\./||')
else
    fail "no built data folder at $game_dir/data to compare with"
fi
printf '%s\n' "${expected[@]}" | sort >"$work/expected-files"
awk '$1 ~ /^-/ { print $3 }' "$work/listing" | sort >"$work/files"
if diff "$work/expected-files" "$work/files" >"$work/files.diff"; then
    pass "file list ($(wc -l <"$work/files") files)"
else
    fail "file list differs (< expected, > packaged):"
    sed 's/^/    /' "$work/files.diff" | head -20
fi
[ "$(grep -c "^-.* $share/data/" "$work/listing")" -ge 100 ] && pass "the data is packaged" || fail "too few data files"

# ---- the unpacked package -----------------------------------------------------------------------

root="$work/root"
mkdir -p "$root"
dpkg -x "$deb" "$root"
binary="$root/usr/lib/games/korvanix/korvanix"
# Each readelf output is read whole: grep -q on a pipe would stop it early and pipefail would count that.
stripped() { [[ "$(readelf -SW "$binary")" != *.symtab* ]]; }
relro() { [[ "$(readelf -lW "$binary")" == *GNU_RELRO* && "$(readelf -dW "$binary")" == *BIND_NOW* ]]; }
protected() {
    local symbols
    symbols=$(readelf --dyn-syms -W "$binary")
    [[ "$symbols" == *__stack_chk_fail* && "$symbols" =~ __[a-z]+_chk@ ]]
}
# gzip -n leaves no name (flag byte 0) and no time stamp (four zero bytes) in the header.
bare_gzip() {
    local file
    for file in "$@"; do
        gzip -t "$file" && [ "$(od -An -tx1 -j3 -N5 "$file" | tr -d ' ')" = 0000000000 ] || return 1
    done
}
check "binary is stripped" stripped
check "binary is position-independent" grep -q 'Type:.*DYN' <(readelf -hW "$binary")
check "binary has full RELRO" relro
check "binary has the stack protector and fortified calls" protected
check "man page and changelog are gzip -9n" bare_gzip "$root/usr/share/man/man6/korvanix.6.gz" "$root/usr/share/doc/korvanix/changelog.gz"
check "icon is a 128x128 PNG" grep -qx 'PNG 128x128' <(identify -format '%m %wx%h' "$root/usr/share/icons/hicolor/128x128/apps/korvanix.png")
check "scalable icon is an SVG with the same cubes" \
    grep -q '<svg xmlns="http://www.w3.org/2000/svg" width="128" height="128"' "$root/usr/share/icons/hicolor/scalable/apps/korvanix.svg"

desktop="$root/usr/share/applications/korvanix.desktop"
metainfo="$root/usr/share/metainfo/org.example.korvanix.metainfo.xml"
man_page="$work/korvanix.6"
gzip -dc "$root/usr/share/man/man6/korvanix.6.gz" >"$man_page"
check "desktop-file-validate" desktop-file-validate "$desktop"
desktop_entry() {
    grep -qx 'Categories=Game;ArcadeGame;' "$desktop" && grep -q '^Keywords=.' "$desktop" &&
        grep -q '^Comment=.' "$desktop" && grep -q '^Comment\[fr\]=.' "$desktop" && grep -qx 'Exec=korvanix' "$desktop"
}
check "desktop entry: categories, keywords, French comment, command" desktop_entry
check "appstreamcli validate" appstreamcli validate --no-net "$metainfo"
metainfo_entry() {
    grep -q '<id>org.example.korvanix</id>' "$metainfo" && grep -q '<content_rating type="oars-1' "$metainfo" &&
        grep -q '<screenshot type="default">' "$metainfo" && grep -q '<image[^>]*>https://' "$metainfo" &&
        grep -q '<launchable type="desktop-id">korvanix.desktop</launchable>' "$metainfo"
}
man_quiet() {
    local warnings
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$man_page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || { echo "$warnings"; return 1; }
}
section() { sed -n "/^\.SH $1/,/^\.SH/p" "$man_page"; }
man_sections() {
    section SYNOPSIS | grep -q 'setup' && section CONTROLS | grep -q Escape && section SETTINGS | grep -q is_french &&
        section FILES | grep -q 'XDG_CONFIG_HOME.*/korvanix/config\.xml' && section ENVIRONMENT | grep -q '^\.B KORVANIX_PREFIX'
}
check "metainfo: its id names the file, OARS rating, screenshot, the desktop entry" metainfo_entry
check "man page renders without warnings" man_quiet
check "man page: synopsis with --setup, controls, settings, FILES, ENVIRONMENT" man_sections
# Every key of the default settings is explained, so the page follows the file when a key is added.
undocumented=$(grep -oP '^\s+\K[a-z_]+(?==")' "$root$share/config.xml" | while read -r key; do
    sed -n '/^\.SH SETTINGS/,/^\.SH FILES/p' "$man_page" | grep -qw "$key" || echo "$key"; done)
[ -z "$undocumented" ] && pass "man page explains every settings key" || fail "man page lacks: $undocumented"
copyright="$root/usr/share/doc/korvanix/copyright"
dep5() {
    head -n 1 "$copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' &&
        grep -q '^Files: data/' "$copyright"
}
changelog_version() {
    gzip -dc "$root/usr/share/doc/korvanix/changelog.gz" >"$work/changelog" &&
        [ "$(dpkg-parsechangelog -l "$work/changelog" -S Version)" = 2.0.0 ]
}
# The page that a wrong argument points to: the README with its controls table, and no image missing.
readme="$root/usr/share/doc/korvanix/readme.html"
readme_page() {
    grep -q '<th>keys</th>' "$readme" && grep -q '<td>walk forward</td>' "$readme" && grep -q '<h2>Tips</h2>' "$readme" &&
        grep -q '<h2>Resetting the settings</h2>' "$readme" || return 1
    local image
    for image in $(grep -o '<img src="[^"]*"' "$readme" | cut -d'"' -f2); do
        [ -f "$(dirname "$readme")/$image" ] || { echo "missing $image"; return 1; }
    done
}
check "readme.html: the controls table, the tips, how to reset, and every image it shows" readme_page
check "copyright is machine-readable and covers the data" dep5
check "changelog is a Debian changelog of this version" changelog_version
if lintian --fail-on error,warning "$deb" >"$work/lintian.log" 2>&1; then
    pass "lintian: no errors or warnings"
else
    fail "lintian"
fi
grep -v 'running with root privileges' "$work/lintian.log" | sed 's/^/    /'

# ---- the launcher -------------------------------------------------------------------------------

launcher="$root/usr/games/korvanix"
export KORVANIX_PREFIX="$root/usr"
home="$work/a player's home"
mkdir -p "$home"
folder="$home/.config/korvanix"

# Runs the launcher with a scratch HOME and no display, so that the game can only read its settings.
launch() {
    env -u XDG_CONFIG_HOME -u DISPLAY HOME="$home" "$@" </dev/null >"$work/out.log" 2>&1
}

# The game's window: the visible one that is not the root window; window is set.
found_window() {
    local root_window
    root_window=$(xwininfo -root -int | awk '/Window id:/ { print $4 }')
    window=$(xdotool search --onlyvisible --name '' 2>/dev/null | grep -vx "$root_window" | head -n 1)
    [ -n "$window" ]
}

# The game's console holds the text (a grep pattern) n times.
printed() {
    [ "$(grep -c -- "$1" "$work/game.log")" -ge "$2" ]
}

# English, medium, 640x480 in a window, OpenGL, mouse 4, 32 bits, no moving cubes.
printf 'a\nb\nb\nb\nb\nc\nb\n' >"$work/answers"
(cd / && exec env -u XDG_CONFIG_HOME HOME="$home" LD_PRELOAD="$work/frames.so" KORVANIX_FRAME_FILE="$work/frames" \
    "$launcher" --setup <"$work/answers" >"$work/game.log" 2>&1) &
game_pid=$!
GAME_PID=$game_pid
if game_Until 30 found_window && game_Until 30 printed '^Loaded sound' 3; then
    pass "the launched game opens its window"
    xdotool windowfocus --sync "$window" 2>/dev/null || true
    game_Settle 1
    import -window "$window" "$work/title.png"
    # The title screen: a black scene with the text strip, and the title's bright letters on it, at the bottom.
    strip=$(convert "$work/title.png" -crop 640x30+0+450 +repage -colorspace Gray -format '%[fx:mean] %[fx:maxima]' info:)
    scene=$(convert "$work/title.png" -crop 640x440+0+0 +repage -colorspace Gray -format '%[fx:maxima]' info:)
    if awk -v s="$strip" -v m="$scene" 'BEGIN { split(s, a, " "); exit !(a[1] > 0.05 && a[2] > 0.8 && m < 0.05) }'; then
        pass "title screen ($strip; scene $scene)"
    else
        fail "title screen: strip mean and peak $strip, scene peak $scene"
    fi
    game_Key Return
    game_Until 30 printed '^done\.$' 1 && pass "level 1 is built from the linked data" || fail "level 1 was never built"
    game_Key Escape
    game_Key Escape
    status=124
    if game_Until 10 game_Ended; then
        wait "$game_pid"
        status=$?
    fi
    [ "$status" = 0 ] && pass "the game quits with status 0" || fail "the game ended with status $status"
else
    fail "the launched game never reached its title screen"
    tail -n 20 "$work/game.log" | sed 's/^/    /'
fi
kill -9 "$game_pid" 2>/dev/null
game_pid=""

written() { grep -q 'window_size_x="640.000000"' "$folder/config.xml" && grep -q 'moving_cubes="0.000000"' "$folder/config.xml"; }
linked() { [ -L "$folder/data" ] && [ "$(readlink "$folder/data")" = "$root$share/data" ]; }
check "setup wrote the player's own config.xml" written
check "the installed default settings are untouched" cmp -s "$root$share/config.xml" <(dpkg-deb --fsys-tarfile "$deb" | tar -xOf - ".$share/config.xml")
check "data links to the shared data" linked
check "the player's folder holds only config.xml and data" grep -qx 'config.xml data ' <(cd "$folder" && printf '%s ' *)

# The game refuses a wrong argument after reading its settings, which proves it ran in the player's folder.
refused() { grep -q 'Getting settings from file config.xml' "$work/out.log" && grep -q 'The only option is --setup' "$work/out.log"; }

cp "$folder/config.xml" "$work/player.xml"
launch "$launcher" wrong
status=$?
[ $status = 1 ] && refused && cmp -s "$folder/config.xml" "$work/player.xml" && pass "a later run keeps the player's settings" ||
    fail "a later run: status $status, $(cat "$work/out.log")"

ln -sfn /tmp/elsewhere "$folder/data"
launch "$launcher" wrong
[ "$(readlink "$folder/data")" = "$root$share/data" ] && pass "a stale data link is renewed" || fail "data link: $(readlink "$folder/data")"

cp "$folder/config.xml" "$folder/french.xml"
ln -sfn french.xml "$folder/config.xml"
launch "$launcher" wrong
[ $? = 1 ] && refused && [ -L "$folder/config.xml" ] && pass "a link inside the folder is followed" ||
    fail "link inside: $(cat "$work/out.log")"

echo "outside" >"$work/outside.xml"
ln -sfn "$work/outside.xml" "$folder/config.xml"
launch "$launcher" --setup
status=$?
if [ $status = 1 ] && grep -q 'symbolic link out of' "$work/out.log" && ! grep -q 'Getting settings' "$work/out.log" &&
    [ "$(cat "$work/outside.xml")" = outside ]; then
    pass "a link out of the folder is refused"
else
    fail "link out: status $status, $(cat "$work/out.log")"
fi
ln -sfn ../../../outside.xml "$folder/config.xml"
launch "$launcher" wrong
[ $? = 1 ] && grep -q 'symbolic link out of' "$work/out.log" && pass "a relative link climbing out is refused" ||
    fail "relative link out: $(cat "$work/out.log")"

rm "$folder/config.xml"
launch "$launcher" wrong
[ $? = 1 ] && refused && cmp -s "$folder/config.xml" "$root$share/config.xml" &&
    pass "a deleted config.xml comes back as the default" || fail "reset: $(cat "$work/out.log")"

xdg="$work/other config"
launch env XDG_CONFIG_HOME="$xdg" "$launcher" wrong
[ $? = 1 ] && refused && [ -f "$xdg/korvanix/config.xml" ] && pass "XDG_CONFIG_HOME is honoured" ||
    fail "XDG_CONFIG_HOME: $(cat "$work/out.log")"
(cd "$work" && launch env XDG_CONFIG_HOME="relative" "$launcher" wrong)
[ ! -e "$work/relative" ] && refused && pass "a relative XDG_CONFIG_HOME is ignored" || fail "relative XDG_CONFIG_HOME was used"

touch "$work/a file"
launch env XDG_CONFIG_HOME="$work/a file" "$launcher" wrong
if [ $? = 1 ] && grep -q "cannot make the settings folder $work/a file/korvanix: Not a directory" "$work/out.log"; then
    pass "a folder that cannot be made is explained"
else
    fail "unmakeable folder: $(cat "$work/out.log")"
fi
env -u HOME -u XDG_CONFIG_HOME "$launcher" wrong >"$work/out.log" 2>&1
[ $? = 1 ] && grep -q 'neither XDG_CONFIG_HOME nor HOME is set' "$work/out.log" && pass "no HOME is explained" ||
    fail "no HOME: $(cat "$work/out.log")"
launch env KORVANIX_PREFIX="$work/nowhere" "$launcher" wrong
[ $? = 1 ] && grep -q "the game is missing: $work/nowhere/lib/games/korvanix/korvanix" "$work/out.log" &&
    pass "a missing game is explained" || fail "missing game: $(cat "$work/out.log")"

# ---- a real installation, only in CI where the machine is a throwaway -----------------------------

if { [ "${CI:-}" = true ] || [ -n "${KORVANIX_CI:-}" ]; } && [ "$(id -u)" = 0 ]; then
    unset KORVANIX_PREFIX
    if DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" </dev/null >"$work/apt.log" 2>&1; then
        pass "apt-get install"
        # A player's PATH, as login gives it, holds /usr/games.
        player_path=$(sed -n 's/^ENV_PATH[[:space:]]*PATH=//p' /etc/login.defs)
        [ "$(PATH=${player_path:-/usr/bin:/bin:/usr/games} command -v korvanix)" = /usr/games/korvanix ] &&
            pass "korvanix is on a player's path" || fail "korvanix is not on the path $player_path"
        launch env PATH="${player_path:-/usr/bin:/bin:/usr/games}" korvanix wrong
        [ $? = 1 ] && refused && pass "the installed launcher runs the installed game" || fail "installed: $(cat "$work/out.log")"
    else
        fail "apt-get install"
        tail -n 20 "$work/apt.log" | sed 's/^/    /'
    fi
    DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq korvanix </dev/null >"$work/apt.log" 2>&1 &&
        [ ! -e /usr/games/korvanix ] && [ ! -e "$share" ] && pass "apt-get remove" || fail "apt-get remove"
else
    echo "skipped: the real installation runs only in CI as root"
fi

echo "package: $passed passed, $failed failed"
[ "$failed" = 0 ]
