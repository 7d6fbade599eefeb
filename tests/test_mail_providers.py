"""Mail as real providers take it: STARTTLS or TLS from the first byte,
a login, certificates verified against the site's own authority (cgi.ini
[mail] CAFILE), and the operator's `fwkhttpd outbox`. The relay is aiosmtpd
in its own process; the certificates are made here with the openssl
command: a throw-away authority, a server certificate for 127.0.0.1 and
localhost, one for another name, and one from an authority nobody trusts."""

import os
import re
import shutil
import subprocess
import tempfile
import time
import unittest
import urllib.parse

from fwktest import FWKHTTPD, SOURCE_DIR, Server, wait_for
from test_mail_relay import RelayTestCase, free_port, record

# TLS handshakes and certificates are heavy under the sanitizers, and
# libcurl itself is not built with them: these run in the plain build only
# (test_mail_relay covers the courier under the sanitizers).
SANITIZED = os.environ.get("FWK_SANITIZED", "0") == "1"

USER = "field@example.org"
PASSWORD = "app-pass-7Qx"


def openssl(*args, cwd):
    subprocess.run(["openssl"] + list(args), cwd=cwd, check=True, capture_output=True)


def make_authority(directory, name):
    openssl("req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
            "-nodes", "-keyout", name + ".key", "-out", name + ".pem", "-days", "2",
            "-subj", "/CN=" + name, "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign,cRLSign", cwd=directory)


def make_server_cert(directory, name, authority, names):
    with open(os.path.join(directory, name + ".ext"), "w") as f:
        f.write("subjectAltName=%s\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n"
                % names)
    openssl("req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
            "-keyout", name + ".key", "-out", name + ".csr", "-subj", "/CN=relay",
            cwd=directory)
    openssl("x509", "-req", "-in", name + ".csr", "-CA", authority + ".pem", "-CAkey",
            authority + ".key", "-CAcreateserial", "-out", name + ".pem", "-days", "2",
            "-extfile", name + ".ext", cwd=directory)


FORM = ("[DATABASE]\nFORM=poll.html\nSAVEDATA=1\nSAVEEMAIL=1\nSAVEEMAILNAME=box@example.org\n"
        "EMAILSERVER=%s\nEMAILNAME=%s\nEMAILPWD=%s\n[access]\nPWDAPPEND=(allow)\n")


