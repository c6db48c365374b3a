#!/usr/bin/env bash
# Times kelviq-convert and the window's run on generated pictures, next to potrace on the same
# files and dd writing as many bytes as each plot file; prints the results as a table.
#   bench/run.sh BUILD   (BUILD itself when it is a Release build, else BUILD-release)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build="${1:-build}"
case "$build" in /*) ;; *) build="$root/$build" ;; esac
if ! grep -q '^CMAKE_BUILD_TYPE:STRING=Release$' "$build/CMakeCache.txt" 2>/dev/null; then
    build="$build-release"
fi

make -C "$root" --no-print-directory deps EXTRA_PACKAGES="potrace time" >&2
make -C "$root" --no-print-directory build BUILD="$build" BUILD_TYPE=Release >/dev/null
convert="$build/src/cli/kelviq-convert"
window="$build/bench/kelviq-bench-window"
check="$build/bench/kelviq-bench-check"
pictures="$build/bench/kelviq-bench-pictures"
formats="$build/bench/kelviq-bench-formats"

work=$(mktemp -d "${TMPDIR:-/tmp}/kelviq-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

# Runs "$@" $runs times; sets wall (median seconds) and rss (largest peak, MB).
measure() {
    local runs=$1
    shift
    local times=() peak=0 start end i
    for ((i = 0; i < runs; i++)); do
        start=$(date +%s%N)
        /usr/bin/time -f %M -o "$work/rss" "$@" >"$work/stdout" 2>"$work/stderr" || {
            echo "failed: $*" >&2
            cat "$work/stderr" >&2
            exit 1
        }
        end=$(date +%s%N)
        times+=("$(((end - start) / 1000))")
        local kb
        kb=$(tail -n 1 "$work/rss")
        ((kb > peak)) && peak=$kb
    done
    wall=$(printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {printf "%.3f", a[int((NR+1)/2)]/1e6}')
    rss=$(awk -v k="$peak" 'BEGIN {printf "%.0f", k/1024}')
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.1f", a/b}'; }

echo "Making pictures in $work ..." >&2
declare -a names=()
make_picture() { # name kind size bits
    "$pictures" "$2" "$3" "$4" "$work/$1.bmp" >&2
    names+=("$1")
}
make_picture logo-4000-24 logo 4000 24
make_picture logo-4000-8 logo 4000 8
make_picture logo-4000-1 logo 4000 1
make_picture logo-12000-24 logo 12000 24
make_picture logo-12000-8 logo 12000 8
make_picture logo-12000-1 logo 12000 1
make_picture noise-4000-24 noise 4000 24
make_picture stripes-4000-24 stripes 4000 24
make_picture solid-8000-24 solid 8000 24
make_picture logo-2000x1000-24 logo 2000x1000 24
# A photograph-like 16-bit PNG, and a small PNG that holds a huge grey picture.
"$pictures" photo 6000x4000 48 "$work/photo-6000x4000-48.png" >&2
"$pictures" solid 40000 8 "$work/solid-40000-8.png" >&2

# The row-by-row reader is only worth its speed if it reads what the general loader reads.
"$check" "${names[@]/%/.bmp}" >&2
"$root/bench/hostile_inputs.sh" "$convert"
sync # the pictures' writing must not overlap the timings

cpu=$(awk -F': ' '/model name/ {print $2; exit}' /proc/cpuinfo)
mem=$(awk '/MemTotal/ {printf "%.0f GiB", $2/1048576}' /proc/meminfo)
echo
echo "$(date -u '+%Y-%m-%d %H:%M UTC'), $cpu, $(nproc) cores, $mem, $(. /etc/os-release && echo "$PRETTY_NAME")"
echo "Load average before timing: $(cut -d' ' -f1-3 /proc/loadavg)."
echo "Medians of 5 runs (3 for pictures of 8000² and more); peak memory is the largest RSS."
echo "potrace: potrace -b svg on the same BMP. dd: dd bs=1M conv=fdatasync of as many bytes as the"
echo "plot file (the converter's save syncs the file too)."
echo
echo "| picture | BMP MB | convert s | Mpx/s | plot MB | plot MB/s | peak MB | potrace s | potrace MB | potrace ÷ convert | dd s | convert ÷ dd |"
echo "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|"
declare -A convertWall
wholes=()
peaks=()
for name in "${names[@]}"; do
    bmp="$work/$name.bmp"
    read -r w h < <(head -c 26 "$bmp" | od -An -tu4 -j18 -w8)
    pixels=$((w * h))
    runs=5
    ((pixels >= 64000000)) && runs=3
    measure "$runs" "$convert" --output "$work/out.plt" "$bmp"
    cw=$wall
    crss=$rss
    convertWall[$name]=$cw
    bytes=$(stat -c %s "$work/out.plt")
    # potrace on noise and stripes is slow; once is enough there.
    pruns=$runs
    case "$name" in noise-* | stripes-*) pruns=1 ;; esac
    measure "$pruns" potrace -b svg -o "$work/out.svg" "$bmp"
    pw=$wall
    prss=$rss
    rm -f "$work/out.svg"
    sync
    measure "$runs" dd if=/dev/zero of="$work/dd.out" bs=1M count="$bytes" iflag=count_bytes conv=fdatasync
    dw=$wall
    rm -f "$work/dd.out" "$work/out.plt"
    awk -v n="$name" -v bmp="$(stat -c %s "$bmp")" -v cw="$cw" -v px="$pixels" -v b="$bytes" \
        -v crss="$crss" -v pw="$pw" -v prss="$prss" -v dw="$dw" 'BEGIN {
        printf "| %s | %.0f | %.3f | %.0f | %.1f | %.0f | %d | %.3f | %d | %.1f | %.3f | %.1f |\n",
            n, bmp/1e6, cw, px/1e6/cw, b/1e6, b/1e6/cw, crss, pw, prss, pw/cw, dw, cw/dw }'
done

echo
echo "Selection and formats, same picture, same settings otherwise (medians as above). Targets:"
echo "--tolerance 40 at most 1.3 × exact, --despeckle at most 2 × exact on logo 12000²; every"
echo "format at most 1.5 × IPF on the stripes."
echo
echo "| picture | run | s | ÷ plain run |"
echo "|---|---|---:|---:|"
compare() { # name runs label output args...
    local name=$1 runs=$2 label=$3 output=$4
    shift 4
    measure "$runs" "$convert" --output "$work/$output" "$@" "$work/$name.bmp"
    rm -f "$work/$output"
    [ -z "$label" ] && base=$wall
    awk -v n="$name" -v l="${label:-exact, IPF}" -v w="$wall" -v b="$base" \
        'BEGIN { printf "| %s | %s | %.3f | %.2f |\n", n, l, w, w/b }'
}
compare logo-12000-24 3 "" out.plt
compare logo-12000-24 3 "--tolerance 40" out.plt --tolerance 40
compare logo-12000-24 3 "--despeckle 20" out.plt --despeckle 20
compare logo-12000-24 3 "--tolerance 40 --despeckle 20" out.plt --tolerance 40 --despeckle 20
compare stripes-4000-24 5 "" out.plt
compare stripes-4000-24 5 "Gerber" out.gbr
compare stripes-4000-24 5 "KiCad" out.kicad_mod
compare stripes-4000-24 5 "SVG" out.svg

echo
echo "Filled outlines (--shape outline) against lines in the same format, same picture (medians"
echo "of 3; peak MB of the outline runs). Targets: logo 12000² at most 2 × the lines run and under"
echo "64 MB; noise 4000², a million small shapes, completes."
echo
echo "| picture | format | lines s | outline s | outline ÷ lines | peak MB | shapes | vertices | file MB |"
echo "|---|---|---:|---:|---:|---:|---:|---:|---:|"
declare -A extension=([gerber]=gbr [kicad]=kicad_mod [svg]=svg)
for name in logo-12000-24 noise-4000-24; do
    for format in gerber kicad svg; do
        out="$work/out.${extension[$format]}"
        measure 3 "$convert" --output "$out" "$work/$name.bmp"
        lw=$wall
        measure 3 "$convert" --shape outline --output "$out" "$work/$name.bmp"
        read -r shapes vertices < <(sed -n 's/^\([0-9]*\) shapes (\([0-9]*\) vertices).*/\1 \2/p' "$work/stdout")
        awk -v n="$name" -v f="$format" -v l="$lw" -v o="$wall" -v m="$rss" -v s="$shapes" \
            -v v="$vertices" -v b="$(stat -c %s "$out")" 'BEGIN {
            printf "| %s | %s | %.3f | %.3f | %.2f | %d | %d | %d | %.1f |\n", n, f, l, o, o/l, m, s, v, b/1e6 }'
        rm -f "$out"
    done
