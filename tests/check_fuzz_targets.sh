#!/usr/bin/env bash
# The fuzz targets that scripts/fuzz.sh runs (and CI counts) are exactly those that
# fuzz/CMakeLists.txt builds.
set -euo pipefail
root="$1"
listed=$(bash "$root/scripts/fuzz.sh" --list | sort)
built=$(sed -n 's/^schauplatz_add_fuzzer(\([a-z0-9_]*\) .*/\1/p' "$root/fuzz/CMakeLists.txt" | sort)
if [ "$listed" != "$built" ]; then
    echo "scripts/fuzz.sh lists:"; echo "$listed"
    echo "fuzz/CMakeLists.txt builds:"; echo "$built"
    exit 1
fi
echo "$(echo "$listed" | wc -l) fuzz targets, listed once"
