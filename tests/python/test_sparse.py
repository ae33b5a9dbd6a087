"""sparse_quorv: the model, its validation, and the certified count against
decoupled modes (Lambert-W roots of each mode) and against the dense route."""
import copy
import pickle
import re

import numpy as np
import pytest
import scipy.sparse as sp
from scipy.special import lambertw

from pyhalvex import count_roots, is_stable, quorv, roots, sensitivity, sparse_quorv, spectral_abscissa, spectrum


def mode_roots(mu, b, tau, r, branches=60):
    """Roots of lambda = mu + b e^{-lambda tau} with Re >= r, for arrays of modes mu, b."""
    mu, b = np.broadcast_arrays(np.asarray(mu, complex), np.asarray(b, complex))
    # A stiff mode (mu far left, e^{-mu tau} beyond the double range) has its
    # roots near Re = -log(|mu| / |b|) / tau, left of every line tested.
    with np.errstate(over="ignore", invalid="ignore"):
        z = b * tau * np.exp(-mu * tau)
    mu, z = mu[np.isfinite(z)], z[np.isfinite(z)]
    k = np.arange(-branches, branches + 1)[:, None]
    lam = mu + lambertw(z, k) / tau
    return lam[lam.real >= r]


def heat(n, reaction, tau):
    """u_t = u_xx - 2 u + reaction u(t - tau) on (0, 1), Dirichlet ends, n
    interior points: mode j has mu_j = -4 (n+1)^2 sin^2(j pi / (2 (n+1))) - 2."""
    h2 = (n + 1.0) ** 2
    laplacian = sp.diags_array([h2, -2 * h2 - 2, h2], offsets=[-1, 0, 1], shape=(n, n))
    j = np.arange(1, n + 1)
    mu = -4 * h2 * np.sin(j * np.pi / (2 * (n + 1))) ** 2 - 2
    return sparse_quorv([laplacian, reaction * sp.eye_array(n)], [0.0, tau]), mu, np.full(n, reaction)


def ring(n, damping, gain, tau):
    """x_i' = -damping x_i + gain x_{i-1}(t - tau): mode j couples through gain e^{2 pi i j / n}."""
    shift = sp.diags_array([1.0, 1.0], offsets=[-1, n - 1], shape=(n, n))
    mu = np.full(n, -damping)
    return sparse_quorv([-damping * sp.eye_array(n), gain * shift], [0.0, tau]), mu, gain * np.exp(2j * np.pi * np.arange(n) / n)


# A ring's modes all share one chain of roots, so a few hundred of them
# crowd every line near it: the ring is kept small to keep the test short.
@pytest.mark.parametrize("system, tau, lines", [
    (lambda: heat(2000, 3.0, 1.0), 1.0, [-2.5, -1.5, 0.0]),
    (lambda: heat(2000, -2.5, 1.0), 1.0, [-3.0, -2.0]),
    (lambda: ring(128, 0.95, 1.0, 1.0), 1.0, [0.0, 0.02]),
    # Just right of the rightmost root, and just left of it, in a chain of 2048.
    (lambda: ring(2048, 1.0, 0.9, 1.0), 1.0, [-0.05198, -0.0519806]),
])
def test_count_matches_the_modes_lambert_w_roots(system, tau, lines):
    sys, mu, b = system()
    for r in lines:
        assert count_roots(sys, r) == len(mode_roots(mu, b, tau, r)), r
    assert is_stable(sys) == (len(mode_roots(mu, b, tau, 0.0)) == 0)


def random_system(n, seed, per_row=4):
    rng = np.random.default_rng(seed)
    a0 = sp.random_array((n, n), density=per_row / n, rng=rng) - 2.5 * sp.eye_array(n)
    a1 = sp.random_array((n, n), density=per_row / n, rng=rng, data_sampler=rng.standard_normal)
    return [a0.tocsr(), a1.tocoo()], [0.0, 1.0]


def test_count_matches_the_dense_route():
    A, hA = random_system(200, seed=3)
    sparse, dense = sparse_quorv(A, hA), quorv([a.toarray() for a in A], hA)
    for r in [-1.0, 0.0]:
        assert count_roots(sparse, r) == count_roots(dense, r), r
    assert is_stable(sparse) == is_stable(dense)


