"""Time from SIGINT to KeyboardInterrupt during long roots, spectrum and
spectral_abscissa calls.

    .venv/bin/python benchmarks/interrupt_latency.py [--order N] [--units U] [--repeat K]

A timer thread sends SIGINT to this process one second into each call; prints
the latency of each round and how long the call takes when not interrupted
(it should be several seconds). roots and spectrum run at r = -1 on a random
system with four matrices (several seconds at order 64, most of it in the
pencil, the count and the completion); roots once more on the ring of
--units units, whose pencil (of order 2000 for 200 units) is a single LAPACK
call of seconds that the signal reaches in the middle; spectral_abscissa,
which needs far less of the spectrum, on the same ring, whose counts take the
time. The latency of each stage of a call on its own is measured by
build/bench/bench_interrupt (bash benchmarks/run.sh bench_interrupt).
"""
import argparse
import os
import signal
import threading
import time

import numpy as np

from pyhalvex import quorv, roots, spectral_abscissa, spectrum


def one_round(call):
    sent = []

    def interrupt():
        sent.append(time.perf_counter())
        os.kill(os.getpid(), signal.SIGINT)

    threading.Timer(1.0, interrupt).start()
    try:
        call()
    except KeyboardInterrupt:
        return time.perf_counter() - sent[0]
    raise SystemExit("the call ended before the signal; choose a larger system")


def ring(units):
    """x_i' = -x_i + 0.3 (x_{i-1} + x_{i+1}) - 0.8 x_i(t - 1) + 0.2 x_{i+1}(t - 2), closed."""
    up = np.roll(np.eye(units), 1, axis=1)
    return quorv([-np.eye(units) + 0.3 * (up + up.T), -0.8 * np.eye(units), 0.2 * up], [0.0, 1.0, 2.0])


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--order", type=int, default=64)
    parser.add_argument("--units", type=int, default=200)
    parser.add_argument("--repeat", type=int, default=5)
    args = parser.parse_args()
    rng = np.random.default_rng(1)
    model = quorv([rng.standard_normal((args.order, args.order)) / 4 for _ in range(4)],
                  [0.0, 0.3, 0.7, 1.0])
    ring_model = ring(args.units)
    calls = {
        f"roots, n = {args.order}": lambda: roots(model, -1.0),
        f"spectrum, n = {args.order}": lambda: spectrum(model, -1.0),
        f"roots, ring of {args.units}, in its pencil's eigenvalues": lambda: roots(ring_model, -1.0),
        f"spectral_abscissa, ring of {args.units}": lambda: spectral_abscissa(ring_model),
    }
    for name, call in calls.items():
        start = time.perf_counter()
        call()
        whole = time.perf_counter() - start
        latencies = [one_round(call) for _ in range(args.repeat)]
        print(f"{name}: whole call {whole:.1f} s, latency from SIGINT to KeyboardInterrupt (ms): "
              + ", ".join(f"{1000 * t:.1f}" for t in latencies), flush=True)


if __name__ == "__main__":
    main()
