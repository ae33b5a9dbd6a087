"""The root method of pyhalvex written again in plain NumPy/SciPy, as a yardstick.

It computes the characteristic roots lambda of dx/dt = sum_k A_k x(t - h_k) with
Re lambda >= r the way the core does before any certification: a degree N from
eigenvalue estimates of sampled characteristic matrices and the two degree curves, the
spectral discretization in Chebyshev coefficients as a real pencil (M1, M2) of order
n(N+1), all of the pencil's generalized eigenvalues (QZ, `scipy.linalg.eigvals(M1, M2)`; or
the standard form M2^{-1} M1 with `numpy.linalg.eigvals` on request),
and per eigenvalue a start vector from the SVD of Delta(lambda) and at most 10 Newton
steps on [lambda; v]; a refined root is kept when its residual is below 1e-5 and
Re lambda >= r. No count, no enclosure, no completion: only the method.

    reference_roots(A, h, r, standard_form=False) -> (roots, N)
    reference_degree(A, h, r) -> N

A is a sequence of n x n real arrays, h the delays (one per matrix).
"""
from __future__ import annotations

import math

import numpy as np
import scipy.linalg

# The degree curves: slope F and offset G sampled at theta_i = i pi/64, i = 0 .. 32.
# A degree N reaches an eigenvalue estimate mu of direction theta = |arg mu| when
# F(theta) N + G(theta) >= |mu|.
DEGREE_SLOPE = np.array([
    0.9124, 0.9123, 0.9136, 0.9165, 0.9195, 0.9234, 0.9285, 0.9345, 0.9416, 0.9501,
    0.9592, 0.9698, 0.9818, 0.9947, 1.0090, 1.0249, 1.0427, 1.0620, 1.0833, 1.1069,
    1.1331, 1.1614, 1.1936, 1.2289, 1.2685, 1.3132, 1.3642, 1.4231, 1.4913, 1.5731,
    1.6783, 1.7867, 1.8183])
DEGREE_OFFSET = np.array([
    -0.2462, -0.2266, -0.2053, -0.2302, -0.2326, -0.2335, -0.2362, -0.2421, -0.2463,
    -0.2604, -0.2656, -0.2749, -0.2919, -0.3030, -0.3140, -0.3265, -0.3491, -0.3664,
    -0.3892, -0.4204, -0.4548, -0.4855, -0.5339, -0.5872, -0.6491, -0.7354, -0.8478,
    -0.9930, -1.1800, -1.4448, -1.9414, -2.7149, -3.0292])
CURVE_STEP = math.pi / 64

PHASES = 20          # phase samples per delayed term
DEGREE_CAP = 100
NEWTON_TOL = 1e-10
NEWTON_STEPS = 10
ACCEPT = 1e-5
INT_MIN = -2**31


class CubicSpline:
    """Natural cubic spline through samples y_i at x0 + i*step.

    Piece i is a_i + b_i t + c_i t^2 + d_i t^3 with t the distance from its left knot;
    the second derivative vanishes at both ends. Beyond the last knot the last piece is
    extrapolated (the index is clamped, not the argument).
    """

    def __init__(self, x0: float, step: float, y: np.ndarray):
        y = np.asarray(y, dtype=float)
        K = len(y)
        m = K - 2
        # Continuity of the second derivative at the inner knots:
        # step c_j + 4 step c_{j+1} + step c_{j+2} = 3 (y_j - 2 y_{j+1} + y_{j+2}) / step.
        sub = np.full(m - 1, step)
        diag = np.full(m, 4 * step)
        sup = np.full(m - 1, step)
        rhs = (y[:-2] - (y[1:-1] + y[1:-1]) + y[2:]) * 3 / step
        # Thomas algorithm, no pivoting (the system is diagonally dominant).
        for j in range(1, m):
            w = sub[j - 1] / diag[j - 1]
            diag[j] -= w * sup[j - 1]
            rhs[j] -= w * rhs[j - 1]
        rhs[m - 1] /= diag[m - 1]
        for j in range(m - 2, -1, -1):
            rhs[j] = (rhs[j] - sup[j] * rhs[j + 1]) / diag[j]
        c = np.concatenate(([0.0], rhs))            # c_0 = 0; c_{K-1} = 0 implied
        c_next = np.concatenate((c[1:], [0.0]))
        self.x0, self.step, self.K = x0, step, K
        self.a = y[:-1].copy()
        self.b = (y[1:] - y[:-1]) / step - ((c + c + c_next) / 3) * step
        self.c = c
        self.d = (c_next - c) / (step * 3)

    def __call__(self, x):
        t0 = np.asarray(x, dtype=float) - self.x0
        i = np.minimum(np.floor(t0 / self.step), self.K - 2).astype(np.int64)
        t = t0 - i * self.step
        return self.c[i] * t**2 + (self.b[i] * t + self.a[i]) + self.d[i] * t**3


