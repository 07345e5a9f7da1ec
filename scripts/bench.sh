#!/usr/bin/env bash
# Installs what the benchmarks need (the build's packages plus the peers OpenCV and libvips,
# which only the benchmarks use), builds every benchmark program of the release preset and
# runs each one. Arguments are passed to every program (e.g. --benchmark_filter=Draw).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/bootstrap.sh libopencv-dev libvips-dev
cmake --preset release >/dev/null
targets=()
for src in bench/*.cpp; do
    targets+=("$(basename "${src%.cpp}")")
done
cmake --build --preset release --target "${targets[@]}"
for t in "${targets[@]}"; do
    echo "== $t"
    "build/release/bench/$t" "$@"
done
