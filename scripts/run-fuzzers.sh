#!/bin/sh
# Runs every fuzz target in a build folder for a bounded time each.
# usage: run-fuzzers.sh BUILD_DIR [SECONDS]
set -e
BUILD=$1
SECONDS_EACH=${2:-60}
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
status=0
for src in "$ROOT"/fuzz/*.cpp; do
    [ -f "$src" ] || continue
    name=$(basename "$src" .cpp)
    corpus="$ROOT/fuzz/corpus/$name"
    mkdir -p "$corpus"
    work=$(mktemp -d)
    cp -r "$corpus"/. "$work"/ 2>/dev/null || true
    echo "fuzz: $name for ${SECONDS_EACH}s"
    if ! "$BUILD/bin/$name" -max_total_time="$SECONDS_EACH" -timeout=1 -rss_limit_mb=2048 \
            -print_final_stats=0 -artifact_prefix="$BUILD/" "$work" "$corpus" >"$BUILD/$name.log" 2>&1; then
        echo "fuzz: $name FAILED"; tail -40 "$BUILD/$name.log"; status=1
    else
        grep -E "^(#[0-9]+ +DONE|Done)" "$BUILD/$name.log" | tail -1 || true
    fi
    rm -rf "$work"
done
exit $status
