"""The examples of examples/python run against the simulator."""

import csv
import io
import subprocess
import sys

from conftest import SOURCE_DIR, python_env

EXAMPLES = SOURCE_DIR / "examples" / "python"


def run_example(name, *arguments):
    return subprocess.run(
        [sys.executable, str(EXAMPLES / name), *arguments],
        capture_output=True, text=True, timeout=60, check=False, env=python_env(),
    )


def test_monitor_logs_csv_and_goes_on_after_the_station_is_gone(start_station):
    # The handshake and two readings, then the station vanishes.
    station = start_station("--vanish-after", "3")
    done = run_example("monitor.py", "--port", station.port, "--interval", "0.05", "--count", "4")
    assert done.returncode == 0, done.stderr
    rows = list(csv.DictReader(io.StringIO(done.stdout)))
    assert len(rows) == 4
    assert all(row["length"] and not row["error"] for row in rows[:2])
    assert all(row["error"].startswith("IO Exception: ") and not row["length"] for row in rows[2:])


def test_two_stations_are_read_in_threads(start_station):
    ports = [start_station("--delay", "50").port for _ in range(2)]
    done = run_example("two_stations.py", *ports, "--count", "3")
    assert done.returncode == 0, done.stderr
    lines = done.stdout.splitlines()
    assert [line.split(":")[0] for line in lines[:2]] == ports
    assert all(", ok" in line for line in lines[:2]) and lines[2].startswith("all stations in ")


def test_the_readme_example_logs_the_cable_length(station, tmp_path):
    readme = (SOURCE_DIR / "README.md").read_text(encoding="utf-8")
    section = readme[readme.index("## Python: the ravenlink package"):]
    code = section[section.index("```python\n") + 10:section.index("```\n", section.index("```python\n") + 10)]
    # Two readings instead of a minute of them, on the simulator.
    code = code.replace('"/dev/ttyUSB0"', repr(station.port)).replace("range(60)", "range(2)")
    code = code.replace("time.sleep(1)", "time.sleep(0.01)")
    done = subprocess.run([sys.executable, "-c", code], cwd=tmp_path, env=python_env(),
                          capture_output=True, text=True, timeout=60, check=False)
    assert done.returncode == 0, done.stderr
    rows = list(csv.reader((tmp_path / "cable.csv").open(encoding="utf-8")))
    assert rows[0] == ["time", "length"] and len(rows) == 3 and all(float(row[1]) >= 0 for row in rows[1:])
