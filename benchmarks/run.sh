#!/usr/bin/env bash
# Builds the C++ benchmark programs (optimised, as the module is) and runs them.
# Uses the checkout's .venv for cmake and ninja: run `bash scripts/dev.sh demo` once first.
set -euo pipefail
cd "$(dirname "$0")/.."
venv=$PWD/.venv
"$venv/bin/cmake" -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DPYHALVEX_BENCHMARKS=ON -DCMAKE_MAKE_PROGRAM="$venv/bin/ninja" \
    -DPython_EXECUTABLE="$venv/bin/python" >/dev/null
"$venv/bin/cmake" --build build/bench >/dev/null
for program in build/bench/bench_*; do
    echo "== $(basename "$program")"
    "$program"
done
