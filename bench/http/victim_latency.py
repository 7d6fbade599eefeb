#!/usr/bin/env python3
"""Victim latency: while one kind of slow or hostile client works on a
server, times the requests of a well-behaved client (connect to last byte)
and prints the median and the worst.

Usage: victim_latency.py PORT ROOT STATIC PAGE
  ROOT   the server's root directory (a 50 MB file is written there)
  STATIC, PAGE  paths of a small static file and a template page
"""

import os
import socket
import statistics
import sys
import threading
import time

HOST = "127.0.0.1"
VICTIM_REQUESTS = 40


def connect(port, timeout=30):
    return socket.create_connection((HOST, port), timeout=timeout)


def read_all(s):
    chunks = []
    while True:
        try:
            chunk = s.recv(65536)
        except OSError:
            break
        if not chunk:
            break
        chunks.append(chunk)
    return b"".join(chunks)


def trickler(port, head):
    halt = threading.Event()

    def run():
        try:
            with connect(port) as s:
                s.sendall(head)
                while not halt.wait(0.1):
                    s.sendall(b"a")
        except OSError:
            pass

    thread = threading.Thread(target=run, daemon=True)
    thread.start()
    return lambda: (halt.set(), thread.join(5))


def held_sockets(sockets):
    return lambda: [s.close() for s in sockets]


def attack_trickling_header(port, root):
    return trickler(port, b"GET / HTTP/1.1\r\nX-Pad: ")


def attack_trickling_body(port, root):
    return trickler(port, b"POST / HTTP/1.1\r\nContent-Length: 100000\r\n\r\nX=")


def attack_missing_bodies(port, root):
    sockets = []
    for _ in range(20):
        s = connect(port)
        s.sendall(b"POST / HTTP/1.1\r\nContent-Length: 1\r\n\r\n")
        sockets.append(s)
    return held_sockets(sockets)


def attack_non_readers(port, root):
    path = os.path.join(root, "big.bin")
    if not os.path.exists(path):
        with open(path, "wb") as f:
            block = os.urandom(1024 * 1024)
            for _ in range(50):
                f.write(block)
    sockets = []
    for _ in range(4):
        s = socket.socket()
        s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
        s.connect((HOST, port))
        s.sendall(b"GET /big.bin HTTP/1.0\r\n\r\n")
        sockets.append(s)
    return held_sockets(sockets)


def attack_idle(port, root):
    sockets = []
    for i in range(200):
        s = connect(port)
        if i % 2:
            s.sendall(b"GET / HTTP/1.1\r\n")
        sockets.append(s)
    return held_sockets(sockets)


ATTACKS = [
    ("none", None),
    ("trickling header", attack_trickling_header),
    ("trickling body", attack_trickling_body),
    ("missing bodies x20", attack_missing_bodies),
    ("non-readers x4 (50 MB)", attack_non_readers),
    ("idle connections x200", attack_idle),
]


def victim(port, static, page):
    times = []
    for i in range(VICTIM_REQUESTS):
        path = static if i % 2 == 0 else page
        started = time.monotonic()
        with connect(port) as s:
            s.sendall(b"GET /%s HTTP/1.0\r\n\r\n" % path.encode())
            data = read_all(s)
        times.append(time.monotonic() - started)
        if not data.startswith(b"HTTP/1.1 200"):
            raise SystemExit("victim request failed: %r" % data[:80])
        time.sleep(0.02)
    return times


def main():
    port, root, static, page = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
    print("%-24s %10s %10s" % ("victim latency under", "median", "max"))
    for name, attack in ATTACKS:
        stop = attack(port, root) if attack else (lambda: None)
        try:
            time.sleep(0.3)
            times = victim(port, static, page)
        finally:
            stop()
        print("%-24s %7.1f ms %7.1f ms" % (name, statistics.median(times) * 1000,
                                           max(times) * 1000))
        sys.stdout.flush()
        time.sleep(0.5)


if __name__ == "__main__":
    main()
