"""The package as users meet it: functions and results that cross process
boundaries, the documentation help() shows, the picture of a Spectrum, and one
rule for a NaN abscissa."""
import copy
import doctest
import math
import pickle
import re
import subprocess
import sys
from concurrent.futures import ProcessPoolExecutor
from multiprocessing import get_context
from pathlib import Path

import numpy as np
import pytest

import pyhalvex
from pyhalvex import quorv

README = Path(__file__).resolve().parents[2] / "README.md"
FUNCTIONS = ["roots", "count_roots", "sensitivity", "spectrum", "spectral_abscissa", "is_stable", "delay_margin"]


def scalar(a, b, tau=1.0):
    return quorv([np.array([[a]]), np.array([[b]])], [0.0, tau])


class Tagged(quorv):
    """A user's subclass with attributes of its own."""


def assert_same_spectrum(copied, original):
    assert type(copied) is pyhalvex.Spectrum and copied is not original
    for field in ("roots", "multiplicities", "count", "complete", "degree", "r"):
        assert np.array_equal(getattr(copied, field), getattr(original, field)), field
    assert repr(copied) == repr(original)


def test_functions_and_results_cross_a_two_process_pool():
    systems = [scalar(0.0, -1.0, tau) for tau in (0.5, 1.0, 1.6)]
    with ProcessPoolExecutor(max_workers=2, mp_context=get_context("spawn")) as pool:
        found = list(pool.map(pyhalvex.roots, systems, [-1.0] * 3))
        spectra = list(pool.map(pyhalvex.spectrum, systems, [-1.0] * 3))
        verdicts = list(pool.map(pyhalvex.is_stable, systems))
    assert found == [pyhalvex.roots(s, -1.0) for s in systems]
    for far, here in zip(spectra, (pyhalvex.spectrum(s, -1.0) for s in systems)):
        assert_same_spectrum(far, here)
    assert verdicts == [True, True, False]  # x' = -x(t - tau) is stable for tau < pi/2


@pytest.mark.parametrize("name", FUNCTIONS)
def test_functions_pickle_by_reference_and_document_themselves(name):
    function = getattr(pyhalvex, name)
    assert pickle.loads(pickle.dumps(function)) is function
    for part in ("Arguments:", "Returns", "Raises", "Example:"):
        assert part in function.__doc__, f"{name} documents no {part}"


def readme_examples():
    """The pycon blocks of README.md, in order, as one doctest."""
    blocks = re.findall(r"^```pycon\n(.*?)^```$", README.read_text(), re.MULTILINE | re.DOTALL)
    return [doctest.DocTestParser().get_doctest("".join(blocks), {}, "README.md", str(README), 0)]


@pytest.mark.parametrize("source", ["pyhalvex", "pyhalvex._core", "README.md"])
def test_documented_examples_run_as_written(source):
    # Each example is checked against what the call returns now; "..." stands
    # for digits that may differ between machines.
    if source == "README.md":
        tests = readme_examples()
    else:
        module = pyhalvex if source == "pyhalvex" else pyhalvex._core
        found = doctest.DocTestFinder(exclude_empty=True).find(module, globs={"np": np, "pyhalvex": pyhalvex})
        tests = [test for test in found if not test.name.endswith(".plot")]  # that one writes a file
    runner = doctest.DocTestRunner(optionflags=doctest.ELLIPSIS)
    for test in tests:
        runner.run(test)
    assert runner.failures == 0 and runner.tries > 0, source


def test_spectrum_pickles_and_copies_with_every_field():
    # A model of a user's subclass, pickled with its attributes, gives the same
    # spectrum after the round trip; the spectrum itself round-trips too.
    model = Tagged([np.array([[1.0]]), np.array([[-1.0]])], [0.0, 1.0])
    model.label = "double root at 0"
    twin = pickle.loads(pickle.dumps(model))
    assert type(twin) is Tagged and twin.label == model.label
    assert copy.copy(model).label == copy.deepcopy(model).label == model.label
    original = pyhalvex.spectrum(model, -3.0)
    assert original.multiplicities[0] == 2 and original.r == -3.0
    for duplicate in (lambda s: pickle.loads(pickle.dumps(s)), copy.copy, copy.deepcopy):
        assert_same_spectrum(duplicate(original), original)
    assert_same_spectrum(pyhalvex.spectrum(twin, -3.0), original)


def test_repr_shows_order_matrices_and_delays():
    assert repr(quorv([np.eye(2)] * 3, [0.0, 1.0, 2.5])) == "<quorv n=2, mA=3, delays [0.0, 1.0, 2.5]>"
    assert repr(Tagged([np.eye(1)], [1.0])) == "<Tagged n=1, mA=1, delays [1.0]>"


