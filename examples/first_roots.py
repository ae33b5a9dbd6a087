"""The rightmost characteristic roots of x'(t) = -x(t - 1), and its stability verdict."""
import numpy as np

import pyhalvex

# One scalar equation: matrix [[-1]] at delay 1.
sys = pyhalvex.quorv([np.array([[-1.0]])], [1.0])
r = -3.0
found = pyhalvex.roots(sys, r)

# The list may hold a root more than once (two candidates refining to it); show each once.
distinct = []
for lam in sorted(found, key=lambda z: (-z.real, -z.imag)):
    if all(abs(lam - mu) > 1e-9 * max(1.0, abs(mu)) for mu in distinct):
        distinct.append(lam)

print(f"x'(t) = -x(t - 1): {len(distinct)} roots with Re >= {r}")
for lam in distinct:
    print(f"  {lam.real:+.10f} {lam.imag:+.10f}i")
abscissa = max(lam.real for lam in distinct)
verdict = "asymptotically stable" if abscissa < 0 else "not asymptotically stable"
print(f"rightmost real part {abscissa:.10f}: {verdict}")
