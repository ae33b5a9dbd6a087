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

# Eigen and SuiteSparse (KLU, for sparse models) for the build, ccache to
# compile nothing twice; GoogleTest for the C++ tests only. UMFPACK's dense
# fronts call the system BLAS (libblas.so.3): Debian's default is the
# reference BLAS, and OpenBLAS in its place factors filled-in systems about
# five times faster.
debian_packages=(libeigen3-dev libsuitesparse-dev libopenblas0-serial ccache)
venv=.venv
python=$venv/bin/python
dev_build=build/dev

# Every build of the checkout (the module in build/dev, the sanitized tests,
# and the isolated build of the test command in build/wheel) goes through one
# compiler cache inside the checkout, with paths relative to it, so a deleted
# build folder is rebuilt from it. build/wheel lies as deep as build/dev and
# the core's compile commands do not depend on the build environment, so the
# isolated build finds the core compiled by build/dev's and compiles only the
# bindings and nanobind's runtime, whose headers lie in its temporary
# environment. CMake reads the launcher when it configures a new build folder.
export CCACHE_DIR=$PWD/build/ccache CCACHE_BASEDIR=$PWD CCACHE_MAXSIZE=2G
export CMAKE_CXX_COMPILER_LAUNCHER=ccache

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

# A phase's line, with the wall time and the processor time (of every
# program the script ran) since the script started: on a shared machine the
# second says what a phase costs.
step() {
    # The children's user and system times, in clock ticks, are fields 16
    # and 17 of the shell's own /proc/PID/stat.
    local stat cpu
    read -r -a stat </proc/$$/stat
    cpu=$(((stat[15] + stat[16]) / $(getconf CLK_TCK)))
    printf '== %s [after %d:%02d, processor time %d:%02d]\n' "$*" $((SECONDS / 60)) $((SECONDS % 60)) \
        $((cpu / 60)) $((cpu % 60))
}

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

# Builds and installs the package, with the extras given (e.g. "[dev]"), and
# further pip arguments. The build tools come from the venv, so no isolated
# build environment is needed, and build/dev keeps the objects for an
# incremental rebuild (an isolated `pip install .` builds in a temporary
# directory instead). The build's steps (scikit-build-core's *** lines,
# Ninja's [k/n] lines) and pip's summary of what it installed show the
# progress; the whole output goes to build/install.log.
build_module() {
    local log=build/install.log
    mkdir -p build
    step "Building and installing pyhalvex$1 (log: $log)"
    if ! PATH="$PWD/$venv/bin:$PATH" "$python" -m pip install -v --no-build-isolation \
            --config-settings=build-dir="$dev_build" "${@:2}" ".$1" 2>&1 \
            | tee "$log" | { grep --line-buffered -E '^\s*(\[[0-9]+/[0-9]+\] |\*\*\* )|^Successfully installed' \
                             || true; }; then
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
    build_module "$1" "${setup_build_arguments[@]}"
}

# The C++ tests, built in build/dev together with the module (the test
# command turns them on there), so the core is compiled once for both.
# Every test runs as a process of its own, as many at once as there are cores.
run_cpp_tests() {
    "$venv/bin/ctest" --test-dir "$dev_build" --output-on-failure --parallel "$(nproc)"
}

