#!/bin/sh
# Uses the real window as a person would, on a virtual X display: chooses samples/logo.bmp in the
# file dialog, picks the red underline by clicking on it, makes out.plt, checks that it lies
# beside the picture and equals the headless converter's plot, takes docs/screenshot.png and
# ends with "4 - Bye". Needs xvfb, xdotool and imagemagick.
#   usage: scripts/window-walkthrough.sh [BUILD_DIR]
set -eu
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
for tool in xvfb-run xdotool import; do
    if ! command -v "$tool" >/dev/null; then
        echo "$tool is missing: apt-get install xvfb xdotool imagemagick" >&2
        exit 2
    fi
done
if [ -z "${KELVIQ_WALKTHROUGH_DISPLAY:-}" ]; then
    KELVIQ_WALKTHROUGH_DISPLAY=1 exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$build"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$root/samples/logo.bmp" "$work/logo.bmp"
cd "$work"
"$root/$build/src/app/kelviq" 2>/dev/null &
pid=$!

window=""
for _ in $(seq 50); do
    window=$(xdotool search --name '^KELVIQ converter$' 2>/dev/null | head -1 || true)
    [ -n "$window" ] && break
    sleep 0.1
done
[ -n "$window" ] || { echo "the window did not appear" >&2; exit 1; }
sleep 0.5
# Inner (client) positions: the menu bar sits above the 725-pixel-high client area.
eval "$(xdotool getwindowgeometry --shell "$window")"
menu=$((HEIGHT - 725))
click() { xdotool mousemove $((X + $1)) $((Y + menu + $2)) click 1; sleep 0.5; }

click 76 684 # 1 - Select BMP file
xdotool type --delay 5 "$work/logo.bmp"
xdotool key Return
sleep 1
xdotool search --name "^KELVIQ converter - $work/logo.bmp\$" >/dev/null ||
    { echo "the picture was not loaded" >&2; exit 1; }
click $((8 + 76)) $((8 + 53)) # on the red underline
click 836 684                 # 3 - Make out.plt
[ -f "$work/out.plt" ] || { echo "no out.plt beside the picture" >&2; exit 1; }
"$root/$build/src/cli/kelviq-convert" --pick 76,53 --output "$work/expected.plt" logo.bmp >/dev/null
cmp -s "$work/out.plt" "$work/expected.plt" ||
    { echo "out.plt differs from the converter's plot" >&2; exit 1; }
mkdir -p "$root/docs"
import -window "$window" "$work/shot.png"
convert "$work/shot.png" -strip "PNG8:$root/docs/screenshot.png"
click 956 684 # 4 - Bye
for _ in $(seq 50); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then
    kill "$pid"
    echo "4 - Bye did not end the program" >&2
    exit 1
fi
echo "Loaded, picked, made out.plt ($(wc -c <"$work/out.plt") bytes, same as kelviq-convert)," \
    "ended with Bye; screenshot in docs/screenshot.png"
