"""What the tests of the Python package share: the build tree, simulated
stations that are started and always stopped, and ravenlinkctl.

Run from the build tree, as scripts/ravenlink.sh test does:
    PYTHONPATH=BUILD/RavenlinkPython /usr/bin/python3 -m pytest tests/python
RAVENLINK_BUILD_DIR names BUILD when the package comes from elsewhere.
"""

import json
import os
import select
import subprocess
import time
from pathlib import Path
from typing import Callable, Iterator, List

import pytest

import ravenlink

SOURCE_DIR = Path(__file__).resolve().parents[2]
# The package lies in BUILD/RavenlinkPython/ravenlink/.
BUILD_DIR = Path(os.environ.get("RAVENLINK_BUILD_DIR", Path(ravenlink.__file__).resolve().parents[2]))
# The folder that holds the package, for Python programs that the tests start.
PACKAGE_PARENT = Path(ravenlink.__file__).resolve().parents[1]
STATION = BUILD_DIR / "RavenlinkStation" / "ravenlinkstation"
CTL = BUILD_DIR / "RavenlinkCtl" / "ravenlinkctl"
# Every wait of the tests ends by this bound.
START_SECONDS = 10.0
STOP_SECONDS = 5.0


class Station:
    """One ravenlinkstation process; `port` is the link it made."""

    def __init__(self, port: Path, options: List[str]) -> None:
        self.port = str(port)
        self.process = subprocess.Popen(
            [str(STATION), "--link", self.port, *options],
            stdout=subprocess.PIPE,
            stderr=subprocess.DEVNULL,
        )
        assert self.process.stdout is not None
        deadline = time.monotonic() + START_SECONDS
        line = b""
        while not line.endswith(b"\n") and time.monotonic() < deadline:
            ready, _, _ = select.select([self.process.stdout], [], [], deadline - time.monotonic())
            if not ready:
                break
            chunk = os.read(self.process.stdout.fileno(), 256)
            if not chunk:
                break
            line += chunk
        if not line.startswith(b"Station ready on "):
            self.stop()
            raise RuntimeError(f"ravenlinkstation did not start: {line!r}")

    def stop(self) -> None:
        self.process.terminate()
        try:
            self.process.wait(STOP_SECONDS)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait(STOP_SECONDS)
        assert self.process.stdout is not None
        self.process.stdout.close()


@pytest.fixture
def start_station(tmp_path: Path) -> Iterator[Callable[..., Station]]:
    """start_station("--delay", "300") starts a station with those options."""
    started: List[Station] = []

    def start(*options: str) -> Station:
        station = Station(tmp_path / f"station-{len(started)}", list(options))
        started.append(station)
        return station

    yield start
    for station in started:
        station.stop()


@pytest.fixture
def station(start_station: Callable[..., Station]) -> Station:
    return start_station()


@pytest.fixture
def link(station: Station) -> Iterator[ravenlink.StationLink]:
    with ravenlink.StationLink(station.port, timeout_ms=1000) as opened:
        yield opened


def python_env() -> dict:
    """The environment for a Python program that imports this package."""
    return dict(os.environ, PYTHONPATH=str(PACKAGE_PARENT))


def ctl_json(port: str, *arguments: str) -> object:
    """What `ravenlinkctl --json ARGUMENTS` prints, loaded."""
    done = subprocess.run(
        [str(CTL), "-p", port, "-t", "1000", "--json", *arguments],
        capture_output=True,
        timeout=30,
        check=False,
    )
    assert done.returncode in (0, 1, 2, 3) and done.stdout, done.stderr
    return json.loads(done.stdout)


def ctl_text(port: str, *arguments: str) -> str:
    done = subprocess.run(
        [str(CTL), "-p", port, "-t", "1000", *arguments], capture_output=True, timeout=30, check=True
    )
    return done.stdout.decode("utf-8")
