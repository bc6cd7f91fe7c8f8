#!/usr/bin/env python3
"""The fleet benchmark: S sites x K stations at one status a second, each
site with its broker, one simulator process and one bridge, all bridged to a
central broker over TLS (bench/FleetScale.cpp does one run). Prints a
Markdown table of what the central side sees and what each process kind
costs, checks the targets on the largest size, and prints how the cost per
station grows with the number of stations, with one bridge and with many.

Run through scripts/bench-fleet.sh, which builds what it needs."""
import argparse
import collections
import json
import subprocess
import sys

from site_programs import add_program_options

# The largest fleet's targets.
MAX_RTT_P99_MS = 250.0
MAX_OWN_CPU_PERCENT = 100.0  # all of Ravenlink's own processes: one core

# How the cost grows: one bridge for all stations, or sites of 8.
SCALE_COUNTS = [1, 8, 64, 128, 200, 256, 512]
SITE_OF_MANY = 8


def run(args, sites, stations, seconds, commands, perf=None):
    cmd = [args.scale, "--source", args.source, "--bridge", args.bridge, "--station", args.station,
           "--sites", str(sites), "--stations", str(stations), "--seconds", str(seconds),
           "--commands", str(commands)]
    if args.web:
        cmd += ["--web", args.web]
    if perf:
        cmd += ["--perf-bridge", perf]
    if args.paced:
        cmd += ["--paced", "1"]
    out = subprocess.run(cmd, check=False, capture_output=True, text=True)
    for line in out.stderr.splitlines():
        print("  " + line, file=sys.stderr)
    lines = out.stdout.strip().splitlines()
    if out.returncode not in (0, 3) or not lines:
        raise RuntimeError(f"{' '.join(cmd)} failed with status {out.returncode}")
    r = json.loads(lines[-1])
    if "error" in r:
        print(f"  {sites} x {stations}: {r['error']}", file=sys.stderr)
        return r
    kinds = r["kinds"]
    r["own"] = sum(kinds.get(k, {}).get("cpuPercent", 0.0) for k in ("bridge", "web"))
    print(f"  {sites} x {stations}: {r['rate']:.0f}/s, lost {r['lost']}, links lost {r['linkLosses']}, "
          f"delay p99 {r['delayP99Ms']} ms, "
          f"command p99 {r['rttP99Ms']:.1f} ms, Ravenlink CPU {r['own']:.1f} %", file=sys.stderr)
    return r


def kind(r, name, field="cpuPercent"):
    k = r["kinds"].get(name)
    return None if k is None else k[field]


def cpu(value):
    return "–" if value is None else f"{value:.1f} %"


def mib(kb):
    return "–" if kb is None else f"{kb / 1024:.1f} MiB"


def misses(r):
    """The targets that run \\p r missed, in words."""
    if "error" in r:
        return [r["error"]]
    missed = []
    if r["lost"] != 0:
        missed.append(f"{r['lost']} statuses lost (target 0)")
    if r["linkLosses"] != 0:
        missed.append(f"{r['linkLosses']} station links lost: readings missed (target 0)")
    if r["commandsAnswered"] != r["commandsSent"] or r["commandsFailed"] != 0:
        missed.append(f"{r['commandsAnswered']} of {r['commandsSent']} commands answered, "
                      f"{r['commandsFailed']} failed (target: all, none)")
    if r["rttP99Ms"] < 0 or r["rttP99Ms"] >= MAX_RTT_P99_MS:
        missed.append(f"command round trip p99 {r['rttP99Ms']:.1f} ms (target < {MAX_RTT_P99_MS:g} ms)")
    if r["own"] >= MAX_OWN_CPU_PERCENT:
        missed.append(f"Ravenlink's processes {r['own']:.1f} % of a core (target < {MAX_OWN_CPU_PERCENT:g} %)")
    return missed


def fleet_table(results):
    print("| sites × stations | statuses/s at the central broker | lost | links lost | reply → central p50 | p99 "
          "| reply → site broker p50 | p99 "
          "| command round trip p50 | p99 | bridges CPU | bridges RSS (each) | site brokers CPU | site brokers RSS (each) "
          "| central broker CPU | central RSS | web CPU | web RSS | Ravenlink's own CPU |")
    print("|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|")
    for r in results:
        if "error" in r:
            print(f"| {r['sites']} × {r['stationsPerSite']} | {r['error']} |")
            continue
        print(f"| {r['sites']} × {r['stationsPerSite']} | {r['rate']:.0f} | {r['lost']} | {r['linkLosses']} "
              f"| {r['delayP50Ms']} ms "
              f"| {r['delayP99Ms']} ms | {r['siteDelayP50Ms']} ms | {r['siteDelayP99Ms']} ms "
              f"| {r['rttP50Ms']:.1f} ms | {r['rttP99Ms']:.1f} ms "
              f"| {cpu(kind(r, 'bridge'))} | {mib(kind(r, 'bridge', 'maxRssKb'))} "
              f"| {cpu(kind(r, 'site broker'))} | {mib(kind(r, 'site broker', 'maxRssKb'))} "
              f"| {cpu(kind(r, 'central broker'))} | {mib(kind(r, 'central broker', 'maxRssKb'))} "
              f"| {cpu(kind(r, 'web'))} | {mib(kind(r, 'web', 'maxRssKb'))} | {r['own']:.1f} % |")


