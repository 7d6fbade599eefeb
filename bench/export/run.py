#!/usr/bin/env python3
"""Exports of a 1,000,000-record data file (about 200 MB): the rate of each
format in MB/s of input and the peak resident memory of `fwkhttpd export`,
then the latency of another client's requests while the record browser
sends an export, and the server's peak memory.

Usage: bench/export/run.py <build dir with fwkhttpd>
Environment: RECORDS (default 1000000).
Goals: CSV and JSON Lines >= 100 MB/s, xlsx >= 20 MB/s (libxlsxwriter packs at zlib's
default level, which it does not let us change: expect about 7 MB/s), peak RSS < 32 MB,
the other client answered within 100 ms.
"""

import os
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time

GOALS = {"csv": 100.0, "jsonl": 100.0, "xlsx": 20.0}
RSS_GOAL_MB = 32.0
LATENCY_GOAL_MS = 100.0
CITIES = ["Oslo", "Rome", "Lima", "Kyiv", "Pune", "São Paulo"]


def field(text):
    return '"' + text.replace('"', '""') + '"\t'


def write_data_file(path, records):
    """A survey's data file as the forms engine writes it; every tenth
    record is retired."""
    header = ("_SESSION\tDATE\tTIME\tHOST\tNAME\tPIN\tCITY\tAGE\tQ1_a\tQ1_b\tQ2\tQ3\t"
              "COMMENT\t_FORMDONE\n")
    with open(path, "w", encoding="utf-8", newline="") as f:
        f.write(header)
        lines = []
        for i in range(records):
            values = ["S%013d" % i, "20261208", "%06d" % (i % 235959), "tablet-7",
                      "Person %d" % i, "%04d" % (i % 10000), CITIES[i % 6], str(18 + i % 60),
                      str(i % 2), str(i // 2 % 2), str(i % 5), "007",
                      'A comment, of "some" length, about the visit & the staff, on the device',
                      "1"]
            line = "".join(field(v) for v in values) + "\r\n"
            lines.append("#" + line[1:] if i % 10 == 9 else line)
            if len(lines) == 10000:
                f.write("".join(lines))
                lines = []
        f.write("".join(lines))


def run_export(fwkhttpd, root, fmt, out, work):
    """Seconds and peak resident memory (MB) of one export, measured by GNU
    time (a child of this Python would count this Python's memory too)."""
    report = os.path.join(work, "time.txt")
    done = subprocess.run(["/usr/bin/time", "-o", report, "-f", "%e %M", fwkhttpd, "export",
                           "--root", root, "big", "--format", fmt, "-o", out],
                          stderr=subprocess.PIPE)
    if done.returncode != 0:
        raise SystemExit("export %s failed: %s" % (fmt, done.stderr.decode()))
    with open(report) as f:
        seconds, kilobytes = f.read().split()[-2:]
    return float(seconds), int(kilobytes) / 1024.0


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def timed_get(port, path):
    started = time.monotonic()
    with socket.create_connection(("127.0.0.1", port), timeout=10) as s:
        s.sendall(("GET %s HTTP/1.1\r\nHost: x\r\n\r\n" % path).encode())
        while s.recv(65536):
            pass
    return (time.monotonic() - started) * 1000.0


def browser_export(fwkhttpd, work, root, fmt):
    """Downloads an export through the record browser while another client
    asks for a small page every 20 ms; returns the download's seconds, the
    other client's latencies and the server's peak memory."""
    env = dict(os.environ, XDG_RUNTIME_DIR=os.path.join(work, "run"),
               XDG_CONFIG_HOME=os.path.join(work, "config"),
               FORMWICK_ETC=os.path.join(work, "etc"), FORMWICK_ONLINE="0")
    for d in ("run", "config", "etc"):
        os.makedirs(os.path.join(work, d), mode=0o700, exist_ok=True)
    port = free_port()
    server = subprocess.Popen([fwkhttpd, "--headless", "--root", root + "/", "--port", str(port)],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env)
    try:
        for _ in range(100):
            try:
                timed_get(port, "/index.html")
                break
            except OSError:
                time.sleep(0.05)
        latencies = []
        done = threading.Event()

        def download():
            started = time.monotonic()
            subprocess.run(["curl", "-sS", "-o", os.devnull,
                            "http://127.0.0.1:%d/list?DATABASE=big&_ACTION=EXPORT&_FORMAT=%s"
                            % (port, fmt)], check=True)
            download.seconds = time.monotonic() - started
            done.set()

        thread = threading.Thread(target=download)
        thread.start()
        time.sleep(0.2)
        while not done.is_set():
            latencies.append(timed_get(port, "/index.html"))
            time.sleep(0.02)
        thread.join()
        with open("/proc/%d/status" % server.pid) as f:
            peak = [int(l.split()[1]) for l in f if l.startswith("VmHWM")][0] / 1024.0
        return download.seconds, latencies, peak
    finally:
        server.terminate()
        server.wait()


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build-bench"
    fwkhttpd = os.path.join(os.path.abspath(build), "fwkhttpd")
    records = int(os.environ.get("RECORDS", "1000000"))
    work = tempfile.mkdtemp(prefix="fwk-bench-export-")
    try:
        root = os.path.join(work, "root")
        os.makedirs(root)
        with open(os.path.join(root, "big.ini"), "w") as f:
            f.write("[DATABASE]\nTitle=Big\n[access]\nPWDREAD=(allow)\n")
        with open(os.path.join(root, "index.html"), "w") as f:
            f.write("<p>home</p>\n")
        data = os.path.join(root, "big.asc")
        write_data_file(data, records)
        size_mb = os.path.getsize(data) / 1e6
        print("bench/export: %d records, %.0f MB of input" % (records, size_mb))
        print("%-6s %10s %10s %12s" % ("format", "seconds", "MB/s", "peak RSS MB"))
        for fmt in ("csv", "jsonl", "xlsx"):
            seconds, rss = run_export(fwkhttpd, root, fmt, os.path.join(work, "out." + fmt), work)
            rate = size_mb / seconds
            ok = rate >= GOALS[fmt] and rss < RSS_GOAL_MB
            print("%-6s %10.2f %10.1f %12.1f  %s (goal >= %.0f MB/s, < %.0f MB)" % (
                fmt, seconds, rate, rss, "ok" if ok else "MISSED", GOALS[fmt], RSS_GOAL_MB))
            os.remove(os.path.join(work, "out." + fmt))
        for fmt in ("csv", "xlsx"):
            seconds, latencies, peak = browser_export(fwkhttpd, work, root, fmt)
            worst = max(latencies)
            print("browser %s export: %.2f s (%.1f MB/s); other client: %d requests, median "
                  "%.1f ms, max %.1f ms %s; server peak RSS %.1f MB" % (
                      fmt, seconds, size_mb / seconds, len(latencies),
                      statistics.median(latencies), worst,
                      "ok" if worst <= LATENCY_GOAL_MS else "MISSED", peak))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
