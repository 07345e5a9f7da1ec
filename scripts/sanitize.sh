#!/usr/bin/env bash
# Builds and runs the test suite under a sanitizer preset: asan (AddressSanitizer +
# UndefinedBehaviorSanitizer, the default) or tsan (ThreadSanitizer). Benchmarks are left out.
# Suppressions for system libraries live in sanitizers/.
#
# Usage: scripts/sanitize.sh [asan|tsan] [ctest arguments ...]
#   scripts/sanitize.sh                       the whole suite under ASan + UBSan
#   scripts/sanitize.sh tsan -R ElementList   the element-list tests under TSan
# Environment: SANITIZE_BUILD_TARGETS="elements_tests ..." builds only those targets.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"

preset="${1:-asan}"
shift || true
case "$preset" in
asan | tsan) ;;
*)
    echo "sanitize: unknown preset $preset (asan or tsan)" >&2
    exit 2
    ;;
esac

scripts/bootstrap.sh
cmake --preset "$preset" -DSCHAUPLATZ_BUILD_BENCHMARKS=OFF >/dev/null
if [ -n "${SANITIZE_BUILD_TARGETS:-}" ]; then
    # shellcheck disable=SC2086
    cmake --build "build/$preset" -j2 --target $SANITIZE_BUILD_TARGETS
else
    cmake --build "build/$preset" -j2
fi

# The program installs its own SIGSEGV handler (crash reports); ASan leaves it in place.
export ASAN_OPTIONS="detect_leaks=1:halt_on_error=1:abort_on_error=0:detect_stack_use_after_return=1:strict_init_order=1:allow_user_segv_handler=1"
export LSAN_OPTIONS="suppressions=$root/sanitizers/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:suppressions=$root/sanitizers/ubsan.supp"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$root/sanitizers/tsan.supp"
export QT_QPA_PLATFORM=offscreen
ctest --preset "$preset" "$@"
