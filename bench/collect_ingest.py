"""Bench: formwick-collect reading a Maildir of N response mails (default
100000) into a server root and into PostgreSQL (a cluster of its own on
loopback, fsync on). The mails are those of a field campaign: most
sessions saved once, some saved again with other answers, some mails
delivered twice. Prints the ingest rate of each store and the collector's
peak resident memory, for N and for N/10 mails (memory that does not grow
with the number of mails is flat).

    bench/collect_ingest.py BUILD_DIR [N]
"""

import base64
import json
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests"))
os.environ.setdefault("FWK_SOURCE_DIR", os.path.join(HERE, ".."))

MAIL = """Subject: Formwick form submission report\r
From: <box@example.org>\r
To: <box@example.org>\r
Date: Wed, 09 Dec 2026 04:46:19 +0000\r
Message-ID: <{mid}.fwk@example.org>\r
X-Formwick-Form: poll\r
X-Formwick-Session: {session}\r
X-Formwick-Device: {device}\r
MIME-Version: 1.0\r
Content-Type: multipart/mixed; boundary="_Mime-Mixed_766C74"\r
\r
--_Mime-Mixed_766C74\r
Content-Type: text/plain; charset=utf-8\r
\r
Formwick web data from: {device}\r
X-DATABASE: poll\r
{text}\r
--_Mime-Mixed_766C74\r
Content-Type: application/json; name="formwick-response.json"\r
Content-Disposition: attachment; filename="formwick-response.json"\r
Content-Transfer-Encoding: base64\r
\r
{attachment}\r
--_Mime-Mixed_766C74--\r
"""


def mail(session, device, saved, entries):
    record = {"formwick": "response", "version": 1, "form": "poll", "session": session,
              "device": device, "saved": saved, "entries": entries}
    data = base64.encodebytes(json.dumps(record, ensure_ascii=False).encode()).decode()
    text = "".join("%s: %s\r\n" % (n, v.replace("\n", " ")) for n, v in entries)
    return MAIL.format(mid="%s.%s" % (session, saved[-8:-1]), session=session, device=device,
                       text=text, attachment=data.replace("\n", "\r\n").rstrip()).encode()


def fill_maildir(maildir, count, seed):
    """Writes `count` response mails into maildir/new; returns how many
    distinct sessions they hold."""
    from collect_parts import make_maildir, saved_text
    make_maildir(maildir)
    rng = random.Random(seed)
    sessions = []
    written = 0
    while written < count:
        roll = rng.random()
        if sessions and roll < 0.05:      # a mail delivered twice
            blob = sessions[rng.randrange(len(sessions))][1]
        else:
            if sessions and roll < 0.12:  # a later save of an earlier session
                session = sessions[rng.randrange(len(sessions))][0]
            else:
                session = "s%07d" % len(sessions)
            entries = [["HOST", "tablet"], ["DATE", "20261209"], ["TIME", "044619"],
                       ["q1", rng.choice(["yes", "no", "maybe"])], ["colour", "red"],
                       ["colour", rng.choice(["blue", "green"])], ["age", str(rng.randrange(99))],
                       ["note", "line one\nline two\tand \"quotes\" \u00e9 %d" % written]]
            blob = mail(session, "tablet-%d" % (written % 12), saved_text(written * 1000), entries)
            if session == "s%07d" % len(sessions):
                sessions.append((session, blob))
        name = "%d.M%dP1Q%d.bench" % (1796000000 + written, written, written)
        with open(os.path.join(maildir, "new", name), "wb") as f:
            f.write(blob)
        written += 1
    return len(sessions)


def run_collector(collect, args):
    """(seconds, peak RSS in MiB, summary line) of one formwick-collect run.
    GNU time starts it, so that the peak is the collector's own (a child
    forked from this Python process would count the bench's memory)."""
    report = os.path.join(os.path.dirname(args[1]), "time-report")
    started = time.monotonic()
    done = subprocess.run(["/usr/bin/time", "-o", report, "-f", "%M", collect] + args,
                          capture_output=True, text=True)
    elapsed = time.monotonic() - started
    if done.returncode != 0:
        raise SystemExit("formwick-collect failed (%d): %s%s" % (done.returncode, done.stdout,
                                                                 done.stderr))
    with open(report) as f:
        peak_kib = int(f.read().split()[-1])
    return elapsed, peak_kib / 1024.0, done.stdout.strip()


def bench(collect, postgres, work, count):
    maildir = os.path.join(work, "Maildir-%d" % count)
    started = time.monotonic()
    sessions = fill_maildir(maildir, count, seed=count)
    print("collect ingest: %d mails (%d sessions, %.0f MB) written in %.1f s" % (
        count, sessions, sum(os.path.getsize(os.path.join(maildir, "new", n))
                             for n in os.listdir(os.path.join(maildir, "new"))) / 1e6,
        time.monotonic() - started))
    copy = maildir + "-copy"
    shutil.copytree(maildir, copy)
    root = os.path.join(work, "root-%d" % count)
    os.makedirs(root)
    database = "bench%d" % count
    postgres.sql("CREATE DATABASE " + database, database="postgres")
    for store, args in (("root", ["--maildir", maildir, "--root", root]),
                        ("PostgreSQL", ["--maildir", copy, "--postgres",
                                        postgres.url(database)])):
        elapsed, peak, summary = run_collector(collect, args)
        print("  into the %s: %.1f s, %.0f mails/s, peak RSS %.1f MiB (%s)" % (
            store, elapsed, count / elapsed, peak, summary))
        shutil.rmtree(args[1])
    shutil.rmtree(root)


def main():
    build = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 100000
    os.environ["FWK_BUILD_DIR"] = build
    from collect_parts import COLLECT, Postgres
    work = tempfile.mkdtemp(prefix="fwk-bench-collect-")
    postgres = Postgres().start()
    try:
        for n in (count // 10, count):
            bench(COLLECT, postgres, work, n)
    finally:
        postgres.stop()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
