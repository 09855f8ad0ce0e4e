#!/bin/sh
# Checks (or with --fix, rewrites) every C++ source against .clang-format.
set -e
cd "$(dirname "$0")/.."
FORMAT=clang-format-14
command -v $FORMAT >/dev/null 2>&1 || FORMAT=clang-format
FILES=$(git ls-files --cached --others --exclude-standard -- '*.h' '*.cpp' | while read -r f; do [ -f "$f" ] && echo "$f"; done)
[ -n "$FILES" ] || exit 0
if [ "$1" = "--fix" ]; then
    echo "$FILES" | xargs $FORMAT -i
else
    echo "$FILES" | xargs $FORMAT --dry-run --Werror
fi
