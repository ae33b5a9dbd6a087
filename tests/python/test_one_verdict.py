"""One verdict from one set of disks: roots, spectrum, count_roots, is_stable and
spectral_abscissa decide "on or right of the line" alike, for roots 1e-9 from the line,
multiple roots beside simple ones, states in any units and gains up to 1e300."""
import functools
import math

import numpy as np
import pytest
import scipy.sparse
from scipy.special import lambertw

from pyhalvex import count_roots, is_stable, quorv, roots, sparse_quorv, spectral_abscissa, spectrum


def lambert(a, b, k):
    """The root of lambda = a + b e^{-lambda} on branch k: a + W_k(b e^{-a})."""
    return a + complex(lambertw(b * math.exp(-a), k))


def blocks(a, a3, b, model=quorv, matrix=np.asarray):
    """x' = A0 x + b x(t - 1), A0 = [[a, 1, 0], [0, a, 0], [0, 0, a3]]: a Jordan block, so every root of
    lambda = a + b e^{-lambda} is double, beside the simple roots of lambda = a3 + b e^{-lambda}."""
    a0 = np.array([[a, 1.0, 0.0], [0.0, a, 0.0], [0.0, 0.0, a3]])
    return model([matrix(a0), matrix(b * np.eye(3))], [0.0, 1.0]), [(a, 2), (a3, 1)]


def scalar(a, b, model=quorv, matrix=np.asarray):
    return model([matrix(np.array([[a]])), matrix(np.array([[b]]))], [0.0, 1.0]), [(a, 1)]


MODELS = {"dense": (quorv, np.asarray), "sparse": (sparse_quorv, scipy.sparse.csc_array)}


def true_count(scalars, b, r, branches=50):
    return sum(m for a, m in scalars for k in range(-branches, branches + 1) if lambert(a, b, k).real >= r)


def assert_one_verdict(sys, r, expected):
    """The five functions agree with each other and with the truth."""
    listed = spectrum(sys, r)
    assert count_roots(sys, r) == listed.count == len(roots(sys, r)) == expected
    assert listed.complete
    assert is_stable(sys) == (spectral_abscissa(sys) < 0) == (count_roots(sys, 0.0) == 0)


ROOT = lambert(-1.0, 0.5, 0).real  # x' = -x + 0.5 x(t - 1): its real root, -0.3149230578...
PAIR = lambert(0.0, -1.0, 0).real  # x' = -x(t - 1): its rightmost pair, -0.3181315052... +- 1.3372357014i
DOUBLE = lambert(0.25, -0.5, 0).real

# Each system (built for either model) with a line a few 1e-9 .. 1e-5 from its roots.
CASES = {
    # A double root at -3.05e-5 and a simple one at -9.16e-5: stable.
    "double and simple just left of the axis": (functools.partial(blocks, 0.5 - 2**-16, 0.5 - 3 * 2**-16, -0.5), 0.0),
    # The double root at 0 lies 3.8e-6 left of the line, a simple one 3.8e-6 right of it.
    "a double root just left of the line": (functools.partial(blocks, 0.5, 0.5 + 2**-18, -0.5), 2**-18),
    # A double root 1.8e-5 left of the line, a simple one 1.8e-5 right of it.
    "a double and a simple root either side": (functools.partial(blocks, -1.0, -1.0 + 2**-14, 0.5), -0.31490494721670981),
    **{f"a simple root {gap:g} left of the line": (functools.partial(scalar, -1.0, 0.5), ROOT + gap)
       for gap in (1e-9, 1.05e-9, 1.15e-9)},
    **{f"a simple root {gap:g} right of the line": (functools.partial(scalar, -1.0, 0.5), ROOT - gap) for gap in (1e-9, 2e-9)},
    "a simple root 1.05e-9 left of the axis": (functools.partial(scalar, 0.499999999475, -0.5), 0.0),
    # Far closer than the tightest disk (1e-10), yet some hundred times further than det Delta's rounding
    # reaches (1e-14 .. 1e-13): each root is placed on its own side.
    **{f"a simple root {gap:g} {side} the line": (functools.partial(scalar, -1.0, 0.5), ROOT + sign * gap)
       for gap in (1e-10, 1e-11, 1e-12) for side, sign in (("left of", 1), ("right of", -1))},
    **{f"a complex pair {gap:g} {side} the line": (functools.partial(scalar, 0.0, -1.0), PAIR + sign * gap)
       for gap in (1e-10, 1e-12) for side, sign in (("left of", 1), ("right of", -1))},
    **{f"a double root {gap:g} {side} the line": (functools.partial(blocks, 0.25, 0.15, -0.5), DOUBLE + sign * gap)
       for gap in (1e-7, 1e-6) for side, sign in (("left of", 1), ("right of", -1))},
}


