#!/usr/bin/env python3
"""A minimal station client in Python with pyserial, as a peer to measure the
console against: the same status request line, one blocking readline for the
reply, the reply parsed and its message id checked.

    peer_client.py --port PATH [--count N] [--timeout SECONDS]
                   [--request status|details|activation]

Prints one JSON object: round-trip times in milliseconds, the process CPU time
per exchange, and the byte counts of request and reply.
"""
import argparse
import json
import random
import resource
import statistics
import sys
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
    usage = resource.getrusage(resource.RUSAGE_SELF)
    return usage.ru_utime + usage.ru_stime


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


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", required=True)
    parser.add_argument("--count", type=int, default=50)
    parser.add_argument("--timeout", type=float, default=0.3,
                        help="read timeout in seconds (the console's default)")
    parser.add_argument("--request", choices=sorted(REQUESTS), default="status")
    args = parser.parse_args()
    command, value = REQUESTS[args.request]

    port = serial.Serial(args.port, 115200, bytesize=8, parity="N", stopbits=1,
                         timeout=args.timeout)
    port.reset_input_buffer()
    times = []
    sizes = (0, 0)
    failures = 0
    cpu_start = cpu_seconds()
    loop_start = time.perf_counter()
    for _ in range(args.count):
        start = time.perf_counter()
        try:
            sizes = exchange(port, command, value)
            times.append((time.perf_counter() - start) * 1000.0)
        except (RuntimeError, ValueError) as err:
            failures += 1
            print("peer: %s" % err, file=sys.stderr)
            port.reset_input_buffer()
    loop_ms = (time.perf_counter() - loop_start) * 1000.0
    cpu_ms = (cpu_seconds() - cpu_start) * 1000.0
    port.close()

    result = {"figure": "peer_roundtrip", "command": command, "count": len(times),
              "failures": failures, "request_bytes": sizes[0], "reply_bytes": sizes[1],
              "cpu_ms_per_call": cpu_ms / args.count,
              "cpu_share": cpu_ms / loop_ms if loop_ms > 0 else 0.0}
    if times:
        ordered = sorted(times)
        result.update(min_ms=ordered[0], median_ms=statistics.median(ordered),
                      p90_ms=ordered[min(len(ordered) - 1, int(0.9 * (len(ordered) - 1) + 0.5))],
                      max_ms=ordered[-1])
    print(json.dumps(result))
    return 0 if times else 1


if __name__ == "__main__":
    sys.exit(main())
