#!/bin/sh
# Starts the KELVIQ window. Without a display it says so, shows the ways on, and converts the
# sample picture with the headless converter so there is a plot file to look at.
set -e
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
bin="$root/$build/src/app/kelviq"
convert="$root/$build/src/cli/kelviq-convert"

if [ -z "$DISPLAY" ] && [ -z "$WAYLAND_DISPLAY" ]; then
    cat <<MSG
There is no display here (neither DISPLAY nor WAYLAND_DISPLAY is set), so the KELVIQ window
cannot open. Two ways on:

  Convert without a window, with the headless converter:
    $convert --help
    $convert --color 000000 $root/samples/logo.bmp   # writes ./out.plt

  Run the window on a virtual display (apt-get install xvfb):
    xvfb-run -s "-screen 0 1280x1024x24" $bin

Meanwhile, the sample picture converted headless:
MSG
    "$convert" --output "$root/$build/sample-out.plt" "$root/samples/logo.bmp"
    exit 0
fi
exec "$bin"
