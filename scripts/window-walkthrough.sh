#!/bin/sh
# Uses the real window as a person would, on a virtual X display, with real clicks and keys:
# chooses samples/logo.bmp in the file dialog, picks the red underline, makes out.plt and checks
# it equals the headless converter's plot; Ctrl+2 must highlight exactly the pixels of that
# colour; zoomed in, a click picks the pixel under the pointer; "Set Plot Size…" for 25 mm sets
# the scale that the plot then has; "All but this colour" and Export → Gerber… write what the
# converter writes with --invert and --format gerber; with Export → Filled Outlines and Board Side
# → Bottom, Export → SVG… writes what the converter writes with --shape outline --side bottom;
# takes the screenshots of the four views in docs/; ends with "4 - Bye". Then, at a display scale
# of 2, a click in the right half of a pixel picks that pixel. The window's remembered choices
# go to a folder of its own, never the user's. Needs xvfb, xdotool and imagemagick.
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
scale=${KELVIQ_WALKTHROUGH_SCALE:-1}
if [ -z "${KELVIQ_WALKTHROUGH_DISPLAY:-}" ]; then
    KELVIQ_WALKTHROUGH_DISPLAY=1 xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$build"
    KELVIQ_WALKTHROUGH_DISPLAY=1 KELVIQ_WALKTHROUGH_SCALE=2 \
        exec xvfb-run -a -s "-screen 0 2200x1700x24" "$0" "$build"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config"
cp "$root/samples/logo.bmp" "$work/logo.bmp"
cd "$work"
fail() {
    echo "$*" >&2
    exit 1
}

start() { # [PICTURE]
    QT_SCALE_FACTOR=$scale "$root/$build/src/app/kelviq" "$@" 2>/dev/null &
    pid=$!
    window=""
    for _ in $(seq 50); do
        window=$(xdotool search --name '^KELVIQ converter' 2>/dev/null | head -1 || true)
        [ -n "$window" ] && break
        sleep 0.1
    done
    [ -n "$window" ] || fail "the window did not appear"
    sleep 1
    eval "$(xdotool getwindowgeometry --shell "$window")"
    xdotool windowfocus "$window"
}
shot() { import -window root "$work/$1.png"; }
# The colour of the screen at a client position, as #RRGGBB.
colour() {
    shot colour
    convert "$work/colour.png" -format "%[hex:p{$((X + $1 * scale)),$((Y + menu + $2 * scale))}]" info: |
        cut -c1-6 | sed 's/^/#/'
}
# Clicks at a client position given in pixels of the unscaled window.
click() { xdotool mousemove $((X + $1 * scale)) $((Y + menu + $2 * scale)) click 1; sleep 0.5; }
# The menu bar's height: the picture's black frame starts 8 pixels into the client area.
findMenu() {
    shot menu
    top=$(convert "$work/menu.png" -crop "1x200+$((X + 100 * scale))+$Y" txt:- |
        awk -F'[,:]' '/#000000/ { print $2; exit }')
    [ -n "$top" ] || fail "no picture at the top-left of the client area"
    menu=$((top - 8 * scale))
}

if [ "$scale" = 2 ]; then
    # At 2×, every picture pixel is 2 × 2 screen pixels. Along picture row 20, through the
    # lettering, a click on the last screen pixel of a black pixel before white picks black,
    # and one on the first screen pixel of the white pixel after it picks white.
    start "$work/logo.bmp"
    findMenu
    row=$((Y + menu + (8 + 20) * 2 + 1))
    shot row
    edge=$(convert "$work/row.png" -crop "320x1+$((X + 16))+$row" txt:- |
        awk -F'[,:]' 'NR > 1 { black = /#000000/; if (was && !black) { print $1; exit } was = black }')
    [ -n "$edge" ] || fail "no black pixel beside a white one on row 20"
    xdotool mousemove $((X + 16 + edge - 1)) "$row" click 1
    sleep 0.5
    [ "$(colour 504 688)" = "#000000" ] || fail "at 2× the last screen pixel of a black pixel did not pick black"
    xdotool mousemove $((X + 16 + edge)) "$row" click 1
    sleep 0.5
    [ "$(colour 504 688)" = "#FFFFFF" ] || fail "at 2× the first screen pixel of a white pixel did not pick white"
    kill "$pid"
    wait "$pid" 2>/dev/null || true
    echo "At a display scale of 2, clicks on either side of a pixel's edge picked that pixel."
    exit 0
fi

start
menu=$((HEIGHT - 725 - 20)) # about right, until the picture shows where the client area starts
click 76 684 # 1 - Select BMP file
xdotool type --delay 5 "$work/logo.bmp"
xdotool key Return
sleep 1
xdotool search --name "^KELVIQ converter - $work/logo.bmp\$" >/dev/null ||
    fail "the picture was not loaded"
findMenu

click $((8 + 76)) $((8 + 53)) # on the red underline
click 836 684                 # 3 - Make out.plt
[ -f "$work/out.plt" ] || fail "no out.plt beside the picture"
"$root/$build/src/cli/kelviq-convert" --pick 76,53 --output "$work/expected.plt" logo.bmp >/dev/null
cmp -s "$work/out.plt" "$work/expected.plt" || fail "out.plt differs from the converter's plot"

