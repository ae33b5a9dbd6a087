"""Long calls: Ctrl-C ends them, other threads run while they compute, and an
allocation that fails says what did not fit."""
import signal
import subprocess
import sys
import textwrap
import threading
import time

import numpy as np
import pytest

from pyhalvex import quorv, roots
from test_roots import lambert_roots

# A call of a few seconds, nearly all of it in the degree estimate's
# thousands of sampled eigenvalue problems (order 20 still samples the fine
# phase grid).
INTERRUPTED = textwrap.dedent(
    """
    import time
    import numpy as np
    from pyhalvex import quorv, roots
    rng = np.random.default_rng(1)
    model = quorv([rng.standard_normal((20, 20)) / 4 for _ in range(4)], [0.0, 0.3, 0.7, 1.0])
    print("ready", flush=True)
    start = time.perf_counter()
    try:
        roots(model, -1.0)
        print("not interrupted", flush=True)
    except KeyboardInterrupt:
        interrupted = time.perf_counter() - start
        start = time.perf_counter()
        roots(model, -1.0)
        print(interrupted, time.perf_counter() - start, flush=True)
    print(roots(quorv([np.array([[-2.0]])], [0.0]), -5.0), flush=True)
    """
)


@pytest.mark.xdist_group("ctrl_c")
def test_ctrl_c_ends_a_long_call_and_the_process_carries_on():
    child = subprocess.Popen([sys.executable, "-c", INTERRUPTED], stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, text=True)
    assert child.stdout.readline() == "ready\n"
    time.sleep(0.5)
    child.send_signal(signal.SIGINT)
    out, err = child.communicate(timeout=600)
    assert child.returncode == 0 and "leak" not in err, err
    timings, small = out.splitlines()
    interrupted, whole = map(float, timings.split())
    # Signalled half a second in, the call ends long before it would have.
    assert whole > 2 * interrupted, (interrupted, whole)
    assert small == "[(-2+0j)]"


# spectrum as roots above; spectral_abscissa on a ring of 200 units, whose
# counts take seconds; roots on that ring, half a second into the
# eigenvalues of its pencil of order 2000, a single LAPACK call of seconds
# that the stop abandons (the call after it runs while that one finishes).
INTERRUPTED_CALL = textwrap.dedent(
    """
    import time
    import numpy as np
    from pyhalvex import quorv, roots, spectral_abscissa, spectrum
    rng = np.random.default_rng(1)
    model = quorv([rng.standard_normal((20, 20)) / 4 for _ in range(4)], [0.0, 0.3, 0.7, 1.0])
    up = np.roll(np.eye(200), 1, axis=1)
    ring = quorv([-np.eye(200) + 0.3 * (up + up.T), -0.8 * np.eye(200), 0.2 * up], [0.0, 1.0, 2.0])
    call = lambda: {call}
    print("ready", flush=True)
    start = time.perf_counter()
    try:
        call()
        print("not interrupted", flush=True)
    except KeyboardInterrupt:
        interrupted = time.perf_counter() - start
        start = time.perf_counter()
        call()
        print(interrupted, time.perf_counter() - start, flush=True)
    """
)


@pytest.mark.xdist_group("ctrl_c")
@pytest.mark.parametrize("call", ["spectrum(model, -1.0)", "spectral_abscissa(ring)", "roots(ring, -1.0)"])
def test_ctrl_c_ends_spectrum_and_spectral_abscissa(call):
    child = subprocess.Popen([sys.executable, "-c", INTERRUPTED_CALL.replace("{call}", call)],
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    assert child.stdout.readline() == "ready\n"
    time.sleep(0.5)
    child.send_signal(signal.SIGINT)
    out, err = child.communicate(timeout=900)
    assert child.returncode == 0, err
    interrupted, whole = map(float, out.split())
    assert whole > 2 * interrupted, (interrupted, whole)


def test_writes_through_a_view_during_a_call_never_reach_it():
    # Two versions of a system similar to the diagonal modes lambda = a_i + b_i e^{-lambda};
    # a writer thread swaps their A_0 through the view A(0) while roots runs.
    S = np.array([[1.0, 2.0], [-1.0, 0.5]])
    similar = lambda d: S @ np.diag(d) @ np.linalg.inv(S)
    b, versions, r = [0.5, -0.7], [[-1.0, -2.0], [0.2, -0.5]], -2.5
    truths = [[lam for a_i, b_i in zip(a, b) for lam in lambert_roots(a_i, b_i, 1.0, r)]
              for a in versions]
    model = quorv([similar(versions[0]), similar(b)], [0.0, 1.0])
    swapped = [similar(versions[1]), similar(versions[0])]
    done = threading.Event()

    def writer():
        view, count = model.A(0), 0
        while not done.is_set():
            view[:] = swapped[count % 2]
            count += 1

    def is_roots_of(found, truth):
        found = [lam for lam in found if lam.real >= r + 0.05]
        truth = [lam for lam in truth if lam.real >= r + 0.05]
        return len(found) == len(truth) and all(
            min(abs(lam - t) for t in truth) < 1e-8 for lam in found)

    thread = threading.Thread(target=writer)
    thread.start()
    try:
        results = [roots(model, r) for _ in range(30)]
    finally:
        done.set()
        thread.join()
    assert all(any(is_roots_of(found, t) for t in truths) for found in results)


def test_an_allocation_that_fails_names_what_did_not_fit():
    # 60 MiB more address space than the process has: too little for the
    # 130 MB standard form of a pencil of order 4040.
    script = textwrap.dedent(
        """
        import resource, warnings
        import numpy as np
        from pyhalvex import quorv, roots
        warnings.simplefilter("ignore")
        model = quorv([-np.eye(40), np.random.default_rng(0).standard_normal((40, 40)) / 4], [0, 1])
        roots(quorv([np.array([[-1.0]])], [1.0]), -1.0)
        size = next(int(line.split()[1]) for line in open("/proc/self/status")
                    if line.startswith("VmSize")) * 1024
        resource.setrlimit(resource.RLIMIT_AS, (size + 60 * 2**20, resource.RLIM_INFINITY))
        try:
            roots(model, -10.0)
        except MemoryError as error:
            print(error)
        """
    )
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True)
    assert done.stdout == ("not enough memory for the eigenvalues of the pencil of order 4040 "
                           "(the system of order 40 at degree 100)\n"), done.stderr
