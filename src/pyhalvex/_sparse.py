"""The sparse model: large systems (discretized PDEs, networks) whose
matrices are stored in compressed columns. SciPy is needed only here, and is
imported when a sparse model is built."""
from collections.abc import Iterable
from typing import Any

import numpy as np

from pyhalvex import _core


class sparse_quorv(_core.sparse_quorv):
    """sparse_quorv(A, hA, /)

    A linear time-delay system x'(t) = sum_k A[k] x(t - hA[k]) with sparse
    matrices, for systems of thousands to some 10^5 states.

    Arguments:
        A: a sequence of n-by-n matrices: SciPy sparse arrays or matrices of
           any format, or dense arrays; each is stored in compressed columns
           (float64), so memory grows with the nonzeros, not with n^2.
        hA: a sequence of delays h_k >= 0, one per matrix.

    The model stores what it is given; count_roots and is_stable validate it,
    with the errors and messages of quorv: ValueError for matrices that are
    not all n-by-n, non-finite entries and negative or non-finite delays,
    IndexError for fewer delays than matrices, ValueError "vector too long"
    for no matrices. Needs SciPy (pip install scipy).

    sys.mA and sys.n give the number of matrices and the order, sys.nnz the
    stored entries; sys.A(k) returns a scipy.sparse.csc_array copy of A_k and
    sys.hA() the delays as a writable NumPy view. Models pickle (for process
    pools and Dask) and copy.

    Example:
        >>> import scipy.sparse as sp, pyhalvex
        >>> n = 1000
        >>> ring = sp.diags_array([0.4, 0.4], offsets=[1, 1 - n], shape=(n, n))
        >>> sys = pyhalvex.sparse_quorv([-sp.eye_array(n), ring], [0.0, 1.0])
        >>> sys
        <sparse_quorv n=1000, mA=2, nnz=2000, delays [0.0, 1.0]>
        >>> pyhalvex.is_stable(sys)
        True
    """

    def __init__(self, A: Iterable[Any], hA: Iterable[float], /) -> None:
        import scipy.sparse

        matrices = [scipy.sparse.csc_matrix(a, dtype=np.float64) for a in A]
        super().__init__(matrices, [float(h) for h in hA])

    def A(self, k: int, /) -> Any:
        """A(k, /)

        A copy of the matrix A_k as a scipy.sparse.csc_array. Raises
        IndexError "invalid vector subscript" for k >= mA.
        """
        import scipy.sparse

        return scipy.sparse.csc_array(super().A(k))

    def __repr__(self) -> str:
        return (f"<{type(self).__qualname__} n={self.n}, mA={self.mA}, nnz={self.nnz}, "
                f"delays {self._delays()}>")

    # Pickle and copy rebuild the model from copies of its matrices and of
    # every stored delay, with the instance attributes of a subclass's object.
    def __reduce__(self) -> tuple[Any, ...]:
        state = self.__dict__ or None
        return (type(self), ([self.A(k) for k in range(self.mA)], self._delays()), state)
