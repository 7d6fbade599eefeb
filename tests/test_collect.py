"""formwick-collect end to end: device servers mail their responses
through real relays into a Maildir (or an IMAP server), the collector
merges them into a server root and into PostgreSQL, and every response
arrives exactly once, value for value, whatever happens on the way: a
relay whose acceptance is lost, a double-tapped or edited save, a
collector killed mid-pass, two collectors at once."""

import json
import os
import random
import re
import shlex
import shutil
import signal
import subprocess
import tempfile
import time
import unittest
import urllib.parse

from fwktest import FWKHTTPD, SOURCE_DIR, Server, wait_for
from collect_parts import (COLLECT, Device, Dovecot, Postgres, Relay, campaign, collect,
                           make_maildir, maildir_mails, pg_bin, put_mails, read_live_records,
                           response_mail, restore_done, saved_text)
from test_docs_examples import pattern

SANITIZED = os.environ.get("FWK_SANITIZED", "") in ("1", "ON", "TRUE", "true")
POSTGRES = None


def setUpModule():
    global POSTGRES
    POSTGRES = Postgres().start()


def tearDownModule():
    if POSTGRES:
        POSTGRES.stop()


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def data_file_text(values):
    """One column's text as the data-file store writes it."""
    joined = ",".join(v for v in values if v)
    # Each line break (CR LF, LF or CR) and each tab is one space.
    return joined.replace("\r\n", " ").replace("\r", " ").replace("\n", " ").replace("\t", " ")


def expected_root_record(entries):
    columns = {}
    for name, value in entries:
        columns.setdefault(name, []).append(value)
    return {name: data_file_text(values) for name, values in columns.items()}


class CollectTestCase(unittest.TestCase):

    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="fwk-collect-")
        self.maildir = make_maildir(os.path.join(self.work, "Maildir"))
        self.root = os.path.join(self.work, "root")
        os.makedirs(self.root)
        self.database = "t%d" % random.randrange(10 ** 9)
        POSTGRES.sql("CREATE DATABASE " + self.database, database="postgres")

    def tearDown(self):
        shutil.rmtree(self.work, ignore_errors=True)

    def pg_url(self):
        return POSTGRES.url(self.database)

    def pg_rows(self):
        """{session: (device, saved, entries)} of the stored responses."""
        rows = POSTGRES.sql("SELECT session, device, to_char(saved AT TIME ZONE 'UTC', "
                            "'YYYY-MM-DD\"T\"HH24:MI:SS.US\"Z\"'), entries::text "
                            "FROM formwick_responses WHERE form = 'poll'", self.database)
        return {r[0]: (r[1], r[2], [tuple(e) for e in json.loads(r[3])]) for r in rows}

    def collect_ok(self, *args):
        status, out, err = collect(*args)
        self.assertEqual(status, 0, out + err)
        return out

    def assert_root_holds(self, final):
        live = read_live_records(os.path.join(self.root, "poll.asc"))
        self.assertEqual(sorted(live), sorted(final))
        for session, entries in final.items():
            record = live[session]
            for name, text in expected_root_record(entries).items():
                self.assertEqual(record[name], text, (session, name))

    def assert_postgres_holds(self, final):
        rows = self.pg_rows()
        self.assertEqual(sorted(rows), sorted(final))
        for session, entries in final.items():
            self.assertEqual(rows[session][2], [tuple(e) for e in entries], session)


