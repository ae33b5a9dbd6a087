"""The model as Python sees it: conversion of its arguments, the views it
hands out, and the errors it raises."""
import copy
import functools
import gc
import importlib.metadata
import pickle
import subprocess
import sys
import textwrap
import tomllib
from pathlib import Path

import numpy as np
import pytest

import pyhalvex
from pyhalvex import quorv


def test_version_is_the_package_version():
    pyproject = Path(__file__).resolve().parents[2] / "pyproject.toml"
    declared = tomllib.loads(pyproject.read_text())["project"]["version"]
    assert pyhalvex.__version__ == declared == importlib.metadata.version("pyhalvex")


def test_module_and_signatures_render_as_documented():
    assert pyhalvex.__doc__ == "halvex python bindings"
    assert quorv.__init__.__doc__ == (
        "__init__(self, arg0: collections.abc.Sequence[numpy.ndarray[dtype=float64, "
        "shape=(*, *), order='F']], arg1: collections.abc.Sequence[float], /) -> None\n\nhA"
    )
    assert pyhalvex.roots.__doc__.startswith("roots(arg0: pyhalvex.quorv, arg1: float, /) -> list[complex]\n\n")
    assert quorv.A.__doc__.startswith(
        "A(self, arg: int, /) -> numpy.ndarray[dtype=float64, shape=(*, *), order='F']\n\nA(k, /)"
    )
    assert quorv.hA.__doc__.startswith("hA(self) -> numpy.ndarray[dtype=float64]\n\nhA()")


@pytest.mark.parametrize(
    "args, kwargs",
    [
        ((), {"A": [np.eye(2)], "hA": [1.0]}),
        ((None, [1.0]), {}),
        (([np.eye(2)], None), {}),
        (([[[1.0, 0.0], [0.0, 1.0]]], [1.0]), {}),  # nested lists are not arrays
        (([np.eye(2, dtype=complex)], [1.0]), {}),
        (([np.ones(2)], [1.0]), {}),
        (([np.ones((2, 2, 2))[None]], [1.0]), {}),
        (("ab", [1.0]), {}),
        (([np.eye(2)], "1"), {}),
        (([np.eye(2)], ["1.0"]), {}),
        (([np.eye(2)],), {}),
    ],
    ids=["keywords", "None matrices", "None delays", "nested lists", "complex",
         "1-D", "3-D element", "str matrices", "str delays", "str delay", "one argument"],
)
def test_construction_rejects_what_does_not_convert(args, kwargs):
    with pytest.raises(TypeError, match=r"__init__\(\): incompatible function arguments"):
        quorv(*args, **kwargs)


def test_construction_converts_arrays_sequences_and_numbers():
    c_ordered = np.arange(6.0).reshape(2, 3)
    sys_c = quorv([c_ordered, np.eye(2, dtype=np.int32)], (1, np.float32(0.5)))
    assert np.array_equal(sys_c.A(0), c_ordered)
    assert sys_c.A(0).flags.f_contiguous
    assert sys_c.A(1).dtype == np.float64 and np.array_equal(sys_c.A(1), np.eye(2))
    assert list(sys_c.hA()) == [1.0, 0.5]
    assert sys_c.n == 2, "n is the row count of the first matrix, not its column count"

    stack = np.stack([np.eye(3), 2 * np.eye(3), 3 * np.eye(3)])
    sys_3d = quorv(stack, np.array([0.0, 1.0, 2.0]))
    assert sys_3d.mA == 3 and sys_3d.n == 3
    assert sys_3d.A(2)[1, 1] == 3.0


def test_the_model_copies_its_inputs():
    m = np.asfortranarray(np.eye(2))
    delays = [1.0]
    sys = quorv([m], delays)
    m[0, 0] = 42.0
    delays[0] = 7.0
    assert sys.A(0)[0, 0] == 1.0 and sys.hA()[0] == 1.0


def test_views_are_writable_column_major_and_share_the_stored_data():
    sys = quorv([np.arange(6.0).reshape(3, 2)], [1.0])
    a, b = sys.A(0), sys.A(0)
    assert a is not b and np.shares_memory(a, b)
    assert a.flags.writeable and a.flags.f_contiguous
    assert a.strides == (8, 24)
    a[2, 1] = -9.0
    assert sys.A(0)[2, 1] == -9.0
    h = sys.hA()
    h[0] = 0.25
    assert sys.hA()[0] == 0.25 and h.flags.writeable


