#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz preset: clang-14, ASan + UBSan) and runs each for a
# bounded time, starting from the seeds in fuzz/corpus/<target>/. Fails when any target
# finds something; the input that triggered it is kept in build/fuzz/findings/.
#
# Usage: scripts/fuzz.sh [seconds-per-target] [target ...]     (default 60 s, every target)
#        scripts/fuzz.sh --list                                 (the targets' names)
#   targets: picture_jpg picture_bmp32 picture_bmp picture_png picture_ico picture_emf
#            picture_wmf picture_heif picture_webp exif record_file zip_extract project_archive
#            project_load appearance_entry
# Environment: FUZZ_NICE=19 runs the fuzzers at that niceness; FUZZ_SEED=N fixes libFuzzer's
# random seed, so a CI run repeats the mutations that were tried before it landed;
# FUZZ_TIMEOUT=S is the time one input may take (default 30 s: a whole load of a small
# archive finishes within 10 s in a release build, so an input taking minutes is a finding).
set -euo pipefail
cd "$(dirname "$0")/.."

all=(picture_jpg picture_bmp32 picture_bmp picture_png picture_ico picture_emf picture_wmf
     picture_heif picture_webp exif
     record_file zip_extract project_archive project_load appearance_entry)
# --list names every target, one a line (CI sizes its fuzzing time by them).
if [ "${1:-}" = "--list" ]; then
    printf '%s\n' "${all[@]}"
    exit 0
fi
seconds="${1:-60}"
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=("${all[@]}")

scripts/bootstrap.sh clang-14 libclang-rt-14-dev
cmake --preset fuzz >/dev/null
build_targets=()
for t in "${targets[@]}"; do build_targets+=("fuzz_$t"); done
cmake --build build/fuzz -j2 --target "${build_targets[@]}"

export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:abort_on_error=0${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"
# Leaks of system libraries only (sanitizers/lsan.supp), as in the sanitizer runs.
export LSAN_OPTIONS="suppressions=$PWD/sanitizers/lsan.supp:print_suppressions=0${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
nice_cmd=()
[ -n "${FUZZ_NICE:-}" ] && nice_cmd=(nice -n "$FUZZ_NICE")

failed=()
mkdir -p build/fuzz/findings
for t in "${targets[@]}"; do
    work="build/fuzz/corpus/$t"
    log="build/fuzz/$t.log"
    mkdir -p "$work"
    echo "fuzz: $t for ${seconds}s"
    # The grown corpus stays in the build folder; the repository's seeds are only read.
    seeds=()
    [ -d "fuzz/corpus/$t" ] && seeds=("fuzz/corpus/$t")
    if "${nice_cmd[@]}" "build/fuzz/fuzz/fuzz_$t" -max_total_time="$seconds" \
        -timeout="${FUZZ_TIMEOUT:-30}" \
        -rss_limit_mb=2560 -print_final_stats=1 ${FUZZ_SEED:+-seed=$FUZZ_SEED} \
        -artifact_prefix="build/fuzz/findings/$t-" "$work" "${seeds[@]}" >"$log" 2>&1; then
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
        rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
        cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1)
        echo "fuzz: $t ok: ${runs:-?} runs, ${rate:-?} exec/s, ${cov:-cov: ?}"
    else
        echo "fuzz: $t FOUND SOMETHING (see $log and build/fuzz/findings/):" >&2
        grep -E 'ERROR|FINDING|runtime error|SUMMARY|Test unit written' "$log" | head -20 >&2
        failed+=("$t")
    fi
done

if [ ${#failed[@]} -ne 0 ]; then
    echo "fuzz: findings in ${failed[*]}" >&2
    exit 1
fi
echo "fuzz: ${#targets[@]} targets ran ${seconds}s each without a finding"
