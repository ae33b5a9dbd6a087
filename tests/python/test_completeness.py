"""The count of the roots right of r and the completion of what the pencil
misses, against Lambert-W and modal truth."""
import math

import numpy as np
import pytest

import warnings

from scipy.special import lambertw

from pyhalvex import count_roots, is_stable, quorv, roots, spectral_abscissa, spectrum
from test_roots import assert_same_roots, lambert_roots, modal_system
from test_roots import no_warning_roots as complete_roots


def scalar(a, b, tau):
    return quorv([np.array([[a]]), np.array([[b]])], [0.0, tau])


@pytest.mark.parametrize(
    "a, b, tau, r",
    [
        (0.0, -1.0, 1.0, -2.0),
        (0.0, -1.0, 1.0, -6.0),
        (-1.13, -1.94, 10.0, -0.01),
        (0.0, -1.0, 50.0, -0.05),
        (-1.0, 0.5, 50.0, -0.02),
        (0.5, -0.5, 3.0, 0.0),  # a + b = 0: the root 0 lies on the line
    ],
)
def test_count_matches_lambert_w(a, b, tau, r):
    truth = lambert_roots(a, b, tau, r, branches=1000)
    assert count_roots(scalar(a, b, tau), r) == len(truth)


def test_roots_exactly_on_the_line_are_counted_and_returned():
    sys = scalar(0.0, -1.0, 1.0)
    truth = lambert_roots(0.0, -1.0, 1.0, -6.0)
    for lam in truth[:3]:
        expected = sum(1 for mu in truth if mu.real >= lam.real)
        assert count_roots(sys, lam.real) == expected
    assert any(abs(z) < 1e-12 for z in complete_roots(scalar(0.5, -0.5, 3.0), 0.0))


def test_no_root_beyond_the_bound():
    # |lambda| <= e^{-r h}|b| + |a| = 1.5 + e^{-2} < 2 = r: nothing to compute.
    sys = scalar(-1.0, 0.5, 1.0)
    assert count_roots(sys, 2.0) == 0 and roots(sys, 2.0) == []
    with pytest.raises(ValueError, match="r is NaN"):
        count_roots(sys, math.nan)


@pytest.mark.parametrize(
    "a, b, tau, r",
    [
        (0.0, -1.0, 1.0, -6.0),  # 128 roots, beyond the capped degree's 68
        (-1.13, -1.94, 10.0, -0.01),  # an unstable pair the pencil loses
        (-1.0, 0.5, 80.0, -0.02),
    ],
)
def test_completion_finds_what_the_pencil_loses(a, b, tau, r):
    found = complete_roots(scalar(a, b, tau), r)
    truth = lambert_roots(a, b, tau, r, branches=1000)
    assert_same_roots(found, truth, r, rtol=1e-7)
    assert len({complex(round(z.real, 6), round(z.imag, 6)) for z in found}) == len(truth)


def test_a_delay_too_small_for_the_pencil():
    # e^{-lambda 5e-324} is 1 for every lambda in reach: the root of -1 + 0.5.
    assert complete_roots(scalar(-1.0, 0.5, 5e-324), -1.0) == [pytest.approx(-0.5, rel=1e-12)]


def test_completion_on_terms_in_any_order():
    swapped = quorv([np.array([[1.09]]), np.array([[-1.88]])], [3.0, 0.0])
    assert_same_roots(complete_roots(swapped, -1.39), lambert_roots(-1.88, 1.09, 3.0, -1.39), -1.39)


@pytest.mark.parametrize(
    "n, delays, r",
    [
        (5, [0.0, 0.5, 1.5, 2.0, 3.0], -0.8),  # modes on the largest of five delays
        (8, [0.0, 3.0, 6.0, 9.0, 12.0, 15.0, 18.0, 21.0, 23.0, 25.0], -0.02),  # many long delays
        (5, [0.0, 1.0, 2.0], -3.5),  # some 2300 roots, most of them beyond the capped pencil
    ],
)
def test_completion_on_modal_systems(n, delays, r):
    sys, modes = modal_system(n, delays, seed=n * 100 + len(delays))
    truth = [lam for a, b, tau in modes for lam in lambert_roots(a, b, tau, r, branches=1000)]
    found = complete_roots(sys, r)
    assert_same_roots(found, truth, r, rtol=1e-7)
    assert count_roots(sys, r) == len(truth)


def test_defective_triple_root_is_accurate():
    # A_k = S (a_k I + N_k) S^-1 with a nilpotent Jordan part: det Delta =
    # (lambda - a - b e^{-lambda tau})^3, every root a defective triple one.
    rng = np.random.default_rng(3)
    s = rng.standard_normal((3, 3)) + 3 * np.eye(3)
    jordan = np.diag([1.0, 1.0], 1)
    a0 = s @ (-1.0 * np.eye(3) + jordan) @ np.linalg.inv(s)
    a1 = s @ (0.5 * np.eye(3)) @ np.linalg.inv(s)
    sys = quorv([a0, a1], [0.0, 1.0])
    found = complete_roots(sys, -3.0)
    truth = lambert_roots(-1.0, 0.5, 1.0, -3.0)
    for lam in truth:
        near = [z for z in found if abs(z - lam) < 1e-3 * abs(lam)]
        assert len(near) >= 3
        assert max(abs(z - lam) for z in near) <= 1e-8 * abs(lam)
    assert count_roots(sys, -3.0) == 3 * len(truth)


