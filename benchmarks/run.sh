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
# The compiler cache of scripts/dev.sh, when there is one: the benchmarks'
# core is compiled as the module's.
if command -v ccache >/dev/null; then
    export CCACHE_DIR=$PWD/build/ccache CCACHE_BASEDIR=$PWD CCACHE_MAXSIZE=2G CMAKE_CXX_COMPILER_LAUNCHER=ccache
fi
"$venv/bin/cmake" -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DPYHALVEX_BENCHMARKS=ON -DCMAKE_MAKE_PROGRAM="$venv/bin/ninja" \
    -DPython_EXECUTABLE="$venv/bin/python" >/dev/null
# The build's progress (Ninja's [k/n] lines) on stderr, so that what the
# programs print stays the only output (scripts/regenerate.py reads it); the
# whole output goes to build/bench.log, and its end is shown when it fails.
echo "== Building the benchmark programs in build/bench (log: build/bench.log)" >&2
if ! "$venv/bin/cmake" --build build/bench 2>&1 | tee build/bench.log \
        | { grep --line-buffered -E '^\[[0-9]+/[0-9]+\] ' >&2 || true; }; then
    tail -n 40 build/bench.log >&2
    exit 1
fi
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