done

echo
echo "Peak memory per format: the logo at 8000² (a third black) in every format the converter"
echo "streams, made from its 24-bit BMP; medians of 3, peak MB the largest. Target: under 64 MB"
echo "for every picture that is not interlaced; interlaced ones, and run-length bitmaps (whose"
echo "rows come bottom up), hold a byte a pixel (61 MB here); a progressive JPEG holds libjpeg's"
echo "coefficients."
echo
echo "| format | file MB | convert s | peak MB |"
echo "|---|---:|---:|---:|"
"$pictures" logo 8000 24 "$work/logo-8000.bmp" >/dev/null
for kind in bmp png png-palette png-interlaced jpeg jpeg-progressive gif gif-interlaced pgm ppm \
    bmp-rle8 bmp-16; do
    file="$work/logo-8000.$kind"
    [ "$kind" = bmp ] && file="$work/logo-8000.bmp" || "$formats" "$work/logo-8000.bmp" "$kind" "$file"
    measure 3 "$convert" --output "$work/out.plt" "$file"
    awk -v k="$kind" -v b="$(stat -c %s "$file")" -v w="$wall" -v m="$rss" \
        'BEGIN { printf "| %s | %.1f | %.3f | %d |\n", k, b/1e6, w, m }'
    case "$kind" in *interlaced | jpeg-progressive | bmp-rle8) ;; *)
        [ "$rss" -lt 64 ] || echo "  ($kind is over the 64 MB target)" ;;
    esac
    [ "$kind" = bmp ] || rm -f "$file"
