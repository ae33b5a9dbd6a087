"""delay_margin against closed forms, against is_stable on either side of
the margin, and on the arguments it refuses."""
import math
import subprocess
import sys
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

import numpy as np
import scipy.sparse
import pytest

import pyhalvex
from pyhalvex import quorv

EXAMPLES = Path(__file__).resolve().parents[2] / "examples"


def scalar(a, b, tau0):
    """x' = a x + b x(t - tau0), the delayed term 1."""
    return quorv([np.array([[a]]), np.array([[b]])], [0.0, tau0])


def pd_loop(kp, kd):
    """x'' = -kp x(t - tau) - kd x'(t - tau), the loop delay in term 1, from 0."""
    return quorv([np.array([[0.0, 1.0], [0.0, 0.0]]), np.array([[0.0, 0.0], [-kp, -kd]])], [0.0, 0.0])


def longer(system, k, d):
    h = system.hA().copy()
    h[list(np.atleast_1d(k))] += d
    return quorv([system.A(j).copy() for j in range(system.mA)], h)


def assert_margin(system, k, expected=None, rel=1e-9):
    """The margin, against expected when given, and against is_stable just before and after it."""
    d = pyhalvex.delay_margin(system, k)
    if expected is not None:
        assert d == pytest.approx(expected, rel=rel)
    assert 0 < d < math.inf
    assert pyhalvex.is_stable(longer(system, k, 0.999 * d))
    assert not pyhalvex.is_stable(longer(system, k, 1.001 * d))
    return d


@pytest.mark.parametrize("a, b, tau0", [(0.0, -1.0, 0.0), (-1.0, -2.0, 0.3), (0.5, -3.0, 0.1), (-0.2, -50.0, 0.0),
                                        (0.9, -1.0, 0.05)])
def test_scalar_closed_form(a, b, tau0):
    w = math.sqrt(b * b - a * a)
    assert_margin(scalar(a, b, tau0), 1, math.acos(-a / b) / w - tau0)


@pytest.mark.parametrize("kp, kd", [(1.0, 1.5), (0.1, 0.5), (4.0, 0.3), (1e-3, 1e-2)])
def test_pd_loop_closed_form(kp, kd):
    # w^4 = kd^2 w^2 + kp^2 on the axis
    w = math.sqrt(0.5 * (kd * kd + math.sqrt(kd ** 4 + 4 * kp * kp)))
    assert_margin(pd_loop(kp, kd), 1, math.atan2(kd * w, kp) / w)


def test_classic_two_by_two():
    a0 = np.array([[-2.0, 0.0], [0.0, -0.9]])
    a1 = np.array([[-1.0, 0.0], [-1.0, -1.0]])
    assert_margin(quorv([a0, a1], [0.0, 0.0]), 1, 6.17258, rel=1e-6)


def test_two_delays_one_growing_and_a_shared_loop_delay():
    # modes of S diag(.) S^-1 with an integer S, and a fixed delay beside the growing one
    s = np.array([[2.0, 1.0], [1.0, 1.0]])
    similar = lambda *d: s @ np.diag(d) @ np.linalg.inv(s)
    system = quorv([similar(-1.0, -2.0), similar(-0.6, -0.5), similar(0.3, -3.0)], [0.0, 0.4, 1.0])
    one = assert_margin(system, 2)
    both = assert_margin(system, [1, 2])
    assert both < one
    # One loop delay in two terms with equal delays acts as their sum: b + c = -2.5.
    shared = quorv([np.array([[-1.0]]), np.array([[-1.5]]), np.array([[-1.0]])], [0.0, 0.2, 0.2])
    assert_margin(shared, (1, 2), math.acos(-0.4) / math.sqrt(2.5 ** 2 - 1) - 0.2)


def test_same_margin_in_every_time_unit():
    d = pyhalvex.delay_margin(pd_loop(1.0, 1.5), 1)
    for s in (1e-6, 1e6):  # time measured in units s times longer: A s, delays / s
        slow = quorv([pd_loop(1.0, 1.5).A(j) * s for j in range(2)], [0.0, 0.0])
        assert pyhalvex.delay_margin(slow, np.int64(1)) == pytest.approx(d / s, rel=1e-9)


@pytest.mark.parametrize("system, k", [(scalar(-2.0, 1.5, 0.5), 1), (scalar(-2.0, -1.0, 0.0), 1),
                                       (quorv([np.zeros((0, 0))], [1.0]), 0)])
def test_stable_for_every_delay(system, k):
    assert pyhalvex.delay_margin(system, k) == math.inf


def test_unstable_as_given_is_zero():
    assert pyhalvex.delay_margin(scalar(0.5, -0.2, 1.0), 1) == 0.0
    assert pyhalvex.delay_margin(scalar(-1.0, 1.0, 1.0), [1]) == 0.0  # a root at 0 for every delay


def test_budget_ends_with_a_certified_lower_bound():
    # x' = -x - x(t - h): delay-independent on its boundary; the frequency 0 is
    # approached by crossings at ever longer delays, which the search cannot close.
    system = scalar(-1.0, -1.0, 0.0)
    with pytest.warns(RuntimeWarning, match="stable for every added delay below"):
        d = pyhalvex.delay_margin(system, 1)
    assert d > 100 and pyhalvex.is_stable(longer(system, 1, 0.5 * d))


