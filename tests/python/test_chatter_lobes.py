"""The chatter example's critical gains against the closed-form lobes."""
import subprocess
import sys
from pathlib import Path

import numpy as np
import pytest

EXAMPLES = Path(__file__).resolve().parents[2] / "examples"
sys.path.insert(0, str(EXAMPLES))
import chatter_lobes  # noqa: E402


@pytest.mark.parametrize("tau", [0.5, 3.0, 6.2, 6.4, 11.0, 19.5])
def test_critical_gain_lies_on_the_closed_form_lobes(tau):
    # 6.2 and 6.4 sit either side of the cusp where the second lobe takes over.
    assert chatter_lobes.critical_gain(tau, rtol=1e-5) == pytest.approx(chatter_lobes.closed_form_gain(tau), rel=1e-4)


def test_lowest_gain_of_the_lobes_is_the_known_minimum():
    zeta = chatter_lobes.ZETA
    lowest = min(chatter_lobes.closed_form_gain(tau) for tau in np.linspace(4.0, 5.5, 301))
    assert lowest == pytest.approx(2 * zeta * (1 + zeta), rel=1e-3)


def test_script_draws_the_lobes(tmp_path):
    output = tmp_path / "lobes.png"
    done = subprocess.run(
        [sys.executable, str(EXAMPLES / "chatter_lobes.py"), "--points", "12", "--workers", "2",
         "--chunk", "5", "--rtol", "1e-4", "--output", str(output)],
        capture_output=True, text=True, timeout=120,
    )
    assert done.returncode == 0, done.stderr
    error = float(done.stdout.split("closed form: ")[1].split()[0])
    assert error < 1e-4, done.stdout
    assert output.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
