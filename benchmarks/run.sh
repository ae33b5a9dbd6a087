#!/usr/bin/env bash
# Builds the C++ benchmark programs (optimised, as the module is) and runs them:
# every bench_* program, or those named on the command line.
#   bash benchmarks/run.sh                  # all
#   bash benchmarks/run.sh bench_roots      # one
#   bash benchmarks/run.sh bench_scaling ring --sizes 10,20   # one, with its arguments
# Uses the checkout's .venv for cmake and ninja: run `bash scripts/dev.sh demo` once first.
set -euo pipefail
cd "$(dirname "$0")/.."
venv=$PWD/.venv
"$venv/bin/cmake" -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DPYHALVEX_BENCHMARKS=ON -DCMAKE_MAKE_PROGRAM="$venv/bin/ninja" \
    -DPython_EXECUTABLE="$venv/bin/python" >/dev/null
"$venv/bin/cmake" --build build/bench >/dev/null
# Words that name no bench_* program are passed to the programs as arguments.
programs=() arguments=()
for word in "$@"; do
    if [[ $word == bench_* ]]; then programs+=("$word"); else arguments+=("$word"); fi
done
((${#programs[@]})) || programs=(build/bench/bench_*)
for program in "${programs[@]}"; do
    program=build/bench/$(basename "$program")
    ((${#programs[@]} == 1)) || echo "== $(basename "$program")"
    "$program" "${arguments[@]}"
done
