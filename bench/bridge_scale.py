#!/usr/bin/env python3
"""The bridge's scale sweep: for 1, 4, 16 and 64 simulated stations, the
shortest interval one bridge holds (every reading published, every one
received, at least 95 % of the target rate), then 16 stations at 5 readings a
second for a longer run that must lose nothing. Prints a Markdown table.

Then what one bridge spends beside the work (--costs, or --costs-only
without the sweep), each against --baseline-bridge when given (an earlier
build of the bridge, same run, same machine):
- 64 paced stations at 1 reading a second with 2 commands a second: the
  bridge's CPU, its context switches per second, command round trip p50/p99;
- 64 idle stations (one reading at start, then none): context switches per
  second of all the bridge's threads;
- commands against a stock broker (set_tcp_nodelay false) and one that sets
  it, 1 and 4 stations: command round trip p50;
- a one-shot `ravenlinkctl status` against a one-shot Python script
  (bench/oneshot_peer.py: what a pyserial script does, on termios directly)
  and, where pyserial is installed, a pyserial script (bench/peer_client.py
  --count 1); process start to end, median; and --baseline-ctl.
Exits 1 when a target is missed.

Run through scripts/bench-bridge.sh, which builds what it needs."""
import argparse
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

INTERVALS = [0.5, 0.2, 0.1, 0.05, 0.02, 0.01, 0.005, 0.002, 0.001]


