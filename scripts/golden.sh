#!/usr/bin/env bash
# Runs the converter of BUILD over every picture we have - the fuzz seeds, the samples, the BMP
# Suite and the benchmark's kinds of picture at small sizes, also turned into PNG, JPEG, GIF and
# netpbm files of many kinds by ImageMagick's convert where it is installed - in all four
# formats and a set of settings, and prints one line per run: the arguments, the exit code,
# what it said and a checksum of the plot. Two builds that print the same lines convert the
# same way.
#   scripts/golden.sh BUILD > manifest.txt
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build="${1:-build}"
case "$build" in /*) ;; *) build="$root/$build" ;; esac
convert="$build/src/cli/kelviq-convert"
pictures="$build/bench/kelviq-bench-pictures"
suite="${KELVIQ_BMPSUITE:-$root/../shared/corpus/bmpsuite}"
for tool in "$convert" "$pictures"; do
    [ -x "$tool" ] || { echo "golden: $tool is missing: build first" >&2; exit 1; }
done
[ -d "$suite" ] || { echo "golden: no BMP Suite at $suite (set KELVIQ_BMPSUITE)" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/kelviq-golden.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/in" "$work/runs"

# Every picture gets a stable name of its own inside the work folder, so that the messages
# do not depend on where the tree or the corpus lie.
add() { cp "$1" "$work/in/$2"; }
for f in "$root"/fuzz/seeds/fuzz_picture/*; do add "$f" "seed-$(basename "$f")"; done
for f in "$root"/samples/*.bmp; do add "$f" "sample-$(basename "$f")"; done
while IFS= read -r f; do
    rel=${f#"$suite"/}
    add "$f" "suite-${rel//\//-}"
done < <(find "$suite" -name '*.bmp' | sort)
for picture in "logo 300 24" "logo 300 8" "logo 300 1" "logo 157x93 24" "noise 120 24" \
    "stripes 128 24" "solid 64 24" "logo 200x100 8"; do
    set -- $picture
    "$pictures" "$1" "$2" "$3" "$work/in/bench-$1-$2-$3.bmp" >/dev/null
done
if command -v convert >/dev/null; then
    # Anti-aliased colour (a blurred logo), so that tolerances and picks meet many colours.
    base="$work/base.png"
    convert "$work/in/bench-logo-157x93-24.bmp" -blur 0x1 -fill '#c03030' -opaque black "$base"
    kinds=(
        "png:-depth 8" "png-palette:-colors 12" "png-grey:-colorspace Gray"
        "png-16:-depth 16" "png-alpha:-alpha set -channel A -fx 0.3+0.7*(1-i/w) +channel"
        "png-interlaced:-interlace PNG" "png-interlaced-alpha:-alpha set -channel A -fx (i+j)/(w+h) +channel -interlace PNG"
        "jpg:-quality 85" "jpg-444:-quality 92 -sampling-factor 1x1"
        "jpg-progressive:-interlace JPEG" "jpg-grey:-colorspace Gray" "jpg-cmyk:-colorspace CMYK"
        "gif:-colors 64" "gif-interlaced:-colors 64 -interlace GIF"
        "pgm:-colorspace Gray" "ppm:" "pbm:-monochrome"
    )
    for kind in "${kinds[@]}"; do
        name=${kind%%:*}
        ext=${name%%-*}
        set -f # the arguments hold * of -fx
        # shellcheck disable=SC2086
        convert "$base" ${kind#*:} "$work/in/convert-$name.$ext"
        set +f
    done
else
    echo "golden: no ImageMagick convert: PNG, JPEG, GIF and netpbm pictures left out" >&2
fi

settings=(
    ""
    "--tolerance 40"
    "--invert"
    "--despeckle 5"
    "--scale 0.37 --thickness 7.3"
    "--width 25mm"
    "--pick 1,1"
    "--stdout"
    "--dry-run"
)
formats=(ipf gerber kicad svg)
declare -A ext=([ipf]=plt [gerber]=gbr [kicad]=kicad_mod [svg]=svg)

# One job per line: picture, settings index, format.
jobs="$work/jobs"
: >"$jobs"
for p in $(cd "$work/in" && ls | sort); do
    for i in "${!settings[@]}"; do
        for f in "${formats[@]}"; do printf '%s %s %s\n' "$p" "$i" "$f" >>"$jobs"; done
    done
done

export work convert
export SETTINGS="$(printf '%s\n' "${settings[@]}")"
run_one() {
    local picture=$1 index=$2 format=$3 ext=$4
    local setting
    setting=$(printf '%s\n' "$SETTINGS" | sed -n "$((index + 1))p")
    local dir="$work/runs/$picture.$index.$format"
    mkdir -p "$dir"
    local out="$dir/plot.$ext"
    local -a args=(--format "$format")
    if [ "$setting" = "--stdout" ]; then
        args+=(--output -)
    else
        # shellcheck disable=SC2206
        [ -n "$setting" ] && args+=($setting)
        args+=(--output "$out")
    fi
    local code=0
    (cd "$dir" && "$convert" "${args[@]}" "$work/in/$picture" >stdout 2>stderr) || code=$?
    local sum
    if [ "$setting" = "--stdout" ]; then
        sum=$(sha256sum <"$dir/stdout" | cut -c1-16)
        : >"$dir/stdout"
    elif [ -e "$out" ]; then
        sum=$(sha256sum <"$out" | cut -c1-16)
    else
        sum=none
    fi
    local said
    said=$(cat "$dir/stdout" "$dir/stderr" | sed "s#$work#WORK#g" | tr '\n' '|')
    printf '%s | %s | exit %s | %s | %s\n' "$picture" "${args[*]//$work/WORK}" "$code" "$sum" "$said"
    rm -rf "$dir"
}
export -f run_one
while read -r p i f; do printf '%s %s %s %s\n' "$p" "$i" "$f" "${ext[$f]}"; done <"$jobs" |
    xargs -P "$(nproc)" -n 4 bash -c 'run_one "$@"' _ | sort
