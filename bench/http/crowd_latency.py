#!/usr/bin/env python3
"""Victim latency under a crowd: times a well-behaved client's GET of a
small static file (connect to last byte; p50, p99, max) while

  1. 1,000 slow connections come from one address (127.0.0.2),
  2. 1,000 slow connections come from 50 addresses (127.0.0.10-59),
  3. four clients keep asking for a report page over 300,000 records.

A slow connection sends half a request and then nothing; when the server
closes it, it is opened again at once. The script starts its own fwkhttpd
on a fresh root in a temporary directory and stops it at the end.

Usage: crowd_latency.py FWKHTTPD [VICTIM_REQUESTS]
"""

import os
import re
import resource
import selectors
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from victim_latency import read_all  # noqa: E402

HOST = "127.0.0.1"
SLOW_CONNECTIONS = 1000
REPORT_RECORDS = 300000
REPORT_CLIENTS = 4


def percentile(values, p):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(round(p / 100 * (len(ordered) - 1))))]


def get(port, path, source=HOST, timeout=60):
    with socket.create_connection((HOST, port), timeout=timeout,
                                  source_address=(source, 0)) as s:
        s.sendall(b"GET /%s HTTP/1.0\r\n\r\n" % path.encode())
        return read_all(s)


class SlowCrowd:
    """`count` half-sent requests from the addresses `sources`, kept open:
    one that the server closes is opened again."""

    def __init__(self, port, sources, count):
        self.port, self.sources, self.count = port, sources, count
        self.selector = selectors.DefaultSelector()
        self.halt = threading.Event()
        self.opened = 0
        self.thread = threading.Thread(target=self.run, daemon=True)

    def open_one(self, i):
        s = socket.socket()
        s.setblocking(False)
        s.bind((self.sources[i % len(self.sources)], 0))
        try:
            s.connect((HOST, self.port))
        except BlockingIOError:
            pass
        self.selector.register(s, selectors.EVENT_WRITE, (i, False))
        self.opened += 1

    def run(self):
        for i in range(self.count):
            self.open_one(i)
        while not self.halt.is_set():
            for key, events in self.selector.select(0.1):
                s = key.fileobj
                i, sent = key.data
                if not sent and events & selectors.EVENT_WRITE:
                    try:
                        s.send(b"GET /static.txt HTTP/1.1\r\nX-Pad: ")
                        self.selector.modify(s, selectors.EVENT_READ, (i, True))
                        continue
                    except OSError:
                        pass
                elif sent:
                    try:
                        if s.recv(4096):
                            continue
                    except BlockingIOError:
                        continue
                    except OSError:
                        pass
                self.selector.unregister(s)
                s.close()
                if not self.halt.is_set():
                    self.open_one(i)
        for key in list(self.selector.get_map().values()):
            key.fileobj.close()

    def __enter__(self):
        self.thread.start()
        time.sleep(2)  # let the crowd arrive
        return self

    def __exit__(self, *exc):
        self.halt.set()
        self.thread.join(30)


class ReportClients:
    def __init__(self, port):
        self.port = port
        self.halt = threading.Event()
        self.pages = 0
        self.threads = [threading.Thread(target=self.run, daemon=True)
                        for _ in range(REPORT_CLIENTS)]

    def run(self):
        while not self.halt.is_set():
            if get(self.port, "report.html").startswith(b"HTTP/1.1 200"):
                self.pages += 1

    def __enter__(self):
        for t in self.threads:
            t.start()
        time.sleep(1)
        return self

    def __exit__(self, *exc):
        self.halt.set()
        for t in self.threads:
            t.join(60)


def victim(port, requests):
    times = []
    for _ in range(requests):
        started = time.monotonic()
        data = get(port, "static.txt")
        times.append((time.monotonic() - started) * 1000)
        if not data.startswith(b"HTTP/1.1 200"):
            raise SystemExit("victim request failed: %r" % data[:80])
        time.sleep(0.01)
    return times


def make_root(root):
    os.makedirs(root)
    with open(os.path.join(root, "cgi.ini"), "w") as f:
        f.write("[server]\nERROR=\n")
    with open(os.path.join(root, "static.txt"), "w") as f:
        f.write("static text\n" * 100)
    with open(os.path.join(root, "big.asc"), "w") as f:
        f.write("ID\tQ1\tQ2\r\n")
        for i in range(REPORT_RECORDS):
            f.write("%d\tanswer %d\t%d\r\n" % (i, i, i % 7))
    with open(os.path.join(root, "report.html"), "w") as f:
        f.write("<html><body><p>Sevens:</p>\n<%report big.asc Q2 == 9 %>{ID} </report>\n"
                "</body></html>\n")


def start_server(fwkhttpd, work):
    root = os.path.join(work, "root")
    make_root(root)
    for d in ("runtime", "config", "etc"):
        os.makedirs(os.path.join(work, d), mode=0o700)
    env = dict(os.environ, XDG_RUNTIME_DIR=os.path.join(work, "runtime"),
               XDG_CONFIG_HOME=os.path.join(work, "config"),
               FORMWICK_ETC=os.path.join(work, "etc"), FORMWICK_ONLINE="0")
    out = open(os.path.join(work, "out"), "wb")
    with socket.socket() as probe:
        probe.bind((HOST, 0))
        first = probe.getsockname()[1]
    process = subprocess.Popen([fwkhttpd, "--headless", "--root", root + "/", "--port",
                                str(first)], stdout=out, stderr=subprocess.STDOUT, env=env)
    for _ in range(200):
        with open(os.path.join(work, "out"), "rb") as f:
            found = re.search(rb"running on port (?:\S*:)?(\d+)", f.read())
        if found:
            return process, int(found.group(1))
        time.sleep(0.05)
    process.kill()
    raise SystemExit("fwkhttpd did not start")


def main():
    fwkhttpd = sys.argv[1]
    requests = int(sys.argv[2]) if len(sys.argv) > 2 else 300
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (max(soft, min(hard, 8192)), hard))
    work = tempfile.mkdtemp(prefix="fwk-crowd-")
    process, port = start_server(fwkhttpd, work)
    try:
        report_ms = []
        for _ in range(3):
            started = time.monotonic()
            get(port, "report.html")
            report_ms.append((time.monotonic() - started) * 1000)
        print("report page over %d records alone: %.0f ms" % (REPORT_RECORDS, min(report_ms)))
        print("%-44s %9s %9s %9s" % ("victim: GET static.txt while", "p50", "p99", "max"))
        scenarios = [
            ("nothing else", lambda: NullContext()),
            ("1000 slow connections from 127.0.0.2",
             lambda: SlowCrowd(port, ["127.0.0.2"], SLOW_CONNECTIONS)),
            ("1000 slow connections from 50 addresses",
             lambda: SlowCrowd(port, ["127.0.0.%d" % (10 + i) for i in range(50)],
                               SLOW_CONNECTIONS)),
            ("4 clients on the 300,000-record report",
             lambda: ReportClients(port)),
        ]
        for name, make in scenarios:
            with make():
                times = victim(port, requests)
            print("%-44s %6.1f ms %6.1f ms %6.1f ms" % (
                name, percentile(times, 50), percentile(times, 99), max(times)))
            sys.stdout.flush()
            time.sleep(1)
    finally:
        process.terminate()
        process.wait(30)
        shutil.rmtree(work, ignore_errors=True)


class NullContext:
    def __enter__(self):
        return self

    def __exit__(self, *exc):
        pass


if __name__ == "__main__":
    main()
