#!/usr/bin/env python3
"""What a status call costs from Python beside the same call from C++.

Against one unpaced simulated station, rounds alternate between a C++ loop
(the extension ravenlink_bench, bench/StatusCallCost.cpp) and a Python loop
over the package, both in this process and thread, each making COUNT status
calls back to back on a link of its own, as the package makes them
(complete-object reply end, delivered groups). The station runs on one core
and this process on another (--cores same: on the same one). Per round the
median call time of each; the figure is the median of the rounds. Prints one
JSON object; with --check the exit status is 1 when Python costs more than
--limit percent over C++.

    /usr/bin/python3 bench/python_status_cost.py --build build [--check]

The tree is configured with the benchmarks and the package, and what the
benchmark needs is built first, unless --no-build.
"""

import argparse
import json
import os
import select
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path
from types import ModuleType
from typing import Dict, List

SOURCE_DIR = Path(__file__).resolve().parents[1]


def build(tree: Path) -> None:
    subprocess.run(
        ["cmake", "-S", str(SOURCE_DIR), "-B", str(tree), "-DCMAKE_BUILD_TYPE=Release", "-DRAVENLINK_BENCH=ON",
         "-DRAVENLINK_BUILD_PYTHON=ON", "-DRAVENLINK_WERROR=ON"],
        check=True, stdout=subprocess.DEVNULL)
    subprocess.run(
        ["cmake", "--build", str(tree), "-j", "2", "--target", "ravenlink_bench_status", "ravenlink_python",
         "ravenlinkstation"],
        check=True, stdout=subprocess.DEVNULL)


def start_station(tree: Path, link: str, core: int) -> subprocess.Popen:
    station = subprocess.Popen([str(tree / "RavenlinkStation" / "ravenlinkstation"), "--link", link, "--seed", "7"],
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                               preexec_fn=lambda: os.sched_setaffinity(0, {core}))
    assert station.stdout is not None
    ready, _, _ = select.select([station.stdout], [], [], 10.0)
    if not ready or not os.read(station.stdout.fileno(), 256).startswith(b"Station ready on "):
        station.kill()
        raise SystemExit("python_status_cost: the station simulator did not start")
    return station


def cpp_round(bench: ModuleType, port: str, count: int) -> Dict[str, float]:
    times, cpu = bench.status_times(port, count, 1000)
    return {"median_us": statistics.median(times), "cpu_us": cpu}


def python_round(ravenlink: ModuleType, port: str, count: int) -> Dict[str, float]:
    times: List[float] = []
    with ravenlink.StationLink(port, timeout_ms=1000) as link:
        cpu_start = time.thread_time()
        for _ in range(count):
            start = time.perf_counter()
            link.status()
            times.append((time.perf_counter() - start) * 1e6)
        cpu = (time.thread_time() - cpu_start) * 1e6 / count
    return {"median_us": statistics.median(times), "cpu_us": cpu}


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default=str(SOURCE_DIR / "build"), help="build tree (default: build)")
    parser.add_argument("--count", type=int, default=300, help="status calls per round (default 300)")
    parser.add_argument("--rounds", type=int, default=15, help="rounds of each (default 15)")
    parser.add_argument("--limit", type=float, default=5.0, help="percent allowed over C++ (default 5)")
    parser.add_argument("--check", action="store_true", help="exit 1 when the limit is exceeded")
    parser.add_argument("--cores", choices=["split", "same"], default="split",
                        help="station and benchmark on two cores (default) or on one")
    parser.add_argument("--no-build", action="store_true", help="use what is built as it is")
    arguments = parser.parse_args()
    tree = Path(arguments.build).resolve()
    if not arguments.no_build:
        build(tree)
    sys.path[:0] = [str(tree / "RavenlinkPython"), str(tree / "bench")]
    import ravenlink
    import ravenlink_bench

    with tempfile.TemporaryDirectory() as folder:
        port = os.path.join(folder, "station")
        # The same placement for both halves in every round, instead of
        # whatever the scheduler picks.
        cores = sorted(os.sched_getaffinity(0))
        station = start_station(tree, port, cores[-1])
        os.sched_setaffinity(0, {cores[-1] if arguments.cores == "same" else cores[0]})
        try:
            # A round of each to warm the caches and the station, not counted.
            cpp_round(ravenlink_bench, port, 50)
            python_round(ravenlink, port, 50)
            cpp: List[Dict[str, float]] = []
            python: List[Dict[str, float]] = []
            for _ in range(arguments.rounds):
                cpp.append(cpp_round(ravenlink_bench, port, arguments.count))
                python.append(python_round(ravenlink, port, arguments.count))
        finally:
            station.terminate()
            station.wait(5)
    cpp_us = statistics.median(r["median_us"] for r in cpp)
    python_us = statistics.median(r["median_us"] for r in python)
    over = (python_us / cpp_us - 1.0) * 100.0
    print(json.dumps({
        "figure": "python_status_cost", "cores": arguments.cores, "count": arguments.count,
        "rounds": arguments.rounds, "cpp_median_us": round(cpp_us, 2), "python_median_us": round(python_us, 2),
        "python_over_cpp_percent": round(over, 2), "limit_percent": arguments.limit,
        "cpp_cpu_us_per_call": round(statistics.median(r["cpu_us"] for r in cpp), 2),
        "python_cpu_us_per_call": round(statistics.median(r["cpu_us"] for r in python), 2),
        "rounds_cpp_us": [round(r["median_us"], 2) for r in cpp],
        "rounds_python_us": [round(r["median_us"], 2) for r in python],
    }))
    return 1 if arguments.check and over > arguments.limit else 0


if __name__ == "__main__":
    sys.exit(main())
