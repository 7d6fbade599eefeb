"""Session identifiers: many clients starting the same form at once each
get a session of their own, in the identifier's usual form."""

import os
import re
import threading
import unittest

from fwktest import ServerTestCase

SANITIZED = os.environ.get("FWK_SANITIZED", "0") in ("1", "ON", "TRUE", "true")
# Fewer starts under the sanitizers, which slow the server several times.
STARTS = 2000 if SANITIZED else 10000
CLIENTS = 20

FILES = {
    "poll.ini": "[DATABASE]\nFORM=poll.html\nSAVEDATA=1\n[access]\nPWDAPPEND=(allow)\n",
    "poll.html": "<form><INPUT TYPE=HIDDEN NAME=_SESSION></form>",
    "poll.asc": "_SESSION\tname\n",
}

SESSION = re.compile(rb'VALUE="([^"]*)" TYPE="HIDDEN" NAME="_SESSION"')
# "x", the year and two base-32 numbers around "Y".
FORM = re.compile(r"^x[0-9a-v]+Y[0-9a-v]*$")


class SessionsTest(ServerTestCase):
    FILES = FILES

    def test_concurrent_starts_get_distinct_sessions(self):
        sessions = []
        failures = []
        lock = threading.Lock()

        def client(count):
            mine = []
            for _ in range(count):
                # The server closes first, so the clients leave no ports waiting
                # (TIME_WAIT) that other tests would miss.
                data = self.server.raw(b"GET /fwk?DATABASE=poll HTTP/1.0\r\n\r\n",
                                       close_write=False)
                found = SESSION.search(data)
                if not found:
                    with lock:
                        failures.append(data[:200])
                    return
                mine.append(found.group(1).decode())
            with lock:
                sessions.extend(mine)

        threads = [threading.Thread(target=client, args=(STARTS // CLIENTS,))
                   for _ in range(CLIENTS)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        self.assertEqual(failures, [])
        self.assertEqual(len(sessions), STARTS)
        self.assertEqual(len(set(sessions)), STARTS)
        for session in sessions[:100]:
            self.assertRegex(session, FORM)
            self.assertLessEqual(len(session), 23)


if __name__ == "__main__":
    unittest.main()
