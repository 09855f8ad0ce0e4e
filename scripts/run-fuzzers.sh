#!/bin/sh
# Runs every fuzz target in a build folder for a bounded time each, as many at
# once as there are cores (each target is single-threaded).
# usage: run-fuzzers.sh BUILD_DIR [SECONDS]
set -e
BUILD=$1
SECONDS_EACH=${2:-60}
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
PARALLEL=$(nproc 2>/dev/null || echo 1)

# One target: copies its corpus to a scratch folder, fuzzes, keeps new inputs
# in the corpus; writes "ok" or "failed" next to its log. An input may take up
# to 5 s before it counts as a hang: two fuzzers share the cores.
run_one() {
    name=$1
    corpus="$ROOT/fuzz/corpus/$name"
    mkdir -p "$corpus"
    work=$(mktemp -d)
    cp -r "$corpus"/. "$work"/ 2>/dev/null || true
    if "$BUILD/bin/$name" -max_total_time="$SECONDS_EACH" -timeout=5 -rss_limit_mb=2048 \
            -print_final_stats=0 -artifact_prefix="$BUILD/" "$work" "$corpus" >"$BUILD/$name.log" 2>&1; then
        echo ok >"$BUILD/$name.result"
    else
        echo failed >"$BUILD/$name.result"
    fi
    rm -rf "$work"
}

names=""
for src in "$ROOT"/fuzz/*.cpp; do
    [ -f "$src" ] || continue
    names="$names $(basename "$src" .cpp)"
done

running=0
for name in $names; do
    echo "fuzz: $name for ${SECONDS_EACH}s"
    rm -f "$BUILD/$name.result"
    run_one "$name" &
    running=$((running + 1))
    if [ "$running" -ge "$PARALLEL" ]; then
        wait
        running=0
    fi
done
wait

status=0
for name in $names; do
    if [ "$(cat "$BUILD/$name.result" 2>/dev/null)" = ok ]; then
        printf 'fuzz: %s: ' "$name"
        grep -E "^(#[0-9]+ +DONE|Done)" "$BUILD/$name.log" | tail -1 || echo done
    else
        echo "fuzz: $name FAILED"
        tail -40 "$BUILD/$name.log"
        status=1
    fi
done
exit $status
