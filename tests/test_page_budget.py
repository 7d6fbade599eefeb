"""The page budget seen from clients: a template that includes itself twice,
an include of an endless file or a FIFO, and a page that computes for ever
all end with a visible note in bounded time, and the server goes on serving
(or, asked to stop, stops)."""

import os
import signal
import threading
import time
import unittest

from fwktest import Server, ServerTestCase

NOTE = b"<HR>Error in (page): the page was cut short here because "

# Every expression below walks a value that refers to itself until the
# evaluator's step limit; the includes would take far longer than the budget
# allows before their count ran out.
SLOW = "<%= 1*s %>" * 40

FILES = {
    "twice.html": "x<%include twice.html%><%include twice.html%>",
    "zero.html": "before<%include /dev/zero%><%source /dev/zero%>after",
    "fifo.html": "before<%include pipe.txt%>after",
    "long.html": "<% s = \"1*s*s\" %>start<%include slow.html%>",
    "slow.html": SLOW + "<%include slow.html%><%include slow.html%>",
    "notes.txt": "public notes\n",
}


def get(server, path, timeout=30):
    return server.raw(("GET %s HTTP/1.0\r\n\r\n" % path).encode(), timeout=timeout)


class BudgetTest(ServerTestCase):
    FILES = FILES

    def test_doubling_include_ends_with_the_note_and_others_are_served(self):
        started = time.monotonic()
        data = get(self.server, "/twice.html")
        self.assertLess(time.monotonic() - started, 5)
        self.assertTrue(data.endswith(NOTE + b"it includes more than 10000 files.<HR>"),
                        data[-200:])
        # One "x" per file processed (includes past the nesting limit write
        # that limit's message instead).
        self.assertTrue(1000 < data.count(b"x") <= 10001, data.count(b"x"))
        self.assertEqual(self.server.curl("/notes.txt")[2], b"public notes\n")
        self.assertIn("The page twice.html was cut short", self.server.stdout())

    def test_endless_files_and_fifos_are_not_included(self):
        os.mkfifo(os.path.join(self.server.root, "pipe.txt"))
        started = time.monotonic()
        zero = get(self.server, "/zero.html", timeout=5)
        fifo = get(self.server, "/fifo.html", timeout=5)
        self.assertLess(time.monotonic() - started, 3)
        self.assertIn(b"before<HR>Error in (/dev/zero)", zero)
        self.assertTrue(zero.endswith(b"cannot open file<HR>after"), zero)
        self.assertIn(b"before<HR>Error in (pipe.txt)", fifo)
        self.assertTrue(fifo.endswith(b"cannot open file<HR>after"), fifo)

    def test_a_page_that_runs_too_long_ends_after_ten_seconds(self):
        # A second client arrives while the page runs and is served after it.
        waiting = {}

        def second_client():
            time.sleep(1)
            waiting["data"] = get(self.server, "/notes.txt")
            waiting["at"] = time.monotonic()

        helper = threading.Thread(target=second_client)
        started = time.monotonic()
        helper.start()
        data = get(self.server, "/long.html")
        ended = time.monotonic()
        helper.join(30)
        self.assertTrue(9 <= ended - started < 13, ended - started)
        self.assertTrue(data.endswith(NOTE + b"it took longer than 10 seconds.<HR>"), data[-200:])
        self.assertIn(b"start", data)
        self.assertTrue(waiting["data"].endswith(b"public notes\n"))
        self.assertLess(waiting["at"] - ended, 2)


class StopDuringPageTest(unittest.TestCase):
    def test_sigterm_during_a_long_page_ends_it_and_the_server(self):
        with Server(FILES) as server:
            result = {}

            def client():
                result["data"] = get(server, "/long.html")

            reader = threading.Thread(target=client)
            reader.start()
            time.sleep(1)
            stopped = time.monotonic()
            server.process.send_signal(signal.SIGTERM)
            self.assertEqual(server.process.wait(5), 0)
            self.assertLess(time.monotonic() - stopped, 2.5)
            reader.join(5)
            self.assertTrue(result["data"].endswith(NOTE + b"the server is shutting down.<HR>"),
                            result["data"][-200:])


if __name__ == "__main__":
    unittest.main()
