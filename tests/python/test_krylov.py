"""The rightmost roots of large sparse systems by the Krylov stage, against
decoupled modes (each mode's roots are Lambert-W roots) and the dense pencil
route, and the dense models' automatic switch to it."""
import signal
import subprocess
import sys
import textwrap
import time

import numpy as np
import pytest
import scipy.sparse as sp

from pyhalvex import _core, quorv, roots, sparse_quorv, spectral_abscissa, spectrum
from test_sparse import assert_roots_match, heat, mode_roots, ring


def distinct_real_parts(truth):
    return np.unique(np.round(truth.real, 11))[::-1]


# A ring's modes crowd one chain of roots, which makes its counts slow: it is
# kept smaller than the heat equation to keep the test short.
@pytest.mark.parametrize("system", [lambda: heat(2000, 3.0, 1.0), lambda: ring(500, 1.0, 0.9, 1.0),
                                    lambda: ring(2048, 1.0, 0.9, 1.0)])
def test_rightmost_roots_match_the_modes(system):
    sys, mu, b = system()
    truth = mode_roots(mu, b, 1.0, -6.0)
    re = distinct_real_parts(truth)
    assert spectral_abscissa(sys) == pytest.approx(re[0], rel=1e-8)
    # Just left of the second-rightmost real part.
    r = re[1] - 0.25 * (re[1] - re[2])
    s = spectrum(sys, r)
    assert s.complete and np.all(s.radii > 0)
    assert_roots_match(roots(sys, r), truth[truth.real >= r])


def test_a_repeated_mode_is_one_root_of_multiplicity_two():
    mu = np.concatenate([[-1.0, -1.0], np.linspace(-4.0, -8.0, 198)])
    sys = sparse_quorv([sp.diags_array(mu), 0.5 * sp.eye_array(mu.size)], [0.0, 1.0])
    truth = mode_roots(mu[:1], 0.5, 1.0, -1.2)
    s = spectrum(sys, -1.2)
    assert s.complete and s.count == 2 * len(truth)
    assert list(s.multiplicities) == [2] * len(truth)
    assert_roots_match(s.roots, truth)
    assert spectral_abscissa(sys) == pytest.approx(max(truth.real), rel=1e-8)


def test_dense_ring_switches_to_the_sparse_route_with_the_pencils_answer():
    # n = 120: above the switch's order, small enough for the pencil route.
    sys, _, _ = ring(120, 1.0, 0.9, 1.0)
    dense = quorv([sys.A(k).toarray() for k in range(sys.mA)], sys.hA())
    pencil = spectrum(dense, -0.2)
    assert pencil.complete
    assert spectral_abscissa(dense) == pytest.approx(max(pencil.roots.real), rel=1e-8)
    assert_roots_match(np.repeat(spectrum(sys, -0.2).roots, spectrum(sys, -0.2).multiplicities),
                       np.repeat(pencil.roots, pencil.multiplicities))


# Random couplings of 1000 states, 4 per row: their factors fill in, and the
# abscissa takes well over the second after which the child is interrupted.
INTERRUPTED = textwrap.dedent(
    """
    import time
    import numpy as np
    import scipy.sparse as sp
    from pyhalvex import sparse_quorv, spectral_abscissa
    n, rng = 1000, np.random.default_rng(1)
    a0 = sp.random_array((n, n), density=4 / n, rng=rng) - 2.5 * sp.eye_array(n)
    a1 = sp.random_array((n, n), density=4 / n, rng=rng, data_sampler=rng.standard_normal)
    model = sparse_quorv([a0, a1], [0.0, 1.0])
    print("ready", flush=True)
    start = time.perf_counter()
    try:
        spectral_abscissa(model)
        print("not interrupted", flush=True)
    except KeyboardInterrupt:
        print(time.perf_counter() - start, flush=True)
    """
)


@pytest.mark.xdist_group("ctrl_c")
def test_ctrl_c_ends_a_sparse_abscissa():
    child = subprocess.Popen([sys.executable, "-c", INTERRUPTED], stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, text=True)
    assert child.stdout.readline() == "ready\n"
    time.sleep(1.0)
    child.send_signal(signal.SIGINT)
    out, err = child.communicate(timeout=600)
    assert child.returncode == 0, err
    assert float(out) < 6.0


def heat_2d(m, reaction):
    """u_t = Laplacian u - 2 u + reaction u(t - 1) on the unit square, m x m interior points:
    the modes mu_jk = -4 (m+1)^2 (sin^2(j pi / (2 (m+1))) + sin^2(k pi / (2 (m+1)))) - 2."""
    h2 = (m + 1.0) ** 2
    one = sp.diags_array([h2, -2 * h2, h2], offsets=[-1, 0, 1], shape=(m, m))
    eye = sp.eye_array(m)
    laplacian = sp.kron(one, eye) + sp.kron(eye, one) - 2 * sp.eye_array(m * m)
    e = 4 * h2 * np.sin(np.arange(1, m + 1) * np.pi / (2 * (m + 1))) ** 2
    mu = -(e[:, None] + e[None, :]).ravel() - 2
    return sparse_quorv([laplacian.tocsc(), reaction * sp.eye_array(m * m)], [0.0, 1.0]), mu


def test_a_fine_grids_rightmost_roots_take_a_few_hundred_factorisations():
    # Each of the 1024 modes puts retarded roots beside the count's left
    # side, whose phase they turn back and forth with e^{-i y}: some 4000
    # factorisations before their first order was divided out.
    sys, mu = heat_2d(32, 3.0)
    truth = mode_roots(mu, 3.0, 1.0, -2.5)
    re = distinct_real_parts(truth)
    made = _core._factorisations()
    assert spectral_abscissa(sys) == pytest.approx(re[0], rel=1e-8)
    r = re[1] - 1e-3 * (re[0] - re[1])
    assert_roots_match(roots(sys, r), truth[truth.real >= r])
    assert _core._factorisations() - made <= 1200