def test_a_line_too_far_left_to_count_from_is_an_error():
    # Whatever the pencil reaches would be an arbitrary subset of the roots.
    sys = quorv([np.array([[-1.0]])], [1.0])
    for r in (-1e300, -math.inf):
        with pytest.raises(RuntimeError, match="damping factors overflow"):
            roots(sys, r)
        with pytest.raises(OverflowError, match="not finite"):
            count_roots(sys, r)


def chain_roots(r):
    """The roots W_k(-1) of x' = -x(t - 1) with Re >= r, upper half first."""
    k = np.arange(-int(math.exp(-r) / (2 * math.pi)) - 50, int(math.exp(-r) / (2 * math.pi)) + 51)
    w = lambertw(-1.0, k)
    return w[w.real >= r]


@pytest.mark.parametrize("r", [-10.0, -11.0])
def test_a_far_line_lists_every_root_of_the_chain(r):
    # 7012 and 19 060 roots: all of them, certified, with no warning.
    found = np.array(complete_roots(quorv([np.array([[-1.0]])], [1.0]), r))
    truth = chain_roots(r)
    assert len(found) == len(truth)
    order = lambda z: z[np.lexsort((z.real, z.imag))]
    np.testing.assert_allclose(order(found), order(truth), rtol=1e-12, atol=1e-12)


def test_a_far_line_counts_the_chain_and_the_roots_on_it():
    # Right of -12: 51 806 roots. A pair 7.9e-7 left of the line (5e-12 of |lambda| = 1.6e5), some
    # ten thousand times its rounding, is left of it.
    assert count_roots(quorv([np.array([[-1.0]])], [1.0]), -12.0) == len(chain_roots(-12.0)) == 51806


@pytest.mark.parametrize("r", [-15.0, -100.0, -1000.0, -math.inf])
def test_a_line_whose_roots_cannot_be_counted_is_an_error_in_every_function(r):
    # Some 1e6 roots right of -15, 1e43 right of -100, and the damping factors overflow further
    # left: every function that takes r raises, none warns with a subset of the roots.
    sys = quorv([np.array([[-1.0]])], [1.0])
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        for function in (roots, count_roots, spectrum):
            with pytest.raises((RuntimeError, OverflowError), match="did not resolve|overflow|not finite"):
                function(sys, r)
    assert is_stable(sys) and spectral_abscissa(sys) == pytest.approx(lambertw(-1.0).real, rel=1e-12)


def test_count_roots_arguments():
    sys = scalar(-1.0, 0.5, 1.0)
    assert count_roots(sys, 0) == 0 and count_roots(sys, -10) > 0
    for bad_call in (lambda: count_roots(sys, r=0.0), lambda: count_roots(None, 0.0),
                     lambda: count_roots(sys, "0.5")):
        with pytest.raises(TypeError, match=r"count_roots\(\)"):
            bad_call()
    with pytest.raises(ValueError, match="^vector too long$"):
        count_roots(quorv([], []), 0.0)
    with pytest.raises(ValueError, match="delay 1 is negative"):
        count_roots(quorv([np.eye(2), np.eye(2)], [0.0, -0.5]), 0.0)


def test_ring_reordered_into_a_band_has_the_roots_of_its_fourier_modes():
    # x_i' = -x_i + 0.5 x_{i+1} + 0.1 x_{i-1} - 0.8 x_i(t - 1) + 0.3 x_{i+1}(t - 2), indices mod n: the ring's
    # corners leave no natural band, so the count factorises it in a reordered band. Mode w = e^{2 pi i k/n}
    # is the scalar equation with coefficients a(w), written for k, -k as the real 2x2 block of a(w).
    n, r = 48, -1.5
    up = np.roll(np.eye(n), 1, axis=1)
    sys = quorv([-np.eye(n) + 0.5 * up + 0.1 * up.T, -0.8 * np.eye(n), 0.3 * up], [0.0, 1.0, 2.0])

    def block(z):
        return np.array([[z.real, -z.imag], [z.imag, z.real]]) if k not in (0, n // 2) else np.array([[z.real]])

    truth = []
    for k in range(n // 2 + 1):
        w = np.exp(2j * math.pi * k / n)
        truth += complete_roots(quorv([block(-1 + 0.5 * w + 0.1 / w), block(-0.8 + 0j), block(0.3 * w)],
                                      [0.0, 1.0, 2.0]), r)
    assert_same_roots(complete_roots(sys, r), truth, r)
    assert count_roots(sys, r) == len(truth)
