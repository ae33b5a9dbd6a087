"""The stability chart of x'(t) = a x(t) + b x(t - 1) against the closed-form
stability region, and the chart script run end to end on a small grid."""
import importlib.util
import math
import subprocess
import sys
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

import numpy as np
import pytest
from scipy.special import lambertw

SCRIPT = Path(__file__).resolve().parents[2] / "examples" / "stability_chart.py"
_script = importlib.util.spec_from_file_location("stability_chart", SCRIPT)
chart = importlib.util.module_from_spec(_script)
_script.loader.exec_module(chart)

MARGIN = 0.01


def hayes_samples():
    """(a, b, stable) just inside and just outside the boundary of the stability
    region (Hayes): the real-root branch b = -a for a < 1, where lambda = 0 is a
    root, and the oscillatory branch a = w cot w, b = -w / sin w for w in (0, pi),
    where +-iw are roots. Stable is the side containing (a, b) = (-1, 0)."""
    for a in np.linspace(-2.8, 0.9, 7):
        yield a, -a - MARGIN, True
        yield a, -a + MARGIN, False
    for w in np.linspace(0.3, 2.5, 7):
        a, b = w / math.tan(w), -w / math.sin(w)
        yield a, b + MARGIN, True
        yield a, b - MARGIN, False


@pytest.mark.parametrize("a, b, stable", list(hayes_samples()))
def test_verdicts_on_both_sides_of_the_closed_form_boundary(a, b, stable):
    abscissa = chart.spectral_abscissa(a, b)
    assert (abscissa < 0) == stable, f"abscissa {abscissa} at ({a}, {b})"


@pytest.mark.parametrize(
    "a, b",
    [(-3.0, 0.0), (-3.0, 0.05), (-2.9, -0.3), (-3.0, -3.0), (0.0, -3.0), (3.0, 3.0), (-3.0, 3.0)],
)
def test_abscissa_is_the_principal_lambert_w_root(a, b):
    # The rightmost root of lambda = a + b e^{-lambda} is a + W_0(b e^{-a}): the
    # principal branch has the largest real part.
    expected = a + lambertw(b * math.exp(-a), 0).real
    assert chart.spectral_abscissa(a, b) == pytest.approx(expected, abs=1e-7)


def test_corner_where_the_branches_meet_has_a_double_root_at_zero():
    # At (1, -1), lambda = 1 - e^{-lambda} has lambda = 0 as a double root: both
    # boundary branches end there, and the abscissa is 0.
    assert chart.spectral_abscissa(1.0, -1.0) == pytest.approx(0.0, abs=1e-6)


def test_abscissae_far_left_of_zero_need_no_search_floor():
    # The rightmost roots at -3 and -0.21 lie left of 0, the first far left.
    expected = [a + lambertw(b * math.exp(-a), 0).real for a, b in [(-3.0, 0.0), (-3.0, -3.0)]]
    assert chart.abscissae(np.array([[-3.0, 0.0], [-3.0, -3.0]])) == pytest.approx(expected, abs=1e-8)


def test_sweep_puts_each_chunk_at_its_grid_points():
    a_values, b_values = np.linspace(-3, 3, 5), np.linspace(-2, 2, 4)
    with ThreadPoolExecutor(max_workers=2) as pool:
        swept = chart.sweep(a_values, b_values, pool, chunk=3)
    expected = [[chart.spectral_abscissa(a, b) for a in a_values] for b in b_values]
    assert np.array_equal(swept, expected)


def run_script(output, *options):
    done = subprocess.run(
        [sys.executable, str(SCRIPT), "--grid", "6", "--chunk", "10", "--output", str(output), *options],
        capture_output=True, text=True, timeout=120,
    )
    assert done.returncode == 0, done.stderr
    assert "36 points" in done.stdout, done.stdout
    assert output.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
    return output.read_bytes()


def test_script_draws_the_same_chart_on_a_process_pool_and_on_a_dask_cluster(tmp_path):
    from dask.distributed import LocalCluster

    on_pool = run_script(tmp_path / "pool.png", "--workers", "2")
    # A cluster in this process, reachable over loopback TCP by the script.
    with LocalCluster(processes=False, n_workers=1, threads_per_worker=1, protocol="tcp",
                      host="127.0.0.1", dashboard_address=None) as cluster:
        on_cluster = run_script(tmp_path / "dask.png", "--scheduler", cluster.scheduler_address)
    assert on_cluster == on_pool
