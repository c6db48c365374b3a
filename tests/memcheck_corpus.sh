#!/bin/sh
# Runs the converter under Valgrind's memcheck over every picture of the BMP Suite, and the
# pictures of every other format the tests keep (the fuzz seeds, tests/picture/data), tracing the
# colour of the top-left pixel, and fails on any memory error, use of undefined memory
# (pixels a decoder never wrote) or definite leak. Pictures run in parallel, one per core.
# Usage: tests/memcheck_corpus.sh [BUILD]
set -u
if [ "${1:-}" = "--one" ]; then
    # One picture: prints "converted", "refused", or the failure with Valgrind's report.
    picture=$2
    converter=$3
    out=$(mktemp -d)
    valgrind --tool=memcheck --error-exitcode=99 --leak-check=full \
        --errors-for-leak-kinds=definite --track-origins=yes -q \
        "$converter" --pick 0,0 --output "$out/out.plt" "$picture" >/dev/null 2>"$out/log"
    status=$?
    case $status in
        0) echo converted ;;
        1) echo refused ;;
        *) printf 'failed: %s (exit %s)\n%s\n' "$picture" "$status" "$(cat "$out/log")" ;;
    esac
    rm -rf "$out"
    exit 0
fi
self="$(cd "$(dirname "$0")" && pwd)/$(basename "$0")"
cd "$(dirname "$0")/.."
build=${1:-build}
corpus=${KELVIQ_BMPSUITE:-../shared/corpus/bmpsuite}
converter="$build/src/cli/kelviq-convert"
if [ ! -d "$corpus" ]; then
    echo "memcheck: BMP Suite not found at $corpus; set KELVIQ_BMPSUITE" >&2
    exit 1
fi
results=$(mktemp)
trap 'rm -f "$results"' EXIT
pictures() {
    find "$corpus" -name '*.bmp'
    find fuzz/seeds/fuzz_picture tests/picture/data -type f
}
pictures | sort | xargs -P "$(nproc)" -I '{}' "$self" --one '{}' "$converter" >"$results"
files=$(pictures | wc -l)
converted=$(grep -c '^converted$' "$results")
refused=$(grep -c '^refused$' "$results")
failed=$((files - converted - refused))
grep -v -e '^converted$' -e '^refused$' "$results" | sed 's/^/memcheck: /'
echo "memcheck: $files pictures, $converted converted, $refused refused, $failed with errors"
echo "$((files - failed)) passed, $failed failed"
[ "$failed" -eq 0 ]
