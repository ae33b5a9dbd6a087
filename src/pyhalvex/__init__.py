"""halvex python bindings"""
# What the package is and how to use it: README.md and help() of each function.
import operator as _operator
from collections.abc import Iterable as _Iterable
from typing import Annotated as _Annotated, Any as _Any, SupportsIndex as _SupportsIndex

import numpy as _np
from numpy.typing import NDArray as _NDArray

from pyhalvex import _core
from pyhalvex._core import Spectrum, __version__, quorv
from pyhalvex._sparse import sparse_quorv

__all__ = [
    "Spectrum",
    "__version__",
    "count_roots",
    "delay_margin",
    "is_stable",
    "quorv",
    "roots",
    "sensitivity",
    "spectral_abscissa",
    "sparse_quorv",
    "spectrum",
]


def roots(system: quorv | sparse_quorv, r: float, /) -> list[complex]:
    """roots(arg0: pyhalvex.quorv, arg1: float, /) -> list[complex]

    Every characteristic root lam of system (a quorv, or a sparse_quorv) with Re lam >= r.

    Arguments:
        system: the quorv model, or a sparse_quorv.
        r: the abscissa; the further left, the more roots and the longer the call.

    Returns a list of complex: each distinct root as often as its
    multiplicity, at the centre of a disk that the argument principle shows to
    hold exactly that many zeros (spectrum gives the radii), in the order the
    computation found them (not sorted). Zeros that double precision cannot
    tell apart are one multiple root at their mean. Roots within
    1e-9 max(1, |r|) (in the system's own time unit) left of the line, and a
    multiple root whose disk meets it, count as on it, as in count_roots.

    The roots are checked against the argument-principle count of the roots
    right of r: the disks are disjoint and their multiplicities add up to the
    count. A RuntimeWarning says when that check failed: "roots: counted K
    roots with Re >= r, found F; ..." when roots could not all be located or
    enclosed, or that completeness could not be checked when the bound
    R = sum_k exp(-r h_k) |A_k| on the roots is not finite (r = -inf, or
    exp(-r h) overflows) or the count did not resolve.

    Raises ValueError for a NaN r and for a model the computation cannot read
    (matrices not all n-by-n, non-finite entries, negative or non-finite
    delays, no matrices: "vector too long"), IndexError for fewer delays than
    matrices, MemoryError for a pencil beyond the machine's memory, and
    RuntimeError when exp(-r h) overflows in the discretization or no
    eigenvalue iteration converges.

    Example:
        >>> sys = pyhalvex.quorv([np.array([[-1.0]])], [1.0])
        >>> sorted(pyhalvex.roots(sys, -1.0), key=lambda z: z.imag)  # doctest: +ELLIPSIS
        [(-0.318131505...-1.337235701...j), (-0.318131505...+1.337235701...j)]
    """
    if r != r:  # NaN: no line to count from, as count_roots and spectrum say
        raise ValueError("roots: r is NaN")
    return _core.roots(system, r)


def count_roots(system: quorv | sparse_quorv, r: float, /) -> int:
    """The number of characteristic roots of system with Re >= r, with
    multiplicity, by the argument principle.

    Arguments:
        system: the quorv model, or a sparse_quorv (counted with sparse LU
            factorisations of the characteristic matrix).
        r: the abscissa; count_roots(system, 0.0) is the number of unstable roots.

    Returns an int. Roots within 1e-9 max(1, |r|) (in the system's own time
    unit) left of the line, and a multiple root whose disk meets it, count as
    on it; roots and spectrum list the same roots.

    Raises ValueError for a NaN r, OverflowError when the bound on the roots
    R = sum_k exp(-r h_k) |A_k|_F is not finite (r = -inf, or exp(-r h)
    overflows), RuntimeError when the count does not resolve within its work
    budget, and the errors of roots for a model it cannot read.

    Example:
        >>> pyhalvex.count_roots(pyhalvex.quorv([np.array([[-1.0]])], [1.0]), -1.0)
        2
    """
    return _core.count_roots(system, r)


