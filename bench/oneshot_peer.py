#!/usr/bin/env python3
"""A one-shot status script in Python, the peer of `ravenlinkctl status`:
opens the port raw at 115200 8N1 and drops what is waiting, as pyserial's
Serial() and reset_input_buffer() do (with termios directly, so that it runs
where pyserial is not installed), sends one status request, reads up to the
line feed, checks the message id and prints the reply.

    oneshot_peer.py PORT
"""
import json
import os
import random
import select
import sys
import termios
import tty


def main():
    fd = os.open(sys.argv[1], os.O_RDWR | os.O_NOCTTY)
    tty.setraw(fd)
    attrs = termios.tcgetattr(fd)
    attrs[4] = attrs[5] = termios.B115200
    termios.tcsetattr(fd, termios.TCSANOW, attrs)
    termios.tcflush(fd, termios.TCIFLUSH)
    msg_id = random.randint(1000, 65535)
    os.write(fd, ('{"COM":{"MSG_ID":%d},"COMMAND":{"GET_SYSTEM_STATUS":1}}\n' % msg_id).encode("ascii"))
    line = b""
    while not line.endswith(b"\n"):
        if not select.select([fd], [], [], 1.0)[0]:
            sys.exit("no reply")
        line += os.read(fd, 4096)
    reply = json.loads(line[line.index(b"{"):])
    if reply["COM"]["MSG_ID"] != msg_id:
        sys.exit("reply carries another message id")
    print(json.dumps(reply))
    os.close(fd)


if __name__ == "__main__":
    main()
