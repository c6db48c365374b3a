#!/bin/sh
# Builds the libFuzzer targets with clang and runs each for the given number of seconds
# (default 60), one after the other. Usage: fuzz/run.sh [SECONDS] [TARGET...]
# Crashes land in fuzz/findings/; keep each one as a regression input under fuzz/regressions/.
set -e
cd "$(dirname "$0")/.."
seconds=${1:-60}
[ $# -gt 0 ] && shift
targets=${*:-"fuzz_picture fuzz_number"}
build=${FUZZ_BUILD:-build-fuzz}

CXX=${FUZZ_CXX:-clang++-14} cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELVIQ_FUZZ=ON \
    -DKELVIQ_SANITIZE=ON >/dev/null
cmake --build "$build" --target $targets

corpus_source=../shared/corpus/bmpsuite
mkdir -p fuzz/findings
for target in $targets; do
    work="$build/fuzz/$target.corpus"
    mkdir -p "$work"
    seeds="fuzz/seeds/$target"
    dirs="$work"
    [ -d "$seeds" ] && dirs="$dirs $seeds"
    [ -d "fuzz/regressions/$target" ] && dirs="$dirs fuzz/regressions/$target"
    if [ "$target" = fuzz_picture ] && [ -d "$corpus_source" ]; then
        dirs="$dirs $corpus_source/g $corpus_source/q $corpus_source/b $corpus_source/x"
    fi
    dict=""
    [ -f "fuzz/$target.dict" ] && dict="-dict=fuzz/$target.dict"
    echo "== $target for $seconds s"
    # The first folder collects new inputs; the others only seed.
    "$build/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 \
        -print_final_stats=1 -artifact_prefix=fuzz/findings/ $dict $dirs
done