def test_views_keep_the_model_alive():
    view = quorv([np.full((2, 2), 3.0)], [0.5]).A(0)
    delays = quorv([np.eye(1)], [0.75]).hA()
    gc.collect()
    assert view.sum() == 12.0
    assert delays[0] == 0.75


def test_delay_view_has_one_entry_per_matrix_and_never_reaches_past_the_list():
    more = quorv([np.eye(1)] * 3, [0.0, 1.0, 2.0, 3.0])
    assert list(more.hA()) == [0.0, 1.0, 2.0]
    fewer = quorv([np.eye(1)] * 3, [0.5])
    assert list(fewer.hA()) == [0.5]
    assert fewer.mA == 3 and fewer.A(2)[0, 0] == 1.0


def test_empty_model():
    sys = quorv([], [])
    assert (sys.mA, sys.n) == (0, 0)
    h = sys.hA()
    assert h.shape == (0,) and h.dtype == np.float64
    with pytest.raises(IndexError, match="^invalid vector subscript$"):
        sys.A(0)


def test_matrix_index_conversion_and_range():
    sys = quorv([np.eye(2), 2 * np.eye(2)], [0.0, 1.0])
    assert sys.A(np.int64(1))[0, 0] == 2.0
    assert sys.A("1")[0, 0] == 2.0, "the index goes through int(x)"
    with pytest.raises(IndexError, match="^invalid vector subscript$"):
        sys.A(sys.mA)
    for bad in (-1, 1.0, None):
        with pytest.raises(TypeError, match=r"A\(\): incompatible function arguments"):
            sys.A(bad)
    with pytest.raises(TypeError):
        sys.A(k=0)


def test_no_instances_leak_at_interpreter_exit():
    script = textwrap.dedent(
        """
        import numpy as np, pyhalvex
        sys = pyhalvex.quorv([np.eye(3), np.ones((3, 3))], [0.0, 1.0])
        views = [sys.A(0), sys.A(1), sys.hA()]
        del sys
        kept = views[0]
        """
    )
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    assert "leak" not in done.stderr, done.stderr


class Subsystem(quorv):
    """A subclass, to check that copies and pickles keep the Python type."""


def pickled(model, protocol):
    return pickle.loads(pickle.dumps(model, protocol=protocol))


COPIES = {
    **{f"pickle protocol {p}": functools.partial(pickled, protocol=p)
       for p in range(2, pickle.HIGHEST_PROTOCOL + 1)},
    "copy": copy.copy,
    "deepcopy": copy.deepcopy,
}


@pytest.mark.parametrize("duplicate", COPIES.values(), ids=COPIES.keys())
@pytest.mark.parametrize("cls", [quorv, Subsystem])
def test_copies_and_pickles_are_equal_and_independent(duplicate, cls):
    a0 = np.array([[-2.0, 1.0], [0.5, -3.0]])
    a1 = np.array([[0.3, -1.0], [1.2, 0.4]], order="F")
    original = cls([a0, a1], [0.0, 1.0, 2.5])  # the third delay only widens the interval
    twin = duplicate(original)
    assert type(twin) is cls

    matrices, delays = twin.__getstate__()
    assert delays.dtype == np.float64 and list(delays) == [0.0, 1.0, 2.5]
    assert all(isinstance(m, np.ndarray) and m.dtype == np.float64 for m in matrices)
    assert np.array_equal(matrices[0], a0) and np.array_equal(twin.A(1), a1)
    assert twin.A(1).flags.f_contiguous
    assert pyhalvex.roots(twin, -2.0) == pyhalvex.roots(original, -2.0)

    assert not np.shares_memory(twin.A(0), original.A(0))
    twin.A(0)[0, 0] = 99.0
    twin.hA()[1] = 7.0
    assert original.A(0)[0, 0] == -2.0 and original.hA()[1] == 1.0


def test_state_round_trips_models_the_computation_refuses():
    fewer = pickled(quorv([np.eye(1)] * 3, [0.5]), pickle.HIGHEST_PROTOCOL)
    assert (fewer.mA, list(fewer.hA())) == (3, [0.5])
    empty = copy.deepcopy(quorv([], []))
    assert (empty.mA, empty.n, empty.hA().shape) == (0, 0, (0,))


def test_setstate_rejects_a_malformed_state():
    blank = quorv.__new__(quorv)
    with pytest.raises(TypeError, match="incompatible function arguments"):
        blank.__setstate__(([np.eye(2)],))
    ready = quorv([np.eye(1)], [1.0])
    with pytest.warns(RuntimeWarning), pytest.raises(TypeError):
        ready.__setstate__(([np.eye(2)], [0.0]))
    assert ready.n == 1