# Ctrl+2: the highlighted pixels are exactly the pixels of the picked colour.
xdotool key ctrl+2
sleep 0.5
shot traced
red=$(convert logo.bmp -alpha off -fill black +opaque "#C80000" -fill white -opaque "#C80000" \
    -format "%[fx:round(mean*w*h)]" info:)
shown=$(convert "$work/traced.png" -crop "160x64+$((X + 8))+$((Y + menu + 8))" -alpha off \
    -fill black +opaque "#00C800" -fill white -opaque "#00C800" -format "%[fx:round(mean*w*h)]" info:)
[ "$red" -gt 0 ] && [ "$red" = "$shown" ] ||
    fail "Ctrl+2 highlighted $shown pixels; the plot holds $red"

# Zoomed in four times, a click in a pixel's last screen pixel picks that pixel.
xdotool key ctrl+1 ctrl+plus ctrl+equal
sleep 0.5
click $((8 + 10 * 4 + 3)) $((8 + 20 * 4 + 3)) # the black letter at (10, 20)
[ "$(colour 504 688)" = "#000000" ] || fail "zoomed in, the click did not pick the black letter"
[ -n "$(xdotool search --name "^KELVIQ converter - $work/logo.bmp\$")" ]

# The documentation's screenshots: each view of the lettering, with the status line.
mkdir -p "$root/docs"
filledOutlines() { # Export → Filled Outlines, below the three formats
    click 117 $((-menu / 2))
    xdotool key Down Down Down Down Return
}
for view in 1:picture 2:traced 3:plot 4:outline; do
    # The outline view as the exports with Filled Outlines write it: the status counts shapes.
    [ "${view#*:}" = outline ] && filledOutlines
    xdotool key "ctrl+${view%%:*}"
    sleep 0.5
    import -window "$window" "$work/view.png"
    convert "$work/view.png" -strip "PNG8:$root/docs/view-${view#*:}.png"
done
filledOutlines
xdotool key ctrl+1

# Set Plot Size: 25 mm wide; the plot of the 160-pixel-wide picture is then 25 mm wide.
click 74 $((-menu / 2)) # the View menu
xdotool key Up Return   # its last item, "Set Plot Size…"
sleep 0.5
xdotool windowfocus "$(xdotool search --name '^Set Plot Size$' | head -1)"
xdotool key ctrl+a
xdotool type "25"
xdotool key Return
sleep 0.5
click 836 684 # 3 - Make out.plt
"$root/$build/src/cli/kelviq-convert" --pick 10,20 --scale 6.15157480314961 \
    --output "$work/expected.plt" logo.bmp >/dev/null
cmp -s "$work/out.plt" "$work/expected.plt" || fail "Set Plot Size did not give a 25 mm plot"

# "All but this colour": Tab from the thickness box through Tolerance and Specks to the check
# box, Space ticks it; out.plt then holds every pixel but the black ones.
click 240 687 # Text2
xdotool key Tab Tab Tab space
sleep 0.5
click 836 684 # 3 - Make out.plt
"$root/$build/src/cli/kelviq-convert" --pick 10,20 --scale 6.15157480314961 --invert \
    --output "$work/expected.plt" logo.bmp >/dev/null
cmp -s "$work/out.plt" "$work/expected.plt" || fail "All but this colour did not invert the plot"

# Export → Gerber…: the save dialog offers logo.gbr beside the picture; Return takes it.
click 117 $((-menu / 2)) # the Export menu
xdotool key Down Return  # its first item, "Gerber…"
sleep 1
xdotool key Return
sleep 1
[ -f "$work/logo.gbr" ] || fail "Export → Gerber… wrote no logo.gbr beside the picture"
"$root/$build/src/cli/kelviq-convert" --pick 10,20 --scale 6.15157480314961 --invert \
    --format gerber --output "$work/expected.gbr" logo.bmp >/dev/null
cmp -s "$work/logo.gbr" "$work/expected.gbr" || fail "logo.gbr differs from the converter's Gerber"

# Export → Filled Outlines, Board Side → Bottom, then SVG…: the mirrored outlines.
filledOutlines
click 117 $((-menu / 2))
xdotool key Down Down Down Down Down Right Down Return # "Board Side", "Bottom"
click 117 $((-menu / 2))
xdotool key Down Down Down Return # "SVG…"
sleep 1
xdotool key Return
sleep 1
"$root/$build/src/cli/kelviq-convert" --pick 10,20 --scale 6.15157480314961 --invert \
    --shape outline --side bottom --format svg --output "$work/expected.svg" logo.bmp >/dev/null
cmp -s "$work/logo.svg" "$work/expected.svg" ||
    fail "logo.svg differs from the converter's outlines on the bottom side"

click 956 684 # 4 - Bye
for _ in $(seq 50); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then
    kill "$pid"
    fail "4 - Bye did not end the program"
fi
echo "Loaded, picked, made out.plt (same as kelviq-convert); Ctrl+2 showed its $red pixels;" \
    "zoomed picking, Set Plot Size, All but this colour, Export → Gerber and the bottom side's" \
    "outlines in SVG worked; screenshots in docs/view-*.png"
