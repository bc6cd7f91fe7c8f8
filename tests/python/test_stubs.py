"""The stubs: mypy's stubtest finds them true to the module, and the
examples type-check with them under --strict."""

import os
import subprocess
import sys
from pathlib import Path

from conftest import PACKAGE_PARENT, SOURCE_DIR


def run_mypy(tool, arguments, cwd):
    # A folder of its own keeps mypy's cache out of the source tree.
    env = dict(os.environ, PYTHONPATH=str(PACKAGE_PARENT), MYPYPATH=str(PACKAGE_PARENT))
    return subprocess.run(
        [sys.executable, "-m", tool, *arguments],
        capture_output=True, text=True, timeout=300, cwd=cwd, env=env, check=False,
    )


def test_stubtest_finds_the_stubs_true(tmp_path):
    allowlist = Path(__file__).with_name("stubtest-allowlist.txt")
    done = run_mypy("mypy.stubtest", ["ravenlink", "--allowlist", str(allowlist)], tmp_path)
    assert done.returncode == 0, done.stdout + done.stderr


def test_the_examples_type_check_strictly(tmp_path):
    examples = sorted(str(path) for path in (SOURCE_DIR / "examples" / "python").glob("*.py"))
    done = run_mypy("mypy", ["--strict", *examples], tmp_path)
    assert done.returncode == 0, done.stdout + done.stderr
