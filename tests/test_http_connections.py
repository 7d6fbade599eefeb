"""How requests are read and connections handled: when a request is complete,
requests that are refused, and clients that go away or stop reading. (The
port fallback and shutting down with a request in progress are in
test_startup.py.)"""

import os
import resource
import socket
import struct
import tempfile
import time
import unittest

from fwktest import Server, ServerTestCase, read_all, wait_for

HOME = b"<p>home</p>"
FILES = {
    "cgi.ini": "[server]\nERROR=\n",
    "index.html": HOME.decode(),
    "notes.txt": "plain text",
}


def big_file(server, name, megabytes):
    with open(os.path.join(server.root, name), "wb") as f:
        f.write(os.urandom(1024) * (1024 * megabytes))


class ReadingTest(ServerTestCase):
    FILES = FILES

    def test_client_that_sends_nothing_and_closes_gets_the_home_document(self):
        data = self.server.raw(b"", close_write=True)
        self.assertTrue(data.endswith(b"\n\n" + HOME), data)

    def test_connection_opened_ahead_is_answered_only_once_asked(self):
        # Browsers connect before they know their next request; an answer
        # sent before it would be taken as the answer to it.
        with self.server.connect() as s:
            s.settimeout(0.5)
            with self.assertRaises(socket.timeout):
                s.recv(1)
            s.sendall(b"POST /notes.txt HTTP/1.1\r\nContent-Length: 3\r\n\r\na=1")
            data = read_all(s)
        self.assertTrue(data.endswith(b"no-store\r\n\nplain text"), data)

    def test_get_is_answered_while_the_client_keeps_its_side_open(self):
        data = self.server.raw(b"GET /notes.txt HTTP/1.1\r\nHost: x\r\n\r\n", close_write=False)
        self.assertTrue(data.endswith(b"no-store\r\n\nplain text"), data)

    def test_request_over_one_mebibyte_is_refused_with_413(self):
        body = b"a=" + b"x" * (1024 * 1024)
        announced = b"POST /notes.txt HTTP/1.1\r\nContent-Length: %d\r\n\r\n" % len(body)
        # Refused on the announcement, while the client is still sending;
        # the lingering close lets the client see the answer, not a reset.
        data = self.server.raw(announced + body)
        self.assertTrue(data.startswith(b"HTTP/1.1 413"), data[:80])
        self.assertNotIn(b"plain text", data)
        # Refused by size when nothing announces it.
        data = self.server.raw(b"POST /notes.txt HTTP/1.0\r\n\r\n" + body)
        self.assertTrue(data.startswith(b"HTTP/1.1 413"), data[:80])
        # curl sees the status too.
        with tempfile.NamedTemporaryFile() as f:
            f.write(body)
            f.flush()
            status, _, _ = self.server.curl("/notes.txt", "--data-binary", "@" + f.name)
        self.assertEqual(status, 413)

    def test_body_cut_short_is_refused_with_400(self):
        data = self.server.raw(
            b"POST /notes.txt HTTP/1.1\r\nContent-Length: 100\r\n\r\nonly=part")
        self.assertTrue(data.startswith(b"HTTP/1.1 400"), data)
        self.assertNotIn(b"plain text", data)

    def test_bodies_whose_end_cannot_be_told_are_refused_at_once(self):
        for header, status in ((b"Content-Length: ten", b"400 Bad Request"),
                               (b"Content-Length: 12abc", b"400 Bad Request"),
                               (b"Transfer-Encoding: chunked", b"411 Length Required")):
            with self.subTest(header=header):
                started = time.monotonic()
                data = self.server.raw([b"POST /fwk HTTP/1.1\r\n" + header + b"\r\n\r\n"
                                        b"4\r\nQ=1&\r\n0\r\n\r\n"], close_write=False, timeout=5)
                self.assertTrue(data.startswith(b"HTTP/1.1 " + status), data)
                self.assertLess(time.monotonic() - started, 3)

    def test_slow_body_is_waited_for(self):
        data = self.server.raw([b"POST /notes.txt HTTP/1.1\r\nContent-Length: 7\r\n\r\n",
                                b"a=1", b"&b=2"], pause=0.4, close_write=False)
        self.assertTrue(data.endswith(b"no-store\r\n\nplain text"), data)

    def test_large_request_within_the_limit_is_served(self):
        body = b"a=" + b"y" * (900 * 1024)
        data = self.server.raw(
            b"POST /notes.txt HTTP/1.1\r\nContent-Length: %d\r\n\r\n" % len(body) + body)
        self.assertTrue(data.startswith(b"HTTP/1.1 200 OK"), data[:80])


