"""roots(sys, r) against independent truth, and its behaviour on the inputs
that must not reach the numerics."""
import math
import warnings

import numpy as np
import pytest
from scipy.special import lambertw

import pyhalvex
from pyhalvex import count_roots, quorv, roots


def lambert_roots(a, b, tau, r, branches=400):
    """Roots of lambda = a + b e^{-lambda tau} with Re >= r: a + W_k(b tau e^{-a tau}) / tau."""
    z = b * tau * math.exp(-a * tau)
    found = [a + complex(lambertw(z, k)) / tau for k in range(-branches, branches + 1)]
    return [lam for lam in found if lam.real >= r]


def assert_same_roots(found, truth, r, rtol=1e-8, margin=1e-6):
    """Every true root clearly right of r is found, and every root found is a true one."""
    def near(lam, others):
        return any(abs(lam - o) <= rtol * max(1.0, abs(lam)) for o in others)

    missing = [lam for lam in truth if lam.real >= r + margin and not near(lam, found)]
    spurious = [lam for lam in found if not near(lam, truth)]
    assert not missing, f"roots right of {r} not found: {missing}"
    assert not spurious, f"roots found that are not roots: {spurious}"
    assert all(lam.real >= r for lam in found)


def no_warning_roots(sys, r):
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        return roots(sys, r)


@pytest.mark.parametrize(
    "a, b, tau, r",
    [
        (0.0, -1.0, 1.0, -2.0),
        (-1.0, 0.5, 1.0, -3.0),
        (0.5, -2.0, 1.0, -1.5),
        (1.0, -3.0, 0.3, -4.0),
        (0.0, -1.0, 10.0, -0.25),  # a long delay: the degree is estimated in units of the delay
        (-0.2, 0.9, 4.0, -0.5),
    ],
)
def test_scalar_equation_matches_lambert_w(a, b, tau, r):
    sys = quorv([np.array([[a]]), np.array([[b]])], [0.0, tau])
    found = no_warning_roots(sys, r)
    truth = lambert_roots(a, b, tau, r)
    assert truth, "the case must have roots right of r"
    assert_same_roots(found, truth, r)


def modal_system(n, delays, seed):
    """A_k = S D_k S^-1 with diagonal D_k: mode j is the scalar equation
    lambda = a_j + b_j e^{-lambda h_k(j)}, its delayed term on one delay k(j),
    so the system's roots are the union of the modes' Lambert-W roots."""
    rng = np.random.default_rng(seed)
    m = len(delays)
    a = rng.uniform(-2.0, 0.5, n)
    b = rng.uniform(-2.0, 2.0, n) * rng.choice([-1, 1], n)
    k_of = [1 + j % (m - 1) for j in range(n)]
    q, _ = np.linalg.qr(rng.standard_normal((n, n)))
    s = q @ np.diag(rng.uniform(1.0, 3.0, n))
    s_inv = np.linalg.inv(s)
    diagonals = [np.zeros(n) for _ in range(m)]
    diagonals[0] = a.copy()
    for j, k in enumerate(k_of):
        diagonals[k][j] = b[j]
    matrices = [s @ np.diag(d) @ s_inv for d in diagonals]
    modes = [(a[j], b[j], delays[k_of[j]]) for j in range(n)]
    return quorv(matrices, list(delays)), modes


@pytest.mark.parametrize(
    "n, delays, r",
    [
        (1, [0.0, 1.0], -1.5),
        (4, [0.0, 0.7, 1.0], -1.5),
        (6, [0.0, 0.25, 0.6, 1.0], -1.5),  # the most phase configurations the grid visits
        (10, [0.0, 1.0], -1.5),
        (10, [0.0, 0.2, 0.45, 0.7, 0.85, 1.0], -1.5),  # more than four matrices: commensurate phases
        (5, [0.0, 0.5, 1.5, 2.0, 3.0], -0.5),
    ],
)
def test_modal_systems_have_the_union_of_their_modes_roots(n, delays, r):
    sys, modes = modal_system(n, delays, seed=n * 100 + len(delays))
    found = no_warning_roots(sys, r)
    truth = [lam for a, b, tau in modes for lam in lambert_roots(a, b, tau, r)]
    assert_same_roots(found, truth, r, rtol=1e-7)


