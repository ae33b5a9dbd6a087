"""sensitivity(sys, lam) against central finite differences of the roots, and
the points at which a root has no derivative."""
import cmath
import math
import re

import numpy as np
import pytest
from scipy.special import lambertw

from pyhalvex import quorv, roots, sensitivity

STEP = 1e-5


def root_near(matrices, delays, lam):
    found = roots(quorv(matrices, delays), lam.real - 0.5)
    return min(found, key=lambda z: abs(z - lam))


def central_difference(matrices, delays, lam, k, entry=None):
    """d lam / d A_k[entry], or d lam / d h_k when entry is None."""
    def moved_root(dp):
        moved_matrices, moved_delays = [a.copy() for a in matrices], list(delays)
        if entry is None:
            moved_delays[k] += dp
        else:
            moved_matrices[k][entry] += dp
        return root_near(moved_matrices, moved_delays, lam)
    return (moved_root(STEP) - moved_root(-STEP)) / (2 * STEP)


def three_by_three():
    rng = np.random.default_rng(11)
    return [rng.uniform(-1.0, 1.0, (3, 3)) - np.eye(3) for _ in range(3)], [0.2, 0.5, 1.0]


@pytest.mark.parametrize(
    "matrices, delays, pick",
    [
        ([np.array([[-1.0]])], [1.0], max),  # a complex pair, -0.318 +- 1.337i
        ([np.array([[-1.0]]), np.array([[0.5]])], [0.1, 1.0], max),  # a real root
        (*three_by_three(), max),
        (*three_by_three(), min),  # a root far from the rightmost
    ],
)
def test_derivatives_match_central_differences(matrices, delays, pick):
    lam = pick(roots(quorv(matrices, delays), -2.0), key=lambda z: (z.real, z.imag))
    d_matrices, d_delays = sensitivity(quorv(matrices, delays), lam)

    n = matrices[0].shape[0]
    assert isinstance(d_matrices, list) and all(d.shape == (n, n) for d in d_matrices)
    numeric = [[central_difference(matrices, delays, lam, k, entry) for entry in np.ndindex(n, n)]
               for k in range(len(matrices))]
    numeric_delays = [central_difference(matrices, delays, lam, k) for k in range(len(delays))]
    exact_matrices = [d.ravel() for d in d_matrices]
    for exact, approx in ((np.array(exact_matrices), np.array(numeric)), (d_delays, np.array(numeric_delays))):
        np.testing.assert_allclose(exact, approx, rtol=1e-6, atol=1e-6 * np.abs(exact).max())


def test_signature_and_arguments():
    sys = quorv([np.array([[-1.0]])], [0.0])
    # An int is taken as a complex; lam = -e^{-lam h} gives d lam / dh = lam = -1 at h = 0.
    assert sensitivity(sys, -1)[1].tolist() == [-1.0]
    with pytest.raises(TypeError, match=r"sensitivity\(\)"):
        sensitivity(sys, lam=-1.0)


# A double root of lambda = b e^{-lambda}: b = -1/e puts both real branches at -1.
DOUBLE = [np.array([[-1.0 / math.e]])]


@pytest.mark.parametrize(
    "matrices, delays, lam, message",
    [
        ([np.array([[-1.0]])], [1.0], 0.3 + 1.3j, r"^\(0.3\+1.3j\) is not a characteristic root: .* 1e-08\)$"),
        (DOUBLE, [1.0], -1.0, r"^\(-1\+0j\) is a multiple root, or too close to one"),
        ([-np.eye(2)], [0.0], -1.0, r"^\(-1\+0j\) is a multiple root: .* two singular values near zero"),
        ([np.zeros((0, 0))], [1.0], 0.0, r"^a system of order 0 has no characteristic roots$"),
        ([np.array([[-1.0]])], [1.0], complex(math.nan, 1.0), r"^the root is not finite: \(nan\+1j\)$"),
        ([np.array([[-1.0]])], [1.0], -1000.0, r"characteristic matrix is not finite at \(-1000\+0j\)"),
    ],
)
def test_points_without_a_derivative_are_refused(matrices, delays, lam, message):
    with pytest.raises(ValueError, match=message):
        sensitivity(quorv(matrices, delays), lam)


def test_the_double_root_as_roots_finds_it_is_refused():
    sys = quorv(DOUBLE, [1.0])
    near = [lam for lam in roots(sys, -1.5) if abs(lam + 1.0) < 1e-3]
    assert near
    for lam in near:
        with pytest.raises(ValueError, match="multiple root"):
            sensitivity(sys, lam)


@pytest.mark.parametrize(
    "matrices, delays",
    [([], []), ([np.eye(2), np.ones((3, 3))], [0.0]), ([np.eye(2), np.ones((3, 2))], [0.0, 1.0]),
     ([np.eye(2), np.eye(2)], [0.0, -0.5])],
)
def test_systems_roots_refuses_are_refused_with_the_same_error(matrices, delays):
    sys = quorv(matrices, delays)
    with pytest.raises(Exception) as refused:
        roots(sys, 0.0)
    with pytest.raises(refused.type, match=f"^{re.escape(str(refused.value))}$"):
        sensitivity(sys, 0j)


@pytest.mark.parametrize("stiff", [1e6, 1e8, 1e10, 1e14])
def test_a_slow_root_of_a_stiff_system_has_a_derivative(stiff):
    # A0 = T diag(-stiff, -1, -2) T^-1 and A1 = 0.5 I: the slow mode lambda = -1 + 0.5 e^{-lambda h}, simple,
    # beside a stiff one; d lambda / dh = -lambda b e^{-lambda h} / (1 + h b e^{-lambda h}) with b = 0.5, h = 1.
    t = np.array([[1.0, 2, 0], [0, 1, 3], [0, 0, 1]])
    a0 = t @ np.diag([-stiff, -1.0, -2.0]) @ np.round(np.linalg.inv(t))
    lam = complex(-1 + lambertw(0.5 * math.e, 0).real)
    damped = 0.5 * cmath.exp(-lam)
    _, d_delays = sensitivity(quorv([a0, 0.5 * np.eye(3)], [0.0, 1.0]), lam)
    assert d_delays[1] == pytest.approx(-lam * damped / (1 + damped), rel=1e-9)