def sensitivity(system: quorv | sparse_quorv, lam: complex, /) -> tuple[
        list[_Annotated[_NDArray[_np.complex128], dict(shape=(None, None), order="F")]] | list[_Any],
        _Annotated[_NDArray[_np.complex128], dict(shape=(None,), order="C")]]:
    """The first-order derivatives of a simple characteristic root lam of system.

    Arguments:
        system: the quorv model, or a sparse_quorv.
        lam: a root, as roots returns it.

    Returns a pair (dA, dh): dA[k][i, j] = d lam / d A_k[i, j], an n-by-n
    complex array per matrix, and dh[k] = d lam / d h_k, a complex array with
    the entry for the delay of each matrix. Multiplied by a small change of an
    entry or a delay they give the change of the root, to first order. With u
    and v the left and right null vectors of the characteristic matrix
    D(lam) = lam I - sum_k exp(-lam h_k) A_k and d = u^H D'(lam) v:
    dA[k][i, j] = exp(-lam h_k) conj(u_i) v_j / d and
    dh[k] = -lam exp(-lam h_k) u^H A_k v / d.

    For a sparse_quorv, dA[k] is a scipy.sparse.csc_array with the pattern
    of A_k: the derivatives with respect to its stored entries (any other
    entry's is the same formula, e.g. from the rank-one factors). No dense
    n-by-n matrix is formed: u and v come from sparse LU factorizations of
    D(lam), by inverse iteration, and the two smallest singular values that
    decide "a root" and "simple" are those of D restricted to the two
    vectors it converges to.

    Raises ValueError when lam is not a root (the smallest singular value of
    D(lam) exceeds 1e-8 times the size of its terms), when lam is a multiple
    root, which has no derivative, and for the models that roots refuses, with
    the same errors.

    Example:
        >>> sys = pyhalvex.quorv([np.array([[-1.0]])], [1.5])
        >>> lam = max(pyhalvex.roots(sys, -1.0), key=lambda z: (z.real, z.imag))
        >>> d_matrices, d_delays = pyhalvex.sensitivity(sys, lam)
        >>> d_delays.round(4)  # a longer delay pushes the pair right
        array([0.3302-0.4823j])
    """
    if isinstance(system, sparse_quorv):
        import scipy.sparse

        dA, dh = _core.sensitivity(system, lam)
        return [scipy.sparse.csc_array(a) for a in dA], dh
    return _core.sensitivity(system, lam)


def spectrum(system: quorv | sparse_quorv, r: float, /) -> Spectrum:
    """The distinct characteristic roots of system with Re >= r, each once
    with its multiplicity, checked against the argument-principle count.

    Arguments:
        system: the quorv model, or a sparse_quorv (degree 0).
        r: the abscissa.

    Returns a Spectrum: roots (complex array, sorted by real part descending,
    then imaginary part ascending), multiplicities (int64 array), radii (float
    array: the disk of that radius around each root holds exactly its
    multiplicity of zeros, so it bounds the root's error; 0 where no such disk
    was found), count (the roots with Re >= r, with multiplicity, by the
    argument principle), complete (whether every root is certified: disjoint
    disks, none crossing the line, whose multiplicities add up to count),
    degree (the discretization degree, 0 when the system has no delay) and r.
    Zeros that double precision cannot tell apart (Delta singular to rounding
    at their mean) are one multiple root at their mean; nearby distinct roots
    are separated. Roots within 1e-9 max(1, |r|) left of the line, or whose
    disk meets it, are listed as on it. Spectrum.plot() draws them.

    Raises ValueError for a NaN r, the errors of count_roots when the count is
    impossible (OverflowError, RuntimeError), and those of roots for a model
    it cannot read.

    Example:
        >>> two = pyhalvex.quorv([np.array([[1.0]]), np.array([[-1.0]])], [0.0, 1.0])
        >>> s = pyhalvex.spectrum(two, -3.0)
        >>> s.count, s.multiplicities.tolist(), s.complete
        (6, [2, 1, 1, 1, 1], True)
    """
    return _core.spectrum(system, r)


def spectral_abscissa(system: quorv | sparse_quorv, /) -> float:
    """The largest real part of the characteristic roots of system.

    Arguments:
        system: the quorv model, or a sparse_quorv.

    Returns a float, negative exactly when is_stable(system) is True: when
    the count at the axis holds roots it is max(0, the rightmost real part).
    Computed in the system's own time unit: a low-degree discretization
    approximates the rightmost roots, Newton's method refines them, and the
    argument-principle count at a line just left of them confirms that no
    other root lies right of it (one it reveals is located; when it finds
    none, the line moves left and bisection on the count narrows the strip).

    Raises ValueError for a system of order 0, which has no roots, and when no
    root lies right of any line at which the bound on the roots
    sum_k exp(-r h_k) |A_k|_F is finite; RuntimeError when a count does not
    resolve or the roots right of the line cannot all be located; and the
    errors of roots for a model it cannot read.

    Example:
        >>> round(pyhalvex.spectral_abscissa(pyhalvex.quorv([np.array([[-1.0]])], [1.5])), 6)
        -0.021856
    """
    return _core.spectral_abscissa(system)