def test_model_reads_back_and_pickles():
    A, hA = random_system(50, seed=1)
    sys = sparse_quorv(A + [np.eye(50)], hA + [2.0])
    assert (sys.mA, sys.n, sys.nnz) == (3, 50, sum(sp.csc_array(a).nnz for a in A) + 50)
    assert repr(sys) == f"<sparse_quorv n=50, mA=3, nnz={sys.nnz}, delays [0.0, 1.0, 2.0]>"
    assert isinstance(sys.A(2), sp.csc_array) and (sys.A(0) != sp.csc_array(A[0])).nnz == 0
    sys.A(0).data[:] = 7.0  # a copy: the model keeps its matrix
    assert (sys.A(0) != sp.csc_array(A[0])).nnz == 0
    sys.hA()[2] = 3.0  # a view: the model takes the delay
    for back in [pickle.loads(pickle.dumps(sys)), copy.deepcopy(sys)]:
        assert type(back) is sparse_quorv and repr(back) == repr(sys).replace("2.0]", "3.0]")
        assert all((back.A(k) != sys.A(k)).nnz == 0 for k in range(3))
        assert count_roots(back, -1.0) == count_roots(sys, -1.0)
    with pytest.raises(IndexError, match="^invalid vector subscript$"):
        sys.A(3)


class Tagged(sparse_quorv):
    pass


def test_subclass_attributes_travel_with_pickles():
    sys = Tagged([np.array([[-1.0]])], [1.0])
    sys.name = "plant"
    back = pickle.loads(pickle.dumps(sys))
    assert type(back) is Tagged and back.name == "plant"


@pytest.mark.parametrize("A, hA, error, message", [
    ([np.eye(2), np.ones((3, 2))], [0.0, 1.0], ValueError, "matrix 1 has shape (3, 2), expected (2, 2)"),
    ([np.eye(2), np.eye(3)], [0.0, 1.0], ValueError, "matrix 1 has shape (3, 3), expected (2, 2)"),
    ([np.eye(2), np.array([[0.0, 1.0], [np.nan, 0.0]])], [0.0, 1.0], ValueError,
     "matrix 1 has a non-finite entry at (1, 0): nan"),
    ([np.eye(2)], [-0.5], ValueError, "delay 0 is negative: -0.5"),
    ([np.eye(2), np.eye(2)], [1.0], IndexError, "invalid vector subscript"),
    ([], [], ValueError, "vector too long"),
])
def test_bad_input_is_refused_with_the_dense_models_messages(A, hA, error, message):
    for model in (quorv, sparse_quorv):
        for call in (lambda s: count_roots(s, 0.0), is_stable):
            with pytest.raises(error) as raised:
                call(model(A, hA))
            assert str(raised.value) == message, model


def assert_roots_match(found, truth, rtol=1e-8):
    """found and truth are the same multiset of roots, each within rtol (relative to max(1, |root|))."""
    found, truth = sorted(found, key=lambda z: (z.real, z.imag)), list(truth)
    assert len(found) == len(truth)
    for z in found:
        assert np.min(np.abs(np.asarray(truth) - z)) <= rtol * max(1.0, abs(z)), z


@pytest.mark.parametrize("system, r", [
    (lambda: heat(2048, 3.0, 1.0), -1.5),
    (lambda: ring(128, 0.95, 1.0, 1.0), 0.02),
])
def test_spectrum_roots_and_abscissa_match_the_modes(system, r):
    sys, mu, b = system()
    truth = mode_roots(mu, b, 1.0, r)
    s = spectrum(sys, r)
    assert s.complete and s.count == len(truth) and s.degree == 0
    assert_roots_match(s.roots, truth)
    assert np.all(s.radii > 0) and np.all(s.radii <= 1e-6 * np.maximum(1.0, np.abs(s.roots)))
    assert_roots_match(roots(sys, r), truth)
    rightmost = max(mode_roots(mu, b, 1.0, r - 1.0).real)
    assert spectral_abscissa(sys) == pytest.approx(rightmost, rel=1e-8)


def test_spectrum_matches_the_dense_route():
    A, hA = random_system(60, seed=3)
    sparse, dense = spectrum(sparse_quorv(A, hA), -1.0), spectrum(quorv([a.toarray() for a in A], hA), -1.0)
    assert sparse.complete and sparse.count == dense.count
    assert_roots_match(np.repeat(sparse.roots, sparse.multiplicities), np.repeat(dense.roots, dense.multiplicities))


