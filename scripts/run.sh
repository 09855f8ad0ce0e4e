#!/bin/sh
# make run: serves one emulated camera on a free loopback address at the
# module's transport port 61696, grabs 10 images from it into out/ as PNG
# files through the host library, and stops the camera whatever happens.
#   scripts/run.sh [BIN_DIR] [OUT_DIR] [FRAMES]
set -u
BIN=${1:-build/gcc/bin}
OUT=${2:-out}
FRAMES=${3:-10}
PORT=61696

LOG=$(mktemp)
EMU_PID=
cleanup() {
    if [ -n "$EMU_PID" ]; then
        kill "$EMU_PID" 2>/dev/null
        wait "$EMU_PID" 2>/dev/null
    fi
    rm -f "$LOG"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

# The first 127.0.0.k (k from 200 up) where nothing holds port 61696: the
# emulator refuses a taken address at once, and says so.
ADDRESS=
for k in $(seq 200 254); do
    candidate=127.0.0.$k
    "$BIN/kacq-emu" --address "$candidate" --port "$PORT" >"$LOG" 2>&1 &
    EMU_PID=$!
    tries=0
    while [ $tries -lt 50 ] && kill -0 "$EMU_PID" 2>/dev/null && ! grep -q "camera 0 at" "$LOG"; do
        sleep 0.02
        tries=$((tries + 1))
    done
    if grep -q "camera 0 at" "$LOG"; then
        ADDRESS=$candidate
        break
    fi
    kill "$EMU_PID" 2>/dev/null
    wait "$EMU_PID" 2>/dev/null
    EMU_PID=
done
if [ -z "$ADDRESS" ]; then
    echo "make run: no free loopback address for the emulated camera" >&2
    cat "$LOG" >&2
    exit 1
fi
sed -n 's/^kacq-emu: //p' "$LOG"

# The transport looks for cameras only where this one is.
GTRANS_DISCOVERY=$ADDRESS "$BIN/kacq" grab -n "$FRAMES" -o "$OUT" --device "$ADDRESS"