@unittest.skipIf(SANITIZED, "the 3 x 100 campaign runs in the plain build")
class ThreeDevicesTest(CollectTestCase):
    """Three devices, 100 responses each, double taps, edited re-saves and
    one lost relay acceptance per device, collected into a root and into
    PostgreSQL."""

    def test_every_live_record_arrives_once_value_for_value(self):
        relays = [Relay(self.maildir, lose=1) for _ in range(3)]
        devices = []
        try:
            devices = [Device(relay.port, "tablet-%d" % n) for n, relay in enumerate(relays)]
            rng = random.Random(22)
            sent = {}
            saves = 0
            for i in range(100):
                for d, device in enumerate(devices):
                    session = "d%d-%03d" % (d, i)
                    answers = [("q1", rng.choice(["yes", "no"])), ("colour", "red"),
                               ("colour", rng.choice(["blue", "green"])),
                               ("note", "n%d\r\nsecond line\tand \"quotes\" \u00e9\U0001F600" % i)]
                    device.save(session, answers)
                    saves += 1
                    if i % 7 == 0:      # a double tap: the device stores and mails it once
                        device.save(session, answers)
                    if i % 5 == 0:      # an edited re-save replaces the first
                        answers = answers[:3] + [("note", "edited %d" % i)]
                        device.save(session, answers)
                        saves += 1
                    sent[session] = (device.id, answers)
            self.assertTrue(wait_for(lambda: all(d.outbox_empty() for d in devices), timeout=120),
                            [d.server.stdout()[-2000:] for d in devices])
            # Each relay delivered one message twice: its sender never heard
            # that the first delivery went through.
            self.assertTrue(wait_for(lambda: len(maildir_mails(self.maildir)) == saves + 3))
            time.sleep(1)
            self.assertEqual(len(maildir_mails(self.maildir)), saves + 3)
            live = {}
            for device in devices:
                live.update({s: (device.id, r) for s, r in device.live_records().items()})
        finally:
            for device in devices:
                device.close()
            for relay in relays:
                relay.stop()
        self.assertEqual(sorted(live), sorted(sent))
        copy = os.path.join(self.work, "Maildir-copy")
        shutil.copytree(self.maildir, copy)

        out = self.collect_ok("--maildir", self.maildir, "--root", self.root)
        self.assertIn("%d mails read, %d responses stored, 3 copies dropped" % (saves + 3, saves),
                      out)
        collected = read_live_records(os.path.join(self.root, "poll.asc"))
        self.assertEqual(sorted(collected), sorted(live))
        for session, (device_id, record) in live.items():
            for column, value in record.items():
                self.assertEqual(collected[session][column], value, (session, column))
            self.assertEqual(collected[session]["DEVICE"], device_id)
        self.assertEqual(maildir_mails(self.maildir), [])

        self.collect_ok("--maildir", copy, "--postgres", self.pg_url())
        rows = self.pg_rows()
        self.assertEqual(sorted(rows), sorted(sent))
        for session, (device_id, answers) in sent.items():
            device, _, entries = rows[session]
            self.assertEqual(device, device_id)
            self.assertEqual([e for e in entries if e[0] not in ("HOST", "DATE", "TIME")],
                             answers, session)
            values = {}
            for name, value in entries:
                values.setdefault(name, []).append(value)
            for column, value in live[session][1].items():
                if column != "_SESSION":
                    self.assertEqual(data_file_text(values.get(column, [])), value)

        # A second pass over the same mails changes nothing.
        before = read_bytes(os.path.join(self.root, "poll.asc"))
        restore_done(self.maildir)
        restore_done(copy)
        out = self.collect_ok("--maildir", self.maildir, "--root", self.root)
        self.assertIn(" 0 responses stored", out)
        self.assertEqual(read_bytes(os.path.join(self.root, "poll.asc")), before)
        table = POSTGRES.sql("SELECT * FROM formwick_responses ORDER BY session", self.database)
        out = self.collect_ok("--maildir", copy, "--postgres", self.pg_url())
        self.assertIn(" 0 responses stored", out)
        self.assertEqual(POSTGRES.sql("SELECT * FROM formwick_responses ORDER BY session",
                                      self.database), table)


