"""The outbox sent to a real SMTP relay (aiosmtpd in its own process): every
queued message reaches the relay exactly once, whatever the relay does in
between, and the server keeps answering requests while it talks to one."""

import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.parse

from fwktest import SOURCE_DIR, Server, wait_for

RELAY_SCRIPT = os.path.join(SOURCE_DIR, "tests", "smtp_relay.py")
DATE = "Tue, 08 Dec 2026 06:07:05 +0100"
BOUNDARY = "_Mime-Boundary_766C74"


def relay_python():
    """An interpreter that has aiosmtpd (Debian installs it for /usr/bin/python3)."""
    for candidate in (sys.executable, "/usr/bin/python3"):
        if candidate and subprocess.run([candidate, "-c", "import aiosmtpd"],
                                        capture_output=True).returncode == 0:
            return candidate
    raise AssertionError("python3-aiosmtpd is missing (tools/deps.sh test installs it)")


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def message_text(address, subject, body, number):
    """The message of an outbox record as the server queues it."""
    head = "Subject: %s\r\nFrom: <%s>\r\nTo: <%s>\r\nDate: %s\r\nMessage-ID: <%d@test>\r\n" % (
        subject, address, address, DATE, number)
    if body[:5].upper() == "<HTML":
        return (head + "MIME-Version: 1.0\r\nContent-Type: multipart/alternative; boundary=\"%s\""
                "\r\n\r\n  This is a multi-part message in MIME format.\r\n\r\n--%s\r\n"
                "Content-Type: text/html; charset=\"utf-8\"\r\n"
                "Content-Transfer-Encoding: 8bit\r\n\r\n%s\r\n--%s--" % (
                    BOUNDARY, BOUNDARY, body, BOUNDARY))
    return head + "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=utf-8\r\n\r\n" + body


def record(port, address, subject, body, number, relay="127.0.0.1"):
    """One outbox record: head, then the stored conversation."""
    conversation = ("HELO %s\r\nMAIL FROM: <%s>\r\nRCPT TO: <%s>\r\nDATA\r\n%s\r\n.\r\nQUIT\r\n" % (
        relay, address, address, message_text(address, subject, body, number))).encode()
    head = "OPEN %s:%d\nContent-Length: %d\n\n" % (relay, port, len(conversation))
    return head.encode() + conversation


class Relay:
    """aiosmtpd on 127.0.0.1:port, filing accepted messages in a spool."""

    def __init__(self, port, spool, *options):
        self.process = subprocess.Popen(
            [relay_python(), RELAY_SCRIPT, str(port), spool] + list(options),
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        if self.process.stdout.readline().strip() != "ready":
            self.process.kill()
            raise AssertionError("the SMTP relay did not start")

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait(10)
        self.process.stdout.close()


class RelayTestCase(unittest.TestCase):
    """A spool, relays on self.port and servers, all stopped and removed after
    each test."""

    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="fwk-mail-")
        self.spool = os.path.join(self.work, "spool")
        os.makedirs(self.spool)
        self.port = free_port()
        self.relays = []
        self.servers = []

    def tearDown(self):
        for server in self.servers:
            server.close()
        for relay in self.relays:
            relay.stop()
        shutil.rmtree(self.work, ignore_errors=True)

    def start_relay(self, *options):
        relay = Relay(self.port, self.spool, *options)
        self.relays.append(relay)
        return relay

    def delivered(self):
        """(envelope, content) of every accepted message, in order."""
        import json
        names = sorted(n for n in os.listdir(self.spool) if n.endswith(".json"))
        result = []
        for name in names:
            base = os.path.join(self.spool, name[:-5])
            with open(base + ".json") as f, open(base + ".eml", "rb") as g:
                result.append((json.load(f), g.read()))
        return result

    def file(self, server, name):
        path = os.path.join(server.root, name)
        if not os.path.exists(path):
            return None
        with open(path, "rb") as f:
            return f.read()


