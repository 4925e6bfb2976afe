#!/usr/bin/env bash
# Drives the real program in a real X server as a person would: the toolbar's "Ouvrir", the path
# typed into the file dialog, "Convertir", then "Quitter" from the "Fichier" menu. Checks both
# files byte for byte and the exit code.
#
#     end_to_end.sh QUILLON WEB_ADDRESS
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

quillon=$1
web_address=$2
work=$(mktemp -d)
pid=
xvfb=
trap 'kill $pid $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT

# A private X server on the first free display; it writes the display's number once it accepts
# connections. -noreset: by default the server resets whenever its last client leaves, and a
# program connecting during that reset (the window, while xdotool polls for it) is turned away.
Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp -noreset 5>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { cat "$work/xvfb.log" >&2; echo "end to end: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(cat "$work/display")"
export QT_QPA_PLATFORM=xcb # a real window, whatever the other tests run with
export HOME=$work/home
mkdir -p "$HOME/Documents"
python3 "$here/pictures.py" make "$work/summer photo.bmp"

fail() {
    echo "end to end: $*" >&2
    echo "--- display $DISPLAY: $(xdotool getdisplaygeometry 2>&1)" >&2
    echo "--- what the program printed:" >&2
    cat "$work/quillon.log" >&2 || true
    exit 1
}
wait_for_window() { # NAME: the id of the visible window with that exact title
    local id
    for _ in $(seq 300); do
        id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1) && [ -n "$id" ] && {
            echo "$id"
            return
        }
        sleep 0.1
    done
    fail "no window named '$1'"
}
# (mousemove --sync would wait forever when the pointer is already there)
click() {
    xdotool mousemove "$1" "$2"
    sleep 0.2
    xdotool click 1
}

"$quillon" >"$work/quillon.log" 2>&1 &
pid=$!
window=$(wait_for_window "Quillon 1.0")
eval "$(xdotool getwindowgeometry --shell "$window")" # X, Y, WIDTH, HEIGHT
sleep 0.5

# The first toolbar button, below the menu bar, opens the file dialog.
click $((X + 16)) $((Y + 38))
dialog=$(wait_for_window "Ouvrir une image")
xdotool windowfocus --sync "$dialog"
xdotool type --delay 15 "$work/summer photo.bmp"
xdotool key Return
for _ in $(seq 50); do xdotool search --onlyvisible --name "^Ouvrir une image\$" >/dev/null 2>&1 || break; sleep 0.1; done

# "Convertir" sits at the right end of the button row, above the status bar. It is enabled once
# the picture has loaded, just after the dialog closed: pressed again until the files appear
# (a second run writes the same bytes).
for _ in $(seq 20); do
    click $((X + WIDTH - 50)) $((Y + HEIGHT - 41))
    for _ in $(seq 10); do [ -f "$HOME/Documents/summer photo.h" ] && break 2; sleep 0.1; done
done
if [ ! -f "$HOME/Documents/summer photo.h" ]; then
    import -window root "${TMPDIR:-/tmp}/quillon-end-to-end-failure.png" 2>/dev/null || true
    fail "no header file was written (screen in ${TMPDIR:-/tmp}/quillon-end-to-end-failure.png)"
fi
python3 "$here/pictures.py" check - "$HOME/Documents/summer photo16bits.BMP" "$HOME/Documents/summer photo.h" "$web_address"

# "Quitter", the second entry of the "Fichier" menu.
click $((X + 30)) $((Y + 10))
sleep 0.5
xdotool key Down Down Return
for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$pid" 2>/dev/null && fail "the program did not end after Quitter"
status=0
wait "$pid" || status=$?
[ "$status" -eq 0 ] || fail "the program ended with status $status"
echo "end to end: passed"
