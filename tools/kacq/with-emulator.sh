#!/bin/sh
# Runs one kacq command against kacq-emu cameras on loopback: starts
# kacq-emu on an ephemeral port, puts the port in place of @PORT@ in the
# command's arguments, runs it, and stops the emulator again.
# usage: with-emulator.sh KACQ-EMU "EMU-OPTIONS" KACQ ARGS...
emu=$1 options=$2 kacq=$3
shift 3
out=$(mktemp)
# shellcheck disable=SC2086
"$emu" $options --port 0 >"$out" 2>&1 &
pid=$!
port=
tries=0
while [ -z "$port" ] && [ $tries -lt 50 ]; do
    sleep 0.1
    port=$(sed -n 's/^kacq-emu: camera 0 at [0-9.]*:\([0-9]*\),.*/\1/p' "$out")
    tries=$((tries + 1))
done
if [ -z "$port" ]; then
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    cat "$out" >&2
    rm -f "$out"
    exit 1
fi
args=
for a in "$@"; do
    [ "$a" = "@PORT@" ] && a=$port
    args="$args '$a'"
done
eval "\"$kacq\" $args"
code=$?
kill "$pid"
wait "$pid" 2>/dev/null
rm -f "$out"
exit $code