class MailProvidersTest(RelayTestCase):

    @classmethod
    def setUpClass(cls):
        if not FWKHTTPD:
            raise unittest.SkipTest("FWKHTTPD is not set")
        if SANITIZED:
            raise unittest.SkipTest("runs in the plain build only")
        cls.certs = tempfile.mkdtemp(prefix="fwk-certs-")
        make_authority(cls.certs, "authority")
        make_authority(cls.certs, "stranger")
        make_server_cert(cls.certs, "relay", "authority", "IP:127.0.0.1,DNS:localhost")
        make_server_cert(cls.certs, "othername", "authority", "DNS:relay.example.org")
        make_server_cert(cls.certs, "untrusted", "stranger", "IP:127.0.0.1,DNS:localhost")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.certs, ignore_errors=True)

    def start_relay(self, *options, cert="relay"):
        tls = [] if cert is None else ["--cert", os.path.join(self.certs, cert + ".pem"),
                                       "--key", os.path.join(self.certs, cert + ".key")]
        return super().start_relay(*(tls + list(options)))

    def start_server(self, relay, user=USER, password=PASSWORD, outbox=None, form=None):
        files = {
            "cgi.ini": "[mail]\nCAFILE=%s\n" % os.path.join(self.certs, "authority.pem"),
            "poll.ini": form or FORM % (relay, user, password),
            "poll.html": "<html><body><FORM ACTION=/fwk METHOD=POST><INPUT NAME=name>"
                         "</FORM></body></html>",
            "poll.asc": "name\t_SESSION\n",
        }
        if outbox is not None:
            files["outbox.fwk"] = outbox
        server = Server(files, env={"FORMWICK_ONLINE": "1", "FORMWICK_RELAY_TIMEOUT_MS": "4000",
                                    "FORMWICK_RELAY_RETRY_MS": "300"})
        self.servers.append(server)
        return server.start()

    def save(self, server, name, session="x2026Y1Y1"):
        fields = urllib.parse.urlencode([("DATABASE", "poll"), ("_ACTION", "SAVE"),
                                         ("_SESSION", session), ("name", name)])
        status, _, _ = server.curl("/fwk", "--data", fields)
        self.assertEqual(status, 200)

    def auth_log(self):
        path = os.path.join(self.spool, "auth.log")
        if not os.path.exists(path):
            return []
        with open(path) as f:
            return f.read().split("\n")[:-1]

    def outbox_command(self, server, *args):
        return subprocess.run([FWKHTTPD, "outbox", "--root", server.root + "/"] + list(args),
                              env=server.env, capture_output=True, text=True, timeout=60)

    def assert_nothing_delivered(self, server, note):
        self.assertTrue(wait_for(lambda: note in server.stdout()), server.stdout())
        self.assertEqual(self.delivered(), [])
        self.assertIn(b"OPEN ", self.file(server, "outbox.fwk") or b"")

    def assert_secret_kept(self, server, password=PASSWORD):
        for name in ("outbox.fwk", "outbox.bak", "outbox.bad", "outbox.journal"):
            self.assertNotIn(password.encode(), self.file(server, name) or b"", name)
        self.assertNotIn(password, server.stdout())
        for name in ("outbox.fwk", "outbox.bak", "outbox.journal"):
            self.assertNotIn(b"OPEN ", server.curl("/" + name)[2])

    def guide_form(self, name):
        """A form fragment of the operator's guide, pointed at the test relay
        (its scheme kept), with what a saving form needs besides."""
        with open(os.path.join(SOURCE_DIR, "docs", "examples", "mail", name)) as f:
            text = f.read()
        relay = re.search(r"^EMAILSERVER=(\S+)$", text, re.M).group(1)
        scheme = relay.split("//")[0] + "//" if "//" in relay else ""
        text = text.replace("EMAILSERVER=" + relay,
                            "EMAILSERVER=%s127.0.0.1:%d" % (scheme, self.port))
        user = re.search(r"^EMAILNAME=(.*)$", text, re.M)
        password = re.search(r"^EMAILPWD=(.*)$", text, re.M)
        login = "%s:%s" % (user.group(1), password.group(1)) if user else None
        return text + "FORM=poll.html\nSAVEDATA=1\n[access]\nPWDAPPEND=(allow)\n", login

    def test_the_guides_provider_kinds_deliver_as_their_user(self):
        for name, tls in (("hosted.ini", True), ("company.ini", True), ("local.ini", False)):
            with self.subTest(form=name):
                self.port = free_port()
                form, login = self.guide_form(name)
                options = ["--starttls"] if tls else []
                if login:
                    options += ["--auth", login]
                self.start_relay(*options, cert="relay" if tls else None)
                server = self.start_server(None, form=form)
                self.save(server, "Ann")
                self.assertTrue(wait_for(lambda: len(self.delivered()) == 1), server.stdout())
                time.sleep(0.5)
                (envelope, content), = self.delivered()
                self.assertEqual(envelope["tls"], tls)
                self.assertEqual(envelope["user"], login.split(":")[0] if login else None)
                self.assertIn(b"\r\nname: Ann\r\n", content)
                if login:
                    self.assertEqual(self.auth_log(), ["PLAIN %s ok tls" % login.split(":")[0]])
                    self.assert_secret_kept(server, login.split(":")[1])
                self.assertTrue(wait_for(lambda: not self.file(server, "outbox.fwk")))
                server.close()
                self.relays.pop().stop()
                shutil.rmtree(self.spool)
                os.makedirs(self.spool)

    def test_wrong_password_stays_queued_until_fixed_then_delivers_once(self):
        self.start_relay("--starttls", "--auth", "%s:%s" % (USER, PASSWORD))
        server = self.start_server("smtp://127.0.0.1:%d" % self.port, password="wrong")
        self.save(server, "Ben")
        self.assertTrue(wait_for(lambda: "did not accept the login of " + USER in server.stdout()),
                        server.stdout())
        self.assertEqual(self.delivered(), [])
        listing = self.outbox_command(server)
        self.assertIn("smtp://127.0.0.1:%d as %s" % (self.port, USER), listing.stdout)
        self.assertIn("last error: 535", listing.stdout)
        # The password is read from the form when the message is sent: fixing
        # the form is enough.
        with open(os.path.join(server.root, "poll.ini"), "w") as f:
            f.write(FORM % ("smtp://127.0.0.1:%d" % self.port, USER, PASSWORD))
        self.assertEqual(self.outbox_command(server, "--retry").returncode, 0)
        self.assertTrue(wait_for(lambda: len(self.delivered()) == 1), server.stdout())
        time.sleep(1.5)
        self.assertEqual(len(self.delivered()), 1)
        self.assertEqual(self.auth_log()[-1], "PLAIN %s ok tls" % USER)
        self.assertNotIn("wrong", server.stdout())
        self.assert_secret_kept(server)

    def test_relay_without_starttls_gets_no_login_and_no_message(self):
        self.start_relay("--auth", "%s:%s" % (USER, PASSWORD), "--auth-without-tls", cert=None)
        server = self.start_server("127.0.0.1:%d" % self.port)
        self.save(server, "Cy")
        self.assert_nothing_delivered(server, "got nothing: no secure connection")
        self.assertEqual(self.auth_log(), [])

    def test_untrusted_certificate_and_wrong_host_name_get_nothing(self):
        for cert in ("untrusted", "othername"):
            with self.subTest(cert=cert):
                self.start_relay("--starttls", cert=cert)
                server = self.start_server("smtp://127.0.0.1:%d" % self.port, user="")
                self.save(server, "Di")
                self.assert_nothing_delivered(
                    server, "The mail relay smtp://127.0.0.1:%d got nothing" % self.port)
                server.close()
                self.relays.pop().stop()

    def test_implicit_tls_delivers(self):
        self.start_relay("--implicit-tls")
        server = self.start_server("smtps://127.0.0.1:%d" % self.port, user="")
        self.save(server, "Eve")
        self.assertTrue(wait_for(lambda: len(self.delivered()) == 1), server.stdout())
        self.assertTrue(self.delivered()[0][0]["tls"])
        self.assertIsNone(self.delivered()[0][0]["user"])

    def test_down_relay_holds_back_only_its_own_and_outbox_lists_and_drops(self):
        down = free_port()
        stuck = record(down, "late@example.org", "Stuck", "first", 1)
        moving = record(self.port, "box@example.org", "Moving", "second", 2)
        self.start_relay(cert=None)
        server = self.start_server("127.0.0.1:%d" % self.port, user="", outbox=stuck + moving)
        self.assertTrue(wait_for(lambda: len(self.delivered()) == 1), server.stdout())
        self.assertEqual(self.delivered()[0][0]["rcpt_tos"], ["box@example.org"])
        self.assertTrue(wait_for(lambda: self.file(server, "outbox.fwk") == stuck))
        listing = self.outbox_command(server)
        self.assertEqual(listing.returncode, 0, listing.stderr)
        self.assertIn("1 message waits", listing.stdout)
        line = next(l for l in listing.stdout.splitlines() if "late@example.org" in l)
        self.assertIn("127.0.0.1:%d" % down, line)
        self.assertIn("Stuck", line)
        self.assertIn("cannot be reached", server.stdout())
        message_id = line.split()[0]
        self.assertEqual(self.outbox_command(server, "--drop", "0000beef").returncode, 1)
        dropped = self.outbox_command(server, "--drop", message_id)
        self.assertEqual(dropped.returncode, 0, dropped.stderr)
        self.assertIn("0 messages wait", dropped.stdout)
        self.assertEqual(self.file(server, "outbox.bad"), stuck)
        self.assertIsNone(self.file(server, "outbox.fwk"))


if __name__ == "__main__":
    unittest.main()
