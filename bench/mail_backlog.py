"""Bench: a backlog of queued mail sent to a real relay (aiosmtpd on
loopback). Queues N messages (default 3000, about 3.5 KB each) in a fresh
server root, starts fwkhttpd online and measures how long until the outbox
is empty and every message has reached the relay. Sent mail is retired
through the outbox journal, so the time grows linearly with N.

    bench/mail_backlog.py BUILD_DIR [N]
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests"))
os.environ.setdefault("FWK_SOURCE_DIR", os.path.join(HERE, ".."))


def main():
    build = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 3000
    os.environ["FWKHTTPD"] = os.path.join(build, "fwkhttpd")
    from fwktest import Server
    from test_mail_relay import Relay, free_port, record
    work = tempfile.mkdtemp(prefix="fwk-bench-mail-")
    spool = os.path.join(work, "spool")
    os.makedirs(spool)
    port = free_port()
    body = ("answer: " + "x" * 60 + "\r\n") * 48
    outbox = b"".join(record(port, "box%d@example.org" % i, "Backlog %d" % i, body, i)
                      for i in range(count))
    relay = Relay(port, spool)
    server = Server({"outbox.fwk": outbox}, env={"FORMWICK_ONLINE": "1"})
    try:
        started = time.monotonic()
        server.start()
        outbox_path = os.path.join(server.root, "outbox.fwk")
        while os.path.exists(outbox_path) and time.monotonic() - started < 600:
            time.sleep(0.05)
        elapsed = time.monotonic() - started
        delivered = len([n for n in os.listdir(spool) if n.endswith(".json")])
        print("mail backlog: %d messages (%.1f MB) sent in %.1f s, %.0f messages/s; "
              "%d reached the relay" % (count, len(outbox) / 1e6, elapsed, count / elapsed,
                                        delivered))
        if delivered != count:
            sys.exit(1)
    finally:
        server.close()
        relay.stop()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
