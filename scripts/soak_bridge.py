#!/usr/bin/python3
"""Soak of ravenlink-bridge (run by scripts/soak-bridge.sh).

One bridge serves four simulated stations on a broker with the site's
configuration as shipped (packaging/mosquitto/, moved to a scratch folder).
An operator sends a start-length command every 0.1 s, each with its own id
and its own value, round the stations, while the broker is restarted and
stations are killed (SIGKILL) and started again. The stations log every
request (-v), so each command's value tells how often it reached its
station.

Afterwards every command that the broker took (mosquitto_pub -q 1 ended
with 0) is judged:
  run twice               its value reached the station more than once
  done without running    answered ok:true, and its value never reached it
  unanswered              no result, although sent outside the window below
The window: a command gets no answer when the bridge has no broker
connection while it is on its way or while its answer is (documented). It
runs from ANSWER_BOUND seconds before the broker stops until every station's
state is on the broker again after the restart, as the observer sees it.
Any of the three counts above fails the run (exit 1).
"""
import argparse
import collections
import json
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

ANSWER_BOUND = 5.0  # s: a command's answer is due within this
STATIONS = ["st0", "st1", "st2", "st3"]
BRIDGE_PASSWORD = "soak-bridge-secret"
OPERATOR_PASSWORD = "soak-operator-secret"
VIEWER_PASSWORD = "soak-viewer-secret"


