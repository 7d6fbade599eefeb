"""End-to-end: what a hostile client on the tablets' network meets. Password
and login guessing is throttled per client address; passwords may be stored
as hashes; symbolic links lead to nothing private; request values cannot
put markup into the shipped pages; every page carries the protective
headers. Different loopback addresses (127.0.0.x) stand for different
clients."""

import os
import re
import socket
import subprocess
import unittest
import urllib.parse

from fwktest import FWKHTTPD, Server, demo_server, read_all, split_response, wait_for

# "Pin-2b" (bcrypt, cost 5) and "boss-6" (SHA-512), made with other tools.
BCRYPT = "$2b$05$WfsLztbZZaXUOBoEoyWDmOxcnWQr2gFh8KyCHAKyCsW8IlqF9/uZW"
SHA512 = ("$6$TyHdk59Ei1ZkkWch$EpoTz9.XS/65rtoxOAvYJy6.FpWoiLTPPXKxqfhbuQPKtaiALGt9NISTMm"
          "YjPwywIXh40/DLT1cGblRc7eVn7/")

PROTECTION = ["Referrer-Policy: no-referrer", "X-Content-Type-Options: nosniff",
              "X-Frame-Options: DENY", "Cache-Control: no-store"]


def protected(head):
    """True when the header block carries every protective line, after the
    fixed lines of every response."""
    lines = re.split(r"\r?\n", head.rstrip("\r"))
    if "Pragma: no-cache" not in lines or not all(p in lines for p in PROTECTION):
        return False
    return lines.index(PROTECTION[0]) > lines.index("Pragma: no-cache")


def hash_password(password):
    done = subprocess.run([FWKHTTPD, "hash-password"], input=password + "\n",
                          capture_output=True, text=True, timeout=30)
    if done.returncode != 0:
        raise AssertionError("hash-password failed: " + done.stderr)
    return done.stdout.strip()


def request(server, path, source="127.0.0.1", body=None):
    """(status, head, body text) of one request from the address `source`."""
    method = "POST" if body is not None else "GET"
    data = ("%s %s HTTP/1.1\r\nHost: x\r\n" % (method, path)).encode()
    if body is not None:
        payload = urllib.parse.urlencode(body).encode()
        data += b"Content-Type: application/x-www-form-urlencoded\r\n"
        data += b"Content-Length: %d\r\n\r\n" % len(payload) + payload
    else:
        data += b"\r\n"
    with socket.create_connection(("127.0.0.1", server.port), timeout=30,
                                  source_address=(source, 0)) as s:
        s.sendall(data)
        status, head, reply = split_response(read_all(s))
    return status, head, reply.decode("utf-8", "replace")


def list_records(server, password, source):
    query = urllib.parse.urlencode({"DATABASE": "note", "_ACTION": "LIST",
                                    "_PASSWORD": password})
    return request(server, "/list?" + query, source)


class GuessingTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        files = {
            "note.ini": "[DATABASE]\nSAVEDATA=1\n[access]\nPWDREAD=%s\nPWDAPPEND=(allow)\n"
                        % hash_password("reader-pw"),
            "note.asc": "Q\r\nthe secret answer\r\n",
            "pin.ini": "[DATABASE]\nHASUID=1\nIDFIELDS=IFMUID,PIN\nFORM=pin.html\n"
                       "[access]\nPWDUPDATE=(allow)\n",
            "pin.asc": "IFMUID\tPIN\tANSWER\r\nann\t4711\tann's private answer\r\n",
            "pin.html": "<p>answer: <%= html(ANSWER) %></p>",
        }
        cls.server = Server(files).start()

    @classmethod
    def tearDownClass(cls):
        cls.server.close()

    def assert_throttled(self, reply):
        status, head, body = reply
        self.assertEqual(status, 429, head + body)
        wait = int(re.search(r"Retry-After: (\d+)\r\n", head).group(1))
        self.assertTrue(1 <= wait <= 60, wait)
        self.assertIn("Too many wrong passwords or logins", body)
        self.assertTrue(protected(head), head)

    def test_wrong_passwords_throttle_their_address_and_a_success_resets(self):
        me, other = "127.0.0.2", "127.0.0.3"
        for i in range(9):
            self.assertNotIn("the secret answer", list_records(self.server, "w%d" % i, me)[2])
        # The right password works and forgets the nine.
        self.assertIn("the secret answer", list_records(self.server, "reader-pw", me)[2])
        for i in range(10):
            self.assertEqual(list_records(self.server, "x%d" % i, me)[0], 200)
        # Now even the right password is not checked for this address ...
        self.assert_throttled(list_records(self.server, "reader-pw", me))
        self.assert_throttled(request(self.server, "/fwk", me,
                                      {"DATABASE": "note", "_PASSWORD": "reader-pw"}))
        # ... while another address is served, and a request without a
        # password from the throttled one too.
        self.assertIn("the secret answer", list_records(self.server, "reader-pw", other)[2])
        self.assertEqual(request(self.server, "/fwk?DATABASE=note", me)[0], 200)
        self.assertTrue(wait_for(lambda: "Too many wrong passwords or logins from 127.0.0.2"
                                 in self.server.stdout()))

    def test_every_word_of_a_password_is_a_guess(self):
        me = "127.0.0.4"
        words = " ".join("%04d" % i for i in range(25))
        self.assertNotIn("the secret answer", list_records(self.server, words, me)[2])
        self.assert_throttled(list_records(self.server, "reader-pw", me))

    def test_a_pin_of_an_id_login_counts_the_same(self):
        me, other = "127.0.0.5", "127.0.0.6"
        for pin in range(10):
            status, _, body = request(self.server, "/fwk", me, {
                "DATABASE": "pin", "_ACTION": "START", "IFMUID": "ann", "PIN": "%04d" % pin})
            self.assertEqual(status, 200)
            self.assertNotIn("private answer", body)
        self.assert_throttled(request(self.server, "/fwk", me, {
            "DATABASE": "pin", "_ACTION": "START", "IFMUID": "ann", "PIN": "4711"}))
        _, _, body = request(self.server, "/fwk", other, {
            "DATABASE": "pin", "_ACTION": "START", "IFMUID": "ann", "PIN": "4711"})
        self.assertIn("ann&#39;s private answer", body)
        # A login nobody has used is a new respondent, not a guess.
        for i in range(12):
            request(self.server, "/fwk", other, {
                "DATABASE": "pin", "_ACTION": "START", "IFMUID": "new%d" % i, "PIN": "1"})
        self.assertIn("private answer", request(self.server, "/fwk", other, {
            "DATABASE": "pin", "_ACTION": "START", "IFMUID": "ann", "PIN": "4711"})[2])


class HashedPasswordTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        files = {
            "read.ini": "[DATABASE]\nSAVEDATA=1\n[access]\nPWDREAD=%s\n"
                        % hash_password("yes-crypt"),
            "read.asc": "Q\r\nread answer\r\n",
            "boss.ini": "[DATABASE]\nSAVEDATA=1\n[access]\nPWD=%s\n" % SHA512,
            "boss.asc": "Q\r\nboss answer\r\n",
            "gate.ini": "[DATABASE]\nPWDFILE=%s\nFORM=gate.html\n[access]\n"
                        "PWDAPPEND=(allow)\n",
            "gate.pwd": "alice\n%s\n" % BCRYPT,
            "gate.html": "<p>the gate form</p>",
        }
        cls.server = Server(files)
        # A password file is named as it stands: here by its full path.
        gate = os.path.join(cls.server.root, "gate.ini")
        with open(gate) as f:
            text = f.read()
        with open(gate, "w") as f:
            f.write(text % os.path.join(cls.server.root, "gate.pwd"))
        cls.server.start()

    @classmethod
    def tearDownClass(cls):
        cls.server.close()

    def listing(self, form, password):
        query = urllib.parse.urlencode({"DATABASE": form, "_ACTION": "LIST",
                                        "_PASSWORD": password})
        return request(self.server, "/list?" + query, "127.0.0.7")[2]

    def test_hashed_keys_grant_their_rights_to_the_password_only(self):
        self.assertIn("read answer", self.listing("read", "yes-crypt"))
        self.assertIn("read answer", self.listing("read", "x,yes-crypt"))
        self.assertNotIn("read answer", self.listing("read", "Yes-crypt"))
        # The hash itself is no password.
        with open(os.path.join(self.server.root, "read.ini")) as f:
            stored = re.search(r"PWDREAD=(\S+)", f.read()).group(1)
        self.assertNotIn("read answer", self.listing("read", stored))
        self.assertIn("boss answer", self.listing("boss", "boss-6"))
        self.assertNotIn("boss answer", self.listing("boss", "boss-7"))

    def test_password_file_words_may_be_hashes(self):
        def admitted(id_value):
            body = request(self.server, "/fwk", "127.0.0.8",
                           {"DATABASE": "gate", "IFMUID": id_value})[2]
            return "the gate form" in body

        self.assertTrue(admitted("Pin-2b"))
        self.assertFalse(admitted("pin-2b"))  # a hash knows letter case
        self.assertTrue(admitted("ALICE"))  # a clear word does not
        self.assertFalse(admitted(BCRYPT))

    def test_hash_password_refuses_what_no_request_could_offer(self):
        for bad in ("two words", "a,b", ""):
            done = subprocess.run([FWKHTTPD, "hash-password"], input=bad + "\n",
                                  capture_output=True, text=True, timeout=30)
            self.assertEqual(done.returncode, 2, bad)
            self.assertEqual(done.stdout, "")
        self.assertTrue(hash_password("ok").startswith("$y$"))