@pytest.mark.parametrize("model", MODELS.keys())
@pytest.mark.parametrize("build, r", CASES.values(), ids=CASES.keys())
def test_roots_near_the_line_are_decided_alike(build, r, model):
    sys, scalars = build(*MODELS[model])
    b = sys.A(1)[0, 0]
    assert_one_verdict(sys, r, true_count(scalars, b, r))


# Within rounding of the line a root counts as on it, so as right of it: a simple root 1e-14 from it, a root at 0
# exactly, and one of x' = -x(t - 1) at |lambda| = 6e3, known to some 1e-12 there, 1e-12 either side of it.
CHAIN_1000 = lambert(0.0, -1.0, 1000).real


@pytest.mark.parametrize("system, r", [(scalar(-1.0, 0.5), ROOT + 1e-14), (scalar(0.5, -0.5), 1e-15),
                                       (scalar(0.0, -1.0), CHAIN_1000 + 1e-12), (scalar(0.0, -1.0), CHAIN_1000 - 1e-12)])
def test_a_root_within_rounding_of_the_line_counts_as_on_it(system, r):
    (sys, scalars), b = system, system[0].A(1)[0, 0]
    assert_one_verdict(sys, r, true_count(scalars, b, r - 1e-11, branches=1100))


# A double root exactly on the line cannot be enclosed clear of it: its zeros are one root to rounding, on the
# line, and count as right of it. Two simple roots 1e-9 .. 6e-9 apart with the line between them are each
# counted on their own side.
@pytest.mark.parametrize("model", MODELS.keys())
@pytest.mark.parametrize("a", [0.5 - 2**-16, 0.25])
def test_a_double_root_on_the_line_counts_as_right_of_it(model, a):
    sys, scalars = blocks(a, a - 2**-14, -0.5, *MODELS[model])
    assert_one_verdict(sys, lambert(a, -0.5, 0).real, true_count(scalars, -0.5, lambert(a, -0.5, 0).real))


@pytest.mark.parametrize("model", MODELS.keys())
@pytest.mark.parametrize("gap", [1.7e-9, 1e-8])
def test_a_pair_either_side_of_the_line_is_split_by_it(model, gap):
    build, matrix = MODELS[model]
    sys = build([matrix(np.diag([-1.0, -1.0 + gap])), matrix(0.5 * np.eye(2))], [0.0, 1.0])
    r = 0.5 * (lambert(-1.0, 0.5, 0).real + lambert(-1.0 + gap, 0.5, 0).real)
    assert_one_verdict(sys, r, true_count([(-1.0, 1), (-1.0 + gap, 1)], 0.5, r))


README_EXAMPLE = [np.array([[-5.0, 1.0], [2.0, -6.0]]), np.array([[-2.0, 1.0], [4.0, -1.0]])]


@pytest.mark.parametrize("k", [-60, -24, 18, 24, 40, 60])
def test_the_units_of_a_state_do_not_change_the_answer(k):
    # S A_k S^{-1} with S = diag(1, 2^k) has exactly the roots of A_k.
    s, s_inv = np.diag([1.0, 2.0**k]), np.diag([1.0, 2.0**-k])
    scaled = quorv([s @ a @ s_inv for a in README_EXAMPLE], [0.0, 1.0])
    plain = spectrum(quorv(README_EXAMPLE, [0.0, 1.0]), -3.0)
    listed = spectrum(scaled, -3.0)
    assert listed.complete and listed.count == plain.count == count_roots(scaled, -3.0)
    np.testing.assert_allclose(listed.roots, plain.roots, rtol=1e-12)
    assert np.all(listed.radii <= 2 * plain.radii) and np.all(plain.radii <= 2 * listed.radii)
    assert spectral_abscissa(scaled) == pytest.approx(plain.roots[0].real, rel=1e-12)


@pytest.mark.parametrize("gain", [1e5, 1e10, 1e100, 1e300])
def test_a_large_gain_needs_no_large_count(gain):
    # x' = -g x(t - 1): thousands to 1e300 roots right of the axis; the rightmost is W_0(-g).
    sys = quorv([np.array([[-gain]])], [1.0])
    assert spectral_abscissa(sys) == pytest.approx(lambertw(-gain).real, rel=1e-10)
    assert not is_stable(sys)


def four_close_roots(model=quorv, matrix=np.asarray):
    """A0 = T diag(d_k) T^{-1}, A1 = 20 I: one mode lambda = d_k + 20 e^{-lambda} per d_k = -20 - k 2^-23, whose
    real roots lie 5.7e-9 apart just left of the axis; T's condition of 1e5 moves them by some 1e-11 in double
    precision."""
    t = np.array([[17, 4, 0, 0], [0, 4, 4, 17], [0, 0, 1, 4], [4, 17, 0, 4]], dtype=float)
    d = [-20 - k * 2.0**-23 for k in (1, 2, 3, 5)]
    sys = model([matrix(t @ np.diag(d) @ np.linalg.inv(t)), matrix(20 * np.eye(4))], [0.0, 1.0])
    return sys, [lambert(dk, 20.0, 0).real for dk in d]


