#!/usr/bin/env python3
"""What the bridge's metrics endpoint costs: one ravenlink-bridge serving N
simulated stations (default 64) at one reading a second on a local broker,
its processor time measured without scrapes and while it is scraped as fast
as a client can ask (a new connection each time and gzip, as Prometheus asks
for it), alternately. The extra time per scrape gives the share of one core
at one scrape every --every seconds; the run fails when that is --limit
percent (default 1) or more.

Run through scripts/bench-bridge.sh, which builds what it needs."""
import argparse
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import urllib.request

TICK = os.sysconf("SC_CLK_TCK")


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICK


def wait_for(done, seconds, what):
    end = time.monotonic() + seconds
    while not done():
        if time.monotonic() > end:
            sys.exit(f"bench-bridge metrics: {what} in {seconds:g} s")
        time.sleep(0.05)


def scrape(url):
    request = urllib.request.Request(url, headers={"Accept-Encoding": "gzip"})
    with urllib.request.urlopen(request, timeout=5) as reply:
        return reply.read()


def fetch_text(url):
    try:
        with urllib.request.urlopen(url, timeout=5) as reply:
            return reply.read().decode()
    except OSError:
        return ""


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bridge", required=True)
    parser.add_argument("--station", required=True)
    parser.add_argument("--broker", default="/usr/sbin/mosquitto")
    parser.add_argument("--stations", type=int, default=64)
    parser.add_argument("--window", type=float, default=6.0, help="seconds of each measurement")
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--every", type=float, default=5.0, help="the scrape interval judged")
    parser.add_argument("--limit", type=float, default=1.0, help="percent of one core")
    args = parser.parse_args()

    work = tempfile.mkdtemp(prefix="ravenlink-bench-metrics-")
    children = []
    try:
        broker_port = free_port()
        with open(os.path.join(work, "broker.conf"), "w") as f:
            f.write(f"listener {broker_port} 127.0.0.1\nallow_anonymous true\npersistence false\n")
        null = subprocess.DEVNULL
        children.append(subprocess.Popen([args.broker, "-c", os.path.join(work, "broker.conf")], stdout=null,
                                         stderr=null))
        links = []
        for i in range(args.stations):
            link = os.path.join(work, f"s{i}")
            links.append(link)
            children.append(subprocess.Popen([args.station, "--link", link, "--seed", str(i + 1)], stdout=null,
                                             stderr=null))
        wait_for(lambda: all(os.path.exists(link) for link in links), 30, "the simulators did not start")
        metrics_port = free_port()
        command = [args.bridge, "--broker", f"mqtt://127.0.0.1:{broker_port}", "--interval", "1",
                   "--metrics-listen", f"127.0.0.1:{metrics_port}"]
        for i, link in enumerate(links):
            command += ["--station", f"s{i}={link}"]
        bridge = subprocess.Popen(command, stdout=null, stderr=open(os.path.join(work, "bridge.log"), "w"))
        children.append(bridge)
        url = f"http://127.0.0.1:{metrics_port}/metrics"
        def all_up():
            ups = [line for line in fetch_text(url).splitlines() if line.startswith("ravenlink_station_up{")]
            return len(ups) == args.stations and all(line.endswith(" 1") for line in ups)
        wait_for(all_up, 60, "not every station came online")
        time.sleep(2)
        size = len(fetch_text(url).encode())
        compressed = len(scrape(url))

        idle, busy, scrapes = [], [], 0
        for _ in range(args.rounds):
            before = cpu_seconds(bridge.pid)
            time.sleep(args.window)
            idle.append((cpu_seconds(bridge.pid) - before) / args.window)
            count = 0
            before = cpu_seconds(bridge.pid)
            start = time.monotonic()
            while time.monotonic() - start < args.window:
                scrape(url)
                count += 1
            elapsed = time.monotonic() - start
            busy.append(((cpu_seconds(bridge.pid) - before) - idle[-1] * elapsed) / count)
            scrapes += count
        busy.sort()
        per_scrape = busy[len(busy) // 2]
        share = 100.0 * per_scrape / args.every
        print(f"bridge with {args.stations} stations at 1 reading/s: {100 * sum(idle) / len(idle):.2f} % of one core "
              f"without scrapes")
        print(f"metrics endpoint, {args.stations} stations: {per_scrape * 1000:.2f} ms of CPU per scrape "
              f"({size} bytes, {compressed} gzipped; median of {args.rounds} rounds, {scrapes} scrapes), "
              f"{share:.3f} % of one core at one scrape every {args.every:g} s (limit {args.limit:g} %)")
        if share >= args.limit:
            print("bench-bridge metrics: over the limit", file=sys.stderr)
            return 1
        return 0
    finally:
        for child in reversed(children):
            child.terminate()
        for child in children:
            try:
                child.wait(timeout=10)
            except subprocess.TimeoutExpired:
                child.kill()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