@pytest.mark.parametrize("k, error, message", [(2, ValueError, "term index 2 is out of range"),
                                                (-1, ValueError, "term index -1 is out of range"),
                                                ([1, 1], ValueError, "term index 1 is given twice"),
                                                ([], ValueError, "no term given"),
                                                (1.0, TypeError, None), (["1"], TypeError, None)])
def test_bad_terms(k, error, message):
    with pytest.raises(error, match=message):
        pyhalvex.delay_margin(scalar(0.0, -1.0, 0.0), k)


def test_bad_model_is_refused_as_roots_refuses_it():
    with pytest.raises(ValueError, match="delay 1 is negative"):
        pyhalvex.delay_margin(quorv([np.eye(1), np.eye(1)], [0.0, -0.5]), 0)


def test_margin_map_marks_the_closed_form_region_of_every_delay(tmp_path):
    # The example's oscillator loop: the points stable for every delay are those
    # where the crossing polynomial has no positive root, off its edge.
    sys.path.insert(0, str(EXAMPLES))
    import delay_margin as example

    kp, kd = np.linspace(-0.15, 1.15, 7), np.linspace(-0.15, 1.55, 6)  # none on the edge itself
    with ThreadPoolExecutor(2) as pool:
        margins = example.margin_map(kp, kd, 1.0, 1.0, pool)
    p, d = np.meshgrid(kp, kd)
    assert np.array_equal(np.isinf(margins), example.delay_independent(p, d, 1.0, 1.0))
    done = subprocess.run([sys.executable, str(EXAMPLES / "delay_margin.py"), "--grid", "6",
                           "--output", str(tmp_path / "margin.png")], capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    assert (tmp_path / "margin.png").stat().st_size > 0


def heat_feedback(n):
    """u_t = u_xx + 50 u - 60 u(t - tau) on (0, 1), Dirichlet ends: modes
    mu_i = 50 - e_i of the Laplacian, each fed back with -60 after tau."""
    h2 = (n + 1.0) ** 2
    lap = scipy.sparse.diags_array([h2, -2 * h2 + 50, h2], offsets=[-1, 0, 1], shape=(n, n))
    e = 4 * h2 * np.sin(np.arange(1, n + 1) * np.pi / (2 * (n + 1))) ** 2
    return [lap, -60.0 * scipy.sparse.eye_array(n)], [0.0, 0.0], 50 - e, np.full(n, -60.0)


def ring_feedback(n):
    """x_i' = -x_i - 0.5 x_{i-1} - 2 x_i(t - 0.1 - tau) around a ring: modes
    mu_k = -1 - 0.5 e^{2 pi i k / n}, each fed back with -2."""
    shift = scipy.sparse.diags_array([1.0, 1.0], offsets=[-1, n - 1], shape=(n, n))
    mu = -1 - 0.5 * np.exp(2j * np.pi * np.arange(n) / n)
    return [-scipy.sparse.eye_array(n) - 0.5 * shift, -2.0 * scipy.sparse.eye_array(n)], [0.0, 0.1], mu, np.full(n, -2.0)


def heat_stiff(n):
    """The 1-D heat equation with a delayed reaction, u_t = u_xx - 2 u + 3 u(t - 1):
    every mode has |mu| > 3, stable for every delay."""
    h2 = (n + 1.0) ** 2
    lap = scipy.sparse.diags_array([h2, -2 * h2 - 2, h2], offsets=[-1, 0, 1], shape=(n, n))
    return [lap, 3.0 * scipy.sparse.eye_array(n)], [0.0, 1.0], np.array([]), np.array([])


def modes_margin(mu, b, tau0):
    """The least added delay at which a mode x' = mu x + b x(t - tau0 - d) has
    a root on the axis: |jw - mu| = |b| and w (tau0 + d) = -arg((jw - mu) / b)
    (mod 2 pi); each such crossing destabilises a scalar mode when
    w (w - Im mu) > 0, which holds for all the crossings of these systems."""
    best = math.inf
    for m, c in zip(mu, b):
        if abs(c) <= abs(m.real):
            continue
        for w in m.imag + np.array([1, -1]) * math.sqrt(abs(c) ** 2 - m.real ** 2):
            period = 2 * math.pi / abs(w)
            tau = (-np.angle((1j * w - m) / c) / w) % period
            best = min(best, tau + period * math.ceil((tau0 - tau) / period) - tau0)
    return best


@pytest.mark.parametrize("build, n", [(heat_feedback, 200), (ring_feedback, 101), (heat_stiff, 400), (ring_feedback, 31)])
def test_sparse_margin_is_the_least_of_the_modes(build, n):
    A, h, mu, b = build(n)
    d = pyhalvex.delay_margin(pyhalvex.sparse_quorv(A, h), 1)
    assert d == pytest.approx(modes_margin(mu, b, h[1]), rel=1e-8)
    if n < 100:  # the dense search inverts Delta in every cell: n^3 each
        assert pyhalvex.delay_margin(quorv([a.toarray() for a in A], h), 1) == pytest.approx(d, rel=1e-9)