def tuned_mode(n, r, gap, b=-0.5):
    """x' = A0 x + b x(t - 1), A0 upper bidiagonal: det Delta is the product of
    its diagonal, so the roots are each diagonal entry's Lambert-W roots; the
    first entry puts its rightmost root `gap` from r, the others lie far left."""
    a = -3.0 - np.arange(n)
    a[0] = r + gap - b * np.exp(-(r + gap))
    A0 = sp.diags_array([a, np.ones(n - 1)], offsets=[0, 1])
    rightmost = (a[0] + lambertw(b * np.exp(-a[0]))).real
    return sparse_quorv([A0, b * sp.eye_array(n)], [0.0, 1.0]), rightmost


@pytest.mark.parametrize("r", [0.0, -0.3, 1.7])
@pytest.mark.parametrize("gap", [1e-9, -1e-9, 3e-10, -3e-10])
def test_a_root_beside_the_line_is_decided_alike_by_every_function(r, gap):
    sys, rightmost = tuned_mode(50, r, gap)
    right = int(rightmost >= r)
    s = spectrum(sys, r)
    assert count_roots(sys, r) == s.count == len(roots(sys, r)) == right and s.complete
    if r == 0.0:
        assert is_stable(sys) == (spectral_abscissa(sys) < 0) == (not right)
        assert spectral_abscissa(sys) == pytest.approx(rightmost, abs=1e-15)


def test_two_simple_roots_either_side_of_the_axis_are_two_roots():
    """Modes whose rightmost roots are +-5e-10: located apart, on the axis,
    not as one double root at a point between them."""
    b, rightmost = -0.5, np.array([5e-10, -5e-10])
    a = rightmost - b * np.exp(-rightmost)
    sys = sparse_quorv([sp.diags_array(a), b * sp.eye_array(2)], [0.0, 1.0])
    truth = mode_roots(a, b, 1.0, -0.1)
    assert_roots_match(roots(sys, -0.1), truth, rtol=1e-15)
    assert spectral_abscissa(sys) == pytest.approx(max(truth.real), abs=1e-15)


@pytest.mark.parametrize("gap", [1e-6, -1e-6, 1e-9])
def test_a_slow_root_beside_the_line_is_decided_beside_a_stiff_block(gap):
    """One slow mode whose root lies `gap` from r, beside 200 modes of -1e12
    that share none of its states: their entries' rounding does not reach it."""
    b, r = -0.5, -0.3
    a = np.array([r + gap - b * np.exp(-(r + gap))])
    diag = np.r_[np.full(200, -1e12), a]
    sys = sparse_quorv([sp.diags_array(diag), b * sp.eye_array(diag.size)], [0.0, 1.0])
    truth = mode_roots(a, b, 1.0, r)
    assert count_roots(sys, r) == len(truth) == int(gap > 0)
    assert_roots_match(roots(sys, r), truth, rtol=1e-12)


def column_of_giants():
    """-I plus 6e307 down the first column: rank one, so the roots are 6e307 - 1
    and -1 (triple), while the column's sum of magnitudes overflows."""
    a0 = -np.eye(4)
    a0[:, 0] += 6e307
    return [a0], [0.0]


def overflowing_damping():
    """x' = -x - x(t - 1) at r = -800: e^{800} overflows."""
    return [np.array([[-1.0]]), np.array([[-1.0]])], [0.0, 1.0]


def test_huge_entries_bound_the_roots_as_the_dense_route_does():
    A, hA = column_of_giants()
    for model in (quorv, sparse_quorv):
        sys = model(A, hA)
        assert (count_roots(sys, 1e307), roots(sys, 1e307), is_stable(sys)) == (1, [6e307], False), model
        assert spectral_abscissa(sys) == 6e307


@pytest.mark.parametrize("call, error, message", [
    (count_roots, OverflowError, "count_roots: the root bound sum_k e^{-r h_k} |A_k| is not finite for r = -800"),
    (spectrum, OverflowError, "spectrum: the root bound sum_k e^{-r h_k} |A_k| is not finite for r = -800"),
    (roots, RuntimeError, "the roots right of r can neither be bounded nor counted: the damping factors overflow"),
])
def test_an_overflowing_bound_raises_the_dense_routes_error(call, error, message):
    A, hA = overflowing_damping()
    for model in (quorv, sparse_quorv):
        with pytest.raises(error, match="^" + re.escape(message)):
            call(model(A, hA), -800.0)


