"""The typed stubs installed with the module, as a type checker sees them."""
import os
import re
import subprocess
import sys
import textwrap
from pathlib import Path

TYPED_EXAMPLE = Path(__file__).resolve().parents[2] / "examples" / "typed_usage.py"

# Each wrong line names the error code mypy must report for it. If the stubs
# were not found, mypy would report only the import instead.
WRONG_CALLS = textwrap.dedent(
    """
    import numpy as np
    import pyhalvex

    system = pyhalvex.quorv([np.eye(2)], [1.0])
    pyhalvex.roots(system, "0.5")  # arg-type
    pyhalvex.roots(system, r=0.5)  # call-arg
    pyhalvex.roots([np.eye(2)], 0.5)  # arg-type
    pyhalvex.quorv([np.eye(2)])  # call-arg
    system.A("1")  # arg-type
    system.n = 3  # misc
    text: str = pyhalvex.roots(system, 0.0)  # assignment
    count: int = system.mA + system.n
    delays: float = system.hA()  # assignment
    pyhalvex.sensitivity(system, "1j")  # arg-type
    derivatives: list[complex] = pyhalvex.sensitivity(system, 1j)  # assignment
    version: int = pyhalvex.__version__  # assignment
    stable: str = pyhalvex.is_stable(system)  # assignment
    pyhalvex.spectral_abscissa(system, 0.0)  # call-arg
    pyhalvex.spectrum(system, 0.0).count = 2  # misc
    listed: list[complex] = pyhalvex.spectrum(system, 0.0).roots  # assignment
    """
)


def mypy_errors(files, cwd):
    """{(file name, line): error code} of `mypy --strict` run from cwd on the given files."""
    env = {k: v for k, v in os.environ.items() if k != "MYPYPATH"}
    done = subprocess.run(
        [sys.executable, "-m", "mypy", "--strict", "--cache-dir", str(cwd / "cache"), *map(str, files)],
        cwd=cwd, env=env, capture_output=True, text=True,
    )
    assert done.returncode in (0, 1), done.stdout + done.stderr
    pattern = re.compile(r"^(.+?):(\d+): error: .*\[([\w-]+)\]$")
    matches = [pattern.match(line) for line in done.stdout.splitlines()]
    return {(Path(m[1]).name, int(m[2])): m[3] for m in matches if m}, done.stdout


def test_mypy_accepts_the_typed_example_and_reports_wrong_calls_from_the_stubs(tmp_path):
    # Run from an empty directory, so that mypy can only find the stubs that
    # were installed with the module.
    wrong = tmp_path / "wrong_calls.py"
    wrong.write_text(WRONG_CALLS)
    errors, report = mypy_errors([TYPED_EXAMPLE, wrong], tmp_path)

    assert not any(name == TYPED_EXAMPLE.name for name, _ in errors), report
    expected = {
        (wrong.name, number): line.rsplit("# ", 1)[1]
        for number, line in enumerate(WRONG_CALLS.splitlines(), start=1)
        if "# " in line
    }
    assert errors == expected, report