class MailRelayTest(RelayTestCase):

    def start_server(self, outbox=None, online="1", timeout_ms=5000, files=None):
        files = dict(files or {})
        if outbox is not None:
            files["outbox.fwk"] = outbox
        server = Server(files, env={
            "FORMWICK_ONLINE": online,
            "FORMWICK_RELAY_TIMEOUT_MS": str(timeout_ms),
            "FORMWICK_RELAY_RETRY_MS": "300",
        })
        self.servers.append(server)
        return server.start()

    def assert_delivered_once(self, server, messages, settle=1.5):
        """Waits until the outbox is gone, then checks that exactly these
        (address, message text) arrived, in order, and nothing more later."""
        self.assertTrue(wait_for(lambda: self.file(server, "outbox.fwk") is None),
                        server.stdout())
        time.sleep(settle)
        got = self.delivered()
        self.assertEqual(len(got), len(messages), server.stdout())
        for (envelope, content), (address, text) in zip(got, messages):
            self.assertEqual(envelope["mail_from"], address)
            self.assertEqual(envelope["rcpt_tos"], [address])
            self.assertEqual(content, text.encode() + b"\r\n")
        return got

    def test_messages_arrive_whole_in_order_and_unreadable_records_are_set_apart(self):
        plain = "Line one\r\n.\r\n.leading dot\r\n..two dots\r\n.\r\nQUIT\r\nlast line"
        html = "<html><body><p>caf\u00e9</p>\r\n.\r\n</body></html>"
        first = record(self.port, "collect@example.org", "Survey A", plain, 1)
        second = record(self.port, "boss@example.org", "Report", html, 2, relay="localhost")
        garbage = b"not a record\nOPEN but no head\n"
        torn = record(self.port, "lost@example.org", "Torn", "cut", 3)[:-9]
        self.start_relay()
        server = self.start_server(first + garbage + second + torn)
        got = self.assert_delivered_once(server, [
            ("collect@example.org", message_text("collect@example.org", "Survey A", plain, 1)),
            ("boss@example.org", message_text("boss@example.org", "Report", html, 2)),
        ])
        self.assertEqual(got[0][0]["helo"], "127.0.0.1")
        self.assertEqual(got[1][0]["helo"], "localhost")
        self.assertNotEqual(got[0][0]["peer"], got[1][0]["peer"])  # one connection each
        self.assertEqual(self.file(server, "outbox.bak"), first + second)
        self.assertEqual(self.file(server, "outbox.bad"), garbage + torn)
        out = server.stdout()
        self.assertIn("Transmitting data to the server", out)
        self.assertIn("moved to outbox.bad", out)
        self.assertIn("Data transmitted successfully", out)

    def test_long_line_is_sent_in_pieces_and_arrives_once_whole(self):
        # A textarea answer on one line: 5000+ bytes, multi-byte characters
        # and dots throughout, so cuts fall inside characters and pieces
        # may begin with ".".
        answer = ("Gr\u00f6\u00dfe \u2603 \U0001F600 ..." * 400).encode()[:5003].decode(
            errors="ignore")
        self.assertGreaterEqual(len(answer.encode()), 5000)
        body = "Short line\r\n" + answer + "\r\nend"
        outbox = record(self.port, "collect@example.org", "Long", body, 1)
        self.start_relay()
        server = self.start_server(outbox)
        self.assertTrue(wait_for(lambda: self.file(server, "outbox.fwk") is None),
                        server.stdout())
        time.sleep(1.5)
        got = self.delivered()
        self.assertEqual(len(got), 1, server.stdout())
        content = got[0][1]
        self.assertTrue(all(len(line) <= 998 for line in content.split(b"\r\n")))
        expected = message_text("collect@example.org", "Long", body, 1).encode() + b"\r\n"
        self.assertEqual(content.replace(b"\r\n", b""), expected.replace(b"\r\n", b""))
        self.assertGreater(content.count(b"\r\n"), expected.count(b"\r\n") + 4)
        self.assertEqual(self.file(server, "outbox.bak"), outbox)  # stored as written

    def test_refused_message_stays_queued_and_the_next_goes(self):
        refused = record(self.port, "nobody@example.org", "A", "first", 1)
        accepted = record(self.port, "collect@example.org", "B", "second", 2)
        self.start_relay("--refuse", "nobody@example.org")
        server = self.start_server(refused + accepted)
        self.assertTrue(wait_for(lambda: self.file(server, "outbox.fwk") == refused),
                        server.stdout())
        # Retries (every 300 ms here) offer the refused one again and never
        # the one that went through.
        time.sleep(2.5)
        self.assertEqual(len(self.delivered()), 1)
        self.assertEqual(self.delivered()[0][0]["rcpt_tos"], ["collect@example.org"])
        self.assertEqual(self.file(server, "outbox.fwk"), refused)
        self.assertEqual(self.file(server, "outbox.bak"), accepted)
        self.assertIn("refused a message to nobody@example.org: 550", server.stdout())
        self.assertIn("Data not transmitted. Saved in outbox.fwk", server.stdout())

    def test_message_refused_for_good_is_given_up_after_the_set_time(self):
        refused = record(self.port, "nobody@example.org", "A", "first", 1)
        self.start_relay("--refuse", "nobody@example.org")
        server = Server({"outbox.fwk": refused}, env={
            "FORMWICK_ONLINE": "1", "FORMWICK_RELAY_RETRY_MS": "300",
            "FORMWICK_MAIL_GIVEUP_S": "2"})
        self.servers.append(server)
        server.start()
        self.assertTrue(wait_for(lambda: self.file(server, "outbox.fwk") is None, timeout=20),
                        server.stdout())
        self.assertEqual(self.file(server, "outbox.bad"), refused)
        # The note is logged once the transmission ends, just after the move.
        self.assertTrue(wait_for(lambda: "was moved to outbox.bad: 550" in server.stdout()),
                        server.stdout())
        self.assertEqual(self.delivered(), [])

    def test_relay_down_then_up(self):
        outbox = record(self.port, "a@example.org", "S", "body", 1)
        server = self.start_server(outbox)
        self.assertTrue(wait_for(lambda: "Data not transmitted" in server.stdout()))
        self.assertEqual(self.file(server, "outbox.fwk"), outbox)
        self.start_relay()
        self.assert_delivered_once(server, [
            ("a@example.org", message_text("a@example.org", "S", "body", 1))])

    def test_connection_dropped_during_data_sends_again_once(self):
        first = record(self.port, "a@example.org", "One", "first", 1)
        second = record(self.port, "b@example.org", "Two", "second", 2)
        self.start_relay("--drop-data", "1")
        server = self.start_server(first + second)
        self.assert_delivered_once(server, [
            ("a@example.org", message_text("a@example.org", "One", "first", 1)),
            ("b@example.org", message_text("b@example.org", "Two", "second", 2))])
        self.assertIn("Data not transmitted", server.stdout())
        self.assertEqual(self.file(server, "outbox.bak"), first + second)

    def test_silent_relay_times_out_while_requests_are_served(self):
        silent = socket.socket()
        silent.bind(("127.0.0.1", self.port))
        silent.listen(5)  # completes connections, never answers
        try:
            outbox = record(self.port, "a@example.org", "S", "body", 1)
            server = self.start_server(outbox, timeout_ms=4000)
            self.assertTrue(wait_for(lambda: "Transmitting data" in server.stdout()))
            for _ in range(5):
                started = time.monotonic()
                status, _, _ = server.curl("/")
                self.assertEqual(status, 200)
                self.assertLess(time.monotonic() - started, 2.0)
            self.assertTrue(wait_for(lambda: "Data not transmitted" in server.stdout()))
            self.assertEqual(self.file(server, "outbox.fwk"), outbox)
        finally:
            silent.close()
        self.start_relay()
        self.assert_delivered_once(server, [
            ("a@example.org", message_text("a@example.org", "S", "body", 1))])

    def test_saved_responses_are_mailed_once_each(self):
        self.start_relay()
        server = self.start_server(files={
            "poll.ini": "[DATABASE]\nFORM=poll.html\nSAVEDATA=1\nSAVEEMAIL=1\n"
                        "SAVEEMAILNAME=box@example.org\nEMAILSERVER=127.0.0.1:%d\n"
                        "[access]\nPWDAPPEND=(allow)\n" % self.port,
            "poll.html": "<html><body><FORM ACTION=/fwk METHOD=POST><INPUT NAME=name>"
                         "</FORM></body></html>",
            "poll.asc": "name\n",
        })
        for name in ("Ann", "Ben"):
            fields = urllib.parse.urlencode(
                [("DATABASE", "poll"), ("_ACTION", "SAVE"), ("name", name)])
            status, _, _ = server.curl("/fwk", "--data", fields)
            self.assertEqual(status, 200)
        self.assertTrue(wait_for(lambda: len(self.delivered()) == 2), server.stdout())
        time.sleep(1.5)
        got = self.delivered()
        self.assertEqual(len(got), 2)
        for (envelope, content), name in zip(got, ("Ann", "Ben")):
            self.assertEqual(envelope["rcpt_tos"], ["box@example.org"])
            self.assertIn(b"\r\nname: " + name.encode() + b"\r\n", content)
            self.assertIn(b"\r\nFrom: <box@example.org>\r\nTo: <box@example.org>\r\nDate: ",
                          content)
        ids = [next(line for line in content.split(b"\r\n") if line.startswith(b"Message-ID: "))
               for _, content in got]
        self.assertNotEqual(ids[0], ids[1])
        self.assertIsNone(self.file(server, "outbox.fwk"))

    def test_offline_keeps_mail_until_online(self):
        outbox = record(self.port, "a@example.org", "S", "body", 1)
        self.start_relay()
        offline = self.start_server(outbox, online="0")
        time.sleep(3)  # a few turns of the server loop
        self.assertEqual(self.delivered(), [])
        self.assertEqual(self.file(offline, "outbox.fwk"), outbox)
        self.assertNotIn("Transmitting", offline.stdout())
        self.assertEqual(offline.stop(), 0)

        online = Server(env={"FORMWICK_ONLINE": "1"})
        online.root = offline.root
        self.servers.append(online)
        online.start()
        self.assert_delivered_once(online, [
            ("a@example.org", message_text("a@example.org", "S", "body", 1))])


    def test_a_repeated_save_counts_stores_and_mails_once(self):
        self.start_relay()
        server = self.start_server(files={
            "poll.ini": "[DATABASE]\nFORM=poll.html\nSAVEDATA=1\nSAVEEMAIL=1\nMAXRESPONSES=50\n"
                        "SAVEEMAILNAME=box@example.org\nEMAILSERVER=127.0.0.1:%d\n"
                        "[access]\nPWDAPPEND=(allow)\n" % self.port,
            "poll.html": "<html><body><FORM ACTION=/fwk METHOD=POST><INPUT NAME=name>"
                         "</FORM></body></html>",
            "poll.asc": "name\tHOST\tTIME\t_SESSION\n",
        })

        def save(name):
            return urllib.parse.urlencode([("DATABASE", "poll"), ("_ACTION", "SAVE"),
                                           ("_SESSION", "x2026Y7Y9"), ("name", name)])

        first = server.curl("/fwk", "--data", save("Ann"))
        self.assertEqual(first[0], 200)
        # A double tap, and a browser that lost the answer and sends again.
        self.assertEqual(server.curl("/fwk", "--data", save("Ann"))[1], first[1])
        body = save("Ann").encode()
        with server.connect() as s:
            s.sendall(b"POST /fwk HTTP/1.1\r\nHost: x\r\nContent-Length: %d\r\n\r\n%s" % (
                len(body), body))
        time.sleep(0.5)
        self.assertEqual(server.curl("/fwk", "--data", save("Ann"))[1], first[1])

        def live_records():
            lines = self.file(server, "poll.asc").decode().splitlines()[1:]
            return [l for l in lines if l and not l.startswith("#")]

        def count():
            return int.from_bytes(self.file(server, "poll.respcount"), "little")

        self.assertEqual(len(live_records()), 1)
        self.assertEqual(count(), 1)
        self.assertTrue(wait_for(lambda: len(self.delivered()) == 1), server.stdout())
        # An edited answer saved again is a new submission.
        server.curl("/fwk", "--data", save("Anne"))
        self.assertTrue(wait_for(lambda: len(self.delivered()) == 2), server.stdout())
        time.sleep(1.5)
        self.assertEqual(len(self.delivered()), 2)
        self.assertEqual(len(live_records()), 1)
        self.assertIn('"Anne"', live_records()[0])
        # Still one response: the edited answer replaced the first record.
        self.assertEqual(count(), 1)
        ids = [next(line for line in content.split(b"\r\n") if line.startswith(b"Message-ID: "))
               for _, content in self.delivered()]
        self.assertNotEqual(ids[0], ids[1])

if __name__ == "__main__":
    unittest.main()
