"""Certified results: every root in a disk the count confirms, near-double
roots told apart, multiple roots listed once, and the line treated alike by
roots, spectrum and count_roots."""
import cmath
import math

import numpy as np
import pytest
from scipy.special import lambertw

from pyhalvex import count_roots, is_stable, quorv, roots, spectrum
from test_roots import no_warning_roots


def near_double(a, h, eps):
    """x' = a x + b x(t - h) with b h e^{-a h} = -(1 - eps)/e: two roots about 2 sqrt(2 |eps|)/h apart
    near a - 1/h, where Lambert's W is inaccurate, so every root is polished by Newton's method."""
    b = -math.exp(-1) * (1 - eps) / (h * math.exp(-a * h))

    def polish(z):
        for _ in range(100):
            z -= (z - a - b * cmath.exp(-z * h)) / (1 + b * h * cmath.exp(-z * h))
        return z

    split = 2 * math.sqrt(2 * abs(eps)) / h * (1 if eps > 0 else 1j)
    pair = [polish(a - 1 / h + split), polish(a - 1 / h - split)]
    others = [polish(a + complex(lambertw(b * h * math.exp(-a * h), k)) / h) for k in range(-40, 41) if k not in (0, -1)]
    return quorv([np.array([[a]]), np.array([[b]])], [0.0, h]), pair + others


def assert_certified(s, truth=None, rtol=1e-8, radius_counts=True):
    """complete, disjoint disks holding the count, and (given truth) every listed root a true one: within
    rtol, or within its radius where radius_counts (a multiple root's mean)."""
    assert s.complete
    assert int(s.multiplicities.sum()) == s.count
    gaps = np.abs(s.roots[:, None] - s.roots[None, :]) - (s.radii[:, None] + s.radii[None, :])
    assert np.all(s.radii > 0) and np.all(gaps[~np.eye(len(s.roots), dtype=bool)] > 0)
    if truth is not None:
        for z, rho in zip(s.roots, s.radii):
            assert min(abs(z - t) for t in truth) <= max(rho if radius_counts else 0, rtol * max(1, abs(z))), z


# The last case once came back as a stalled iterate 5e-7 off the root, in a certified but loose disk.
@pytest.mark.parametrize(
    "a,h,eps",
    [(a, h, eps) for a in (0.0, 1.0, -1.0, 0.3) for h in (0.5, 2.0) for eps in (1e-10, -1e-10, 1e-7, -1e-5)]
    + [(-1.0, 1.0, 1e-8)],
)
def test_near_double_roots_are_told_apart(a, h, eps):
    sys, truth = near_double(a, h, eps)
    r = a - 3 / h
    truth = [t for t in truth if t.real >= r]
    s = spectrum(sys, r)
    assert_certified(s, truth, radius_counts=False)
    assert s.count == len(truth) and len(s.roots) == len(truth)
    found = no_warning_roots(sys, r)
    assert sorted(found, key=lambda z: (z.real, z.imag)) == sorted(s.roots.tolist(), key=lambda z: (z.real, z.imag))


def test_multiple_roots_beside_simple_ones_are_each_listed_once():
    # det = (lambda + 1 - 0.5 e^{-lambda})^4 (lambda + e^{-lambda}): quadruple roots and simple ones.
    A0 = np.zeros((5, 5))
    A0[:4, :4] = -np.eye(4) + np.diag(np.ones(3), 1)
    A1 = np.diag([0.5, 0.5, 0.5, 0.5, -1.0])
    s = spectrum(quorv([A0, A1], [0.0, 1.0]), -6.0)
    quadruple = [complex(-1 + lambertw(0.5 * math.e, k)) for k in range(-60, 61)]
    simple = [complex(lambertw(-1.0, k)) for k in range(-90, 91)]
    truth = [t for t in quadruple + simple if t.real >= -6.0]
    assert_certified(s, truth)
    assert s.count == 388 and sorted(s.multiplicities.tolist()) == [1] * 128 + [4] * 65


@pytest.mark.parametrize(
    "A, h, r, root, m",
    [
        # x'' - 2x' + 3x - (2/e) x'(t-1) - (8/e) x(t-1): a 4-fold root at -1.
        ([[[0, 1], [-3, 2]], [[0, 0], [8 / math.e, 2 / math.e]]], [0.0, 1.0], -3.0, -1.0, 4),
        # A 6-fold root at 0, exact in floating point.
        ([[[0, 1, 0], [0, 0, 1], [7.5, -9, 4.5]], [[0, 0, 0], [0, 0, 0], [-7.5, -6, -1.5]]], [0.0, 2.0], -1.0, 0.0, 6),
    ],
)
def test_a_root_of_high_multiplicity_is_one_root(A, h, r, root, m):
    s = spectrum(quorv([np.array(a, float) for a in A], h), r)
    assert s.complete
    i = int(np.argmin(abs(s.roots - root)))
    # The disk must keep det Delta clear of its rounding, about d^m at distance d.
    assert s.multiplicities[i] == m and abs(s.roots[i] - root) <= s.radii[i] <= 5e-2
    assert sum(abs(z - root) < 0.05 for z in roots(quorv([np.array(a, float) for a in A], h), r)) == m


def test_a_double_root_on_the_line_counts_twice():
    sys = quorv([np.array([[0.0, 1.0], [1.0, 0.0]]), np.array([[0.0, 0.0], [-1.0, -1.0]])], [0.0, 1.0])
    assert count_roots(sys, 0.0) == 2
    assert len(no_warning_roots(sys, 0.0)) == 2
    assert not is_stable(sys)


@pytest.mark.parametrize("w", [0.05, 0.7, 1.0, 2.3])
def test_roots_on_the_line_are_listed_as_counted(w):
    # x' = -w x(t - pi/(2w)): a pair at +-iw.
    sys = quorv([np.array([[-w]])], [math.pi / (2 * w)])
    found = no_warning_roots(sys, 0.0)
    assert count_roots(sys, 0.0) == len(found) == 2 and not is_stable(sys)
    assert np.allclose(sorted(z.imag for z in found), [-w, w], rtol=1e-9)


@pytest.mark.parametrize("k", [2, 5, 8])
def test_a_stiff_mode_leaves_the_verdict_on_a_slow_one(k):
    # Rightmost root -5.0e-4, the slow mode's; the stiff one lies near -10^k.
    assert is_stable(quorv([np.diag([-(10.0**k), -1.0]), np.diag([0.0, 0.999])], [0.0, 1.0]))
