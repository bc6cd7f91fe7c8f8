#!/usr/bin/env python3
"""Runs every Ravenlink benchmark and puts the figures beside their limits.

    figures.py --build DIR [--smoke] [--reference FILE] [--record] [--results FILE]

In-process: check, decode and report of a full status and a full details
reply (Google Benchmark). End to end, against ravenlinkstation on a
pseudo-terminal: round trips through StationLink unpaced and paced at the
115200-baud wire rate, in both reply-end modes (quiet-line, the console's,
and complete-object, the command-line tools'), the same exchange by a minimal
pyserial client, status exchanges on 16 stations at once, the CPU spent
waiting for a reply that never comes, and the console itself driven through a
pipe (port name entered to first status report, peak RSS). Paced requests
are each sent after a quiet line, so every reply starts on an idle wire.
--baseline-roundtrip PROGRAM also runs the paced round trips with a build of
the round-trip program on an earlier library, for the CPU comparison;
without it the earlier figures come from --baseline (bench/baseline.txt).

--smoke runs a short version of everything and fails (exit 1) only when a
figure is more than five times the one recorded in the reference file.
--record writes the measured figures as the new reference.
"""
import argparse
import json
import os
import re
import select
import statistics
import subprocess
import sys
import tempfile
import time

WIRE_BYTES_PER_S = 11520.0   # 115200 baud, 8N1: ten bit times per byte
DEFAULT_TIMEOUT_MS = 300
SMOKE_MARGIN = 5.0
SMOKE_SLACK_MS = 2.0
# The receive wait of each command, in connection timeouts.
WAIT_FACTOR = {"getSystemStatus": 1, "getSystemDetails": 10, "setSystemActivation": 30}
PEER_REQUEST = {"getSystemStatus": "status", "getSystemDetails": "details",
                "setSystemActivation": "activation"}
# The largest replies the station sends (extended mode), with a fixed drift.
STATION_OPTIONS = ["--extended", "--seed", "1"]
HERE = os.path.dirname(os.path.abspath(__file__))


