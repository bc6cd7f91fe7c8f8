#!/usr/bin/env python3
"""Reads two (or more) ground stations at once, one thread each.

    python3 two_stations.py /dev/ttyUSB0 /dev/ttyUSB1 --count 10

Every call that waits for a station releases the interpreter lock, so the
threads wait side by side: the run takes about as long as the slowest
station, not the sum of all. Prints one line per station and the time taken.
"""

import argparse
import sys
import threading
import time
from typing import Dict, List

import ravenlink


def watch(port: str, count: int, results: Dict[str, str]) -> None:
    try:
        with ravenlink.StationLink(port, timeout_ms=2000) as link:
            lengths: List[float] = []
            for _ in range(count):
                cab = link.status().cab
                if cab is not None:
                    lengths.append(cab.length)
            health = link.check()
        longest = max(lengths) if lengths else float("nan")
        results[port] = f"{count} readings, longest cable {longest:.2f} m, {health.state}"
    except ravenlink.Error as error:
        results[port] = f"failed: {error}"


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("ports", nargs="+", help="serial ports of the stations")
    parser.add_argument("--count", type=int, default=10, help="readings per station (default 10)")
    arguments = parser.parse_args()
    results: Dict[str, str] = {}
    start = time.monotonic()
    threads = [threading.Thread(target=watch, args=(port, arguments.count, results)) for port in arguments.ports]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    for port in arguments.ports:
        print(f"{port}: {results[port]}")
    print(f"all stations in {time.monotonic() - start:.2f} s")
    return 0 if all(not text.startswith("failed") for text in results.values()) else 1


if __name__ == "__main__":
    sys.exit(main())