class ExactlyOnceTest(CollectTestCase):

    def test_killed_mid_pass_and_restarted_loses_and_doubles_nothing(self):
        mails, final = campaign(150, seed=7)
        put_mails(self.maildir, mails)
        copy = os.path.join(self.work, "Maildir-copy")
        shutil.copytree(self.maildir, copy)
        for args in (["--maildir", self.maildir, "--root", self.root],
                     ["--maildir", copy, "--postgres", self.pg_url()]):
            kills = 0
            rng = random.Random(1)
            while kills < 6 and maildir_mails(args[1]):
                # Killed once it has processed a few more mails (a different
                # number each time, so that the kills fall in different
                # steps of a batch), not after a fixed time: a fast pass
                # would end first.
                left = len(maildir_mails(args[1]))
                target = left - rng.randint(1, 12)
                process = subprocess.Popen([COLLECT, "--batch", "4"] + args,
                                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                while process.poll() is None and len(maildir_mails(args[1])) > target:
                    time.sleep(0.002)
                if process.poll() is None:
                    process.send_signal(signal.SIGKILL)
                    kills += 1
                process.wait()
            self.assertGreaterEqual(kills, 2, "the passes ended before they could be killed")
            self.collect_ok(*args)
            self.assertEqual(maildir_mails(args[1]), [])
        self.assert_root_holds(final)
        self.assert_postgres_holds(final)

    def test_two_collectors_at_once_store_each_response_once(self):
        mails, final = campaign(200, seed=3)
        put_mails(self.maildir, mails)
        copy = os.path.join(self.work, "Maildir-copy")
        shutil.copytree(self.maildir, copy)
        for args in (["--maildir", self.maildir, "--postgres", self.pg_url()],
                     ["--maildir", copy, "--root", self.root]):
            runs = [subprocess.Popen([COLLECT, "--batch", "8"] + args, stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE, text=True) for _ in range(2)]
            for run in runs:
                out, err = run.communicate(timeout=120)
                self.assertEqual(run.returncode, 0, out + err)
            self.assertEqual(maildir_mails(args[1]), [])
        self.assert_postgres_holds(final)
        self.assert_root_holds(final)

    def test_answers_arrive_exact_from_a_device(self):
        relay = Relay(self.maildir)
        device = None
        try:
            device = Device(relay.port, "tablet-\u00e9")
            answers = [("q1", "l\u00edne one\r\nline two\tafter a tab \"quoted\" \U0001F600\u4e2d"),
                       ("colour", "red"), ("colour", ""), ("colour", "blue, green"),
                       ("note", "x" * 3000 + "\U0001F600" * 500)]
            device.save("exact-1", answers)
            self.assertTrue(wait_for(lambda: maildir_mails(self.maildir), timeout=30))
            live = device.live_records()
        finally:
            if device:
                device.close()
            relay.stop()
        copy = os.path.join(self.work, "Maildir-copy")
        shutil.copytree(self.maildir, copy)
        self.collect_ok("--maildir", self.maildir, "--root", self.root)
        self.collect_ok("--maildir", copy, "--postgres", self.pg_url())
        device_id, _, entries = self.pg_rows()["exact-1"]
        self.assertEqual(device_id, "tablet-\u00e9")
        self.assertEqual([e for e in entries if e[0] not in ("HOST", "DATE", "TIME")], answers)
        collected = read_live_records(os.path.join(self.root, "poll.asc"))["exact-1"]
        for column, value in live["exact-1"].items():
            self.assertEqual(collected[column], value, column)


class MailboxTest(CollectTestCase):

    def test_other_mails_are_left_alone_and_damaged_ones_retried(self):
        plain = (b"Subject: lunch\r\nFrom: <a@example.org>\r\nMessage-ID: <x@example.org>\r\n"
                 b"\r\nSee you at noon.\r\n")
        damaged = (b"Subject: Formwick form submission report\r\nX-Formwick-Form: poll\r\n"
                   b"X-Formwick-Session: s1\r\n\r\nq1: yes\r\n")
        good = response_mail("poll", "s2", "dev", saved_text(1), [("q1", "no")])
        put_mails(self.maildir, [plain, damaged, good])
        status, out, err = collect("--maildir", self.maildir, "--root", self.root)
        self.assertEqual(status, 1, out + err)
        self.assertIn("3 mails read, 1 responses stored, 0 copies dropped, "
                      "0 earlier saves dropped, 1 not responses, 1 failures", out)
        self.assertIn("the response record is missing", err)
        self.assertEqual(len(maildir_mails(self.maildir)), 2)  # both stay, untouched
        with open(os.path.join(self.root, "poll.ini")) as f:
            ini = f.read()
        self.assertNotIn("[access]", ini.lower())
        status, out, _ = collect("--maildir", self.maildir, "--root", self.root)
        self.assertEqual(status, 1)
        self.assertIn("2 mails read, 0 responses stored", out)

    def test_a_new_column_keeps_earlier_rows_and_an_ini_is_never_changed(self):
        with open(os.path.join(self.root, "poll.ini"), "w") as f:
            f.write("[DATABASE]\nSAVEDATANAME=answers.asc\n[access]\nPWDREAD=secret\n")
        put_mails(self.maildir, [response_mail("poll", "s1", "d", saved_text(1), [("q1", "a")])])
        self.collect_ok("--maildir", self.maildir, "--root", self.root)
        put_mails(self.maildir, [response_mail("poll", "s2", "d", saved_text(2),
                                               [("q1", "b"), ("q2", "new")])], start=1797000000)
        self.collect_ok("--maildir", self.maildir, "--root", self.root)
        live = read_live_records(os.path.join(self.root, "answers.asc"))
        self.assertEqual((live["s1"]["q1"], live["s1"]["q2"]), ("a", ""))
        self.assertEqual((live["s2"]["q1"], live["s2"]["q2"]), ("b", "new"))
        with open(os.path.join(self.root, "poll.ini")) as f:
            self.assertEqual(f.read(),
                             "[DATABASE]\nSAVEDATANAME=answers.asc\n[access]\nPWDREAD=secret\n")
        self.assertFalse(os.path.exists(os.path.join(self.root, "poll.asc")))

    def test_watching_picks_up_new_mail_until_sigterm(self):
        watcher = subprocess.Popen([COLLECT, "--maildir", self.maildir, "--root", self.root,
                                    "--watch", "1"], stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE, text=True)
        try:
            put_mails(self.maildir, [response_mail("poll", "w1", "d", saved_text(1),
                                                   [("q1", "first")])])
            data = os.path.join(self.root, "poll.asc")

            def answer():
                # Between the append of a later save and the retirement of
                # the earlier one the session is live twice for a moment.
                try:
                    return read_live_records(data).get("w1", {}).get("q1")
                except (AssertionError, OSError):
                    return None
            self.assertTrue(wait_for(lambda: answer() == "first", timeout=30))
            put_mails(self.maildir, [response_mail("poll", "w1", "d", saved_text(2),
                                                   [("q1", "edited")])], start=1797000000)
            self.assertTrue(wait_for(lambda: answer() == "edited", timeout=30))
        finally:
            watcher.send_signal(signal.SIGTERM)
            out, err = watcher.communicate(timeout=30)
        self.assertEqual(watcher.returncode, 0, out + err)
        self.assertIn("1 mails read, 1 responses stored", out)
        self.assertEqual(maildir_mails(self.maildir), [])

    def test_bad_arguments_and_unreachable_stores_exit_2(self):
        for args in ([], ["--maildir", self.maildir], ["--root", self.root],
                     ["--maildir", self.maildir, "--root", self.root, "--watch", "0"],
                     ["--maildir", self.maildir, "--root", self.root, "--bogus"],
                     ["--maildir", os.path.join(self.work, "none"), "--root", self.root],
                     ["--maildir", self.maildir, "--root", os.path.join(self.work, "none")],
                     ["--maildir", self.maildir, "--postgres",
                      "postgresql://postgres@127.0.0.1:1/fwk?connect_timeout=2"]):
            status, out, err = collect(*args)
            self.assertEqual(status, 2, (args, out, err))
            self.assertTrue(err.startswith("formwick-collect: "), err)


class ImapTest(CollectTestCase):

    def test_imap_over_tls_with_a_password_file_or_the_environment(self):
        dovecot = Dovecot().start()
        try:
            mails, final = campaign(40, seed=5)
            put_mails(self.maildir, mails + [b"Subject: hello\r\n\r\nnot a response\r\n"])
            dovecot.deliver([os.path.join(self.maildir, "new", n)
                             for n in os.listdir(os.path.join(self.maildir, "new"))])
            secret = os.path.join(self.work, "password")
            with open(secret, "w") as f:
                f.write(Dovecot.PASSWORD + "\n")
            base = ["--imap", dovecot.url(), "--cafile", dovecot.authority]
            # No password, a password in the address, a wrong one, an
            # authority the client does not trust: nothing is read.
            with open(os.path.join(self.work, "wrong"), "w") as f:
                f.write("wrong\n")
            for args in (base + ["--root", self.root],
                         ["--imap", dovecot.url().replace("collector@", "collector:pw@"),
                          "--root", self.root],
                         base + ["--password-file", os.path.join(self.work, "wrong"),
                                 "--root", self.root],
                         ["--imap", dovecot.url(), "--password-file", secret, "--root",
                          self.root]):
                status, out, err = collect(*args, env={"FORMWICK_IMAP_PASSWORD": ""}
                                           if "--password-file" not in args else None)
                self.assertEqual(status, 2, (args, out, err))
            out = self.collect_ok(*(base + ["--password-file", secret, "--root", self.root]))
            self.assertIn("not responses", out)
            self.assert_root_holds(final)
            # The response mails moved to "done"; the other mail stays.
            self.assertEqual(len(maildir_mails(dovecot.maildir)), 1)
            done = os.path.join(dovecot.maildir, ".done")
            self.assertEqual(len(maildir_mails(done)), len(mails))
            # The same mails again, into PostgreSQL, with the password from
            # the environment.
            for name in maildir_mails(done):
                folder = "cur" if name in os.listdir(os.path.join(done, "cur")) else "new"
                os.rename(os.path.join(done, folder, name),
                          os.path.join(dovecot.maildir, "new", name.split(":2,")[0]))
            status, out, err = collect(*(base + ["--postgres", self.pg_url()]),
                                       env={"FORMWICK_IMAP_PASSWORD": Dovecot.PASSWORD})
            self.assertEqual(status, 0, out + err)
            self.assert_postgres_holds(final)
        finally:
            dovecot.stop()


GUIDE_STEP = re.compile(r"<!-- collect (device|run)(?: (\S+))? -->\n```[^\n]*\n(.*?)```", re.S)


def guide_steps():
    """[(kind, file, block)] of the operator's guide's collector walk-through."""
    with open(os.path.join(SOURCE_DIR, "docs", "operating.md"), encoding="utf-8") as f:
        return GUIDE_STEP.findall(f.read())


class GuideWalkthroughTest(CollectTestCase):
    """The walk-through of the operator's guide, step by step: a device
    set up as the guide shows mails two responses through a relay that
    delivers one of them twice; every command the guide shows runs, on
    the test's Maildir, root, IMAP server and database, and prints what
    the guide shows."""

    def device_files(self, steps, relay_port):
        files = {"poll.html": "<html><body><FORM ACTION=/fwk METHOD=POST></FORM></body></html>",
                 "poll.asc": "HOST\tq1\tnote\t_SESSION\n"}
        for kind, name, block in steps:
            if kind == "device":
                files[name] = re.sub(r"(?m)^EMAILSERVER=.*$",
                                     "EMAILSERVER=127.0.0.1:%d" % relay_port, block)
        self.assertIn("EMAILSERVER=127.0.0.1", files.get("poll.ini", ""))
        return files

    def run_shown(self, line, places):
        """Runs a command line the guide shows: (exit status, stdout)."""
        args = shlex.split(line)
        programs = {"formwick-collect": COLLECT, "fwkhttpd": FWKHTTPD}
        if args[0] == "psql":
            args[:1] = [pg_bin("psql"), "-X"]
        else:
            args[0] = programs[args[0]]
        args = [places.get(a, a) for a in args]
        if "--imap" in args:
            args += ["--cafile", places["authority"]]
        done = subprocess.run(args, capture_output=True, timeout=120,
                              env=dict(os.environ, LC_ALL="C.UTF-8", PAGER=""))
        out = "\n".join(line.rstrip(" ") for line in done.stdout.decode("utf-8").split("\n"))
        return done.returncode, out, done.stderr.decode("utf-8")

    def test_the_guide_walks_through_root_and_postgres_from_maildir_and_imap(self):
        steps = guide_steps()
        self.assertEqual([k for k, _, _ in steps].count("run"), 4, steps)
        relay = Relay(self.maildir, lose=1)
        server = None
        try:
            server = Server(self.device_files(steps, relay.port), env={
                "FORMWICK_ONLINE": "1", "FORMWICK_RELAY_RETRY_MS": "200",
                "FORMWICK_RELAY_TIMEOUT_MS": "2000"}).start()
            for session, answers in (("walk-1", [("q1", "yes"), ("note", "two\nlines\tand a "
                                                                   "\"quote\" \U0001F642")]),
                                     ("walk-2", [("q1", "no"), ("note", "")])):
                status, _, body = server.curl("/fwk", "--data", urllib.parse.urlencode(
                    [("DATABASE", "poll"), ("_ACTION", "SAVE"), ("_SESSION", session)] + answers))
                self.assertEqual(status, 200, body)
            self.assertTrue(wait_for(lambda: len(maildir_mails(self.maildir)) == 3, timeout=60))
        finally:
            if server:
                server.close()
            relay.stop()
        dovecot = Dovecot().start()
        try:
            dovecot.deliver([os.path.join(self.maildir, "new", n)
                             for n in maildir_mails(self.maildir, ("new",))])
            secret = os.path.join(self.work, "imap-password")
            with open(secret, "w") as f:
                f.write(Dovecot.PASSWORD + "\n")
            places = {"/var/mail/formwick/Maildir": self.maildir, "/srv/formwick/home": self.root,
                      "imaps://collector@mail.example.org/INBOX": dovecot.url(),
                      "/etc/formwick/imap-password": secret, "authority": dovecot.authority,
                      "postgresql://formwick@db.example.org/formwick": self.pg_url()}
            for kind, _, block in steps:
                if kind != "run":
                    continue
                line, _, shown = block.partition("\n")
                self.assertTrue(line.startswith("$ "), line)
                status, out, err = self.run_shown(line[2:], places)
                self.assertEqual(status, 0, (line, out, err))
                self.assertRegex(out, pattern(shown), line)
        finally:
            dovecot.stop()


if __name__ == "__main__":
    unittest.main()
