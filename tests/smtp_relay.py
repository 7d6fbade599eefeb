"""A mail relay for the end-to-end tests: a real SMTP server (aiosmtpd) on
127.0.0.1 that files every message it accepts as one file in a spool
directory, in the order it accepted them.

    smtp_relay.py PORT SPOOL [--refuse RCPT]... [--drop-data N]

--refuse RCPT   answers 550 to RCPT TO for that address.
--drop-data N   the first N messages are read to their end and then the
                connection is dropped before the relay answers.

Prints "ready" once it listens; SIGTERM stops it.
"""

import argparse
import json
import os
import signal
import threading

from aiosmtpd.controller import Controller


class Handler:
    def __init__(self, spool, refused, drops):
        self.spool = spool
        self.refused = set(refused)
        self.drops = drops
        self.count = 0
        self.lock = threading.Lock()

    async def handle_RCPT(self, server, session, envelope, address, options):
        if address in self.refused:
            return "550 5.1.1 <%s>: Recipient address rejected" % address
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        with self.lock:
            if self.drops > 0:
                self.drops -= 1
                server.transport.abort()
                return "451 dropped"
            self.count += 1
            name = os.path.join(self.spool, "%04d" % self.count)
        with open(name + ".eml", "wb") as f:
            f.write(envelope.content)
        meta = {"helo": session.host_name, "peer": list(session.peer),
                "mail_from": envelope.mail_from, "rcpt_tos": envelope.rcpt_tos}
        with open(name + ".json.tmp", "w") as f:
            json.dump(meta, f)
        os.rename(name + ".json.tmp", name + ".json")
        return "250 2.0.0 Ok: queued"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("port", type=int)
    parser.add_argument("spool")
    parser.add_argument("--refuse", action="append", default=[])
    parser.add_argument("--drop-data", type=int, default=0)
    args = parser.parse_args()
    handler = Handler(args.spool, args.refuse, args.drop_data)
    controller = Controller(handler, hostname="127.0.0.1", port=args.port, decode_data=False)
    controller.start()
    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    print("ready", flush=True)
    stop.wait()
    controller.stop()


if __name__ == "__main__":
    main()