def polling_pause_ms(wait_ms):
    """The quiet-line rule's end-of-reply pause for a wait: a hundredth of it,
    at least 1 ms and at most 100 ms."""
    return 1 if wait_ms <= 100 else min(wait_ms // 100, 100)


def log(text):
    print(text, file=sys.stderr, flush=True)


class Figures:
    """Named figures in measurement order; lower is better for every one that
    the smoke run compares."""

    def __init__(self):
        self.values = {}
        self.rows = []   # (name, value, unit, target text, verdict)

    def add(self, name, value, unit, target=None, met=None):
        self.values[name] = value
        verdict = "" if met is None else ("met" if met else "MISSED")
        self.rows.append((name, value, unit, target or "", verdict))


# ---------------------------------------------------------------- in-process

def in_process(build, figures, smoke):
    binary = os.path.join(build, "bench", "ravenlink_bench_inprocess")
    args = [binary, "--benchmark_format=json",
            "--benchmark_min_time=%s" % ("0.05" if smoke else "1")]
    if not smoke:
        args += ["--benchmark_repetitions=3", "--benchmark_report_aggregates_only=true"]
    log("in-process: %s" % " ".join(args[1:]))
    out = subprocess.run(args, check=True, stdout=subprocess.PIPE, text=True).stdout
    data = json.loads(out)
    cpu_us = {}
    for bench in data["benchmarks"]:
        name = bench["run_name"]
        if smoke or bench.get("aggregate_name") == "median":
            cpu_us[name] = bench["cpu_time"]   # the unit is microseconds
    for reply in ("Status", "Details"):
        for stage in ("Check", "Decode", "Report", "All"):
            us = cpu_us[reply + stage]
            key = "inproc_%s_%s_us" % (reply.lower(), stage.lower())
            if stage == "All" and reply == "Status":
                figures.add(key, us, "us/reply", "<= 100 us (10 000/s)", us <= 100.0)
            else:
                figures.add(key, us, "us/reply")
        figures.add("inproc_%s_all_per_s" % reply.lower(), 1e6 / cpu_us[reply + "All"],
                    "replies/s/core")
    ctx = data.get("context", {})
    figures.add("status_reply_bytes", int(ctx.get("status_reply_bytes", 0)), "bytes")
    figures.add("details_reply_bytes", int(ctx.get("details_reply_bytes", 0)), "bytes")


# ---------------------------------------------------------------- station

class Station:
    """ravenlinkstation on a pseudo-terminal, reached through a link path."""

    binary = None   # set by main()

    def __init__(self, options):
        self.dir = tempfile.mkdtemp(prefix="ravenlink-bench-")
        self.link = os.path.join(self.dir, "station")
        self.proc = subprocess.Popen([Station.binary, "--link", self.link] + STATION_OPTIONS + options,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                                     start_new_session=True)
        deadline = time.monotonic() + 5
        while not os.path.exists(self.link):
            if self.proc.poll() is not None or time.monotonic() > deadline:
                err = self.proc.stderr.read().decode(errors="replace") if self.proc.stderr else ""
                self.close()
                raise RuntimeError("ravenlinkstation %s did not come up: %s"
                                   % (" ".join(options), err.strip()))
            time.sleep(0.01)

    def close(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        try:
            os.unlink(self.link)
        except FileNotFoundError:
            pass
        os.rmdir(self.dir)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


def station_options():
    """The options the simulator's usage text names."""
    try:
        res = subprocess.run([Station.binary, "-h"], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                             text=True, timeout=5)
    except (OSError, subprocess.TimeoutExpired):
        return set()
    return set(re.findall(r"--[a-z][a-z-]*", res.stdout))


def json_lines(text):
    return [json.loads(line) for line in text.splitlines() if line.startswith("{")]


def run_roundtrip(build, port, extra, binary=None):
    binary = binary or os.path.join(build, "bench", "ravenlink_bench_roundtrip")
    res = subprocess.run([binary] + (["--port", port] if port else []) + extra, stdout=subprocess.PIPE,
                         stderr=subprocess.PIPE, text=True, timeout=120)
    if res.returncode != 0:
        raise RuntimeError("roundtrip %s: %s" % (" ".join(extra), res.stderr.strip()))
    return json_lines(res.stdout)


def run_peer(python, port, request, count, extra):
    res = subprocess.run([python, os.path.join(HERE, "peer_client.py"), "--port", port,
                          "--request", request, "--count", str(count)] + extra,
                         stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, timeout=120)
    if res.returncode != 0:
        raise RuntimeError("peer client: %s" % res.stderr.strip())
    return json_lines(res.stdout)[-1]


MODES = ("quiet", "object")   # --reply-end of the round-trip program
MODE_TEXT = {"quiet": "quiet-line", "object": "complete-object"}
# Before each paced request the line stays quiet this long, so that every
# reply starts on an idle wire (ours, the peer's and the earlier library's).
PACED_QUIET_MS = 20
CPU_BEFORE_FACTOR = 0.5      # paced CPU per exchange: at most half of before
THROUGHPUT_THREADS = 16
ROUNDS = 5                   # turns the contenders take, each with count / ROUNDS
PACED_COUNT = 50             # paced round trips per command: the short replies need many


def ratio_met(ratio):
    """At most 1.0x the peer, as the ratio is shown (two decimals)."""
    return round(ratio, 2) <= 1.0


def read_baseline(path):
    """Paced CPU per exchange of the earlier library, from bench/baseline.txt."""
    if not path or not os.path.exists(path):
        return {}
    return read_reference(path)


def merged(runs):
    """One record from the runs of one contender: medians over every
    exchange, CPU over all of them."""
    times = sorted(t for r in runs for t in r["times_ms"])
    calls = sum(r["count"] + r["failures"] for r in runs)
    cpu = sum(r["cpu_ms"] for r in runs)
    busy = sum(r["busy_ms"] for r in runs)
    out = dict(runs[-1])
    out.update(failures=sum(r["failures"] for r in runs), count=len(times),
               cpu_ms_per_call=cpu / calls, cpu_share=cpu / busy if busy > 0 else 0.0)
    if times:
        out.update(median_ms=statistics.median(times),
                   p90_ms=times[min(len(times) - 1, int(0.9 * (len(times) - 1) + 0.5))])
    return out


def round_trips(build, python, figures, paced, count, baseline=None, before=None, rounds=1):
    """Ours in both modes, the earlier library and the peer take turns in
    \p rounds, so that a change of load on the shared machine falls on all
    of them alike."""
    label = "paced" if paced else "unpaced"
    quiet = ["--quiet", str(PACED_QUIET_MS)] if paced else []
    per_round = max(1, count // rounds)
    runs = {}
    with Station(["--paced"] if paced else []) as station:
        log("round trips, %s: %d rounds of %d per command and contender" % (label, rounds, per_round))
        for _ in range(rounds):
            contenders = [(mode, None, ["--reply-end", mode]) for mode in MODES]
            if baseline:
                contenders.append(("before", baseline, []))
            for name, binary, extra in contenders:
                for r in run_roundtrip(build, station.link, ["--count", str(per_round)] + extra + quiet,
                                       binary=binary):
                    if r["figure"] == "roundtrip":
                        runs.setdefault((name, r["command"]), []).append(r)
            for cmd in WAIT_FACTOR:
                runs.setdefault(("peer", cmd), []).append(
                    run_peer(python, station.link, PEER_REQUEST[cmd], per_round, quiet))
    ours = {key: merged(value) for key, value in runs.items()}
    peers = {cmd: ours[("peer", cmd)] for cmd in WAIT_FACTOR}
    for cmd, factor in WAIT_FACTOR.items():
        p = peers[cmd]
        if p["failures"]:
            raise RuntimeError("%s %s: peer failures" % (label, cmd))
        base = "rt_%s_%s" % (label, cmd)
        wire = (p["request_bytes"] + p["reply_bytes"]) / WIRE_BYTES_PER_S * 1000.0
        figures.add(base + "_wire_ms", wire, "ms",
                    "%d + %d bytes at 11 520 B/s" % (p["request_bytes"], p["reply_bytes"]))
        figures.add(base + "_peer_median_ms", p["median_ms"], "ms")
        figures.add(base + "_peer_cpu_ms", p["cpu_ms_per_call"], "ms CPU/call")
        if ("before", cmd) in ours:
            r = ours[("before", cmd)]
            figures.add(base + "_before_median_ms", r["median_ms"], "ms", "earlier library")
            figures.add(base + "_before_cpu_ms", r["cpu_ms_per_call"], "ms CPU/call", "earlier library")
        cpu_before = figures.values.get(base + "_before_cpu_ms", (before or {}).get(base + "_before_cpu_ms"))
        for mode in MODES:
            mode_figures(figures, "rt_%s_%s_%s" % (label, mode, cmd), ours[(mode, cmd)], p, mode,
                         polling_pause_ms(factor * DEFAULT_TIMEOUT_MS), paced, cpu_before if paced else None)


def mode_figures(figures, base, r, p, mode, pause, paced, cpu_before):
    if r["failures"]:
        raise RuntimeError("%s: %s" % (base, r.get("last_error", "failures")))
    ratio = r["median_ms"] / p["median_ms"]
    if mode == "object":
        figures.add(base + "_median_ms", r["median_ms"], "ms")
        figures.add(base + "_vs_peer_time", ratio, "x", "<= 1.0 x the peer", ratio_met(ratio))
    else:
        # The quiet-line rule waits one pause after the reply's line feed. A
        # line still arriving is read once per pause, so on a paced line the
        # last piece may wait up to one more pause before it is read.
        pauses = 2 if paced else 1
        limit = p["median_ms"] + pauses * pause + 2
        figures.add(base + "_median_ms", r["median_ms"], "ms",
                    "<= %.1f ms (peer + %s of %d ms + 2)" % (limit, "two pauses" if paced else "pause", pause),
                    r["median_ms"] <= limit)
        figures.add(base + "_vs_peer_time", ratio, "x")
    figures.add(base + "_p90_ms", r["p90_ms"], "ms")
    figures.add(base + "_cpu_ms", r["cpu_ms_per_call"], "ms CPU/call")
    figures.add(base + "_cpu_percent", 100.0 * r["cpu_share"], "% of a core")
    figures.add(base + "_vs_peer_cpu", r["cpu_ms_per_call"] / max(p["cpu_ms_per_call"], 1e-6), "x")
    if cpu_before:
        share = r["cpu_ms_per_call"] / cpu_before
        figures.add(base + "_vs_before_cpu", share, "x", "<= %.1f x before" % CPU_BEFORE_FACTOR,
                    share <= CPU_BEFORE_FACTOR)


def throughput(build, python, figures, threads, seconds):
    """Status exchanges back to back on many stations at once, unpaced."""
    stations = []
    try:
        for _ in range(threads):
            stations.append(Station([]))
        ports = []
        for st in stations:
            ports += ["--port", st.link]
        for mode in MODES:
            log("throughput, %s: %d stations, %g s" % (MODE_TEXT[mode], threads, seconds))
            r = [x for x in run_roundtrip(build, None, ports + ["--throughput", str(seconds),
                                                              "--reply-end", mode])
                 if x["figure"] == "throughput"][0]
            figures.add("tp_%d_%s_per_s" % (threads, mode), r["per_s"], "exchanges/s",
                        "%d threads, one link each" % threads)
        log("throughput, peer: %d stations, %g s" % (threads, seconds))
        res = subprocess.run([python, os.path.join(HERE, "peer_client.py"), "--throughput", str(seconds)] + ports,
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, timeout=120)
        if res.returncode != 0:
            raise RuntimeError("peer throughput: %s" % res.stderr.strip())
        figures.add("tp_%d_peer_per_s" % threads, json_lines(res.stdout)[-1]["per_s"], "exchanges/s")
    finally:
        for st in stations:
            st.close()


def silent_waits(build, figures, commands):
    with Station(["--no-reply"]) as station:
        for cmd in commands:
            log("silent wait: %s" % cmd)
            rows = run_roundtrip(build, station.link, ["--silent", cmd])
            r = [x for x in rows if x["figure"] == "silent_wait"][0]
            if not r["timed_out"]:
                raise RuntimeError("silent wait %s ended without the receive timeout" % cmd)
            name = "wait_%s" % r["command"]
            figures.add(name + "_wall_ms", r["wall_ms"], "ms")
            figures.add(name + "_cpu_ms", r["cpu_ms"], "ms CPU")
            figures.add(name + "_cpu_percent", 100.0 * r["cpu_share"], "% of a core", "< 0.2 %",
                        r["cpu_share"] < 0.002)


# ---------------------------------------------------------------- console

def read_until(proc, buffer, pattern, deadline):
    """Reads the console's output until \\p pattern appears in it."""
    fd = proc.stdout.fileno()
    while pattern not in buffer[0]:
        left = deadline - time.monotonic()
        if left <= 0:
            raise RuntimeError("console: no %r within the time limit; got %r"
                               % (pattern, buffer[0][-300:]))
        ready, _, _ = select.select([fd], [], [], left)
        if ready:
            chunk = os.read(fd, 65536)
            if not chunk:
                raise RuntimeError("console ended early: %r" % buffer[0][-300:])
            buffer[0] += chunk.decode("latin-1")


def proc_status_kib(pid, field):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    return -1


def proc_cpu_ms(pid):
    """CPU time of every thread of \p pid so far, from the scheduler's
    nanosecond count (/proc/PID/stat only has clock ticks)."""
    total = 0
    task_dir = "/proc/%d/task" % pid
    for tid in os.listdir(task_dir):
        with open(os.path.join(task_dir, tid, "schedstat")) as f:
            total += int(f.read().split()[0])
    return total / 1e6


def console_start(build, figures, paced, runs):
    label = "paced" if paced else "unpaced"
    app = os.path.join(build, "RavenlinkApp", "ravenlinkapp")
    times, hwm, cpu = [], [], []
    with Station(["--paced"] if paced else []) as station:
        for _ in range(runs):
            proc = subprocess.Popen([app], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                    stderr=subprocess.DEVNULL)
            try:
                out = [""]
                read_until(proc, out, "connect to port: ", time.monotonic() + 10)
                start = time.monotonic()
                proc.stdin.write((station.link + "\n").encode())
                proc.stdin.flush()
                # The report reaches the pipe when the console waits for the
                # first menu choice.
                read_until(proc, out, "Current system status", time.monotonic() + 10)
                read_until(proc, out, "Choose one option from list: ", time.monotonic() + 10)
                times.append((time.monotonic() - start) * 1000.0)
                hwm.append(proc_status_kib(proc.pid, "VmHWM"))
                cpu.append(proc_cpu_ms(proc.pid))
                proc.stdin.write(b"11\n")
                proc.stdin.flush()
                proc.wait(timeout=10)
            finally:
                if proc.poll() is None:
                    proc.kill()
                    proc.wait()
    log("console start, %s: %s ms" % (label, ", ".join("%.1f" % t for t in times)))
    figures.add("console_%s_first_report_ms" % label, statistics.median(times), "ms",
                "port name entered to first report")
    figures.add("console_%s_vmhwm_kib" % label, max(hwm), "KiB", "< 8192 KiB", max(hwm) < 8192)
    figures.add("console_%s_cpu_to_report_ms" % label, statistics.median(cpu), "ms CPU",
                "whole process, start-up included")


# ---------------------------------------------------------------- tables

def markdown_tables(v, machine):
    """The tables of docs/PERFORMANCE.md, from the figures of one run."""
    out = []
    add = out.append

    def f(name, fmt="%.1f"):
        return (fmt % v[name]) if name in v else "n/m"

    def round_trip_rows(measured):
        """The round trips with the figure `measured` for complete-object:
        line, command and the key prefixes of their figures (both modes,
        quiet-line, complete-object)."""
        for line in ("unpaced", "paced"):
            for cmd in WAIT_FACTOR:
                q, o = "rt_%s_quiet_%s_" % (line, cmd), "rt_%s_object_%s_" % (line, cmd)
                if o + measured in v:
                    yield line, cmd, "rt_%s_%s_" % (line, cmd), q, o

    add("Machine: %s." % machine)
    add("")
    add("In process, one reply (CPU time; replies per second per core = 1 000 000 / us):")
    add("")
    add("| reply | bytes | check (us) | decode (us) | report (us) | all three (us) | replies/s/core | target |")
    add("|---|---|---|---|---|---|---|---|")
    for reply, target in (("status", ">= 10 000/s: %s" % (
            "met" if v.get("inproc_status_all_per_s", 0) >= 10000 else "MISSED")), ("details", "")):
        add("| %s | %d | %s | %s | %s | %s | %s | %s |" % (
            reply, v.get("%s_reply_bytes" % reply, 0), f("inproc_%s_check_us" % reply),
            f("inproc_%s_decode_us" % reply), f("inproc_%s_report_us" % reply),
            f("inproc_%s_all_us" % reply), f("inproc_%s_all_per_s" % reply, "%.0f"), target))
    add("")
    add("Round trips through StationLink against the pyserial peer, connection timeout 300 ms "
        "(median of the run; paced requests each after %d ms of quiet line; "
        "ratio = ours / peer, target for complete-object <= 1.0x as shown):" % PACED_QUIET_MS)
    add("")
    add("| line | command | wire (ms) | peer (ms) | quiet-line (ms) | ratio | complete-object (ms) | ratio "
        "| target |")
    add("|---|---|---|---|---|---|---|---|---|")
    for line, cmd, b, q, o in round_trip_rows("median_ms"):
        add("| %s | %s | %s | %s | %s | %s | %s | %s | %s |" % (
            line, cmd, f(b + "wire_ms"), f(b + "peer_median_ms", "%.2f"), f(q + "median_ms", "%.2f"),
            f(q + "vs_peer_time", "%.3f"), f(o + "median_ms", "%.2f"), f(o + "vs_peer_time", "%.3f"),
            "met" if ratio_met(v[o + "vs_peer_time"]) else "MISSED"))
    add("")
    add("CPU per exchange (ms; the process CPU clock, request to decoded reply) and against the "
        "library before this change (3ce2489, same program, same station, same run; "
        "target for paced: at most %.1fx before):" % CPU_BEFORE_FACTOR)
    add("")
    add("| line | command | peer | before | quiet-line | / before | complete-object | / before | target |")
    add("|---|---|---|---|---|---|---|---|---|")
    for line, cmd, b, q, o in round_trip_rows("cpu_ms"):
        verdicts = [MODE_TEXT[m] + (" met" if v[x + "vs_before_cpu"] <= CPU_BEFORE_FACTOR else " MISSED")
                    for m, x in (("quiet", q), ("object", o)) if x + "vs_before_cpu" in v]
        add("| %s | %s | %s | %s | %s | %s | %s | %s | %s |" % (
            line, cmd, f(b + "peer_cpu_ms", "%.3f"), f(b + "before_cpu_ms", "%.3f"), f(q + "cpu_ms", "%.3f"),
            f(q + "vs_before_cpu", "%.2f"), f(o + "cpu_ms", "%.3f"), f(o + "vs_before_cpu", "%.2f"),
            ", ".join(verdicts)))
    add("")
    tp = sorted({int(n.split("_")[1]) for n in v if n.startswith("tp_")})
    if tp:
        add("Unpaced status exchanges per second, one thread and one station per link, all at once:")
        add("")
        add("| threads | quiet-line | complete-object | peer (one Python process) |")
        add("|---|---|---|---|")
        for n in tp:
            add("| %d | %s | %s | %s |" % (n, f("tp_%d_quiet_per_s" % n, "%.0f"), f("tp_%d_object_per_s" % n, "%.0f"),
                                          f("tp_%d_peer_per_s" % n, "%.0f")))
        add("")
    add("Waiting for a reply that never comes (station with --no-reply), library in a process:")
    add("")
    add("| command | wait | wall (ms) | CPU (ms) | share of a core | target < 0.2 % |")
    add("|---|---|---|---|---|---|")
    for cmd, factor in WAIT_FACTOR.items():
        b = "wait_%s_" % cmd
        if b + "cpu_ms" in v:
            add("| %s | %d ms | %s | %s | %s %% | %s |" % (
                cmd, factor * DEFAULT_TIMEOUT_MS, f(b + "wall_ms", "%.0f"), f(b + "cpu_ms", "%.3f"),
                f(b + "cpu_percent", "%.3f"), "met" if v[b + "cpu_percent"] < 0.2 else "MISSED"))
    add("")
    add("The console (ravenlinkapp through a pipe; median of the runs, peak RSS the largest):")
    add("")
    add("| line | port name entered to first status report (ms) | console CPU until then (ms) "
        "| peak RSS VmHWM (KiB) | target < 8 MiB |")
    add("|---|---|---|---|---|")
    for line in ("unpaced", "paced"):
        b = "console_%s_" % line
        if b + "vmhwm_kib" in v:
            add("| %s | %s | %s | %s | %s |" % (
                line, f(b + "first_report_ms"), f(b + "cpu_to_report_ms"), f(b + "vmhwm_kib", "%.0f"),
                "met" if v[b + "vmhwm_kib"] < 8192 else "MISSED"))
    return "\n".join(out) + "\n"


# ---------------------------------------------------------------- reference

def read_reference(path):
    ref = {}
    with open(path) as f:
        for line in f:
            line = line.split("#", 1)[0].strip()
            if line:
                name, value = line.split()[:2]
                ref[name] = float(value)
    return ref


# Figures that the smoke run holds against the reference: times and sizes,
# where more is worse. Ratios and byte counts are left out.
COMPARED = re.compile(r"^(inproc_.*_us|rt_[a-z]+_(quiet|object)_[A-Za-z]+_(median|cpu)_ms|wait_getSystemStatus_cpu_ms|"
                      r"console_.*_(first_report_ms|vmhwm_kib|cpu_to_report_ms))$")


def write_reference(path, figures, machine):
    with open(path, "w") as f:
        f.write("# Reference figures for scripts/bench.sh --smoke, which fails when a\n"
                "# figure is more than %g times the value here. Written by\n"
                "# scripts/bench.sh --record on %s.\n" % (SMOKE_MARGIN, machine))
        for name, value in figures.values.items():
            if COMPARED.match(name):
                f.write("%s %.4g\n" % (name, value))


def compare(figures, ref):
    failed = []
    for name, value in figures.values.items():
        if name in ref and COMPARED.match(name):
            # Round trips of a tenth of a millisecond move by more than five
            # times on a busy machine; a few milliseconds more are no
            # regression of the receive rule.
            slack = SMOKE_SLACK_MS if name.endswith("_ms") else 0.0
            if value > max(SMOKE_MARGIN * ref[name], ref[name] + slack):
                failed.append("%s: %.4g is more than %g x the reference %.4g (and over it by %g ms or more)"
                              % (name, value, SMOKE_MARGIN, ref[name], slack))
    return failed


def machine_text():
    model = "unknown CPU"
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    return "%s, %d cores, load %s" % (model, os.cpu_count(),
                                      " ".join("%.2f" % x for x in os.getloadavg()))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--smoke", action="store_true")
    parser.add_argument("--reference", default=os.path.join(HERE, "reference.txt"))
    parser.add_argument("--record", action="store_true")
    parser.add_argument("--results")
    parser.add_argument("--markdown", help="write the tables of docs/PERFORMANCE.md to this file")
    parser.add_argument("--python", default=sys.executable)
    parser.add_argument("--station", help="the station simulator (default: the one in --build)")
    parser.add_argument("--baseline-roundtrip",
                        help="round-trip program built on the earlier library, measured paced in this run")
    parser.add_argument("--baseline", default=os.path.join(HERE, "baseline.txt"),
                        help="the earlier library's paced CPU per exchange, when not measured")
    args = parser.parse_args()
    Station.binary = args.station or os.path.join(args.build, "RavenlinkStation", "ravenlinkstation")

    machine = machine_text()
    log("machine: " + machine)
    figures = Figures()
    skipped = []
    in_process(args.build, figures, args.smoke)

    options = station_options()
    count = 3 if args.smoke else 30
    rounds = 1 if args.smoke else ROUNDS
    round_trips(args.build, args.python, figures, False, count, rounds=rounds)
    if "--paced" in options:
        round_trips(args.build, args.python, figures, True, 2 if args.smoke else PACED_COUNT,
                    args.baseline_roundtrip, read_baseline(args.baseline), rounds)
        console_start(args.build, figures, True, 1 if args.smoke else 5)
    else:
        skipped.append("paced round trips and paced console start: ravenlinkstation has no --paced")
    console_start(args.build, figures, False, 1 if args.smoke else 5)
    if "--no-reply" in options:
        silent_waits(args.build, figures,
                     ["status"] if args.smoke else ["status", "details", "activation"])
    else:
        skipped.append("waits without reply: ravenlinkstation has no --no-reply")
    if not args.smoke:
        throughput(args.build, args.python, figures, THROUGHPUT_THREADS, 3.0)

    print("Machine: %s" % machine)
    print("| figure | value | unit | target or basis | verdict |")
    print("|---|---|---|---|---|")
    for name, value, unit, target, verdict in figures.rows:
        text = ("%d" % value) if isinstance(value, int) else ("%.4g" % value)
        print("| %s | %s | %s | %s | %s |" % (name, text, unit, target, verdict))
    for note in skipped:
        print("Not measured: " + note)

    if args.results:
        with open(args.results, "w") as f:
            json.dump({"machine": machine, "figures": figures.values, "skipped": skipped}, f,
                      indent=1)
    if args.markdown:
        with open(args.markdown, "w") as f:
            f.write(markdown_tables(figures.values, machine))
    if args.record:
        write_reference(args.reference, figures, machine)
        log("reference written: " + args.reference)
    if args.smoke:
        if not os.path.exists(args.reference):
            print("smoke: no reference figures in %s (scripts/bench.sh --record writes them)"
                  % args.reference)
            return 1
        failed = compare(figures, read_reference(args.reference))
        for line in failed:
            print("REGRESSION " + line)
        print("smoke: %d figures compared, %d regressions"
              % (sum(1 for n in figures.values if COMPARED.match(n)), len(failed)))
        return 1 if failed else 0
    return 0


if __name__ == "__main__":
    sys.exit(main())
