#!/usr/bin/env python3
"""Logs a ground station's status as CSV, one row a reading.

    python3 monitor.py --port /dev/ttyUSB0 --interval 1 --output run.csv

A reading that fails (the station gone, no reply in time) is a row with only
the time and the error; the monitor goes on and opens the port again at the
next reading. A group the station did not send leaves its columns empty.
Ctrl-C, or --count readings, ends it with the file complete.
"""

import argparse
import csv
import sys
import time
from datetime import datetime, timezone
from typing import Dict, Optional, TextIO

import ravenlink

COLUMNS = ["time", "length", "speed", "temp1", "mainsU", "uavPower", "activation", "error"]


def reading(link: ravenlink.StationLink) -> Dict[str, object]:
    status = link.status()
    row: Dict[str, object] = {}
    if status.cab is not None:
        row.update(length=status.cab.length, speed=status.cab.speed)
    if status.env is not None:
        row.update(temp1=status.env.temp1)
    if status.energyGS is not None:
        row.update(mainsU=status.energyGS.mainsU)
    if status.energyUAV is not None:
        row.update(uavPower=status.energyUAV.uavPower)
    if status.sysState is not None:
        row.update(activation=status.sysState.activation)
    return row


def monitor(port: str, interval: float, count: Optional[int], out: TextIO) -> None:
    writer = csv.DictWriter(out, COLUMNS, lineterminator="\n")
    writer.writeheader()
    link = ravenlink.StationLink(timeout_ms=1000)
    done = 0
    while count is None or done < count:
        stamp = datetime.now(timezone.utc).isoformat(timespec="milliseconds")
        try:
            if not link.connected:
                link.open(port)
            row = reading(link)
        except ravenlink.Error as error:
            row = {"error": str(error)}
            link.close()
        writer.writerow({"time": stamp, **row})
        out.flush()
        done += 1
        if count is None or done < count:
            time.sleep(interval)
    link.close()


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--port", required=True, help="serial port of the station")
    parser.add_argument("--interval", type=float, default=1.0, help="seconds between readings (default 1)")
    parser.add_argument("--count", type=int, help="stop after N readings")
    parser.add_argument("--output", help="CSV file to write (default: standard output)")
    arguments = parser.parse_args()
    try:
        if arguments.output:
            with open(arguments.output, "w", encoding="utf-8", newline="") as out:
                monitor(arguments.port, arguments.interval, arguments.count, out)
        else:
            monitor(arguments.port, arguments.interval, arguments.count, sys.stdout)
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
