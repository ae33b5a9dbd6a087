"""A first result: the system x'(t) = -x(t - 1) as a model, read back."""
import numpy as np

import pyhalvex

sys = pyhalvex.quorv([np.array([[-1.0]])], [1.0])
print(pyhalvex.__doc__)
print(f"x'(t) = {sys.A(0)[0, 0]:g} x(t - {sys.hA()[0]:g}): {sys.mA} matrix of order {sys.n}")