done
rm -f "$work/logo-8000.bmp" "$work/out.plt"

echo
echo "The window loading a picture: \"1 - Select BMP file\" until the picture is painted, then"
echo "\"3 - Make out.plt\" (medians of 3; peak MB the largest). Targets: load at most 3 × the"
echo "converter's whole run (timed again just before, on the same picture, so that both find it"
echo "in the page cache); peak at most the decoded picture in its own compact form + 100 MB"
echo "(both in MiB here: the budget for 24-bit is (576 + 100) MB = 645 MiB)."
echo
echo "| picture | load s | convert s | load ÷ convert | run s | peak MiB | budget MiB |"
echo "|---|---:|---:|---:|---:|---:|---:|"
# Writing back the large plots made before slows the window's memory-hungry load down.
sync
for name in logo-12000-24 logo-12000-8 logo-12000-1; do
    # The converter again, just before: both then read the picture from the page cache.
    measure 3 "$convert" --quiet --output "$work/out.plt" "$work/$name.bmp"
    cw=$wall
    loads=()
    runs=()
    for ((j = 0; j < 3; j++)); do
        measure 1 env QT_QPA_PLATFORM=offscreen "$window" --own-size "$work/$name.bmp"
        loads+=("$(awk '{print $1}' "$work/stdout")")
        runs+=("$(awk '{print $2}' "$work/stdout")")
        peaks+=("$rss")
    done
    rm -f "$work/out.plt"
    load=$(printf '%s\n' "${loads[@]}" | sort -n | sed -n 2p)
    run=$(printf '%s\n' "${runs[@]}" | sort -n | sed -n 2p)
    peak=$(printf '%s\n' "${peaks[@]}" | sort -n | tail -n 1)
    peaks=()
    bits=${name##*-}
    compact=$(awk -v b="$bits" 'BEGIN { bpp = (b == 24) ? 32 : b; printf "%.0f", (12000 * 12000 * bpp / 8 + 100e6) / 1048576 }')
    awk -v n="$name" -v l="$load" -v c="$cw" -v r="$run" -v p="$peak" -v k="$compact" \
        'BEGIN { printf "| %s | %.3f | %.3f | %.2f | %.3f | %d | %d |\n", n, l, c, l/c, r, p, k }'
done

echo
echo "Reading a large picture in the window: \"1 - Select BMP file\" until the picture is painted"
echo "(medians of 3), while a timer on the user-interface thread notes the longest gap between its"
echo "turns (stall s) and the longest the thread itself worked in one (busy s; the rest of a gap is"
echo "the system running others). Target: the thread never blocked over 0.1 s; load at most 3 × the"
echo "converter's whole run. Then the window closed that many seconds into reading the huge"
echo "picture: close s from closing to the program's end."
echo
echo "| picture | file MB | load s | convert s | load ÷ convert | stall s | busy s | peak MiB |"
echo "|---|---:|---:|---:|---:|---:|---:|---:|"
for name in photo-6000x4000-48 logo-12000-24; do
    file="$work/$name.png"
    [ -f "$file" ] || file="$work/$name.bmp"
    measure 3 "$convert" --quiet --output "$work/out.plt" "$file"
    cw=$wall
    loads=()
    stalls=()
    busies=()
    peak=0
    for ((j = 0; j < 3; j++)); do
        measure 1 env QT_QPA_PLATFORM=offscreen "$window" --own-size "$file"
        read -r l _ _ st bu <"$work/stdout"
        loads+=("$l")
        stalls+=("$st")
        busies+=("$bu")
        ((rss > peak)) && peak=$rss
    done
    load=$(printf '%s\n' "${loads[@]}" | sort -n | sed -n 2p)
    stall=$(printf '%s\n' "${stalls[@]}" | sort -n | tail -n 1)
    busy=$(printf '%s\n' "${busies[@]}" | sort -n | tail -n 1)
    awk -v n="$name" -v mb="$(stat -c %s "$file")" -v l="$load" -v c="$cw" -v s="$stall" \
        -v b="$busy" -v p="$peak" 'BEGIN {
        printf "| %s | %.0f | %.3f | %.3f | %.2f | %.3f | %.4f | %d |\n", n, mb/1e6, l, c, l/c, s, b, p }'
    rm -f "$work/out.plt"
