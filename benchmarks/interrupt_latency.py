"""Time from SIGINT to KeyboardInterrupt during a long roots call.

    .venv/bin/python benchmarks/interrupt_latency.py [--order N] [--repeat K]

A timer thread sends SIGINT to this process one second into a call on a
random system with four matrices (several seconds at order 28, most of it in
the degree estimate and the refinement); prints the latency of each round.
"""
import argparse
import os
import signal
import threading
import time

import numpy as np

from pyhalvex import quorv, roots


def one_round(model):
    sent = []

    def interrupt():
        sent.append(time.perf_counter())
        os.kill(os.getpid(), signal.SIGINT)

    threading.Timer(1.0, interrupt).start()
    try:
        roots(model, -1.0)
    except KeyboardInterrupt:
        return time.perf_counter() - sent[0]
    raise SystemExit("the call ended before the signal; choose a larger --order")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--order", type=int, default=28)
    parser.add_argument("--repeat", type=int, default=5)
    args = parser.parse_args()
    rng = np.random.default_rng(1)
    model = quorv([rng.standard_normal((args.order, args.order)) / 4 for _ in range(4)],
                  [0.0, 0.3, 0.7, 1.0])
    latencies = [one_round(model) for _ in range(args.repeat)]
    print(f"n = {args.order}, latency from SIGINT to KeyboardInterrupt (ms): "
          + ", ".join(f"{1000 * t:.1f}" for t in latencies))


if __name__ == "__main__":
    main()