# The C++ tests once more, built with AddressSanitizer and UndefinedBehavior-
# Sanitizer (with the float-to-integer overflow check, which gcc leaves out of
# "undefined") and with assertions on (no NDEBUG, so Eigen checks indices and
# sizes), in a build folder of their own. The first report ends the run with
# a failure. Optimised for debugging (-Og, the tests' own code too): it
# inlines Eigen's small functions, so the checks that remain guard the
# arithmetic itself rather than each call of an accessor, and it compiles
# about as fast as -O0 into a fraction of the code (a core file in 11.6 s
# instead of 14.1 s, 2.8 MB of object instead of 12.2 MB; the largest test
# file in 60 s instead of 58 s, 15 MB instead of 38 MB). No debug
# information: the reports name the functions from the symbol table, and
# debug information of the Eigen templates, even only for lines (-g1), would
# make the folder several times larger. For the same reason the core's archive is thin (it names the
# objects instead of copying them) and the test program is not position-
# independent (no table of run-time relocations for the sanitizers' data).
# A subshell, so the sanitizer options stay with these programs.
run_sanitized_cpp_tests() (
    local cmake=$venv/bin/cmake
    local sanitize="-fsanitize=address,undefined,float-cast-overflow -fno-sanitize-recover=all -fno-omit-frame-pointer"
    export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:strict_string_checks=1
    export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
    "$cmake" -S . -B build/sanitize -G Ninja -DPYHALVEX_TESTS=ON -DCMAKE_BUILD_TYPE=None \
        -DCMAKE_CXX_FLAGS="-Og $sanitize" -DPYHALVEX_TEST_OPTIMIZATION=-Og \
        -DCMAKE_EXE_LINKER_FLAGS="$sanitize -no-pie" -DCMAKE_SHARED_LINKER_FLAGS="$sanitize" \
        -DCMAKE_CXX_ARCHIVE_CREATE="<CMAKE_AR> qc --thin <TARGET> <LINK_FLAGS> <OBJECTS>" \
        -DCMAKE_CXX_ARCHIVE_APPEND="<CMAKE_AR> q --thin <TARGET> <LINK_FLAGS> <OBJECTS>" \
        -DPython_EXECUTABLE="$PWD/$python" -DCMAKE_MAKE_PROGRAM="$PWD/$venv/bin/ninja" >/dev/null
    if ! "$cmake" --build build/sanitize --parallel 2 2>&1 | tee build/sanitize.log \
            | { grep --line-buffered -E '^\[[0-9]+/[0-9]+\] ' || true; }; then
        tail -n 40 build/sanitize.log >&2
        echo "The sanitized build failed; its whole output is in build/sanitize.log" >&2
        exit 1
    fi
    "$venv/bin/ctest" --test-dir build/sanitize --output-on-failure --parallel "$(nproc)"
)

# The tests on every core (pytest-xdist). Those that time how fast a call
# answers Ctrl-C form one group, run one after another by one process, so
# that no two of their long calls compete for a core.
run_python_tests() {
    "$python" -m pytest -q -n "$(nproc)" --dist loadgroup tests/python
}

# What a user of the README does, in a fresh environment: pip builds a wheel
# with build isolation (its own temporary environment with the build
# requirements of pyproject.toml), installs it into a new venv, and the
# README's first example runs there, outside the checkout, so that only the
# installed package can be imported. The build folder is build/wheel rather
# than pip's temporary one, for the compiler cache (above); it is made anew
# each time, since its configuration names the temporary environment, and
# removed afterwards.
run_isolated_install() {
    local wheels=build/isolated/wheels target=build/isolated/venv log=build/isolated/wheel.log
    rm -rf build/isolated build/wheel
    mkdir -p "$wheels"
    step "Building a wheel with build isolation (log: $log)"
    if ! "$python" -m pip wheel -v --no-deps --wheel-dir "$wheels" --config-settings=build-dir=build/wheel . 2>&1 \
            | tee "$log" | { grep --line-buffered -E '^\s*(\[[0-9]+/[0-9]+\] |\*\*\* )' || true; }; then
        tail -n 40 "$log" >&2
        echo "The isolated build failed; its whole output is in $log" >&2
        exit 1
    fi
    rm -rf build/wheel
    step "Installing the wheel into the new venv $target"
    python3 -m venv "$target"
    "$target/bin/python" -m pip install -q "$wheels"/pyhalvex-*.whl
    step "Running the README's first example in $target"
    (cd "$target" && bin/python "$OLDPWD/examples/first_roots.py")
}

setup_build_arguments=()
case "${1:-}" in
    demo) setup ""; step "Running examples/first_roots.py"; "$python" examples/first_roots.py ;;
    test)
        setup_build_arguments=(--config-settings=cmake.define.PYHALVEX_TESTS=ON)
        setup "[dev]" libgtest-dev
        step "C++ tests"; run_cpp_tests
        step "C++ tests under the sanitizers"; run_sanitized_cpp_tests
        step "Python tests"; run_python_tests
        step "A fresh install as the README says"; run_isolated_install
        ;;
    *) echo "usage: bash scripts/dev.sh demo|test" >&2; exit 2 ;;
esac
