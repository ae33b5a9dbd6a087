#!/usr/bin/env bash
# Sets up a checkout and then shows a first result or runs every test.
#   bash scripts/dev.sh demo   set up, then run examples/first_roots.py
#   bash scripts/dev.sh test   set up with the dev set, then run the C++ tests (ctest, once more
#                              under the address and undefined-behaviour sanitizers) and the
#                              Python tests (pytest)
# Set-up: Debian packages only when missing, Python packages into .venv inside
# the checkout (for the demo only what building and running the module needs;
# for the tests also the extra "dev" of pyproject.toml), the package built
# incrementally in build/. Every step is skipped when it has nothing to do, so
# a second run is fast. Each step prints a line, and the build its progress.
set -euo pipefail
cd "$(dirname "$0")/.."

# Eigen and SuiteSparse (KLU, for sparse models) for the build; GoogleTest for
# the C++ tests only.
debian_packages=(libeigen3-dev libsuitesparse-dev)
venv=.venv
python=$venv/bin/python

ensure_debian_packages() {
    local missing=() p
    for p in "${debian_packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    ((${#missing[@]} == 0)) && return
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    echo "Installing Debian packages: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
}

step() { echo "== $*"; }

# Installs the packages of a requirements file once, and again when it changes.
ensure_requirements() {
    local file=$1 stamp=$venv/.installed-$(basename "$1" .txt)
    [ -f "$stamp" ] && [ "$stamp" -nt "$file" ] && return
    step "Installing the Python packages of $file into $venv"
    "$python" -m pip install -q --upgrade pip
    "$python" -m pip install -q -r "$file"
    touch "$stamp"
}

ensure_venv() {
    [ -x "$python" ] || { step "Creating $venv"; python3 -m venv "$venv"; }
    ensure_requirements requirements-build.txt
}

# Builds and installs the package, with the extras given (e.g. "[dev]"). The
# build tools come from the venv, so no isolated build environment is needed,
# and build/ keeps the objects for an incremental rebuild. The build's steps
# (scikit-build-core's *** lines, Ninja's [k/n] lines) show the progress; the
# whole output goes to build/install.log.
build_module() {
    local log=build/install.log
    mkdir -p build
    step "Building and installing pyhalvex$1 (log: $log)"
    if ! PATH="$PWD/$venv/bin:$PATH" "$python" -m pip install -v --no-build-isolation ".$1" 2>&1 \
            | tee "$log" | { grep --line-buffered -E '^\s*(\[[0-9]+/[0-9]+\] |\*\*\* )' || true; }; then
        tail -n 40 "$log" >&2
        echo "The build failed; its whole output is in $log" >&2
        exit 1
    fi
}

# setup EXTRAS [DEBIAN PACKAGE...]: the packages, the venv, and the package
# built with the extras given.
setup() {
    debian_packages+=("${@:2}")
    ensure_debian_packages
    ensure_venv
    build_module "$1"
}

run_cpp_tests() {
    local cmake=$venv/bin/cmake
    "$cmake" -S . -B build/cpp -G Ninja -DPYHALVEX_TESTS=ON -DCMAKE_MAKE_PROGRAM="$PWD/$venv/bin/ninja" \
        -DPython_EXECUTABLE="$PWD/$python" >/dev/null
    "$cmake" --build build/cpp
    "$venv/bin/ctest" --test-dir build/cpp --output-on-failure
}

# The C++ tests once more, built with AddressSanitizer and UndefinedBehavior-
# Sanitizer (with the float-to-integer overflow check, which gcc leaves out of
# "undefined") and with assertions on (no NDEBUG, so Eigen checks indices and
# sizes), in a build folder of their own. Unoptimised: the tests run in
# seconds either way, and -O0 halves the compile time of the Eigen-heavy core
# against -O1. Debug information only for the lines of the sanitizers' stack
# traces (-g1): full debug information of the Eigen templates made the folder
# some 1 GB. The first report ends the run with a failure. A subshell, so the
# sanitizer options stay with these programs.
run_sanitized_cpp_tests() (
    local cmake=$venv/bin/cmake
    local sanitize="-fsanitize=address,undefined,float-cast-overflow -fno-sanitize-recover=all -fno-omit-frame-pointer"
    export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:strict_string_checks=1
    export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
    "$cmake" -S . -B build/sanitize -G Ninja -DPYHALVEX_TESTS=ON -DCMAKE_BUILD_TYPE=None \
        -DCMAKE_CXX_FLAGS="-O0 -g1 $sanitize" -DCMAKE_EXE_LINKER_FLAGS="$sanitize" \
        -DCMAKE_SHARED_LINKER_FLAGS="$sanitize" -DPython_EXECUTABLE="$PWD/$python" \
        -DCMAKE_MAKE_PROGRAM="$PWD/$venv/bin/ninja" >/dev/null
    "$cmake" --build build/sanitize --parallel 2
    "$venv/bin/ctest" --test-dir build/sanitize --output-on-failure
)

run_python_tests() {
    "$python" -m pytest -q tests/python
}

case "${1:-}" in
    demo) setup ""; step "Running examples/first_roots.py"; "$python" examples/first_roots.py ;;
    test)
        setup "[dev]" libgtest-dev
        step "C++ tests"; run_cpp_tests
        step "C++ tests under the sanitizers"; run_sanitized_cpp_tests
        step "Python tests"; run_python_tests
        ;;
    *) echo "usage: bash scripts/dev.sh demo|test" >&2; exit 2 ;;
esac
