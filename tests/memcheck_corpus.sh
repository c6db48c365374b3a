#!/bin/sh
# Runs the converter under Valgrind's memcheck over every picture of the BMP Suite, tracing the
# colour of the top-left pixel, and fails on any memory error, use of undefined memory
# (pixels a decoder never wrote) or definite leak. Usage: tests/memcheck_corpus.sh [BUILD]
set -u
cd "$(dirname "$0")/.."
build=${1:-build}
corpus=${KELVIQ_BMPSUITE:-../shared/corpus/bmpsuite}
converter="$build/src/cli/kelviq-convert"
if [ ! -d "$corpus" ]; then
    echo "memcheck: BMP Suite not found at $corpus; set KELVIQ_BMPSUITE" >&2
    exit 1
fi
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
files=0
converted=0
refused=0
failed=0
for picture in $(find "$corpus" -name '*.bmp' | sort); do
    files=$((files + 1))
    valgrind --tool=memcheck --error-exitcode=99 --leak-check=full \
        --errors-for-leak-kinds=definite --track-origins=yes -q \
        "$converter" --pick 0,0 --output "$out/out.plt" "$picture" \
        >"$out/stdout" 2>"$out/log"
    status=$?
    case $status in
        0) converted=$((converted + 1)) ;;
        1) refused=$((refused + 1)) ;;
        *)
            failed=$((failed + 1))
            echo "memcheck: $picture (exit $status)"
            cat "$out/log"
            ;;
    esac
done
echo "memcheck: $files pictures, $converted converted, $refused refused, $failed with errors"
echo "$((files - failed)) passed, $failed failed"
[ "$failed" -eq 0 ]