class MisbehavingClientTest(unittest.TestCase):
    def test_client_gone_before_the_answer_does_not_end_the_server(self):
        with Server(FILES) as server:
            big_file(server, "big.txt", 8)
            for _ in range(3):
                s = server.connect()
                s.sendall(b"GET /big.txt HTTP/1.1\r\n\r\n")
                s.recv(1000)
                # Close with a reset while the server is still sending.
                s.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
                s.close()
            time.sleep(0.3)
            self.assertIsNone(server.process.poll())
            data = server.raw(b"GET /notes.txt HTTP/1.0\r\n\r\n")
            self.assertTrue(data.endswith(b"plain text"))

    def test_client_that_stops_reading_does_not_hold_the_server(self):
        with Server(FILES) as server:
            big_file(server, "big.txt", 16)
            stalled = socket.socket()
            stalled.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
            stalled.connect(("127.0.0.1", server.port))
            stalled.sendall(b"GET /big.txt HTTP/1.1\r\n\r\n")
            try:
                started = time.monotonic()
                data = server.raw(b"GET /notes.txt HTTP/1.0\r\n\r\n", timeout=30)
                self.assertTrue(data.endswith(b"plain text"))
                self.assertLess(time.monotonic() - started, 20)
            finally:
                stalled.close()


if __name__ == "__main__":
    unittest.main()


def open_handles(pid):
    names = []
    for fd in os.listdir("/proc/%d/fd" % pid):
        try:
            names.append(os.readlink("/proc/%d/fd/%s" % (pid, fd)))
        except OSError:
            pass
    return names


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def limit_handles_to(server, spare):
    """Leaves the running server `spare` file handles beyond those it holds."""
    pid = server.process.pid
    # The listener answers before the loop and its handler thread have made
    # their handles: count them once a page has been served and the count
    # holds still (the page's connection gone).
    assert wait_for(lambda: "anon_inode:[eventfd]" in open_handles(pid))
    server.curl("/")

    def settled_count():
        before = len(os.listdir("/proc/%d/fd" % pid))
        time.sleep(0.2)
        after = len(os.listdir("/proc/%d/fd" % pid))
        return after if after == before else None

    in_use = wait_for(settled_count, timeout=10)
    assert in_use
    _, hard = resource.prlimit(pid, resource.RLIMIT_NOFILE)
    resource.prlimit(pid, resource.RLIMIT_NOFILE, (in_use + spare, hard))
    return in_use


class OutOfDescriptorsTest(unittest.TestCase):
    def test_file_that_cannot_be_opened_for_want_of_handles_is_not_a_success(self):
        with Server(FILES) as server:
            in_use = limit_handles_to(server, 1)
            _, hard = resource.prlimit(server.process.pid, resource.RLIMIT_NOFILE)
            # The connection takes the last handle; the file finds none.
            data = server.raw(b"GET /notes.txt HTTP/1.0\r\n\r\n")
            self.assertTrue(data.startswith(b"HTTP/1.1 503 "), data)
            self.assertIn(b"\r\nRetry-After: 1\r\n", data)
            self.assertNotIn(b"plain text", data)
            resource.prlimit(server.process.pid, resource.RLIMIT_NOFILE, (in_use + 8, hard))
            status, _, body = server.curl("/notes.txt")
            self.assertEqual((status, body), (200, b"plain text"))

    def test_server_out_of_descriptors_waits_quietly_and_serves_again(self):
        with Server(FILES) as server:
            pid = server.process.pid
            limit_handles_to(server, 3)
            # Half a request header holds a connection open for seconds; the
            # ones beyond the limit wait in the listen backlog.
            held = []
            try:
                for _ in range(8):
                    s = server.connect(timeout=5)
                    s.sendall(b"GET / HTTP/1.1\r\n")
                    held.append(s)
                time.sleep(0.3)
                before = cpu_seconds(pid)
                time.sleep(1.0)
                self.assertLess(cpu_seconds(pid) - before, 0.4)
                # Noted once an episode while starved (the accept is retried
                # every 100 ms), not at every retry; the window shows the
                # note at its next refresh.
                def notes():
                    return server.stdout().count("cannot accept connections")

                wait_for(lambda: notes() >= 1, timeout=5)
                self.assertIn(notes(), (1, 2), server.stdout())
            finally:
                for s in held:
                    s.close()
            # Handles come back as the closed clients' connections end; a
            # request that finds none meanwhile is told to come back (503).
            answers = []

            def home_served():
                answers.append(server.curl("/", timeout=10))
                return answers[-1][0] == 200

            self.assertTrue(wait_for(home_served, timeout=10, step=0.2),
                            [a[0] for a in answers])
            self.assertEqual(answers[-1][2], HOME)
            self.assertEqual({a[0] for a in answers} - {200, 503}, set())