def free_port():
    import socket
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Soak:
    def __init__(self, args):
        self.args = args
        self.dir = tempfile.mkdtemp(prefix="ravenlink-soak-")
        self.port = free_port()
        self.broker = None
        self.stations = {}
        self.bridge = None
        self.observer = None
        self.lock = threading.Lock()
        self.results = collections.defaultdict(list)  # id -> [(time, payload)]
        self.states = []  # (time, station, payload)
        self.sent = []  # (time, station, id, centimetres)
        self.not_sent = 0
        self.broker_stops = []  # (stop time, start time)
        self.kills = 0
        self.stop = threading.Event()

    def path(self, name):
        return os.path.join(self.dir, name)

    # ---- the parts ----

    def set_up_broker(self):
        passwd = self.path("ravenlink.passwd")
        first = True
        for user, password in (("ravenlink-bridge", BRIDGE_PASSWORD), ("operator", OPERATOR_PASSWORD),
                               ("viewer", VIEWER_PASSWORD)):
            subprocess.run(["mosquitto_passwd"] + (["-c"] if first else []) + ["-b", passwd, user, password],
                           check=True)
            first = False
        packaging = os.path.join(self.args.source, "packaging", "mosquitto")
        shutil.copy(os.path.join(packaging, "ravenlink.acl"), self.path("ravenlink.acl"))
        site = open(os.path.join(packaging, "ravenlink.conf")).read()
        site = re.sub(r"(?m)^password_file .*$", "password_file " + passwd, site)
        site = re.sub(r"(?m)^acl_file .*$", "acl_file " + self.path("ravenlink.acl"), site)
        site = re.sub(r"(?m)^listener 1883 .*$", "listener %d 127.0.0.1" % self.port, site)
        os.mkdir(self.path("conf.d"))
        open(self.path("conf.d/ravenlink.conf"), "w").write(site)
        import pwd
        me = pwd.getpwuid(os.getuid()).pw_name
        open(self.path("broker.conf"), "w").write(
            "persistence false\nlog_dest stderr\nuser %s\ninclude_dir %s\n" % (me, self.path("conf.d")))

    def start_broker(self):
        log = open(self.path("broker.log"), "a")
        self.broker = subprocess.Popen(["mosquitto", "-c", self.path("broker.conf")], stdout=log, stderr=log)
        self.wait_port()

    def wait_port(self):
        import socket
        deadline = time.time() + 10
        while time.time() < deadline:
            try:
                socket.create_connection(("127.0.0.1", self.port), 0.2).close()
                return
            except OSError:
                time.sleep(0.02)
        raise SystemExit("soak: the broker did not start; see " + self.path("broker.log"))

    def stop_broker(self):
        self.broker.send_signal(signal.SIGTERM)
        self.broker.wait(10)

    def start_station(self, name):
        log = open(self.path(name + ".log"), "a")
        station = subprocess.Popen([self.args.station, "-v", "--link", self.path(name)], stdout=log, stderr=log)
        deadline = time.time() + 10
        while not os.path.exists(self.path(name)) and time.time() < deadline:
            time.sleep(0.02)
        self.stations[name] = station

    def start_bridge(self):
        open(self.path("bridge.password"), "w").write(BRIDGE_PASSWORD + "\n")
        command = [self.args.bridge, "--broker", "mqtt://127.0.0.1:%d" % self.port, "--protocol", self.args.protocol,
                   "--username", "ravenlink-bridge", "--password-file", self.path("bridge.password"),
                   "--commands", "on", "--interval", "0.5"]
        for name in STATIONS:
            command += ["--station", "%s=%s" % (name, self.path(name))]
        log = open(self.path("bridge.log"), "a")
        self.bridge = subprocess.Popen(command, stdout=log, stderr=log)

    def start_observer(self):
        self.observer = subprocess.Popen(
            ["mosquitto_sub", "-h", "127.0.0.1", "-p", str(self.port), "-u", "viewer", "-P", VIEWER_PASSWORD,
             "-i", "soak-observer", "-q", "1", "-v", "-t", "ravenlink/+/cmd/result", "-t", "ravenlink/+/state"],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        threading.Thread(target=self.observe, daemon=True).start()

    def observe(self):
        for line in self.observer.stdout:
            now = time.time()
            topic, _, payload = line.rstrip("\n").partition(" ")
            station = topic.split("/")[1] if topic.count("/") >= 2 else ""
            with self.lock:
                if topic.endswith("/cmd/result"):
                    try:
                        self.results[json.loads(payload).get("id")].append((now, payload))
                    except ValueError:
                        pass
                elif topic.endswith("/state"):
                    self.states.append((now, station, payload))

    # ---- the load and the trouble ----

    def send(self):
        k = 0
        while not self.stop.is_set():
            station = STATIONS[k % len(STATIONS)]
            centimetres = 100 + k  # every command its own value
            ident = "soak-%d" % k
            # The station takes whole centimetres, cut: 4 mm more keeps the cut
            # on the centimetre meant.
            payload = json.dumps({"id": ident, "command": "start-length", "value": round(centimetres / 100 + 0.004, 3)})
            now = time.time()
            try:
                done = subprocess.run(
                    ["mosquitto_pub", "-h", "127.0.0.1", "-p", str(self.port), "-u", "operator", "-P",
                     OPERATOR_PASSWORD, "-i", "soak-operator", "-q", "1", "-t", "ravenlink/%s/cmd" % station,
                     "-m", payload], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=5).returncode == 0
            except subprocess.TimeoutExpired:
                done = False
            with self.lock:
                if done:
                    self.sent.append((now, station, ident, centimetres))
                else:
                    self.not_sent += 1
            k += 1
            time.sleep(max(0.0, 0.1 - (time.time() - now)))

    def trouble(self, end):
        rng = random.Random(self.args.seed)
        next_restart = time.time() + self.args.restart_every
        next_kill = time.time() + self.args.kill_every / 2
        while time.time() < end:
            now = time.time()
            if now >= next_restart:
                stopped = time.time()
                self.stop_broker()
                time.sleep(rng.uniform(1.0, 3.0))
                self.start_broker()
                with self.lock:
                    self.broker_stops.append((stopped, time.time()))
                print("  %5.0f s  broker restarted" % (time.time() - self.began), flush=True)
                next_restart = time.time() + self.args.restart_every
            elif now >= next_kill:
                name = rng.choice(STATIONS)
                self.stations[name].kill()
                self.stations[name].wait()
                time.sleep(rng.uniform(0.5, 3.0))
                self.start_station(name)
                self.kills += 1
                print("  %5.0f s  station %s killed and started again" % (time.time() - self.began, name), flush=True)
                next_kill = time.time() + self.args.kill_every
            time.sleep(0.1)

    # ---- the verdict ----

    def windows(self):
        """Per station, the spans in which a command may go unanswered."""
        spans = collections.defaultdict(list)
        for stopped, started in self.broker_stops:
            for name in STATIONS:
                back = [t for t, station, _ in self.states if station == name and t >= started]
                spans[name].append((stopped - ANSWER_BOUND, (min(back) if back else started + 30) + 0.5))
        return spans

    def executions(self):
        counts = collections.defaultdict(collections.Counter)
        for name in STATIONS:
            for line in open(self.path(name + ".log"), errors="replace"):
                found = re.search(r'^<- .*"SET_RET_START":(\d+)', line)
                if found:
                    counts[name][int(found.group(1))] += 1
        return counts

    def verdict(self):
        spans = self.windows()
        executed = self.executions()
        tally = collections.Counter()
        refusals = collections.Counter()
        problems = []
        for sent_at, station, ident, centimetres in self.sent:
            runs = executed[station][centimetres]
            answers = self.results.get(ident, [])
            in_window = any(a <= sent_at <= b for a, b in spans[station])
            tally["sent"] += 1
            tally["sent in the no-broker window"] += in_window
            if runs > 1:
                tally["run twice"] += 1
                problems.append("%s on %s ran %d times" % (ident, station, runs))
            if not answers:
                if in_window:
                    tally["unanswered, in the no-broker window"] += 1
                else:
                    tally["unanswered"] += 1
                    problems.append("%s on %s (sent at %.1f s) was never answered" % (ident, station,
                                                                                     sent_at - self.began))
                continue
            tally["answered"] += 1
            answer = json.loads(answers[0][1])
            if answer.get("ok"):
                tally["answered ok"] += 1
                if runs == 0:
                    tally["done without running"] += 1
                    problems.append("%s on %s was answered ok but never reached the station" % (ident, station))
            else:
                tally["answered not ok"] += 1
                refusals[answer.get("error", "")[:70]] += 1
            if len(answers) > 1 and len({p for _, p in answers}) > 1:
                tally["answered twice, differently"] += 1
                problems.append("%s on %s got different answers: %s" % (ident, station, [p for _, p in answers]))
        return tally, refusals, problems

    # ---- the run ----

    def run(self):
        self.set_up_broker()
        self.start_broker()
        for name in STATIONS:
            self.start_station(name)
        self.start_observer()
        self.start_bridge()
        time.sleep(3)
        self.began = time.time()
        end = self.began + self.args.seconds
        print("soak: %d s, 4 stations, MQTT %s, broker restart every %d s, a station killed every %d s; files in %s"
              % (self.args.seconds, self.args.protocol, self.args.restart_every, self.args.kill_every, self.dir),
              flush=True)
        sender = threading.Thread(target=self.send)
        sender.start()
        try:
            self.trouble(end)
        finally:
            self.stop.set()
            sender.join()
            time.sleep(ANSWER_BOUND + 2)  # the last answers
            bridge_status = None
            if self.bridge:
                self.bridge.send_signal(signal.SIGTERM)
                bridge_status = self.bridge.wait(15)
            for process in list(self.stations.values()) + [self.observer, self.broker]:
                if process and process.poll() is None:
                    process.terminate()
                    process.wait(10)
        tally, refusals, problems = self.verdict()
        print()
        print("broker restarts: %d, station kills: %d, commands the broker refused to take (it was down): %d"
              % (len(self.broker_stops), self.kills, self.not_sent))
        for key in ("sent", "answered", "answered ok", "answered not ok", "sent in the no-broker window",
                    "unanswered, in the no-broker window", "run twice", "done without running", "unanswered",
                    "answered twice, differently"):
            print("  %-40s %6d" % (key, tally[key]))
        for error, count in refusals.most_common():
            print("    not ok: %-60s %5d" % (error, count))
        print("bridge exit status after SIGTERM: %s" % bridge_status)
        for line in problems[:20]:
            print("FAULT: " + line)
        failed = tally["run twice"] or tally["done without running"] or tally["unanswered"] or \
            tally["answered twice, differently"] or bridge_status != 0 or tally["answered"] == 0
        if failed:
            print("soak: FAILED; the files are kept in " + self.dir)
            return 1
        shutil.rmtree(self.dir)
        print("soak: passed")
        return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--bridge", required=True)
    parser.add_argument("--station", required=True)
    parser.add_argument("--source", required=True, help="the source tree (for packaging/mosquitto)")
    parser.add_argument("--seconds", type=int, default=180)
    parser.add_argument("--restart-every", type=int, default=30)
    parser.add_argument("--kill-every", type=int, default=12)
    parser.add_argument("--protocol", choices=("3.1.1", "5"), default="3.1.1")
    parser.add_argument("--seed", type=int, default=1)
    sys.exit(Soak(parser.parse_args()).run())


if __name__ == "__main__":
    main()
