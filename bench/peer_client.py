#!/usr/bin/env python3
"""A minimal station client in Python with pyserial, as a peer to measure the
console against: the same status request line, one blocking readline for the
reply, the reply parsed and its message id checked.

    peer_client.py --port PATH [--count N] [--timeout SECONDS] [--quiet MS]
                   [--request status|details|activation]
    peer_client.py --port PATH [--port PATH ...] --throughput SECONDS

Prints one JSON object: round-trip times in milliseconds, the process CPU time
per exchange, and the byte counts of request and reply. --quiet leaves the
line quiet for MS milliseconds before each request (not timed). --throughput
runs status exchanges back to back for SECONDS, one thread and one port each,
and reports the exchanges per second of all.
"""
import argparse
import json
import random
import statistics
import sys
import threading
import time

import serial

# The command of each request, as the console sends it. The group names are
# the wire protocol's own; this client has no access to the library's table.
REQUESTS = {
    "status": ("GET_SYSTEM_STATUS", 1),
    "details": ("GET_SYSTEM_DETAILS", 1),
    "activation": ("SET_ACTIVATION", 16),
}


def cpu_seconds():
    return time.clock_gettime(time.CLOCK_PROCESS_CPUTIME_ID)


def exchange(port, command, value):
    msg_id = random.randint(1000, 65535)
    request = '{"COM":{"MSG_ID":%d},"COMMAND":{"%s":%d}}\n' % (msg_id, command, value)
    port.write(request.encode("ascii"))
    line = port.readline()
    if not line.endswith(b"\n"):
        raise RuntimeError("no complete reply within the timeout")
    reply = json.loads(line[line.index(b"{"):])
    if reply.get("COM", {}).get("MSG_ID") != msg_id:
        raise RuntimeError("reply carries another message id")
    return len(request), len(line)


def open_port(path, timeout):
    port = serial.Serial(path, 115200, bytesize=8, parity="N", stopbits=1, timeout=timeout)
    port.reset_input_buffer()
    return port


def throughput(paths, timeout, seconds):
    command, value = REQUESTS["status"]
    done = [0] * len(paths)
    failed = [0] * len(paths)
    ports = [open_port(path, timeout) for path in paths]
    end = time.perf_counter() + seconds

    def serve(i):
        while time.perf_counter() < end:
            try:
                exchange(ports[i], command, value)
                done[i] += 1
            except (RuntimeError, ValueError):
                failed[i] += 1
                ports[i].reset_input_buffer()

    cpu_start = cpu_seconds()
    start = time.perf_counter()
    threads = [threading.Thread(target=serve, args=(i,)) for i in range(len(paths))]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    wall = time.perf_counter() - start
    cpu = cpu_seconds() - cpu_start
    for port in ports:
        port.close()
    print(json.dumps({"figure": "peer_throughput", "threads": len(paths), "exchanges": sum(done),
                      "failures": sum(failed), "wall_ms": wall * 1000.0,
                      "per_s": sum(done) / wall, "cpu_share": cpu / wall}))
    return 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", action="append", required=True)
    parser.add_argument("--count", type=int, default=50)
    parser.add_argument("--timeout", type=float, default=0.3,
                        help="read timeout in seconds (the console's default)")
    parser.add_argument("--request", choices=sorted(REQUESTS), default="status")
    parser.add_argument("--quiet", type=float, default=0.0,
                        help="milliseconds of quiet line before each request")
    parser.add_argument("--throughput", type=float, default=0.0,
                        help="seconds of back-to-back status exchanges on every port at once")
    args = parser.parse_args()
    if args.throughput > 0:
        return throughput(args.port, args.timeout, args.throughput)
    if len(args.port) != 1:
        parser.error("one --port unless --throughput is given")
    command, value = REQUESTS[args.request]

    port = open_port(args.port[0], args.timeout)
    times = []
    sizes = (0, 0)
    failures = 0
    cpu_ms = 0.0
    busy_ms = 0.0
    for _ in range(args.count):
        if args.quiet > 0:
            time.sleep(args.quiet / 1000.0)
        cpu_start = cpu_seconds()
        start = time.perf_counter()
        try:
            sizes = exchange(port, command, value)
            times.append((time.perf_counter() - start) * 1000.0)
        except (RuntimeError, ValueError) as err:
            failures += 1
            print("peer: %s" % err, file=sys.stderr)
            port.reset_input_buffer()
        busy_ms += (time.perf_counter() - start) * 1000.0
        cpu_ms += (cpu_seconds() - cpu_start) * 1000.0
    port.close()

    result = {"figure": "peer_roundtrip", "command": command, "count": len(times),
              "failures": failures, "request_bytes": sizes[0], "reply_bytes": sizes[1],
              "times_ms": times, "cpu_ms": cpu_ms, "busy_ms": busy_ms,
              "cpu_ms_per_call": cpu_ms / args.count,
              "cpu_share": cpu_ms / busy_ms if busy_ms > 0 else 0.0}
    if times:
        ordered = sorted(times)
        result.update(min_ms=ordered[0], median_ms=statistics.median(ordered),
                      p90_ms=ordered[min(len(ordered) - 1, int(0.9 * (len(ordered) - 1) + 0.5))],
                      max_ms=ordered[-1])
    print(json.dumps(result))
    return 0 if times else 1


if __name__ == "__main__":
    sys.exit(main())