def jordan_system(blocks, b, seed):
    """x' = A0 x + b x(t - 1) with A0 = S J S^-1, J Jordan blocks (a, size): a
    block of size 2 makes every root of lambda = a + b e^{-lambda} a
    defective double root of the system."""
    rng = np.random.default_rng(seed)
    n = sum(size for _, size in blocks)
    jordan = np.zeros((n, n))
    start = 0
    for a, size in blocks:
        jordan[start:start + size, start:start + size] = a * np.eye(size) + np.eye(size, k=1)
        start += size
    s = rng.standard_normal((n, n)) + 3 * np.eye(n)
    a0 = s @ jordan @ np.linalg.inv(s)
    return quorv([a0, b * np.eye(n)], [0.0, 1.0]), [a for a, _ in blocks]


@pytest.mark.parametrize(
    "blocks, b, r",
    [
        ([(-1.0, 2)], 0.5, -3.0),
        ([(0.3, 2), (-0.5, 2), (-1.0, 1)], -1.0, -2.5),
        ([(0.0, 2), (-2.0, 1)], -math.pi / 2, -3.0),  # a double pair at +-i pi/2
    ],
)
def test_defective_double_roots_are_all_found(blocks, b, r):
    sys, modes = jordan_system(blocks, b, seed=len(blocks))
    truth = [lam for a in modes for lam in lambert_roots(a, b, 1.0, r)]
    assert_same_roots(no_warning_roots(sys, r), truth, r, rtol=1e-6)


def test_conjugate_roots_come_in_pairs_and_a_root_on_the_line_is_kept():
    sys = quorv([np.array([[0.0]]), np.array([[-1.0]])], [0.0, 1.0])
    found = roots(sys, -1.0)
    for lam in found:
        if lam.imag != 0:
            assert any(abs(mu - lam.conjugate()) < 1e-12 for mu in found), lam
    rightmost = max(found, key=lambda lam: (lam.real, lam.imag))
    assert abs(rightmost - complex(-0.3181315052, 1.3372357014)) < 1e-9
    # A root on the line is kept; the count's own disk around it may centre it
    # an ulp or two away from the first call's.
    again = roots(sys, rightmost.real)
    for lam in (rightmost, rightmost.conjugate()):
        assert min(abs(z - lam) for z in again) <= 4e-16 * abs(lam)

    ode = quorv([np.array([[-2.0]])], [0.0])
    assert roots(ode, -2.0) == [-2.0]
    # A root within the count's margin (1e-9 relative) left of the line counts as on it.
    assert roots(ode, math.nextafter(-2.0, 0.0)) == [-2.0]
    assert roots(ode, -2.0 + 1e-6) == []


def test_undelayed_system_has_the_eigenvalues_of_the_summed_matrices():
    a0 = np.array([[-1.0, 2.0], [-3.0, 0.5]])
    a1 = np.array([[0.5, 0.0], [1.0, -2.0]])
    found = roots(quorv([a0, a1], [0.0, 0.0]), -10.0)
    expected = np.linalg.eigvals(a0 + a1)
    assert sorted(found, key=lambda z: z.imag) == pytest.approx(
        sorted(expected, key=lambda z: z.imag), rel=1e-12)
    assert roots(quorv([a0, a1], [0.0, 0.0]), 100.0) == []


@pytest.mark.parametrize("delay", [0.0, 1.0])
def test_a_system_of_order_zero_has_no_roots(delay):
    assert roots(quorv([np.zeros((0, 0))], [delay]), 0.0) == []