done
echo
echo "| picture | closed after s | close s |"
echo "|---|---:|---:|"
for after in 1 5; do
    QT_QPA_PLATFORM=offscreen "$window" --close-after "$after" "$work/solid-40000-8.png" \
        >"$work/close" 2>/dev/null || { echo "| solid-40000-8 | $after | read before |"; continue; }
    awk -v a="$after" '{ printf "| solid-40000-8 | %d | %.3f |\n", a, $1 }' "$work/close"
done

echo
echo "The window (Form1 under QT_QPA_PLATFORM=offscreen): \"1 - Select BMP file\", then \"3 - Make out.plt\"."
echo "run s is the make step alone; whole s and peak MB are for the process (start, load, paint, run)."
echo
echo "| picture | window run s | convert s | run ÷ convert | whole s | peak MB |"
echo "|---|---:|---:|---:|---:|---:|"
for name in logo-4000-24 logo-4000-8 logo-4000-1 noise-4000-24 stripes-4000-24 logo-2000x1000-24; do
    cp "$work/$name.bmp" "$work/window.bmp"
    runTimes=()
    for ((j = 0; j < 5; j++)); do
        measure 1 env QT_QPA_PLATFORM=offscreen "$window" "$work/window.bmp"
        runTimes+=("$(awk '{print $2}' "$work/stdout")")
        wholes+=("$wall")
    done
    run=$(printf '%s\n' "${runTimes[@]}" | sort -n | sed -n 3p)
    whole=$(printf '%s\n' "${wholes[@]}" | sort -n | sed -n 3p)
    wholes=()
    awk -v n="$name" -v r="$run" -v c="${convertWall[$name]}" -v w="$whole" -v m="$rss" 'BEGIN {
        printf "| %s | %.3f | %.3f | %.2f | %.3f | %d |\n", n, r, c, r/c, w, m }'
    rm -f "$work/out.plt" "$work/window.bmp"