def test_sensitivity_matches_the_dense_model_on_the_pattern():
    A, hA = random_system(50, seed=4)
    sparse, dense = sparse_quorv(A, hA), quorv([a.toarray() for a in A], hA)
    for lam in roots(dense, -1.5)[:4]:
        (dA, dh), (sA, sh) = sensitivity(dense, lam), sensitivity(sparse, lam)
        assert np.allclose(sh, dh, rtol=1e-10, atol=0)
        for k, a in enumerate(A):
            assert isinstance(sA[k], sp.csc_array) and sA[k].nnz == sp.csc_array(a).nnz
            assert np.allclose(sA[k].toarray(), np.where(a.toarray() != 0, dA[k], 0), rtol=1e-10, atol=1e-14)


@pytest.mark.parametrize("A0, lam, message", [
    (np.diag([-1.0, -3.0]), 0.123, r"is not a characteristic root"),
    (np.diag([-1.0, -1.0, -3.0]), -0.3149230578454061, r"is a multiple root: .* two singular values near zero"),
    (np.array([[-1.0, 1.0], [0.0, -1.0]]), -0.3149230578454061, r"is a multiple root, or too close to one"),
])
def test_sensitivity_refuses_what_the_dense_model_refuses(A0, lam, message):
    for model in (quorv, sparse_quorv):
        with pytest.raises(ValueError, match=message):
            sensitivity(model([A0, 0.5 * np.eye(len(A0))], [0.0, 1.0]), lam)


def test_sensitivity_of_a_stiff_system_against_its_mode():
    """The slowest mode of the heat equation, lam = mu + 3 e^{-lam tau} (its
    mode shape u = v is real, |u| = 1), though |A_0|_F is some 1e10: with
    d = 1 + tau (lam - mu), d lam / d tau = -lam (lam - mu) / d, the undelayed
    term's delay gives -lam mu / d and the diagonal of dA[1] sums to e^{-lam tau} / d."""
    sys, mu, b = heat(4000, 3.0, 1.0)
    lam = complex(max(mode_roots(mu[:1], b[:1], 1.0, -2.0), key=lambda z: z.real))
    dA, dh = sensitivity(sys, lam)
    d = 1 + (lam - mu[0])
    assert dh[1] == pytest.approx(-lam * (lam - mu[0]) / d, rel=1e-8)
    assert dh[0] == pytest.approx(-lam * mu[0] / d, rel=1e-8)
    assert dA[1].nnz == 4000 and dA[1].sum() == pytest.approx(np.exp(-lam) / d, rel=1e-8)


@pytest.mark.parametrize("k", [0, 20, 40, -40, 60])
def test_units_of_one_state_leave_the_verdict_alone(k):
    """S T D T^-1 S^-1 with T = I but for the block [[1, 1], [1, 2]] (T^-1's is
    [[2, -1], [-1, 1]]) and S = diag(1, 2^k, 1, ...) has exactly the roots of
    D: the first mode's rightmost root 1e-9 left of the axis, the others far left."""
    b, n = -0.5, 40
    d = -3.0 - np.arange(n)
    d[0] = -1e-9 - b * np.exp(1e-9)
    T, Tinv = sp.eye_array(n, format="lil"), sp.eye_array(n, format="lil")
    T[:2, :2], Tinv[:2, :2] = [[1, 1], [1, 2]], [[2, -1], [-1, 1]]
    T, Tinv = T.tocsc(), Tinv.tocsc()
    S = sp.diags_array(np.r_[1.0, 2.0**k, np.ones(n - 2)])
    Sinv = sp.diags_array(np.r_[1.0, 2.0**-k, np.ones(n - 2)])
    sys = sparse_quorv([S @ T @ sp.diags_array(d) @ Tinv @ Sinv, b * sp.eye_array(n)], [0.0, 1.0])
    rightmost = (d[0] + lambertw(b * np.exp(-d[0]))).real
    assert is_stable(sys) and count_roots(sys, 0.0) == 0
    assert spectral_abscissa(sys) == pytest.approx(rightmost, rel=1e-6)
