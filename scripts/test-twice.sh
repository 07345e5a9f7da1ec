#!/usr/bin/env bash
# Runs the whole test suite of an existing build twice, each time in a random order, with the
# same seeds, and fails when the two runs disagree on which tests pass: a test whose outcome
# depends on the order, on another test or on the clock shows up in the difference.
#
# Usage: scripts/test-twice.sh [build dir]   (default build/release)
# SCHAUPLATZ_TEST_SEED, when set, is given to both runs (the tests' fixed seeds otherwise);
# TEST_TWICE_JOBS sets ctest's parallel jobs (default 2).
set -uo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
jobs=${TEST_TWICE_JOBS:-2}
if [[ ! -f "$build/CTestTestfile.cmake" ]]; then
    echo "test-twice: no test suite in $build (build it first)" >&2
    exit 2
fi
export QT_QPA_PLATFORM=offscreen
if [[ -n "${SCHAUPLATZ_TEST_SEED:-}" ]]; then
    export SCHAUPLATZ_TEST_SEED
    echo "test-twice: SCHAUPLATZ_TEST_SEED=$SCHAUPLATZ_TEST_SEED in both runs"
else
    echo "test-twice: the tests' own fixed seeds in both runs"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One line per test, "name<TAB>outcome", sorted by name. ctest prints each result as
#   12/345 Test  #67: suite.Name ......................***Failed    0.12 sec
# (outcomes Passed, Failed, Timeout, Not Run, Exception: ..., Subprocess aborted, ...); a
# parameterised test's name may hold spaces, so the name ends at the last run of dots.
outcomes() {
    sed -n -E 's/^ *[0-9]+\/[0-9]+ +Test +#[0-9]+: (.*) \.+( |\*\*\*)*([A-Za-z][^0-9]*[A-Za-z]).*$/\1\t\3/p' "$1" |
        sed -E 's/[[:space:]]+$//' | LC_ALL=C sort
}

for run in 1 2; do
    echo "test-twice: run $run"
    start=$(date +%s)
    ctest --test-dir "$build" --schedule-random -j "$jobs" >"$work/run$run.log" 2>&1
    status=$?
    end=$(date +%s)
    outcomes "$work/run$run.log" >"$work/run$run.txt"
    total=$(wc -l <"$work/run$run.txt")
    failed=$(grep -cv $'\tPassed$' "$work/run$run.txt")
    echo "test-twice: run $run: $total tests, $failed not passed, ctest status $status," \
        "$((end - start)) s"
    expected=$(sed -n -E 's/.*tests failed out of ([0-9]+).*/\1/p' "$work/run$run.log" | tail -n 1)
    if [[ -n "$expected" && "$expected" != "$total" ]]; then
        echo "test-twice: run $run: read $total results of ctest's $expected" >&2
        exit 2
    fi
    if ((total == 0)); then
        echo "test-twice: run $run reported no tests; its output:" >&2
        tail -n 30 "$work/run$run.log" >&2
        exit 2
    fi
    if ((failed > 0)); then
        grep -v $'\tPassed$' "$work/run$run.txt" | sed 's/^/    /'
    fi
done

if cmp -s "$work/run1.txt" "$work/run2.txt"; then
    echo "test-twice: both runs agree"
    exit 0
fi
echo "test-twice: the runs disagree (< first run, > second run):"
diff "$work/run1.txt" "$work/run2.txt" | grep '^[<>]'
exit 1
