#!/bin/sh
# Starts the KELVIQ window; without a display, says how to convert anyway.
set -e
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
bin="$root/$build/src/app/kelviq"

if [ -z "$DISPLAY" ] && [ -z "$WAYLAND_DISPLAY" ]; then
    cat <<MSG
There is no display here (neither DISPLAY nor WAYLAND_DISPLAY is set), so the KELVIQ window
cannot open. Two ways on:

  Convert without a window, with the headless converter:
    $root/$build/src/cli/kelviq-convert --help
    $root/$build/src/cli/kelviq-convert --color 000000 $root/samples/logo.bmp   # writes ./out.plt

  Run the window on a virtual display (apt-get install xvfb):
    xvfb-run -s "-screen 0 1280x1024x24" $bin
MSG
    exit 1
fi
exec "$bin"