def run(args, stations, interval, seconds, bridge=None, extra=()):
    out = subprocess.run([args.scale, "--bridge", bridge or args.bridge, "--station", args.station, "--stations",
                          str(stations), "--interval", str(interval), "--seconds", str(seconds), *extra],
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


def median_of(runs, key):
    return statistics.median(r[key] for r in runs)


def cost_runs(args, bridge, stations, interval, extra, rounds):
    return [run(args, stations, interval, args.cost_seconds, bridge, extra) for _ in range(rounds)]


def one_shots(command, count):
    """Wall milliseconds of \p count runs of \p command, each a whole process."""
    times = []
    for _ in range(count):
        start = time.perf_counter()
        subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        times.append(1000 * (time.perf_counter() - start))
    return statistics.median(times)


def one_shot_table(args):
    with tempfile.TemporaryDirectory() as scratch:
        link = os.path.join(scratch, "station")
        station = subprocess.Popen([args.station, "--link", link], stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
        try:
            for _ in range(300):
                if os.path.exists(link):
                    break
                time.sleep(0.02)
            contenders = [("ravenlinkctl status", [args.ctl, "-p", link, "status"])]
            if args.baseline_ctl:
                contenders.append(("ravenlinkctl status, before", [args.baseline_ctl, "-p", link, "status"]))
            contenders.append(("Python script", [args.python, args.peer_client, link]))
            # The pyserial client too, where pyserial is installed.
            if args.pyserial_client and subprocess.run([args.python, "-c", "import serial"],
                                                       capture_output=True).returncode == 0:
                contenders.append(("pyserial script", [args.python, args.pyserial_client, "--port", link,
                                                       "--count", "1"]))
            figures = {name: [] for name, _ in contenders}
            # Rounds in turn, so that a change of load falls on all alike.
            for _ in range(args.one_shot_rounds):
                for name, command in contenders:
                    figures[name].append(one_shots(command, 10))
        finally:
            station.terminate()
            station.wait()
    peer = statistics.median(figures["Python script"])
    pyserial = statistics.median(figures["pyserial script"]) if "pyserial script" in figures else None
    print("\nOne-shot status against an unpaced simulator, process start to end (median of "
          f"{args.one_shot_rounds} rounds of 10 runs each):\n")
    print("| program | wall (ms) | / Python script | / pyserial script |")
    print("|---|---|---|---|")
    for name, _ in contenders:
        value = statistics.median(figures[name])
        print(f"| {name} | {value:.2f} | {value / peer:.3f} | "
              f"{f'{value / pyserial:.3f}' if pyserial else 'n/m'} |")
    return statistics.median(figures["ravenlinkctl status"]), (
        statistics.median(figures["ravenlinkctl status, before"]) if args.baseline_ctl else None)


def costs(args):
    """The cost tables; returns the list of missed targets."""
    missed = []
    bridges = [("now", args.bridge)] + ([("before", args.baseline_bridge)] if args.baseline_bridge else [])
    rounds = args.cost_rounds
    paced, idle, stock = {}, {}, {}
    # The contenders take turns in every round.
    for _ in range(rounds):
        for name, bridge in bridges:
            paced.setdefault(name, []).extend(
                cost_runs(args, bridge, args.cost_stations, 1, ["--paced", "1", "--commands", "2"], 1))
            idle.setdefault(name, []).extend(cost_runs(args, bridge, args.cost_stations, 86400, [], 1))
            for broker in ("stock", "stock-qos0", "nodelay"):
                for count in (1, 4):
                    extra = ["--commands", "5"] + (["--stock-broker", "1"] if broker != "nodelay" else []) + (
                        ["--command-qos", "0"] if broker == "stock-qos0" else [])
                    stock.setdefault((name, broker, count), []).extend(cost_runs(args, bridge, count, 1, extra, 1))

    n = args.cost_stations
    print(f"\n{n} paced stations at 1 reading a second, 2 commands a second ({args.cost_seconds:g} s, "
          f"median of {rounds}):\n")
    print("| bridge | CPU (of one core) | context switches/s | command p50 | command p99 | readings lost "
          "| commands lost |")
    print("|---|---|---|---|---|---|---|")
    for name, _ in bridges:
        r = paced[name]
        print(f"| {name} | {median_of(r, 'cpuPercent'):.1f} % | {median_of(r, 'switchesPerSecond'):.0f} | "
              f"{median_of(r, 'commandP50Ms'):.2f} ms | {median_of(r, 'commandP99Ms'):.2f} ms | "
              f"{sum(x['gaps'] for x in r)} | {sum(x['commandsLost'] for x in r)} |")
    if "before" in paced:
        cpu_ratio = median_of(paced["now"], "cpuPercent") / max(median_of(paced["before"], "cpuPercent"), 1e-9)
        p50_ratio = median_of(paced["now"], "commandP50Ms") / max(median_of(paced["before"], "commandP50Ms"), 1e-9)
        print(f"\nPaced CPU now / before: {cpu_ratio:.2f} (target <= 0.5); command p50 now / before: "
              f"{p50_ratio:.2f} (target <= 1.1)")
        if cpu_ratio > 0.5:
            missed.append("paced CPU")
        if p50_ratio > 1.1:
            missed.append("paced command p50")

    print(f"\n{n} idle stations (one reading at start, then none; {args.cost_seconds:g} s, median of {rounds}):\n")
    print("| bridge | context switches/s (all threads) | CPU (of one core) | threads | target <= 70/s |")
    print("|---|---|---|---|---|")
    for name, _ in bridges:
        r = idle[name]
        switches = median_of(r, "switchesPerSecond")
        verdict = "met" if switches <= 70 else "MISSED"
        if name == "now" and switches > 70:
            missed.append("idle context switches")
        print(f"| {name} | {switches:.0f} | {median_of(r, 'cpuPercent'):.2f} % | {r[0]['threads']} | {verdict} |")

    print(f"\nCommand round trip p50 (unpaced, 1 reading a second, 5 commands a second; {args.cost_seconds:g} s, "
          f"median of {rounds}):\n")
    print("| bridge | stations | stock broker (set_tcp_nodelay false), QoS 1 command | stock broker, QoS 0 command "
          "| set_tcp_nodelay true, QoS 1 command |")
    print("|---|---|---|---|---|")
    for name, _ in bridges:
        for count in (1, 4):
            print(f"| {name} | {count} | {median_of(stock[(name, 'stock', count)], 'commandP50Ms'):.2f} ms | "
                  f"{median_of(stock[(name, 'stock-qos0', count)], 'commandP50Ms'):.2f} ms | "
                  f"{median_of(stock[(name, 'nodelay', count)], 'commandP50Ms'):.2f} ms |")
    # The stall behind a stock broker is on the broker's own connection to
    # the operator (its acknowledgement of a QoS 1 command, then the result),
    # which no setting of the bridge reaches: no target, but a broker that
    # sets set_tcp_nodelay must not stall.
    for count in (1, 4):
        if median_of(stock[("now", "nodelay", count)], "commandP50Ms") > 20:
            missed.append(f"command p50 at {count} stations")

    if args.ctl:
        now, before = one_shot_table(args)
        if before is not None and now > before:
            missed.append("one-shot status")
    return missed


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--scale", required=True)
    parser.add_argument("--bridge", required=True)
    parser.add_argument("--station", required=True)
    parser.add_argument("--seconds", type=float, default=8)
    parser.add_argument("--check-seconds", type=float, default=30)
    parser.add_argument("--counts", default="1,4,16,64")
    parser.add_argument("--costs", action="store_true", help="also the cost tables")
    parser.add_argument("--costs-only", action="store_true", help="only the cost tables, no sweep")
    parser.add_argument("--cost-seconds", type=float, default=8)
    parser.add_argument("--cost-rounds", type=int, default=3)
    parser.add_argument("--cost-stations", type=int, default=64)
    parser.add_argument("--baseline-bridge", help="an earlier ravenlink-bridge to compare the costs with")
    parser.add_argument("--ctl", help="ravenlinkctl, for the one-shot table")
    parser.add_argument("--baseline-ctl", help="an earlier ravenlinkctl")
    parser.add_argument("--peer-client", help="bench/oneshot_peer.py")
    parser.add_argument("--pyserial-client", help="bench/peer_client.py (run where pyserial is installed)")
    parser.add_argument("--python", default="/usr/bin/python3")
    parser.add_argument("--one-shot-rounds", type=int, default=5)
    parser.add_argument("--one-shot-only", action="store_true", help="only the one-shot table")
    args = parser.parse_args()
    if args.one_shot_only:
        now, before = one_shot_table(args)
        return 1 if before is not None and now > before else 0
    if args.costs_only:
        missed = costs(args)
        if missed:
            print("\nMISSED: " + ", ".join(missed))
        return 1 if missed else 0

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
    missed = ["readings lost"] if check["gaps"] else []
    if args.costs:
        missed += costs(args)
    if missed:
        print("\nMISSED: " + ", ".join(missed))
    return 1 if missed else 0


if __name__ == "__main__":
    sys.exit(main())