def is_stable(system: quorv | sparse_quorv, /) -> bool:
    """Whether system is asymptotically stable: no characteristic root with
    Re >= 0, decided by the argument-principle count alone.

    Arguments:
        system: the quorv model, or a sparse_quorv.

    Returns a bool. A root on the imaginary axis, within 1e-9 (in the
    system's own time unit) left of it, or a multiple root whose disk meets
    it, counts as not stable; a system of order 0 is stable.

    Raises the errors of count_roots when the count is impossible
    (RuntimeError when it does not resolve) and those of roots for a model it
    cannot read.

    Example:
        >>> pyhalvex.is_stable(pyhalvex.quorv([np.array([[-1.0]])], [1.5]))
        True
        >>> pyhalvex.is_stable(pyhalvex.quorv([np.array([[-1.0]])], [1.6]))
        False
    """
    return _core.is_stable(system)


def delay_margin(system: quorv | sparse_quorv, k: _SupportsIndex | _Iterable[_SupportsIndex], /) -> float:
    """How much longer the delay of term k (or of the terms k together) can
    grow before system loses asymptotic stability.

    Arguments:
        system: the quorv model, or a sparse_quorv.
        k: the index of a term, or a sequence of indices of terms whose
           delays grow together (one loop delay that appears in several
           terms); every other delay stays fixed. A term without delay may
           be listed: its delay then grows from 0.

    Returns a float: the largest d >= 0 such that the system with h_j + d'
    for every j in k is asymptotically stable for every d' in [0, d), in the
    unit of the delays; math.inf when no added delay destabilises it; 0.0
    when it is not asymptotically stable as given (is_stable is False).

    A root crosses the imaginary axis at jw only where
    Delta(w, phi) = jw I - sum_{j not in k} exp(-jw h_j) A_j - sum_{j in k} exp(-j(w h_j + phi)) A_j
    is singular, phi = w d (mod 2 pi), and then |w| <= sum_j |A_j|_2. All
    such (w, phi) are sought on that bounded rectangle by branch and bound:
    a cell is dropped only where the smallest singular value of Delta at its
    centre exceeds a bound on how much Delta changes within it, so no
    crossing is passed over; zeros are located by Newton's method, in the
    order of the delays d = (phi + 2 pi l) / w they give, and a box in which
    a located zero is the only one is dropped at once. The margin is the
    first of these delays at which the argument-principle count right of the
    axis (as is_stable takes it) is 0 just before and positive just after
    (1e-6 of the delay or of the system's time unit away): a root that
    touches the axis and returns does not end it. A stable system has no root at 0 for any delay (Delta(0) =
    -sum_j A_j), and crossings at frequencies below 1e-12 of the bound, which
    need delays beyond any use, are not looked for. Computed on a balanced
    copy of the system, in its own time unit.

    For a sparse_quorv no n-by-n matrix is formed: Delta is factored sparse
    (KLU) at each cell's centre, and the cell is dropped when the factors,
    through the comparison matrices of L and U (|T^-1| <= M(T)^-1 for a
    triangular T, with the factorization's own rounding), bound the
    spectral radius of |Delta(centre)^-1| times the entrywise change of
    Delta over the cell below 1; the frequency bound comes from the numerical ranges, the
    Newton steps from one solve and one adjoint solve, and the crossings
    are confirmed by the sparse is_stable.

    Raises ValueError for no term, an index out of range or given twice, and
    for the models that roots refuses, with the same errors; TypeError for
    an index that is not an integer; RuntimeError when a count does not resolve or contradicts the
    crossings found. When the search for
    crossings runs out of its work budget (a system on the edge of
    delay-independent stability, a defective double crossing) a
    RuntimeWarning says so, and the value returned is a delay below which
    the system is certainly stable.

    Example:
        >>> A0 = np.array([[0.0, 1.0], [0.0, 0.0]])           # x'' = u
        >>> A1 = np.array([[0.0, 0.0], [-1.0, -1.5]])         # u = -x(t - d) - 1.5 x'(t - d)
        >>> d = pyhalvex.delay_margin(pyhalvex.quorv([A0, A1], [0.0, 0.0]), 1)
        >>> round(d, 9)
        0.728075346
    """
    if isinstance(k, _Iterable):
        terms = [_operator.index(j) for j in k]
    else:
        terms = [_operator.index(k)]
    return _core.delay_margin(system, terms)


def __dir__() -> list[str]:
    # The public names and the module's own attributes; the helpers imported
    # for the annotations and the compiled module stay out of sight.
    return sorted(set(__all__) | {name for name in globals() if name.startswith("__") and name.endswith("__")})
