"""No client can hold up another. Each attack (a trickling header, a
trickling body, bodies that never come, clients that never read a large
file, 200 idle connections) runs while a second client's requests are
timed; the server's peak memory stays small, and SIGTERM during the attack
still ends the server at once with exit code 0. The typical figures are
printed; the assertions leave room for a loaded machine."""

import os
import socket
import statistics
import sys
import threading
import time
import unittest

from fwktest import Server, read_all

PAGE = "<p>X=[<%= X %>] Y=[<%= Y %>]</p>"
FILES = {
    "cgi.ini": "[server]\nERROR=\n",
    "index.html": "<p>home</p>",
    "notes.txt": "plain text",
    "p.html": PAGE,
}

# Every victim request must be answered within this (seconds); before the
# server read many connections at once, each attack held them for 10 s or
# more. Typically they take a few milliseconds.
VICTIM_LIMIT = 1.0
VICTIM_MEDIAN_LIMIT = 0.1
# SIGTERM ends the server within about a second (connections still reading
# or sending get up to one second); the limit allows for a slow machine.
STOP_LIMIT = 3.0
PEAK_RSS_LIMIT_KB = 16 * 1024
# Sanitizer builds keep shadow memory: their size says nothing about ours.
SANITIZED = os.environ.get("FWK_SANITIZED", "0") == "1"

FIGURES = []


class Attack:
    """Runs `step(stop_event)` on a thread until stopped."""

    def __init__(self, step):
        self.halt = threading.Event()
        self.thread = threading.Thread(target=self.run, args=(step,), daemon=True)
        self.thread.start()

    def run(self, step):
        try:
            step(self.halt)
        except OSError:
            pass  # the server closed or abandoned the connection

    def stop(self):
        self.halt.set()
        self.thread.join(5)


def trickle(server, head, halt, gap=0.1):
    with server.connect() as s:
        s.sendall(head)
        while not halt.wait(gap):
            s.sendall(b"a")


def victim_latencies(server, count=20, gap=0.03):
    """Times whole requests (connect to last byte) of a well-behaved client."""
    times = []
    for i in range(count):
        request, expected = ((b"GET /notes.txt HTTP/1.0\r\n\r\n", b"plain text")
                             if i % 2 == 0 else
                             (b"GET /p.html?X=%d HTTP/1.0\r\n\r\n" % i, b"X=[%d]" % i))
        started = time.monotonic()
        with server.connect(timeout=20) as s:
            s.sendall(request)
            data = read_all(s)
        times.append(time.monotonic() - started)
        assert expected in data, data
        time.sleep(gap)
    return times


def peak_rss_kb(server):
    with open("/proc/%d/status" % server.process.pid) as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    return 0


class SlowClientTest(unittest.TestCase):
    @classmethod
    def tearDownClass(cls):
        sys.stderr.write("\nvictim latency (median / max ms), peak RSS, stop time:\n")
        for line in FIGURES:
            sys.stderr.write("  " + line + "\n")

    def under_attack(self, name, start, files=None):
        """Starts the server, the attack (start(server) returns a list of
        Attack objects or sockets), times the victim, then stops the server
        while the attack still runs."""
        server = Server(dict(FILES, **(files or {})))
        try:
            server.start()
            attackers = start(server)
            time.sleep(0.3)
            times = victim_latencies(server)
            rss = peak_rss_kb(server)
            started = time.monotonic()
            code = server.stop()
            stop_time = time.monotonic() - started
            for attacker in attackers:
                if isinstance(attacker, Attack):
                    attacker.stop()
                else:
                    attacker.close()
        finally:
            server.close()
        median, worst = statistics.median(times), max(times)
        FIGURES.append("%-22s %6.1f / %6.1f ms  %6d kB  stop %.2f s" % (
            name, median * 1000, worst * 1000, rss, stop_time))
        self.assertLess(worst, VICTIM_LIMIT, times)
        self.assertLess(median, VICTIM_MEDIAN_LIMIT, times)
        if not SANITIZED:
            self.assertLess(rss, PEAK_RSS_LIMIT_KB)
        self.assertEqual(code, 0)
        self.assertLess(stop_time, STOP_LIMIT)

    def test_trickling_header(self):
        self.under_attack("trickling header", lambda server: [Attack(
            lambda halt: trickle(server, b"GET /notes.txt HTTP/1.1\r\nX-Pad: ", halt))])

    def test_trickling_body(self):
        head = b"POST /p.html HTTP/1.1\r\nContent-Length: 100000\r\n\r\nX="
        self.under_attack("trickling body", lambda server: [Attack(
            lambda halt: trickle(server, head, halt))])

    def test_bodies_that_never_come(self):
        def start(server):
            sockets = []
            for _ in range(20):
                s = server.connect()
                s.sendall(b"POST /p.html HTTP/1.1\r\nContent-Length: 1\r\n\r\n")
                sockets.append(s)
            return sockets
        self.under_attack("missing bodies x20", start)

    def test_clients_that_never_read_a_large_file(self):
        def start(server):
            with open(os.path.join(server.root, "big.bin"), "wb") as f:
                block = os.urandom(1024 * 1024)
                for _ in range(50):
                    f.write(block)
            sockets = []
            for _ in range(4):
                s = socket.socket()
                s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
                s.connect(("127.0.0.1", server.port))
                s.sendall(b"GET /big.bin HTTP/1.0\r\n\r\n")
                sockets.append(s)
            return sockets
        self.under_attack("non-readers x4 (50 MB)", start)

    def test_idle_connections(self):
        def start(server):
            sockets = []
            for i in range(200):
                s = server.connect()
                # Half of them have begun a request, half have sent nothing.
                if i % 2:
                    s.sendall(b"GET /notes.txt HTTP/1.1\r\n")
                sockets.append(s)
            return sockets
        self.under_attack("idle connections x200", start)


class DeadlineTest(unittest.TestCase):
    def test_header_block_is_never_cut_by_a_pause_and_times_out_with_408(self):
        with Server(FILES) as server:
            pending = server.connect(timeout=20)
            pending.sendall(b"GET /notes.txt HTTP/1.1\r\nHost: x\r\n")
            started = time.monotonic()
            # A pause after a header line does not send the request on
            # without the rest of its header block (and its body).
            data = server.raw([b"POST /p.html HTTP/1.1\r\nContent-Length: 8\r\n",
                               b"\r\nX=1&Y=22"], pause=0.4, close_write=False)
            self.assertIn(b"X=[1] Y=[22]", data)
            # The header block that never ends is answered 408 at its deadline.
            data = read_all(pending)
            waited = time.monotonic() - started
            pending.close()
            self.assertTrue(data.startswith(b"HTTP/1.1 408"), data)
            self.assertGreater(waited, 8)
            self.assertLess(waited, 15)
            # The server is well and answers at once.
            self.assertIn(b"plain text", server.raw(b"GET /notes.txt HTTP/1.0\r\n\r\n"))


if __name__ == "__main__":
    unittest.main()