def test_every_counted_root_is_returned_however_many():
    # Some 2600 roots lie right of -9, far more than the pencil's capped degree reaches:
    # the work grows with their number, and every one is listed.
    sys = quorv([np.array([[0.0]]), np.array([[-1.0]])], [0.0, 1.0])
    r = -9.0
    truth = np.array([complex(lambertw(-1.0, k)) for k in range(-2000, 2000)])
    truth = np.array(sorted(truth[truth.real >= r], key=lambda z: z.imag))
    found = np.array(sorted(no_warning_roots(sys, r), key=lambda z: z.imag))
    assert len(found) == len(truth) == count_roots(sys, r)
    assert np.max(np.abs(found - truth) / np.maximum(1, np.abs(truth))) < 1e-10


@pytest.mark.parametrize(
    "matrices, delays, message",
    [
        ([np.eye(2), np.ones((3, 2))], [0.0, 1.0], r"^matrix 1 has shape \(3, 2\), expected \(2, 2\)$"),
        ([np.ones((2, 3))], [1.0], r"^matrix 0 has shape \(2, 3\), expected \(2, 2\)$"),
        ([np.eye(2), np.eye(2)], [0.0, -0.5], r"^delay 1 is negative: -0.5$"),
        ([np.eye(1)], [math.nan], r"^delay 0 is not finite: nan$"),
        ([np.eye(1)], [1.0, math.inf], r"^delay 1 is not finite: inf$"),
        ([np.eye(1), np.eye(1)], [0.0, 1.0, -2.0], r"^delay 2 is negative: -2$"),
        ([np.eye(2), np.array([[0.0, math.inf], [0.0, 0.0]])], [0.0, 1.0],
         r"^matrix 1 has a non-finite entry at \(0, 1\): inf$"),
    ],
)
def test_systems_the_numerics_cannot_read_are_refused(matrices, delays, message):
    sys = quorv(matrices, delays)  # construction accepts them
    with pytest.raises(ValueError, match=message):
        roots(sys, 0.0)


def test_error_paths_that_come_before_any_numerics():
    with pytest.raises(ValueError, match="^vector too long$"):
        roots(quorv([], []), 0.0)
    with pytest.raises(IndexError, match="^invalid vector subscript$"):
        roots(quorv([np.eye(2), np.ones((3, 3))], [0.0]), 0.0)
    with pytest.raises(RuntimeError, match="damping factors overflow; a larger r is needed"):
        # A delay of 1e300 puts the roots right of r beyond what any degree resolves:
        # an error, not an empty list that would read as "no roots right of r".
        roots(quorv([np.array([[-1.0]]), np.array([[0.5]])], [0.0, 1e300]), -1.0)
    with pytest.raises(MemoryError, match="pencil of order 46460 is too large"):
        roots(quorv([np.zeros((460, 460)), 1e3 * np.eye(460)], [0.0, 1.0]), -1.0)


def test_arguments_and_results():
    sys = quorv([np.array([[-1.0]]), np.array([[0.5]])], [0.0, 1.0])
    found = roots(sys, 0)
    assert found == [] and isinstance(found, list)
    with pytest.raises(ValueError, match="r is NaN"):
        roots(sys, math.nan)
    everything = no_warning_roots(sys, -3.0)
    assert everything and all(isinstance(z, complex) for z in everything)
    for bad_call in (lambda: roots(sys, r=0.0), lambda: roots(None, 0.0),
                     lambda: roots(sys, "0.5"), lambda: roots(sys)):
        with pytest.raises(TypeError, match=r"roots\(\)"):
            bad_call()


def test_writes_through_a_view_change_the_next_computation():
    sys = quorv([np.array([[-1.0]]), np.array([[0.5]])], [0.0, 1.0])
    sys.A(1)[0, 0] = -1.0
    sys.hA()[1] = 2.0
    assert_same_roots(roots(sys, -2.0), lambert_roots(-1.0, -1.0, 2.0, -2.0), -2.0)


