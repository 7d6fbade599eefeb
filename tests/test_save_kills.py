"""kill -9 while many respondents save: the server is killed about every
1.5 s and started again on the same root, while clients start responses,
save them at every page (SAVEPAGE) and at the end, to the data file, its
index, the XML file and the outbox, whose mail goes to a real SMTP relay.
A client whose save was not answered saves again, as a respondent would.
Afterwards every save that was answered "saved" is live exactly once (or
replaced by a later save of its response), no two respondents shared a
session, the counter equals the live responses, and the mail and the XML
transaction of every answered save arrived.

FWK_KILL_SECONDS sets the length of the campaign (`make soak` runs a long
one); it runs only in the build without sanitizers."""

import os
import random
import re
import shutil
import signal
import sys
import tempfile
import threading
import time
import unittest
import urllib.parse

from fwktest import Server, wait_for
import savecheck
from savecheck import SAVED
from test_mail_relay import Relay, free_port

SANITIZED = os.environ.get("FWK_SANITIZED", "0") in ("1", "ON", "TRUE", "true")
SECONDS = float(os.environ.get("FWK_KILL_SECONDS", "30"))
KILL_EVERY = 1.5
CLIENTS = 8

PAGES = {
    "m.ini": "[DATABASE]\nMULTIPAGE=1\nSAVEPAGE=1\nSAVEDATA=1\n"
             "SAVEINDEXNAME=m.idx\nSAVEXML=1\nSAVEXMLNAME=m.xml\nSAVEEMAIL=1\n"
             "SAVEEMAILNAME=box@example.org\nEMAILSERVER={relay}\nMAXRESPONSES=100000\n"
             "[access]\nPWDAPPEND=(allow)\n",
    "m.asc": "_SESSION\tname\n",
    "m.idx": "name\t_POS\n",
    "m.val": '<PAGE NAME="page0">\n<PAGE NAME="page1">\n',
    # Three preamble lines, then the page.
    "m/page0": "title=page0\n\n\n<form><INPUT TYPE=HIDDEN NAME=_SESSION></form>",
    "m/page1": "title=page1\n\n\n<form><INPUT TYPE=HIDDEN NAME=_SESSION><p>last page</p></form>",
}

SESSION = re.compile(rb'NAME="_SESSION" VALUE="([^"]+)"|VALUE="([^"]+)" TYPE="HIDDEN" NAME="_SESSION"')


class Campaign:
    def __init__(self, server):
        self.server = server
        self.lock = threading.Lock()
        self.stop = threading.Event()
        self.sessions = []
        # Per session: the names of its saves in order, each with whether
        # it was answered "saved".
        self.saves = {}
        self.kills = 0

    def post(self, pairs):
        body = urllib.parse.urlencode(pairs).encode()
        request = (b"POST /fwk HTTP/1.0\r\nContent-Length: %d\r\n\r\n" % len(body)) + body
        try:
            return self.server.raw(request, close_write=False, timeout=10)
        except OSError:
            return b""

    def start_response(self, form):
        while not self.stop.is_set():
            data = self.post([("DATABASE", form), ("_ACTION", "START")])
            found = SESSION.search(data)
            if found:
                return (found.group(1) or found.group(2)).decode()
            time.sleep(0.05)
        return None

    def save(self, session, pairs, name):
        """Saves until answered "saved" (or the campaign ends)."""
        while True:
            data = self.post(pairs)
            saved = b"Thank you!" in data or b"last page" in data
            with self.lock:
                self.saves[session].append((name, saved))
            if saved or self.stop.is_set():
                return saved
            time.sleep(0.05)

    def client(self, number):
        rng = random.Random(number)
        round_ = 0
        while not self.stop.is_set():
            round_ += 1
            form = "m" if rng.random() < 0.5 else "f"
            session = self.start_response(form)
            if session is None:
                return
            with self.lock:
                self.sessions.append(session)
                self.saves[session] = []
            base = "c%d-r%d" % (number, round_)
            if form == "m":
                steps = [[("_ACTION", "NEXT"), ("_PAGE", "page0"), ("_PAGESKIP", "page1")],
                         [("_ACTION", "SAVE"), ("_PAGE", "page1")]]
            else:
                steps = [[("_ACTION", "SAVE")]] * rng.choice((1, 2))
            for step, extra in enumerate(steps):
                name = "%s-s%d" % (base, step)
                pairs = [("DATABASE", form), ("_SESSION", session), ("name", name)] + extra
                if not self.save(session, pairs, name):
                    return

    def killer(self, deadline):
        while time.monotonic() < deadline:
            time.sleep(KILL_EVERY * random.uniform(0.5, 1.5))
            self.server.process.send_signal(signal.SIGKILL)
            self.server.process.wait()
            self.kills += 1
            self.server.start()


