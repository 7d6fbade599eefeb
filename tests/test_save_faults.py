"""A save walked through every point where it makes a file durable (each
write, flush to the device and rename, as the server's fault points count
them): at each point the real server is made to fail that operation, or is
stopped there as by kill -9, and a respondent who was not told "saved"
saves again. Then: told "saved" means the record is live; a save refused
stored nothing; every save is mailed once (twice at most when the server
died after queuing the mail and before answering); after a restart no
session has two live records, the counter equals the live responses and no
temporary file is left."""

import os
import re
import sys
import unittest

from fwktest import Server
import savecheck
from savecheck import NO_ANSWER, REFUSED, SAVED

SANITIZED = os.environ.get("FWK_SANITIZED", "0") in ("1", "ON", "TRUE", "true")
# Under the sanitizers a stopped process reports nothing: only failures.
EFFECTS = ("fail",) if SANITIZED else ("fail", "stop")

# Two saves of one response (the second replaces the first), then another.
SAVES = (("S1", "first"), ("S1", "second"), ("S2", "other"))
POINT = re.compile(r"fault point (?:at|fail|stop) (write|sync|rename) (\d+) (.*)")


class FaultWalkTest(unittest.TestCase):
    def setUp(self):
        self.kept = []

    def tearDown(self):
        for server in self.kept:
            server.close()

    def run_saves(self, plan):
        """The saves against a server armed with `plan`; a save that was not
        told "saved" is saved again (after a restart when the server died).
        Returns (the server's root, outcomes of the first tries, stderr)."""
        server = Server(savecheck.form_files(), env={"FORMWICK_FAULT": plan})
        self.kept.append(server)
        server.start()
        root = server.root
        outcomes = []
        errors = ""
        for session, name in SAVES:
            outcome = savecheck.save(server, session, name)
            outcomes.append(outcome)
            if outcome == SAVED:
                live = [r["name"] for r in savecheck.live_records(root)]
                self.assertIn(name, live, "told saved, but the record is not live")
            elif outcome == REFUSED:
                self.assertNotIn(name, [r["name"] for r in savecheck.live_records(root)])
                self.assertNotIn(name, savecheck.mails(root))
            if outcome == NO_ANSWER:
                # Only a stop leaves a save unanswered: the server is gone.
                server.process.wait(timeout=10)
                errors += server.stderr() + server.stdout()
                server.env.pop("FORMWICK_FAULT", None)
                server.start()
            if outcome != SAVED:
                self.assertEqual(savecheck.save(server, session, name), SAVED)
        server.stop()
        errors += server.stderr() + server.stdout()
        return server, outcomes, errors

    def restart_and_check(self, server, plan, path, log):
        """Checks the files after a clean restart; returns how many mails
        were queued twice."""
        server.env.pop("FORMWICK_FAULT", None)
        server.start()
        server.stop()
        savecheck.check_files(self, server.root)
        live = {r["_SESSION"]: r["name"] for r in savecheck.live_records(server.root)}
        self.assertEqual(live, {"S1": "second", "S2": "other"}, plan)
        mails = savecheck.mails(server.root)
        counts = [mails.count(name) for _, name in SAVES]
        if plan.endswith("stop"):
            self.assertTrue(all(c in (1, 2) for c in counts), (plan, counts))
        elif path.endswith("outbox.fwk"):
            # A mail that could not be queued after its record was stored:
            # the save still succeeded, and the log names what failed.
            self.assertEqual(sorted(counts), [0, 1, 1], plan)
            self.assertIn("cannot queue the response mail of f", log)
        else:
            self.assertEqual(counts, [1, 1, 1], plan)
        return sum(counts) - len(counts) if plan.endswith("stop") else 0

    def test_every_point_of_a_save(self):
        server, outcomes, errors = self.run_saves("trace")
        self.assertEqual(outcomes, [SAVED, SAVED, SAVED])
        points = [m.groups() for m in map(POINT.search, errors.splitlines()) if m]
        self.assertGreater(len(points), 10)
        kinds = {op for op, _, _ in points}
        self.assertEqual(kinds, {"write", "sync", "rename"})
        walked = 0
        outcomes_seen = {SAVED: 0, REFUSED: 0, NO_ANSWER: 0}
        duplicates = 0
        for effect in EFFECTS:
            for op, number, path in points:
                plan = "%s:%s:%s" % (op, number, effect)
                server, outcomes, errors = self.run_saves(plan)
                self.assertIn("fault point %s %s %s " % (effect, op, number), errors)
                for outcome in outcomes:
                    outcomes_seen[outcome] += 1
                duplicates += self.restart_and_check(server, plan, path, errors)
                walked += 1
                server.close()
                self.kept.remove(server)
        sys.stderr.write("\nfault walk: %d points (%s) x %s = %d runs; first tries %s; "
                         "mails sent twice: %d\n" % (
                             len(points), ", ".join("%d %s" % (sum(1 for p in points if p[0] == k), k)
                                                    for k in ("write", "sync", "rename")),
                             "/".join(EFFECTS), walked, outcomes_seen, duplicates))


if __name__ == "__main__":
    unittest.main()
