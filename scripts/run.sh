#!/bin/sh
# Converts the sample picture with the headless converter and says where the plot went.
set -e
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/$build/sample-out.plt"
"$root/$build/src/cli/kelviq-convert" --output "$out" "$root/samples/logo.bmp"
