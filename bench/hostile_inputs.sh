#!/usr/bin/env bash
# Endless and hostile inputs to the converter: each must be refused within a second, in
# little memory, however much more the stream would give.
#   bench/hostile_inputs.sh CONVERTER
set -uo pipefail
convert=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/kelviq-hostile.XXXXXX")
trap 'rm -rf "$work"' EXIT
failed=0

# name, then a shell command whose output is the picture given on standard input.
check() {
    local name=$1 feed=$2
    local start end seconds kb status
    start=$(date +%s%N)
    bash -c "$feed" 2>/dev/null | /usr/bin/time -f %M -o "$work/rss" "$convert" --output "$work/out.plt" - \
        >/dev/null 2>"$work/err"
    status=${PIPESTATUS[1]}
    end=$(date +%s%N)
    seconds=$(awk -v n=$((end - start)) 'BEGIN {printf "%.2f", n/1e9}')
    kb=$(tail -n 1 "$work/rss")
    if [ "$status" -ne 1 ] || [ $((end - start)) -gt 1000000000 ] || [ "$kb" -gt 65536 ]; then
        echo "hostile input: $name: exit $status, $seconds s, $((kb / 1024)) MB: $(head -c 300 "$work/err")" >&2
        failed=1
    fi
}

check "endless zeros" "cat /dev/zero"
check "endless random bytes" "cat /dev/urandom"
check "PNG header, then zeros" "printf '\\x89PNG\\r\\n\\x1a\\n'; cat /dev/zero"
check "JPEG start, then zeros" "printf '\\xff\\xd8\\xff'; cat /dev/zero"
check "GIF header, then zeros" "printf 'GIF89a'; cat /dev/zero"
check "XBM of 8 x 8 with endless values" \
    "printf '#define a_width 8\\n#define a_height 8\\nstatic char a_bits[] = {\\n'; yes '0x00,'"
check "PGM of 60000 x 60000" "printf 'P5\\n60000 60000\\n255\\n'; cat /dev/zero"
[ "$failed" -eq 0 ] && echo "Endless and hostile inputs are all refused within a second in under 64 MB." >&2
exit "$failed"