@pytest.mark.parametrize("name", ["roots", "count_roots", "spectrum"])
def test_a_nan_abscissa_is_an_error_everywhere(name):
    with pytest.raises(ValueError, match="r is NaN"):
        getattr(pyhalvex, name)(scalar(0.0, -1.0), math.nan)


def drawn_points(ax, colour):
    """The root markers of the given colour, as (re, im) pairs."""
    lines = [line for line in ax.lines if line.get_linestyle() == "None" and line.get_color() == colour]
    return sorted(tuple(p) for line in lines for p in np.asarray(line.get_xydata()))


@pytest.mark.parametrize("system, r, verdict, unstable_roots", [
    # x' = -x(t - 2): lam = W_k(-2)/2, the principal pair right of the axis
    (quorv([np.array([[-1.0]])], [2.0]), -1.5, "unstable", 2),
    # x' = -x(t - 1): stable, rightmost pair W_0(-1)
    (quorv([np.array([[-1.0]])], [1.0]), -3.0, "stable", 0),
    # x' = x - x(t - 1): a double root at 0, on the axis
    (scalar(1.0, -1.0), -3.0, "unstable", 1),
])
def test_plot_shows_the_verdict(system, r, verdict, unstable_roots):
    matplotlib = pytest.importorskip("matplotlib")
    lambertw = pytest.importorskip("scipy.special").lambertw
    matplotlib.use("Agg")
    from pyhalvex import _plot

    s = pyhalvex.spectrum(system, r)
    ax = s.plot()
    # every root drawn once, in red exactly when it makes the system unstable
    red, blue = drawn_points(ax, _plot.UNSTABLE_COLOUR), drawn_points(ax, _plot.STABLE_COLOUR)
    assert sorted(red + blue) == sorted((z.real, z.imag) for z in s.roots)
    assert len(red) == unstable_roots and all(x >= 0 for x, _ in red) and all(x < 0 for x, _ in blue)
    # the verdict with the abscissa, independent of the computation for the delayed scalars
    h = system.hA()[0]
    abscissa = (lambertw(-h, 0) / h).real if system.mA == 1 else 0.0
    stated, value = ax.get_title().splitlines()[0].split(": spectral abscissa ")
    assert stated == verdict and abs(float(value) - abscissa) <= 5e-4 * abs(abscissa) + 1e-12
    # the right half-plane shaded out to the right edge, which leaves room right of every root
    shade = [p for p in ax.patches if p.get_label().startswith("Re λ ≥ 0")]
    assert len(shade) == 1 and ax.get_xlim()[1] > max(s.roots.real) >= ax.get_xlim()[0] - 1e-12
    # the imaginary axis and the line Re = r; the rightmost root and the multiplicities labelled
    vertical = {line.get_xdata()[0] for line in ax.lines if line.get_linestyle() != "None"
                and line.get_xdata()[0] == line.get_xdata()[1]}
    assert {0.0, r} <= vertical
    texts = [t.get_text() for t in ax.texts]
    assert texts[-1].startswith("rightmost ") and texts[:-1] == [f"×{m}" for m in s.multiplicities if m > 1]
    matplotlib.pyplot.close(ax.figure)


def test_plot_says_when_it_cannot_decide():
    matplotlib = pytest.importorskip("matplotlib")
    matplotlib.use("Agg")
    s = pyhalvex.spectrum(quorv([np.array([[-1.0]])], [1.0]), 0.5)  # nothing right of 0.5, [0, 0.5) unseen
    ax = s.plot()
    assert ax.get_title().startswith("not decided") and not ax.texts
    matplotlib.pyplot.close(ax.figure)


def test_importing_the_package_leaves_matplotlib_unimported():
    code = "import sys, pyhalvex; print('matplotlib' in sys.modules)"
    assert subprocess.run([sys.executable, "-c", code], capture_output=True, text=True).stdout == "False\n"


def test_the_namespace_lists_only_the_public_names():
    shown = [name for name in dir(pyhalvex) if not (name.startswith("__") and name.endswith("__"))]
    assert shown == sorted(set(pyhalvex.__all__) - {"__version__"})
    assert "__version__" in dir(pyhalvex)


@pytest.mark.parametrize("order", [1, 2, 3, 6])
@pytest.mark.parametrize("delay", [0.0, 1.0])
def test_a_zero_matrix_has_its_roots_at_exactly_zero(order, delay):
    system = quorv([np.zeros((order, order))], [delay])  # x' = 0: det Delta = lam^order
    assert pyhalvex.roots(system, -1.0) == [0j] * order
    s = pyhalvex.spectrum(system, -1.0)
    assert s.roots.tolist() == [0j] and s.multiplicities.tolist() == [order] and s.complete
    assert pyhalvex.spectral_abscissa(system) == 0.0 and not pyhalvex.is_stable(system)
