#!/usr/bin/env bash
# Quillon Studio started from a shell in a real X server, as a user starts it, once a format
# family: `quillon-studio -o DIR --format F PICTURE`. The screen must show the very pixels of
# quillon-convert's --preview with the same options, at 1 x and zoomed 2 x (the studio's first
# zoom); Ctrl+S must write into DIR the files quillon-convert writes, byte for byte.
#
#     studio_end_to_end.sh QUILLON_STUDIO QUILLON_CONVERT
#
# Skipped (exit 77) without Xvfb, xdotool, ImageMagick's import or python3.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
studio=$1
convert=$2
for tool in Xvfb xdotool import python3; do
    command -v "$tool" >/dev/null || { echo "studio end to end skipped: $tool is missing"; exit 77; }
done
work=$(mktemp -d)
pid=
xvfb=
trap 'kill $pid $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT

Xvfb -displayfd 5 -screen 0 1600x1000x24 -nolisten tcp -noreset 5>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { cat "$work/xvfb.log" >&2; echo "studio end to end: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(cat "$work/display")"
export QT_QPA_PLATFORM=xcb
export HOME=$work/home
mkdir -p "$HOME"
picture="$work/summer photo.bmp"
python3 "$here/pictures.py" make "$picture"

fail() {
    echo "studio end to end: $*" >&2
    cat "$work/studio.log" >&2 || true
    exit 1
}

check_format() { # the options of one run
    local name=$1
    shift
    local out="$work/$name/studio" expected="$work/$name/convert" previews="$work/$name/preview"
    mkdir -p "$expected" "$previews"
    "$convert" -o "$expected" "$@" "$picture"
    "$convert" -o "$previews" --preview "$@" "$picture"
    "$studio" -o "$out" "$@" "$picture" >"$work/studio.log" 2>&1 &
    pid=$!
    local window=
    for _ in $(seq 300); do
        window=$(xdotool search --onlyvisible --name "^Quillon Studio\$" 2>/dev/null | head -n 1) && [ -n "$window" ] && break
        sleep 0.1
    done
    [ -n "$window" ] || fail "$name: no window named 'Quillon Studio'"
    # The view comes once the picture is converted on another thread: the screen looked at until
    # it shows it.
    local shown=
    for _ in $(seq 50); do
        sleep 0.2
        import -window root -depth 8 "ppm:$work/screen.ppm" 2>/dev/null || continue
        if python3 "$here/screen_match.py" "$work/screen.ppm" "$previews/summer photo16bits.png" 1 2 >"$work/match.log"; then
            shown=yes
            break
        fi
    done
    [ -n "$shown" ] || { cat "$work/match.log" >&2; cp "$work/screen.ppm" "${TMPDIR:-/tmp}/quillon-studio-end-to-end.ppm"; fail "$name: the preview is not on the screen"; }
    xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
    xdotool key --window "$window" ctrl+s
    for _ in $(seq 100); do
        [ -n "$(ls -A "$out" 2>/dev/null)" ] && [ "$(ls "$out" | wc -l)" -ge "$(ls "$expected" | wc -l)" ] && break
        sleep 0.1
    done
    sleep 0.3
    diff -r "$expected" "$out" >/dev/null || fail "$name: Ctrl+S did not write quillon-convert's files ($(ls "$out" 2>&1))"
    kill "$pid"
    wait "$pid" 2>/dev/null || true
    pid=
    echo "studio end to end: $name: the preview on the screen, the same files written"
}

check_format colour --format rgb565 --swap-bytes
check_format mono --format mono --threshold 90
check_format grey --format gray4 --invert
check_format palette --format index8
check_format e-paper --format epd-bw-red
check_format lvgl --format lvgl --lvgl-cf RGB565A8
