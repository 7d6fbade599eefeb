"""Shared helpers of the end-to-end tests: run the built fwkhttpd on a
temporary server root, isolated from the user's own instance and settings,
and talk to it with curl and with raw sockets.

The program comes from $FWKHTTPD (set by ctest); the source tree from
$FWK_SOURCE_DIR.
"""

import os
import re
import shutil
import signal
import socket
import subprocess
import tempfile
import time
import unittest

FWKHTTPD = os.environ.get("FWKHTTPD", "")
SOURCE_DIR = os.environ.get(
    "FWK_SOURCE_DIR", os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

RUNNING = re.compile(r"running on port (?:\S*:)?(\d+)")


def port_accepts(port):
    """True when a server takes connections on 127.0.0.1:port."""
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=1):
            return True
    except OSError:
        return False


def free_port_block(count=10):
    """A first port such that `count` ports from it were free just now.
    Many tries: after a test that sent much mail or served many requests,
    thousands of ports may be waiting out their closing (TIME_WAIT)."""
    for _ in range(1000):
        with socket.socket() as probe:
            probe.bind(("127.0.0.1", 0))
            first = probe.getsockname()[1]
        if first + count > 65535:
            continue
        if all(port_is_free(p) for p in range(first, first + count)):
            return first
    raise RuntimeError("no block of free ports")


def port_is_free(port):
    with socket.socket() as probe:
        try:
            probe.bind(("0.0.0.0", port))
            return True
        except OSError:
            return False


def write_files(root, files):
    """Writes {relative name: text or bytes} below root."""
    for name, content in files.items():
        path = os.path.join(root, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        mode = "wb" if isinstance(content, bytes) else "w"
        with open(path, mode) as f:
            f.write(content)


class Server:
    """One fwkhttpd --headless on its own temporary root and directories."""

    def __init__(self, files=None, args=(), env=None, first_port=None, command_prefix=()):
        if not FWKHTTPD:
            raise unittest.SkipTest("FWKHTTPD is not set")
        self.work = tempfile.mkdtemp(prefix="fwk-e2e-")
        self.root = os.path.join(self.work, "root")
        os.makedirs(self.root)
        for d in ("runtime", "config", "etc"):
            os.makedirs(os.path.join(self.work, d))
        os.chmod(os.path.join(self.work, "runtime"), 0o700)
        write_files(self.root, files or {})
        self.args = list(args)
        # A program that runs the server (prlimit, say).
        self.command_prefix = list(command_prefix)
        self.env = dict(os.environ)
        self.env.update({
            "XDG_RUNTIME_DIR": os.path.join(self.work, "runtime"),
            "XDG_CONFIG_HOME": os.path.join(self.work, "config"),
            "FORMWICK_ETC": os.path.join(self.work, "etc"),
            "FORMWICK_ONLINE": "0",
        })
        self.env.pop("BROWSER", None)
        self.env.update(env or {})
        self.first_port = first_port or free_port_block()
        self.port = None
        self.process = None
        self.out_path = os.path.join(self.work, "stdout")
        self.err_path = os.path.join(self.work, "stderr")

    # -- life cycle -------------------------------------------------------

    def command(self):
        return self.command_prefix + [FWKHTTPD, "--headless", "--root", self.root + "/",
                                      "--port", str(self.first_port)] + self.args

    def start(self, timeout=10):
        command = self.command()
        with open(self.out_path, "wb") as out, open(self.err_path, "wb") as err:
            self.process = subprocess.Popen(command, stdout=out, stderr=err,
                                            stdin=subprocess.DEVNULL, env=self.env)
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            found = RUNNING.search(self.stdout())
            if found:
                self.port = int(found.group(1))
                if self.accepts():
                    return self
            if self.process.poll() is not None:
                raise AssertionError("fwkhttpd ended at start (%s): %s %s" % (
                    self.process.returncode, self.stdout(), self.stderr()))
            time.sleep(0.02)
        raise AssertionError("fwkhttpd did not start: " + self.stdout() + self.stderr())

    def accepts(self):
        return port_accepts(self.port)

    def stop(self, timeout=15):
        """SIGTERM, then the exit code."""
        if self.process is None or self.process.poll() is not None:
            return self.process.returncode if self.process else None
        self.process.send_signal(signal.SIGTERM)
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            raise AssertionError("fwkhttpd did not end after SIGTERM")

    def close(self):
        try:
            self.stop()
        finally:
            shutil.rmtree(self.work, ignore_errors=True)

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.close()

    def stdout(self):
        with open(self.out_path, "rb") as f:
            return f.read().decode("utf-8", "replace")

    def stderr(self):
        with open(self.err_path, "rb") as f:
            return f.read().decode("utf-8", "replace")

    # -- clients ----------------------------------------------------------

    def url(self, path="/"):
        return "http://127.0.0.1:%d%s" % (self.port, path)

    def curl(self, path="/", *options, timeout=20):
        """curl -i: (status code, header text, body bytes)."""
        command = ["curl", "-sS", "-i", "--max-time", str(timeout), "-H", "Expect:"]
        command += list(options) + [self.url(path)]
        done = subprocess.run(command, capture_output=True, timeout=timeout + 5)
        if done.returncode != 0:
            raise AssertionError("curl failed: " + done.stderr.decode())
        return split_response(done.stdout)

    def raw(self, data=b"", close_write=True, timeout=20, pause=None):
        """Sends bytes (a list of pieces with `pause` seconds between them)
        on a new connection and returns everything the server sends until it
        closes."""
        with self.connect(timeout) as s:
            pieces = data if isinstance(data, list) else [data]
            for i, piece in enumerate(pieces):
                if i and pause:
                    time.sleep(pause)
                if piece:
                    s.sendall(piece)
            if close_write:
                s.shutdown(socket.SHUT_WR)
            return read_all(s)

    def connect(self, timeout=20):
        return socket.create_connection(("127.0.0.1", self.port), timeout=timeout)


class ServerTestCase(unittest.TestCase):
    """Test cases that share one server, started on the class's FILES."""

    FILES = {}

    @classmethod
    def setUpClass(cls):
        cls.server = Server(cls.FILES).start()

    @classmethod
    def tearDownClass(cls):
        cls.server.close()


def demo_server():
    """A started server on a fresh copy of the demo server root shipped with
    the program."""
    server = Server()
    shutil.rmtree(server.root)
    shutil.copytree(os.path.join(SOURCE_DIR, "demo"), server.root)
    return server.start()


def wait_for(predicate, timeout=15, step=0.02):
    """Polls `predicate` until it gives a true value or `timeout` seconds
    pass; returns its last value."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(step)
    return predicate()


def read_all(s):
    chunks = []
    while True:
        try:
            chunk = s.recv(65536)
        except ConnectionResetError:
            chunks.append(b"<reset>")
            break
        if not chunk:
            break
        chunks.append(chunk)
    return b"".join(chunks)


def split_response(data):
    """(status code, header text, body) of a response whose header block
    ends in a blank line, either "\\r\\n\\r\\n" or "\\n\\n"."""
    ends = [i for i in (data.find(b"\r\n\r\n"), data.find(b"\n\n")) if i >= 0]
    cut = min(ends) if ends else len(data)
    head = data[:cut].decode("latin-1")
    body = data[cut:]
    body = body[4:] if body.startswith(b"\r\n\r\n") else body[2:]
    match = re.match(r"HTTP/1\.[01] (\d+)", head)
    return (int(match.group(1)) if match else 0), head, body