# Lines between, beside and across the four roots (-5.7e-9 .. -2.8e-8), where the count's path cannot pass
# within some 1e-9 of them and takes in the zeros of a wider strip, each to be decided against the line.
@pytest.mark.parametrize("model", MODELS.keys())
@pytest.mark.parametrize("r", [1e-9, 0.0, -1e-9, -5e-9, -6e-9, -1e-8, -1.5e-8, -2e-8, -3e-8, -1e-7, -1e-4, -1e-2, -3e-2])
def test_roots_6e_9_apart_are_each_found(r, model):
    sys, truth = four_close_roots(*MODELS[model])
    right = [t for t in truth if t >= r]
    assert_one_verdict(sys, r, len(right))
    listed = spectrum(sys, r)
    near = [(z, rho) for z, rho in zip(listed.roots, listed.radii) if abs(z) < 1e-6]
    # Each listed root near a true one (the sparse model's Newton steps stall some 2e-10 off), its disk around
    # that one alone.
    assert len(near) == len(right)
    for z, rho in near:
        assert min(abs(z - t) for t in right) < {"dense": 1e-10, "sparse": 1e-9}[model]
        assert sum(abs(z - t) <= rho for t in truth) == 1


def similar(t, modes, b, model=quorv, matrix=np.asarray):
    """A0 = T diag(modes) T^{-1}, A1 = b I, delay 1: the roots of lambda = a + b e^{-lambda} for each mode a."""
    t = np.array(t, dtype=float)
    return model([matrix(t @ np.diag(modes) @ np.linalg.inv(t)), matrix(b * np.eye(len(modes)))], [0.0, 1.0])


T3 = [[1, 2, 0], [0, 1, 3], [1, 0, 1]]
ILL = [[2**27, 2**27], [0, 1]]  # condition 2.7e8; T^{-1} = [[2^-27, -1], [0, 1]] is exact
# Modes whose rightmost roots lie a few 1e-10 .. 1e-9 apart (d lambda / d a = 0.59 at -0.315).
CLOSE_MODES = {
    "a near-triple root": (T3, [1.5, 1.5 + 1e-13, 1.5 + 2e-13], -2.0),
    "a similarity of condition 2.7e8": (ILL, [-1.0, -1.5], 0.5),
    "a semisimple double beside a simple root": (T3, [-1.0, -1.0, -1.0 + 3e-9], 0.5),
    "20 blocks 9e-10 apart": (np.eye(20), [-1.0 + k * 1.5e-9 for k in range(20)], 0.5),
    **{f"two roots {0.59 * g:.1e} apart": (np.eye(2), [-1.0, -1.0 + g], 0.5) for g in (3e-10, 1e-9, 2.7e-9)},
}


@pytest.mark.parametrize("model", MODELS.keys())
@pytest.mark.parametrize("t, modes, b", CLOSE_MODES.values(), ids=CLOSE_MODES.keys())
def test_close_roots_give_the_abscissa(t, modes, b, model):
    sys = similar(t, modes, b, *MODELS[model])
    truth = max(lambert(a, b, 0).real for a in modes)
    assert spectral_abscissa(sys) == pytest.approx(truth, rel=1e-10, abs=1e-12)
    r = truth - 0.5
    assert_one_verdict(sys, r, true_count([(a, 1) for a in modes], b, r))


def chain(exponents, t, d0, d1):
    """A_k = S T D_k T^-1 S^-1 with S = diag(2^e), T unit upper triangular (T^-1 an integer matrix): each state
    drives the ones above it, and mode i is lambda = d0_i + d1_i e^{-lambda}."""
    s, t = np.diag(2.0 ** np.array(exponents)), np.array(t, dtype=float)
    t_inv, s_inv = np.round(np.linalg.inv(t)), np.diag(2.0 ** -np.array(exponents))
    return quorv([s @ t @ np.diag(d) @ t_inv @ s_inv for d in (d0, d1)], [0.0, 1.0])


CHAIN = ([[1, -3, 4], [0, 1, 2], [0, 0, 1]], [-1.25, 0.5, -2.0], [1.0, -2.0, 0.75])