class LinksTest(unittest.TestCase):
    """Symbolic links inside the server root."""

    @classmethod
    def setUpClass(cls):
        files = {
            "form.ini": "[DATABASE]\nSAVEDATANAME=store/answers.txt\nPWDFILE=ids.txt\n"
                        "[access]\nPWD=hunter2\n",
            "store/answers.txt": "Q\r\nan answer\r\n",
            "ids.txt": "alice\n",
            "form/page0": "a page of the form",
            "public/ok.txt": "public text",
        }
        cls.server = Server(files)
        root = cls.server.root
        outside = os.path.join(cls.server.work, "outside")
        os.makedirs(outside)
        with open(os.path.join(outside, "secret.txt"), "w") as f:
            f.write("OUTSIDE SECRET")
        links = {
            "answers.txt": "store/answers.txt",
            "store-too": "store",
            "conf.txt": "form.ini",
            "ids-link": "ids.txt",
            "pages": "form",
            "passwd.txt": "/etc/passwd",
            "away": outside,
            "ok-link.txt": "public/ok.txt",
        }
        for name, target in links.items():
            os.symlink(target, os.path.join(root, name))
        cls.server.start()

    @classmethod
    def tearDownClass(cls):
        cls.server.close()

    def test_links_to_private_files_or_out_of_the_root_are_missing_files(self):
        missing = request(self.server, "/no-such-file")[2]
        for path in ["/answers.txt", "/store-too/answers.txt", "/conf.txt", "/ids-link",
                     "/pages/page0", "/passwd.txt", "/away/secret.txt"]:
            with self.subTest(path=path):
                status, _, body = request(self.server, path)
                self.assertEqual(status, 200)
                self.assertEqual(body, missing)
        self.assertIn("public text", request(self.server, "/ok-link.txt")[2])


class EscapingTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.server = demo_server()

    @classmethod
    def tearDownClass(cls):
        cls.server.close()

    def test_a_warning_sent_with_the_request_is_ignored(self):
        path = ("/fwk?DATABASE=demo&_ACTION=NEXT&_PAGE=page0&NAME=a&PIN=1"
                "&_PAGEWARN=%3Cscript%3Ealert(1)%3C/script%3E")
        status, _, body = request(self.server, path)
        self.assertEqual(status, 200)
        self.assertNotIn("<script>alert(1)", body)
        self.assertNotIn('class="warn"', body)
        self.assertIn("<h2>2. Your visits</h2>", body)

    def test_page_script_warnings_are_escaped_in_the_demo(self):
        path = "/fwk?DATABASE=demo&_ACTION=NEXT&_PAGE=page1&Q1=&VISITS=%3Cb%3E"
        body = request(self.server, path)[2]
        self.assertIn('<p class="warn">Please tell us how you heard of us.</p>', body)

    def test_headers_of_the_engine_the_browser_files_and_redirects(self):
        for path in ["/fwk?DATABASE=demo", "/list", "/style.css", "/index.html",
                     "/no-such-file"]:
            with self.subTest(path=path):
                status, head, _ = request(self.server, path)
                self.assertEqual(status, 200)
                fixed = head.index("Pragma: no-cache\r\n")
                self.assertGreater(head.index("Referrer-Policy: no-referrer\r\n"), fixed)
                self.assertTrue(protected(head), head)


if __name__ == "__main__":
    unittest.main()
