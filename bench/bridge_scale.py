#!/usr/bin/env python3
"""The bridge's scale sweep: for 1, 4, 16 and 64 simulated stations, the
shortest interval one bridge holds (every reading published, every one
received, at least 95 % of the target rate), then 16 stations at 5 readings a
second for a longer run that must lose nothing. Prints a Markdown table.

Run through scripts/bench-bridge.sh, which builds what it needs."""
import argparse
import json
import subprocess
import sys

INTERVALS = [0.5, 0.2, 0.1, 0.05, 0.02, 0.01, 0.005, 0.002, 0.001]


def run(args, stations, interval, seconds):
    out = subprocess.run([args.scale, "--bridge", args.bridge, "--station", args.station, "--stations",
                          str(stations), "--interval", str(interval), "--seconds", str(seconds)],
                         check=True, capture_output=True, text=True).stdout
    result = json.loads(out.strip().splitlines()[-1])
    result["holds"] = result["gaps"] == 0 and result["rate"] >= 0.95 * result["target"]
    print(f"  {stations:3d} stations, interval {interval:g} s: {result['rate']:.0f}/s of {result['target']:.0f}/s, "
          f"gaps {result['gaps']}, CPU bridge {result['cpuPercent']:.1f} %, broker {result['brokerCpuPercent']:.1f} %, "
          f"stations {result['stationsCpuPercent']:.1f} %", file=sys.stderr)
    return result


def row(r, label=None):
    return (f"| {label or r['stations']} | {r['interval']:g} s | {r['rate']:.0f} | {r['delayMedianMs']} ms | "
            f"{r['delayP99Ms']} ms | {r['gaps']} | {r['cpuPercent']:.1f} % | {r['rssKb'] / 1024:.1f} MiB | {r['threads']} | "
            f"{r['brokerCpuPercent']:.0f} % | {r['stationsCpuPercent']:.0f} % |")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--scale", required=True)
    parser.add_argument("--bridge", required=True)
    parser.add_argument("--station", required=True)
    parser.add_argument("--seconds", type=float, default=8)
    parser.add_argument("--check-seconds", type=float, default=30)
    parser.add_argument("--counts", default="1,4,16,64")
    args = parser.parse_args()

    best = []
    for stations in [int(n) for n in args.counts.split(",")]:
        held = None
        for interval in INTERVALS:
            result = run(args, stations, interval, args.seconds)
            if not result["holds"]:
                break
            held = result
        if held:
            best.append(held)
    check = run(args, 16, 0.2, args.check_seconds)

    print("| stations | shortest interval held | messages/s | delay median | delay p99 | readings lost "
          "| bridge CPU (of one core) | bridge RSS | bridge threads | broker CPU | simulators' CPU |")
    print("|---|---|---|---|---|---|---|---|---|---|---|")
    for r in best:
        print(row(r))
    print(row(check, f"16 (5 readings/s for {args.check_seconds:g} s)"))
    expected = 16 * 5 * args.check_seconds
    print(f"\n16 stations x 5 readings/s: {check['messages']} statuses received of about {expected:.0f}, "
          f"{check['gaps']} lost")
    return 0 if check["gaps"] == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