@pytest.mark.parametrize("exponents", [[0, -10, -20], [0, 60, -60], [-60, 0, 60], [37, -41, 5]])
def test_states_in_any_units_along_a_chain(exponents):
    t, d0, d1 = CHAIN
    sys = chain(exponents, t, d0, d1)
    modes = list(zip(d0, d1))
    abscissa = max(lambert(a, b, 0).real for a, b in modes)
    assert spectral_abscissa(sys) == pytest.approx(abscissa, rel=1e-12)
    assert_one_verdict(sys, -1.0, sum(true_count([(a, 1)], b, -1.0) for a, b in modes))
    plain, listed = spectrum(chain([0, 0, 0], t, d0, d1), -1.0), spectrum(sys, -1.0)
    np.testing.assert_allclose(listed.roots, plain.roots, rtol=1e-12)
    assert np.all(listed.radii <= 2 * plain.radii) and np.all(plain.radii <= 2 * listed.radii)


def slow_beside_stiff(big):
    """x1' = 0.0423 x1, x2' = big (x1 - x2): the roots 0.0423 and -big, whose scale the system takes."""
    return quorv([np.array([[0.0423, 0.0], [big, -big]])], [0.0]), [0.0423]


def pair_beside_stiff(big, delay=0.0):
    """A pair -202 - 2e-7 +- 5i beside a decoupled mode -big, undelayed or delayed by 0.01 / big (its roots
    then lie at -1.01 big and, in chains, further left)."""
    a = -202 - 2e-7
    pair, stiff = np.array([[a, 5.0, 0.0], [-5.0, a, 0.0], [0.0, 0.0, 0.0]]), np.zeros((3, 3))
    stiff[2, 2] = -big
    return quorv([pair, stiff], [0.0, delay]), [a + 5j, a - 5j]


def zero_beside_stiff(big):
    """x1' = 46 x2, x2' = -big x2: the roots 0, exactly, and -big."""
    return quorv([np.array([[0.0, 46.0], [0.0, -big]])], [0.0]), [0.0]


MAGNITUDES = {
    **{f"0.0423 beside {big:g}, r = {r!r}": (slow_beside_stiff(big), r)
       for big in (1e30, 1e100, 1e200, 1e300) for r in (2.43, 0.0423 + 1e-9, 0.0423 - 1e-9, 0.0423 + 1e-6)},
    **{f"a pair 2e-7 from the line beside {big:g}, r = {r!r}": (pair_beside_stiff(big), r)
       for big in (1e8, 1e30, 1e100) for r in (-202.0, -202.0 - 3e-7)},
    **{f"a pair 2e-7 from the line beside {big:g} delayed": (pair_beside_stiff(big, 0.01 / big), -202.0)
       for big in (1e30, 1e100)},
    **{f"a root at 0 beside {big:g}, r = {r!r}": (zero_beside_stiff(big), r) for big in (1e50, 3.6e139)
       for r in (-187.5, -1e-9)},
}


@pytest.mark.parametrize("system, r", MAGNITUDES.values(), ids=MAGNITUDES.keys())
def test_a_slow_root_is_decided_on_its_own_scale(system, r):
    # The line's margin is relative to the root near it, not to the largest entry: no root left of r is listed.
    sys, expected = system[0], [z for z in system[1] if z.real >= r]
    assert_one_verdict(sys, r, len(expected))
    by_imag = lambda z: z.imag  # noqa: E731
    np.testing.assert_allclose(sorted(roots(sys, r), key=by_imag), sorted(expected, key=by_imag), rtol=1e-12)


# Systems drawn by the fuzz of extreme magnitudes: modes that drive others one way only, through couplings of
# 1e300 or 5e-324, whose roots are exactly the diagonal entries (of the triangular ones) or those of the decoupled
# blocks.
ONE_WAY = {
    "0.0171 driving -3.6e150 through -1e300": ([[0.017142412904708342, 0.0], [-1e300, -3.5810817506199546e150]],
                                              2.615408893868203, []),
    "0.0456 driving -1.2e164 through 5e-324": ([[0.045560254501430114, 0.0], [5e-324, -1.1945438073107208e164]],
                                              0.9825588772613951, []),
    "-5e-324 driving 5e-324 through 2.5e105": ([[-5e-324, 0.0], [2.5234173467872936e105, 5e-324]], 1.3128267941909444,
                                               []),
    "1e300 beside a pair coupled by 0.28": ([[-5e-324, 0.27968423330200926, 5e-324], [0.0, 1e300, 0.0],
                                             [-0.030752573296490976, 0.0, 2.656862881301718e192]], 0.7586675125750921,
                                            [2.656862881301718e192, 1e300]),
}


@pytest.mark.parametrize("a, r, expected", ONE_WAY.values(), ids=ONE_WAY.keys())
def test_modes_coupled_one_way_are_decided_on_their_own_scales(a, r, expected):
    sys = quorv([np.array(a)], [0.0])
    assert_one_verdict(sys, r, len(expected))
    np.testing.assert_allclose(sorted(z.real for z in roots(sys, r)), expected, rtol=1e-12)