@unittest.skipIf(SANITIZED, "the kill campaign runs in the build without sanitizers")
class KillCampaignTest(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="fwk-kills-")
        self.spool = os.path.join(self.work, "spool")
        os.makedirs(self.spool)
        port = free_port()
        self.relay = Relay(port, self.spool)
        relay = "127.0.0.1:%d" % port
        files = savecheck.form_files(relay)
        files.update({name: text.format(relay=relay) for name, text in PAGES.items()})
        self.server = Server(files, env={"FORMWICK_ONLINE": "1",
                                         "FORMWICK_RELAY_TIMEOUT_MS": "3000",
                                         "FORMWICK_RELAY_RETRY_MS": "200"})
        self.server.start()

    def tearDown(self):
        self.server.close()
        self.relay.stop()
        shutil.rmtree(self.work, ignore_errors=True)

    def delivered(self):
        text = ""
        for name in sorted(os.listdir(self.spool)):
            if name.endswith(".eml"):
                with open(os.path.join(self.spool, name), "rb") as f:
                    text += f.read().decode("utf-8", "replace")
        return re.findall(r"\nname: ([^\r\n]*)", text)

    def test_acknowledged_saves_survive_kills(self):
        campaign = Campaign(self.server)
        clients = [threading.Thread(target=campaign.client, args=(n,)) for n in range(CLIENTS)]
        for t in clients:
            t.start()
        campaign.killer(time.monotonic() + SECONDS)
        campaign.stop.set()
        for t in clients:
            t.join(60)
        root = self.server.root
        # The last start repairs what the last kill left; then the outbox drains.
        self.server.stop()
        self.server.start()
        acked = [(s, name) for s, saves in campaign.saves.items() for name, ok in saves if ok]
        self.assertTrue(wait_for(lambda: not os.path.exists(os.path.join(root, "outbox.fwk")),
                                 timeout=60), "the outbox did not drain")
        self.server.stop()

        self.assertEqual(len(campaign.sessions), len(set(campaign.sessions)),
                         "two respondents were given one session")
        live = {}
        xml = set()
        for form in ("f", "m"):
            savecheck.check_files(self, root, form)
            live.update({r["_SESSION"]: r["name"] for r in savecheck.live_records(root, form)})
            with open(os.path.join(root, form + ".xml"), encoding="utf-8") as f:
                xml |= set(re.findall(r"<name>([^<]*)</name>", f.read()))
        for session, saves in campaign.saves.items():
            names = [name for name, _ in saves]
            answered = [i for i, (_, ok) in enumerate(saves) if ok]
            if answered:
                # The last answered save, or one tried after it, is the response.
                self.assertIn(live.get(session), names[answered[-1]:], session)
        delivered = set(self.delivered())
        for session, name in acked:
            self.assertIn(name, delivered, "the mail of an answered save did not arrive")
            self.assertIn(name, xml, "the XML of an answered save is missing")
        sys.stderr.write("\nkill campaign: %d kills in %.0f s, %d clients, %d responses, "
                         "%d saves answered, %d tries unanswered, %d live records, "
                         "%d mails delivered (%d distinct)\n" % (
                             campaign.kills, SECONDS, CLIENTS, len(campaign.sessions),
                             len(acked),
                             sum(1 for s in campaign.saves.values() for _, ok in s if not ok),
                             len(live), len(self.delivered()), len(delivered)))
        self.assertGreaterEqual(campaign.kills, SECONDS / KILL_EVERY / 2)


if __name__ == "__main__":
    unittest.main()
