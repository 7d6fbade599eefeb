"""A mail relay for the end-to-end tests: a real SMTP server (aiosmtpd) on
127.0.0.1 that files every message it accepts as one file in a spool
directory, in the order it accepted them.

    smtp_relay.py PORT SPOOL [--refuse RCPT]... [--drop-data N]
                  [--cert PEM --key PEM (--starttls | --implicit-tls)]
                  [--auth USER:PASSWORD [--auth-without-tls]]
                  [--maildir DIR [--lose-reply N]]

--refuse RCPT       answers 550 to RCPT TO for that address.
--drop-data N       the first N messages are read to their end and then the
                    connection is dropped before the relay answers.
--starttls          offers STARTTLS with the certificate and requires it
                    before MAIL.
--implicit-tls      speaks TLS from the first byte (SMTPS).
--auth USER:PASS    offers AUTH (PLAIN, LOGIN) and requires it before MAIL;
                    every attempt is noted in SPOOL/auth.log.
--auth-without-tls  offers AUTH also on a connection without TLS.
--maildir DIR       delivers into the Maildir DIR instead (aiosmtpd's Mailbox
                    handler), as a mail server would; SPOOL is not used.
--lose-reply N      the first N messages are delivered, then the connection
                    is dropped before the relay answers: the sender never
                    learns that they arrived, and sends them again.

Each accepted message is SPOOL/NNNN.eml with SPOOL/NNNN.json beside it
(the greeting name, the envelope, the login and whether TLS was used).
Prints "ready" once it listens; SIGTERM stops it.
"""

import argparse
import json
import os
import signal
import ssl
import threading

from aiosmtpd.controller import Controller
from aiosmtpd.handlers import Mailbox
from aiosmtpd.smtp import AuthResult, LoginPassword


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
        login = session.auth_data.login.decode() if session.auth_data else None
        meta = {"helo": session.host_name, "peer": list(session.peer),
                "mail_from": envelope.mail_from, "rcpt_tos": envelope.rcpt_tos,
                "user": login,
                "tls": server.transport.get_extra_info("ssl_object") is not None}
        with open(name + ".json.tmp", "w") as f:
            json.dump(meta, f)
        os.rename(name + ".json.tmp", name + ".json")
        return "250 2.0.0 Ok: queued"


class MaildirHandler(Mailbox):
    def __init__(self, maildir, lose):
        super().__init__(maildir)
        self.lose = lose
        self.lock = threading.Lock()

    async def handle_DATA(self, server, session, envelope):
        self.handle_message(self.prepare_message(session, envelope))
        with self.lock:
            if self.lose > 0:
                self.lose -= 1
                server.transport.abort()
                return "451 reply lost"
        return "250 2.0.0 Ok: delivered"


class Authenticator:
    def __init__(self, spool, user, password):
        self.log = os.path.join(spool, "auth.log")
        self.user = user.encode()
        self.password = password.encode()

    def __call__(self, server, session, envelope, mechanism, auth_data):
        ok = (isinstance(auth_data, LoginPassword) and auth_data.login == self.user
              and auth_data.password == self.password)
        with open(self.log, "a") as f:
            f.write("%s %s %s %s\n" % (mechanism, auth_data.login.decode(errors="replace"),
                                       "ok" if ok else "refused",
                                       "tls" if session.ssl else "plain"))
        if ok:
            return AuthResult(success=True, auth_data=auth_data)
        return AuthResult(success=False, handled=False)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("port", type=int)
    parser.add_argument("spool")
    parser.add_argument("--refuse", action="append", default=[])
    parser.add_argument("--drop-data", type=int, default=0)
    parser.add_argument("--cert")
    parser.add_argument("--key")
    parser.add_argument("--starttls", action="store_true")
    parser.add_argument("--implicit-tls", action="store_true")
    parser.add_argument("--auth")
    parser.add_argument("--auth-without-tls", action="store_true")
    parser.add_argument("--maildir")
    parser.add_argument("--lose-reply", type=int, default=0)
    args = parser.parse_args()
    if args.maildir:
        handler = MaildirHandler(args.maildir, args.lose_reply)
    else:
        handler = Handler(args.spool, args.refuse, args.drop_data)
    options = {"hostname": "127.0.0.1", "port": args.port, "decode_data": False}
    if args.cert:
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(args.cert, args.key)
        if args.implicit_tls:
            options["ssl_context"] = context
        if args.starttls:
            options["tls_context"] = context
            options["require_starttls"] = True
    if args.auth:
        user, password = args.auth.split(":", 1)
        options["authenticator"] = Authenticator(args.spool, user, password)
        options["auth_required"] = True
        options["auth_require_tls"] = not args.auth_without_tls
    controller = Controller(handler, **options)
    controller.start()
    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    print("ready", flush=True)
    stop.wait()
    controller.stop()


if __name__ == "__main__":
    main()