@pytest.mark.parametrize("s", [1e-12, 1e-6, 1e-3, 1.0, 1e3, 1e6])
def test_the_same_dynamics_in_any_time_unit_are_equally_accurate(s):
    # x' = -s x(t - 1/s) has the roots s W_k(-1); in units of s they do not depend on s.
    found = no_warning_roots(quorv([np.array([[-s]])], [1.0 / s]), -3.0 * s)
    truth = lambert_roots(0.0, -s, 1.0 / s, -3.0 * s)
    assert len(found) == len(truth) == 6
    assert_same_roots([lam / s for lam in found], [lam / s for lam in truth], -3.0, rtol=1e-12)


@pytest.mark.parametrize("tau", [1e-3, 1e-100, 1e-300])
def test_a_delay_far_shorter_than_the_dynamics_is_accurate(tau):
    # x' = -x + 0.5 x(t - tau): one root right of -10, -0.5 + W_0(0.5 tau e^tau) / tau.
    sys = quorv([np.array([[-1.0]]), np.array([[0.5]])], [0.0, tau])
    truth = lambert_roots(-1.0, 0.5, tau, -10.0, branches=5)
    assert count_roots(sys, -10.0) == len(truth) == 1
    assert_same_roots(no_warning_roots(sys, -10.0), truth, -10.0, rtol=1e-9)


@pytest.mark.parametrize("s", [1e-12, 1.0, 1e12])
def test_an_undelayed_system_is_accurate_at_any_size(s):
    sys = quorv([s * np.array([[0.0, 1.0], [-2.0, -3.0]])], [0.0])
    assert count_roots(sys, -math.inf) == 2
    found = no_warning_roots(sys, -math.inf)
    assert sorted(lam.real / s for lam in found) == pytest.approx([-2.0, -1.0], rel=1e-12, abs=0)


@pytest.mark.parametrize(
    "a, b, tau",
    [
        (-10.0, 1.0, 300.0),  # rightmost root -0.0076727: stable
        (-1.0, 0.1, 2500.0),
        (-2.0, 1.0, 1000.0),
        (-1.0, 1.05, 300.0),  # some 30 roots just right of the axis
    ],
)
def test_long_delays_at_r_zero_need_no_larger_r(a, b, tau):
    # The factors e^{-0 h} |A_k| are finite: the answer must be too, whatever
    # the degree estimate's own damping would reach. A root with Re >= 0 has
    # |lambda - a| = |b| e^{-tau Re lambda} <= |b|, so none exists when
    # a + |b| < 0 (where e^{-a tau} is beyond the Lambert-W form's range).
    sys = quorv([np.array([[a]]), np.array([[b]])], [0.0, tau])
    truth = lambert_roots(a, b, tau, 0.0, branches=2000) if a + abs(b) >= 0 else []
    assert_same_roots(no_warning_roots(sys, 0.0), truth, 0.0, rtol=1e-7)
    assert count_roots(sys, 0.0) == len(truth)


def test_stiff_modes_far_left_of_r_lose_no_root():
    # u_t = u_xx + 1.5 u - u(t - 1) on (0, pi), 20 points: the pencil's
    # candidates of the stiff modes (down to -176) lie far left of r and are
    # not refined; the count over the tight box and the completion still
    # give every root of the modes 1.5 - 4 sin^2(j dx / 2) / dx^2 right of r.
    n, r = 20, -1.5
    dx = math.pi / (n + 1)
    laplace = (np.diag(-2.0 * np.ones(n)) + np.diag(np.ones(n - 1), 1) + np.diag(np.ones(n - 1), -1)) / dx**2
    sys = quorv([laplace + 1.5 * np.eye(n), -np.eye(n)], [0.0, 1.0])
    modes = 1.5 - 4 * np.sin(np.arange(1, n + 1) * dx / 2) ** 2 / dx**2
    # A root of a mode has |lambda - a| = e^{-Re lambda} <= e^{-r}: modes with
    # a < r - e^{-r} have none right of r (and their e^{-a} would overflow).
    truth = [lam for a in modes if a >= r - math.exp(-r) for lam in lambert_roots(a, -1.0, 1.0, r)]
    assert truth and min(modes) < -100
    assert_same_roots(no_warning_roots(sys, r), truth, r)
    assert count_roots(sys, r) == len(truth)
