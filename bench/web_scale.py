#!/usr/bin/env python3
"""ravenlink-web at fleet scale: 64 simulated stations behind one bridge at
one status a second on the site broker as shipped, and the web server with
event-stream clients. Measures the server's CPU (share of one core) and
memory, and the time from each status reading (its "time", stamped by the
bridge when the station's reply was in, just before it publishes) to its
event at a client. Prints a Markdown table.

Run through scripts/bench-web.sh, which builds what it needs."""
import argparse
import base64
import http.client
import json
import os
import pwd
import re
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import multiprocessing
import time
from datetime import datetime, timezone
from pathlib import Path

from site_programs import add_program_options

ACCOUNTS = {"ravenlink-bridge": "bench-bridge", "operator": "bench-operator", "viewer": "bench-viewer"}
TICKS = os.sysconf("SC_CLK_TCK")


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_port(port, seconds=15):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        with socket.socket() as s:
            if s.connect_ex(("127.0.0.1", port)) == 0:
                return
        time.sleep(0.05)
    raise RuntimeError(f"nothing listens on {port}")


def cpu_seconds(pid):
    fields = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS


def status_value(pid, key):
    for line in Path(f"/proc/{pid}/status").read_text().splitlines():
        if line.startswith(key + ":"):
            return int(line.split()[1])
    return 0


class Stream(multiprocessing.Process):
    """One event-stream client in a process of its own (so that clients do
    not wait for each other's parsing); keeps the latency of every status
    it receives while `recording` is set and hands them over at the end."""

    def __init__(self, port, user):
        super().__init__(daemon=True)
        self.port = port
        self.login = base64.b64encode(f"{user}:{ACCOUNTS[user]}".encode()).decode()
        self.recording = multiprocessing.Event()
        self.done = multiprocessing.Event()
        self.ready = multiprocessing.Event()
        self.stations_seen = multiprocessing.Value("i", 0)
        self.results = multiprocessing.Queue()

    def run(self):
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=60)
        connection.request("GET", "/api/events", headers={"Authorization": "Basic " + self.login})
        response = connection.getresponse()
        assert response.status == 200, response.status
        self.ready.set()
        samples, seqs, stations, gaps = [], {}, set(), 0
        name = None
        while not self.done.is_set():
            line = response.readline()
            if not line:
                break
            arrived = time.time()
            line = line.decode().rstrip("\n")
            if line.startswith("event: "):
                name = line[7:]
            elif line.startswith("data: ") and name == "station":
                record = json.loads(line[6:])
                if record["id"] not in stations:
                    stations.add(record["id"])
                    self.stations_seen.value = len(stations)
                status = record.get("status")
                if not status or not self.recording.is_set():
                    continue
                seq = status["seq"]
                last = seqs.get(record["id"])
                if last is not None and seq == last:
                    continue  # another member of the station changed
                if last is not None and seq > last + 1:
                    gaps += seq - last - 1
                seqs[record["id"]] = seq
                stamp = datetime.strptime(status["time"], "%Y-%m-%dT%H:%M:%S.%fZ").replace(tzinfo=timezone.utc)
                samples.append((arrived - stamp.timestamp()) * 1000)
        self.results.put((samples, gaps))
        connection.close()

    def finish(self):
        self.done.set()
        samples, self.gaps = self.results.get(timeout=30)
        self.join(10)
        return samples


class Site:
    def __init__(self, args, folder):
        self.args = args
        self.folder = folder
        self.processes = []
        self.broker_port = free_port()
        self.web_port = free_port()
        source = Path(args.source)
        passwords = folder / "ravenlink.passwd"
        for number, (user, password) in enumerate(ACCOUNTS.items()):
            subprocess.run(["mosquitto_passwd", *(["-c"] if number == 0 else []), "-b", str(passwords), user, password],
                           check=True)
        shutil.copy(source / "packaging/mosquitto/ravenlink.acl", folder / "ravenlink.acl")
        conf = (source / "packaging/mosquitto/ravenlink.conf").read_text()
        conf = re.sub(r"(?m)^password_file .*$", f"password_file {passwords}", conf)
        conf = re.sub(r"(?m)^acl_file .*$", f"acl_file {folder / 'ravenlink.acl'}", conf)
        conf = re.sub(r"(?m)^listener 1883 .*$", f"listener {self.broker_port} 127.0.0.1", conf)
        (folder / "broker.conf").write_text(
            f"persistence false\nmax_queued_messages 10000\nuser {pwd.getpwuid(os.getuid()).pw_name}\n" + conf)
        self.broker = self.start(["mosquitto", "-c", str(folder / "broker.conf")])
        wait_port(self.broker_port)
        stations = []
        for number in range(args.stations):
            name = f"s{number:02d}"
            self.start([args.station, "--link", str(folder / name), "--seed", str(number)])
            stations += ["--station", f"{name}={folder / name}"]
        deadline = time.monotonic() + 30
        while not all((folder / f"s{n:02d}").exists() for n in range(args.stations)):
            if time.monotonic() > deadline:
                raise RuntimeError("the simulators did not start")
            time.sleep(0.05)
        (folder / "bridge.password").write_text(ACCOUNTS["ravenlink-bridge"] + "\n")
        self.start([args.bridge, "--broker", f"mqtt://127.0.0.1:{self.broker_port}", "--username", "ravenlink-bridge",
                    "--password-file", str(folder / "bridge.password"), "--interval", str(args.interval), *stations])
        self.web = self.start([args.web, "--broker", f"mqtt://127.0.0.1:{self.broker_port}",
                               "--listen", f"127.0.0.1:{self.web_port}", "--web-root", str(source / "RavenlinkWeb/web"),
                               "--max-streams", "64"])
        wait_port(self.web_port)

    def start(self, command):
        process = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                   stderr=open(self.folder / (Path(command[0]).name + ".log"), "ab"))
        self.processes.append(process)
        return process

    def stop(self):
        for process in reversed(self.processes):
            process.terminate()
        for process in reversed(self.processes):
            try:
                process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                process.kill()