def _curves():
    return CubicSpline(0.0, CURVE_STEP, DEGREE_SLOPE), CubicSpline(0.0, CURVE_STEP, DEGREE_OFFSET)


def required_degree(mu: np.ndarray, F: CubicSpline, G: CubicSpline) -> np.ndarray:
    """Smallest N with F(theta) N + G(theta) >= |mu|, per estimate; INT_MIN where undefined."""
    mu = np.asarray(mu, dtype=complex)
    theta = np.abs(np.arctan2(mu.imag, mu.real))
    with np.errstate(invalid="ignore", over="ignore"):
        q = np.ceil((np.hypot(mu.real, mu.imag) - G(theta)) / F(theta))
    ok = np.isfinite(q) & (q >= INT_MIN) & (q <= 2**31 - 1)
    out = np.full(q.shape, INT_MIN, dtype=np.int64)
    out[ok] = q[ok].astype(np.int64)
    return out


def _system(A, h):
    A = np.asarray([np.asarray(a, dtype=float) for a in A])      # (mA, n, n)
    h = np.asarray(h, dtype=float)
    if A.ndim != 3 or A.shape[1] != A.shape[2] or len(h) < len(A):
        raise ValueError("need mA square n x n matrices and one delay per matrix")
    return A, h


def _phase_configurations(mA: int, count: int) -> np.ndarray:
    """Phase angles per configuration and delayed term, shape (configurations, mA - 1).

    Commensurate delays (more than four matrices) are handled by the caller. Here each
    delayed term k gets its own phase 2 pi d / (count + 1) from a grid: digit 0 (term 1)
    runs over 0 .. count/2 (the conjugate half is redundant for a real system) and every
    other digit over 0 .. count - 1, digit 0 varying fastest.
    """
    if mA == 1:
        return np.zeros((1, 0))
    limits = [count // 2 + 1] + [count] * (mA - 2)
    grids = np.meshgrid(*[np.arange(L) for L in limits], indexing="ij")
    # Fortran order of the flattened grid makes the first digit vary fastest.
    digits = np.stack([g.ravel(order="F") for g in grids], axis=1)
    return 2.0 * digits * math.pi / (count + 1)


def _sampled_matrices(A, h, r, b, count):
    """Stack of M = sum_k e^{-(r+b) h_k} e^{i phase_k} A_k - r I over the phase configurations.

    For a root lambda = r + mu, mu is an eigenvalue of sum_k A_k e^{-(r+mu) h_k} - r I;
    the unknown factor e^{-mu h_k} is replaced by a real damping e^{-b h_k} times a
    sampled phase.
    """
    mA, n, _ = A.shape
    if mA > 4:
        # Commensurate: every delay rounded to a multiple of h_max/20, and one phase
        # theta_c = 2 pi c / count drives all terms, term k turning by theta_c w_k.
        step = h.max() / 20
        w = np.floor(np.abs(h[:mA] / step) + 0.5) * np.sign(h[:mA] / step)   # round half away
        damping = np.exp(-(r + b) * w * step)
        angles = np.outer(np.arange(count) * (2 * math.pi) / count, w[1:])
    else:
        damping = np.exp(-(r + b) * h[:mA])
        angles = _phase_configurations(mA, count)
    base = damping[0] * A[0] - r * np.eye(n)
    scaled = damping[1:, None, None] * A[1:]
    return base + np.tensordot(np.exp(1j * angles), scaled, axes=(1, 0))


def estimate_degree(A, h, r: float, count: int = PHASES) -> int:
    """The discretization degree for roots right of r (at least 5, not capped)."""
    A, h = _system(A, h)
    F, G = _curves()
    # Pass 1, no damping: the estimates right of the imaginary axis fix a bound B on
    # how far right the relevant roots sit; those in 0 <= Re mu <= B set K1.
    E = np.linalg.eigvals(_sampled_matrices(A, h, r, 0.0, count)).ravel()
    rho = E.real.max()
    B = (math.sin(2 * math.pi / count) * 1.05) * rho
    inside = (E.real >= 0) & (E.real <= B)
    K1 = required_degree(E[inside], F, G).max(initial=0)
    # Pass 2, damped by e^{-B h_k}: estimates with Re mu >= B set K2.
    E2 = np.linalg.eigvals(_sampled_matrices(A, h, r, B, count)).ravel()
    K2 = required_degree(E2[E2.real >= B], F, G).max(initial=0)
    return int(max(K1, K2, 5))


def reference_degree(A, h, r: float) -> int:
    """The degree N the method uses at abscissa r: the estimate, capped at 100."""
    return min(estimate_degree(A, h, r), DEGREE_CAP)


def discretize(A, h, N: int):
    """The pencil (M1, M2) of order n(N+1) of the Chebyshev-coefficient discretization.

    The history on [-h_max, 0] is sum_j c_j T_j(1 + 2 theta / h_max). Block row 0 is the
    boundary condition lambda phi(0) = sum_k A_k phi(-h_k), i.e. sum_j c_j times
    lambda I = sum_j R_j c_j with R_j = sum_k T_j(1 - 2 h_k / h_max) A_k; block rows
    1 .. N are the integration relations c_i = lambda (h_max/4)(c_{i-1} - c_{i+1}) / i
    (c_0 counted twice in row 1, no c_{N+1} in row N).
    """
    A, h = _system(A, h)
    mA, n, _ = A.shape
    hmax = h.max()
    x = 1 - (h[:mA] + h[:mA]) / hmax
    weights = np.cos(np.outer(np.arange(N + 1), np.arccos(x)))      # T_j(x_k), (N+1, mA)
    R = np.tensordot(weights, A, axes=(1, 0))                       # (N+1, n, n)
    D = n * (N + 1)
    M1 = np.eye(D)
    M1[:n, :] = R.transpose(1, 0, 2).reshape(n, D)
    T = np.zeros((N + 1, N + 1))
    T[0, :] = 4 / hmax
    i = np.arange(1, N + 1)
    T[i, i - 1] = 1 / i
    T[i[:-1], i[:-1] + 1] = -1 / i[:-1]
    T[1, 0] = 2
    M2 = np.kron(T * (hmax * 0.25), np.eye(n))
    return M1, M2


def _characteristic(A, h, lam):
    """Delta(lam) = lam I - sum_k e^{-lam h_k} A_k and the exponentials e^{-lam h_k}."""
    e = np.exp(-lam * h)
    return lam * np.eye(A.shape[1]) - np.tensordot(e, A, axes=(0, 0)), e


def _residual(A, h, x):
    """F = [Delta(lam) v; |v|^2 - 1] and its Jacobian with respect to [lam; v]."""
    n = A.shape[1]
    lam, v = x[0], x[1:]
    Delta, e = _characteristic(A, h, lam)
    F = np.empty(n + 1, dtype=complex)
    J = np.zeros((n + 1, n + 1), dtype=complex)
    F[:n] = Delta @ v
    F[n] = np.vdot(v, v).real - 1
    # Delta'(lam) v = v + sum_k h_k e^{-lam h_k} A_k v
    J[:n, 0] = v + np.tensordot(h * e, A, axes=(0, 0)) @ v
    J[:n, 1:] = Delta
    J[n, 1:] = 2 * v.conj()
    return F, J


def newton(A, h, x, tol=NEWTON_TOL, maxit=NEWTON_STEPS):
    """Newton's method on [lam; v] in place; returns the last residual norm computed.

    Stops when the residual is at most tol (before a step), when the step is below tol
    relative to the new iterate, or after maxit steps; in the last two cases the value
    returned is the residual of the iterate before the final step.
    """
    F, J = _residual(A, h, x)
    res = np.linalg.norm(F)
    if not res > tol:
        return res
    it = 0
    while True:
        try:
            dx = np.linalg.solve(J, F)
        except np.linalg.LinAlgError:
            # An exactly singular Jacobian: take the least-squares step instead.
            dx = np.linalg.lstsq(J, F, rcond=None)[0]
        x -= dx
        if tol > np.linalg.norm(dx) / np.linalg.norm(x):
            return res
        it += 1
        if it >= maxit:
            return res
        F, J = _residual(A, h, x)
        res = np.linalg.norm(F)
        if not res > tol:
            return res


def reference_roots(A, h, r: float, standard_form: bool = False):
    """Characteristic roots with Re >= r by the method, and the degree N used.

    The roots come in the order of the pencil's eigenvalues that reached them, neither
    sorted nor de-duplicated (two eigenvalues refining to one root give it twice).
    The pencil's eigenvalues come from QZ on (M1, M2); with standard_form, from the
    eigenvalues of M2^{-1} M1 instead (M2 is invertible: its condition number stays
    near 1e5 up to N = 100), several times faster for a large pencil.
    """
    A, h = _system(A, h)
    mA, n, _ = A.shape
    N = reference_degree(A, h, r)
    M1, M2 = discretize(A, h, N)
    h = h[:mA]
    with np.errstate(divide="ignore", invalid="ignore"):
        if standard_form:
            candidates = np.linalg.eigvals(np.linalg.solve(M2, M1))
        else:
            candidates = scipy.linalg.eigvals(M1, M2)
    found = []
    x = np.empty(n + 1, dtype=complex)
    for lam in candidates:
        if not np.isfinite(lam):
            continue                     # an infinite eigenvalue: its residual cannot pass
        with np.errstate(over="ignore", invalid="ignore"):
            Delta, _ = _characteristic(A, h, lam)
            if not np.all(np.isfinite(Delta)):
                continue                 # e^{-lam h} overflowed: no finite residual either
            # Start from the right singular vector of the smallest singular value.
            _, _, Vh = np.linalg.svd(Delta)
            x[0] = lam
            x[1:] = Vh[-1].conj()
            res = newton(A, h, x)
        if res < ACCEPT and x[0].real >= r:
            found.append(x[0])
    return np.array(found, dtype=complex), N
