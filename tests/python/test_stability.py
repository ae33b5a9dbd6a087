"""spectrum, spectral_abscissa and is_stable against Lambert-W and modal truth."""
import math

import numpy as np
import pytest
from scipy.special import lambertw

from pyhalvex import is_stable, quorv, roots, spectral_abscissa, spectrum
from test_roots import jordan_system, lambert_roots, modal_system
from test_stability_chart import hayes_samples


def scalar(a, b, tau=1.0):
    return quorv([np.array([[a]]), np.array([[b]])], [0.0, tau])


def ring_road(n, damping):
    """x_i' = -damping x_i(t) + x_{i-1}(t - 1) around a ring: for damping 1 the
    uniform state gives the structural root lambda = 0, every other root lies
    left of the axis, and more damping moves lambda = 0 left."""
    return quorv([-damping * np.eye(n), np.roll(np.eye(n), 1, axis=0)], [0.0, 1.0])


def assert_spectrum(s, truth, multiplicity, rtol=1e-8):
    """s lists each distinct true root once, sorted, with its multiplicity, and accounts for the count."""
    assert len(s.roots) == len(truth) and s.complete and s.count == multiplicity * len(truth)
    for lam in truth:
        assert np.min(np.abs(s.roots - lam)) <= rtol * max(1.0, abs(lam)), lam
    assert list(s.multiplicities) == [multiplicity] * len(truth)
    keys = [(-z.real, z.imag) for z in s.roots]
    assert keys == sorted(keys)


@pytest.mark.parametrize("a, b, tau, r", [(0.0, -1.0, 1.0, -2.0), (-1.0, 0.5, 1.0, -3.0), (0.0, -1.0, 10.0, -0.25)])
def test_spectrum_lists_the_lambert_w_roots_once_each(a, b, tau, r):
    s = spectrum(scalar(a, b, tau), r)
    assert_spectrum(s, lambert_roots(a, b, tau, r), multiplicity=1)
    assert s.degree >= 1 and s.roots.dtype == np.complex128


def test_spectrum_reports_double_roots_with_multiplicity_two():
    # lambda = 1 - e^{-lambda} has the double root 0 (W_0 = W_-1 = -1 at -1/e).
    s = spectrum(scalar(1.0, -1.0), -3.0)
    assert s.roots[0] == pytest.approx(0.0, abs=1e-7) and s.multiplicities[0] == 2
    assert s.complete and s.count == sum(s.multiplicities)
    # Newton's method lands exactly on it; roots still lists it twice, not four times.
    assert sum(abs(z) < 1e-7 for z in roots(scalar(1.0, -1.0), -3.0)) == 2
    # A Jordan block makes every root of its mode a defective double root.
    system, modes = jordan_system([(-1.0, 2)], 0.5, seed=1)
    assert_spectrum(spectrum(system, -3.0), lambert_roots(modes[0], 0.5, 1.0, -3.0), 2, rtol=1e-6)


def test_spectrum_is_a_frozen_result_with_a_table():
    s = spectrum(scalar(0.0, -1.0), -1.0)
    with pytest.raises(AttributeError):
        s.count = 3
    assert repr(s).startswith("spectrum: 2 distinct roots, count 2, complete")
    with pytest.raises(ValueError, match="NaN"):
        spectrum(scalar(0.0, -1.0), math.nan)
    empty = spectrum(scalar(-1.0, 0.5), 2.0)
    assert len(empty.roots) == 0 and empty.count == 0 and empty.complete


@pytest.mark.parametrize("a", [-2.5, -1.0, 0.0, 1.5])
@pytest.mark.parametrize("b", [-2.0, -0.3, 0.4, 2.5])
def test_spectral_abscissa_is_the_principal_lambert_w_root(a, b):
    expected = a + lambertw(b * math.exp(-a), 0).real
    assert spectral_abscissa(scalar(a, b)) == pytest.approx(expected, abs=1e-8)


def test_spectral_abscissa_of_systems_with_distant_and_structural_roots():
    system, modes = modal_system(4, [0.0, 1.0, 2.5], seed=3)
    expected = max(a + lambertw(b * h * math.exp(-a * h), 0).real / h for a, b, h in modes)
    assert spectral_abscissa(system) == pytest.approx(expected, abs=1e-8)
    assert spectral_abscissa(quorv([np.array([[-400.0]])], [0.0])) == -400.0
    assert spectral_abscissa(ring_road(40, 1.0)) == pytest.approx(0.0, abs=1e-9)
    with pytest.raises(ValueError, match="order 0"):
        spectral_abscissa(quorv([np.zeros((0, 0))], [1.0]))


@pytest.mark.parametrize("a, b, stable", list(hayes_samples()))
def test_is_stable_on_both_sides_of_the_hayes_boundary(a, b, stable):
    assert is_stable(scalar(a, b)) == stable


def test_a_root_on_the_axis_is_not_stable():
    assert not is_stable(ring_road(40, 1.0))
    assert is_stable(ring_road(40, 1.001))
    assert not is_stable(scalar(0.5, -0.5))  # a + b = 0: lambda = 0
    assert is_stable(quorv([np.zeros((0, 0))], [0.0]))