def measure(site, args, clients):
    users = ["viewer", "operator"]
    streams = [Stream(site.web_port, users[i % 2]) for i in range(clients)]
    for stream in streams:
        stream.start()
        stream.ready.wait(15)
    deadline = time.monotonic() + 30
    while any(s.stations_seen.value < args.stations for s in streams):
        if time.monotonic() > deadline:
            raise RuntimeError("not every station arrived")
        time.sleep(0.1)
    time.sleep(2)
    pid = site.web.pid
    cpu_before = cpu_seconds(pid)
    broker_before = cpu_seconds(site.broker.pid)
    start = time.monotonic()
    for stream in streams:
        stream.recording.set()
    time.sleep(args.seconds)
    for stream in streams:
        stream.recording.clear()
    wall = time.monotonic() - start
    cpu = (cpu_seconds(pid) - cpu_before) / wall * 100
    broker_cpu = (cpu_seconds(site.broker.pid) - broker_before) / wall * 100
    rss = status_value(pid, "VmRSS")
    hwm = status_value(pid, "VmHWM")
    threads = status_value(pid, "Threads")
    samples = sorted(x for s in streams for x in s.finish())
    events = len(samples)
    result = {
        "clients": clients,
        "events": events,
        "rate": events / wall,
        "gaps": sum(s.gaps for s in streams),
        "median": statistics.median(samples),
        "p99": samples[int(len(samples) * 0.99) - 1],
        "max": samples[-1],
        "cpu": cpu,
        "brokerCpu": broker_cpu,
        "rss": rss,
        "hwm": hwm,
        "threads": threads,
    }
    print(f"  {clients} client(s): {events} events in {wall:.0f} s, latency median {result['median']:.1f} ms, "
          f"p99 {result['p99']:.1f} ms, server CPU {cpu:.1f} %, RSS {result['rss'] / 1024:.1f} MiB", file=sys.stderr)
    return result


def main():
    parser = argparse.ArgumentParser()
    add_program_options(parser, web_required=True)
    parser.add_argument("--stations", type=int, default=64)
    parser.add_argument("--interval", type=float, default=1.0)
    parser.add_argument("--seconds", type=float, default=60)
    parser.add_argument("--clients", default="1,8")
    args = parser.parse_args()

    folder = Path(tempfile.mkdtemp(prefix="ravenlink-bench-web-"))
    os.chmod(folder, 0o755)
    site = Site(args, folder)
    rows = []
    try:
        idle_cpu_before = cpu_seconds(site.web.pid)
        time.sleep(5)
        idle = (cpu_seconds(site.web.pid) - idle_cpu_before) / 5 * 100
        idle_rss = status_value(site.web.pid, "VmRSS")
        for clients in [int(n) for n in args.clients.split(",")]:
            rows.append(measure(site, args, clients))
    finally:
        site.stop()
        shutil.rmtree(folder, ignore_errors=True)

    print(f"Server without a login: CPU {idle:.1f} % of one core, RSS {idle_rss / 1024:.1f} MiB\n")
    print("| event clients (users) | statuses/s at the clients | lost | reading to event: median | p99 | max "
          "| server CPU (of one core) | server RSS (peak) | server threads | broker CPU |")
    print("|---|---|---|---|---|---|---|---|---|---|")
    for r in rows:
        users = 1 if r["clients"] == 1 else 2
        print(f"| {r['clients']} ({users}) | {r['rate']:.0f} | {r['gaps']} | {r['median']:.1f} ms | {r['p99']:.1f} ms "
              f"| {r['max']:.1f} ms | {r['cpu']:.1f} % | {r['rss'] / 1024:.1f} MiB ({r['hwm'] / 1024:.1f}) "
              f"| {r['threads']} | {r['brokerCpu']:.1f} % |")
    return 0 if all(r["gaps"] == 0 for r in rows) else 1


if __name__ == "__main__":
    sys.exit(main())