def per_station(r, name):
    if "error" in r:
        return "did not run (below)"
    value = kind(r, name)
    return "–" if value is None else f"{10 * value / r['stations']:.3f}"


def scale_table(one, many):
    print("\nCPU per station, in ms of processor time per second (= ‰ of one core), at one status a second:\n")
    print("| stations | one bridge: bridge | its site broker | central broker | bridge RSS per station "
          f"| sites of {SITE_OF_MANY}: bridges | site brokers | central broker |")
    print("|---|---|---|---|---|---|---|---|")
    for a, b in zip(one, many):
        rss = "–" if "error" in a else f"{kind(a, 'bridge', 'rssKb') / a['stations']:.0f} kB"
        print(f"| {a['stations']} | {per_station(a, 'bridge')} | {per_station(a, 'site broker')} "
              f"| {per_station(a, 'central broker')} | {rss} "
              f"| {per_station(b, 'bridge')} | {per_station(b, 'site broker')} | {per_station(b, 'central broker')} |")


# Where a sample's time went, by the first rule that its call chain matches.
# The kernel's chains are whole; the programs' own frames often end at the
# leaf (no frame pointers), so the user-space part is told by library.
PROFILE_RULES = [
    ("waiting: select/poll/epoll, and being woken", ("select", "do_sys_poll", "poll_schedule", "epoll_wait")),
    ("pseudo-terminal read/write", ("tty", "pty")),
    ("socket send/receive (kernel)", ("tcp", "sock_", "unix_", "skb")),
    ("locks and condition variables (futex)", ("futex",)),
    ("TLS (libssl, libcrypto)", ("libcrypto", "libssl")),
    ("Ravenlink's own code (exchange, parsing, JSON, findings)", ("ravenlink-bridge", "libstdc++", "cxx-serial")),
    ("libmosquitto", ("libmosquitto",)),
    ("the broker's own code", ("/usr/sbin/mosquitto",)),
]


def profile_split(path):
    """Prints, per program, the share of its samples in each kind of work."""
    run = subprocess.run(["perf", "script", "-i", path, "-F", "comm,ip,sym,dso"], capture_output=True, text=True)
    out = run.stdout
    if not out.strip():
        print(f"\nNo profile in {path}: {run.stderr.strip()}")
        return
    totals, split = collections.Counter(), collections.Counter()
    for sample in out.split("\n\n"):
        lines = sample.strip().splitlines()
        if not lines:
            continue
        program = lines[0].split()[0]
        program = "ravenlink-bridge" if program.startswith("ravenlink-br") else program
        chain = " ".join(lines[1:])
        kind = next((name for name, marks in PROFILE_RULES if any(m in chain for m in marks)), "other (kernel)")
        totals[program] += 1
        split[(program, kind)] += 1
    print(f"\nWhere the time goes (perf, {path}):\n")
    print("| program | samples | kind of work | share |")
    print("|---|---|---|---|")
    for program, total in totals.most_common():
        for (p, kind), n in split.most_common():
            if p == program and 100 * n / total >= 1:
                print(f"| {program} | {total} | {kind} | {100 * n / total:.0f} % |")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--scale", required=True)
    add_program_options(parser, web_required=False)
    parser.add_argument("--smoke", action="store_true", help="one small fleet, 2 x 4 for 5 s, with the targets")
    parser.add_argument("--sizes", default="1x64,4x64,8x64")
    parser.add_argument("--seconds", type=float, default=30)
    parser.add_argument("--scale-seconds", type=float, default=15)
    parser.add_argument("--commands", type=float, default=5, help="commands per second over the fleet")
    parser.add_argument("--paced", action="store_true", help="stations at the wire rate (default: unpaced)")
    parser.add_argument("--no-scale", action="store_true", help="leave out the cost-per-station table")
    parser.add_argument("--perf", default="", help="perf record every process of the largest size into FILE")
    args = parser.parse_args()

    if args.smoke:
        sizes, seconds, scale = [(2, 4)], 5.0, False
    else:
        sizes = [tuple(int(n) for n in s.split("x")) for s in args.sizes.split(",")]
        seconds, scale = args.seconds, not args.no_scale

    results = []
    for i, (sites, stations) in enumerate(sizes):
        last = i == len(sizes) - 1
        results.append(run(args, sites, stations, seconds, args.commands, args.perf if last else None))
    fleet_table(results)
    if args.perf:
        profile_split(args.perf)

    if scale:
        one = [run(args, 1, n, args.scale_seconds, 0) for n in SCALE_COUNTS]
        many = [run(args, max(1, n // SITE_OF_MANY), min(n, SITE_OF_MANY), args.scale_seconds, 0)
                for n in SCALE_COUNTS]
        scale_table(one, many)
        for r in one + many:
            if "error" in r:
                print(f"\n{r['sites']} × {r['stationsPerSite']}: {r['error']}")

    largest = results[-1]
    missed = misses(largest)
    print(f"\nTargets at {largest['sites']} × {largest['stationsPerSite']}: 0 statuses lost, no link lost, every command "
          f"answered, command round trip p99 < {MAX_RTT_P99_MS:g} ms, Ravenlink's own processes "
          f"(bridges{', web' if args.web else ''}) < {MAX_OWN_CPU_PERCENT:g} % of one core: "
          + ("all met" if not missed else "MISSED: " + "; ".join(missed)))
    return 1 if missed else 0


if __name__ == "__main__":
    sys.exit(main())
