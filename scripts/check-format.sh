#!/usr/bin/env bash
# Fails when a tracked C++ file differs from what clang-format (the .clang-format at the
# root) makes of it, and names the files. scripts/check-format.sh --fix formats them.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/bootstrap.sh clang-format
mapfile -d '' files < <(git ls-files -z '*.cpp' '*.h')
if [ "${1:-}" = "--fix" ]; then
    clang-format -i "${files[@]}"
    exit 0
fi
report=$(mktemp)
trap 'rm -f "$report"' EXIT
if ! clang-format --dry-run --Werror "${files[@]}" 2>"$report"; then
    grep -o '^[^:]*:[0-9]*:[0-9]*: error' "$report" | cut -d: -f1 | sort -u |
        sed 's/^/check-format: not formatted: /' >&2
    exit 1
fi
echo "check-format: ${#files[@]} files formatted"
