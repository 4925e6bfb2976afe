#!/usr/bin/env bash
# Drives the real program in a real X server as a person would: the toolbar's "Ouvrir", the path
# typed into the file dialog, "Convertir", then "Quitter" from the "Fichier" menu. Checks both
# files byte for byte and the exit code.
#
#     end_to_end.sh QUILLON WEB_ADDRESS
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

if [ "${1:-}" != --inside-x ]; then
    exec xvfb-run --auto-servernum --server-args="-screen 0 1024x768x24" "$0" --inside-x "$@"
fi
quillon=$2
web_address=$3
export QT_QPA_PLATFORM=xcb # a real window, whatever the other tests run with

work=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null || true; rm -rf "$work"' EXIT
export HOME=$work/home
mkdir -p "$HOME/Documents"
python3 "$here/pictures.py" make "$work/été photo.bmp"

fail() { echo "end to end: $*" >&2; exit 1; }
wait_for_window() { # NAME: the id of the visible window with that exact title
    local id
    for _ in $(seq 100); do
        id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1) && [ -n "$id" ] && {
            echo "$id"
            return
        }
        sleep 0.1
    done
    fail "no window named '$1'"
}
click() { xdotool mousemove --sync "$1" "$2" click 1; }

"$quillon" &
pid=$!
window=$(wait_for_window "Quillon 1.0")
eval "$(xdotool getwindowgeometry --shell "$window")" # X, Y, WIDTH, HEIGHT
sleep 0.5

# The first toolbar button, below the menu bar, opens the file dialog.
click $((X + 16)) $((Y + 38))
dialog=$(wait_for_window "Ouvrir une image")
xdotool windowfocus --sync "$dialog"
xdotool type --delay 15 "$work/été photo.bmp"
xdotool key Return
for _ in $(seq 50); do xdotool search --onlyvisible --name "^Ouvrir une image\$" >/dev/null 2>&1 || break; sleep 0.1; done

# "Convertir" sits at the right end of the button row, above the status bar.
click $((X + WIDTH - 50)) $((Y + HEIGHT - 41))
for _ in $(seq 100); do [ -f "$HOME/Documents/été photo.h" ] && break; sleep 0.1; done
[ -f "$HOME/Documents/été photo.h" ] || fail "no header file was written"
python3 "$here/pictures.py" check - "$HOME/Documents/été photo16bits.BMP" "$HOME/Documents/été photo.h" "$web_address"

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