done

echo
echo "The window's views: from a pick (traced-pixel view), a changed tolerance (a new trace, plot view)"
echo "or a typed scale (plot view) until the status line counts the segments and the view is drawn"
echo "again, zoomed to fit (stripes at actual size, where they show); handler s is how long a pick"
echo "holds the user-interface thread, scale s how long a keystroke does; outline s: a pick in the"
echo "outline view with Filled Outlines on, until the shapes are counted and drawn. Medians of 5."
echo "Targets: 0.1 s at 4000², 1 s at 12000²."
echo
echo "| picture | pick s | handler s | tolerance s | scale s | outline s |"
echo "|---|---:|---:|---:|---:|---:|"
views="$build/bench/kelviq-bench-views"
for name in logo-4000-24 stripes-4000-24 noise-4000-24 logo-12000-24; do
    QT_QPA_PLATFORM=offscreen "$views" "$work/$name.bmp" >"$work/views" 2>/dev/null
    awk -v n="$name" '{ printf "| %s | %.3f | %.4f | %.3f | %.3f | %.3f |\n", n, $2, $3, $4, $5, $6 }' \
        "$work/views"
done

echo
echo "The web page (make web) in headless Chromium: window.kelviq.convert on a PNG of the logo"
echo "(in the page's converting worker the browser decodes it, WebAssembly traces and writes IPF;"
echo "the same bytes as the converter's), against kelviq-convert on the same PNG (the whole"
echo "process). Medians of 5 in a row."
echo "Target: at most 3 × the converter."
echo
make -C "$root" --no-print-directory deps \
    EXTRA_PACKAGES="emscripten chromium chromium-driver python3-selenium imagemagick" >&2
make -C "$root" --no-print-directory web >/dev/null
echo "| picture | PNG | PNG kB | convert s | page s | page ÷ convert |"
echo "|---|---|---:|---:|---:|---:|"
png_kind() { # name kind: the logo as a PNG of that kind
    case $2 in
    rgb) convert "$work/$1.bmp" "PNG24:$work/$1.png" ;;
    palette8) convert "$work/$1.bmp" -colors 16 "PNG8:$work/$1.png" ;;
    palette1) convert "$work/$1.bmp" -colors 2 -define png:bit-depth=1 -define png:color-type=3 \
        "$work/$1.png" ;;
    grey1) convert "$work/$1.bmp" -type Bilevel -depth 1 "PNG:$work/$1.png" ;;
    esac
}
for run in "logo-4000-24 rgb 24-bit RGB" "logo-4000-24 palette8 8-bit palette" \
    "logo-4000-24 palette1 1-bit palette" "logo-4000-24 grey1 1-bit grey" \
    "logo-2000x1000-24 rgb 24-bit RGB"; do
    set -- $run
    name=$1 kind=$2
    shift 2
    png_kind "$name" "$kind"
    measure 5 "$convert" --quiet --output "$work/native.plt" "$work/$name.png"
    page=$(/usr/bin/python3 "$root/web/test/web_bench.py" --site "$root/build-web/site" \
        --expected "$work/native.plt" "$work/$name.png")
    awk -v n="$name" -v k="$*" -v b="$(stat -c %s "$work/$name.png")" -v c="$wall" -v p="$page" \
        'BEGIN { printf "| %s | %s | %.0f | %.3f | %.3f | %.2f |\n", n, k, b/1e3, c, p, p/c }'
    rm -f "$work/native.plt" "$work/$name.png"
done
