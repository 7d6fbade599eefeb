"""Files the server keeps for itself: configuration, page scripts, answers,
counters, the outbox, temporary files, forms' page directories and every
file a form's configuration names (data, index, XML and password files,
and its report templates) are answered exactly as a missing file is; so are
FIFOs and devices. --listen limits the interfaces the server answers on."""

import os
import socket
import subprocess
import time
import unittest

from fwktest import FWKHTTPD, Server, ServerTestCase

DEMO_INI = ("[DATABASE]\nTitle=Customer poll\nSAVEDATANAME=answers/demo-data.txt\n"
            "SAVEINDEXNAME=demo-index.txt\nSAVEXMLNAME=xml/demo.xml\nPWDFILE=ids.txt\n"
            "REPORT2=reports/all.html\nREPORT=thanks.html\nEMAILREPORT=mail-body.html\n"
            "[access]\nadmin=secret-password\n")

FILES = {
    "cgi.ini": "[server]\nDEVICEID=pda7\n",
    "demo.ini": DEMO_INI,
    "Poll.INI": "[database]\nTitle=Quick poll\n",
    "demo.val": "page0: check()\n",
    "demo.asc": "Q1\tQ2\nyes\tno\n",
    "demo.respcount": b"\x05\x00\x00\x00",
    "outbox.fwk": "MAIL FROM:<a@b>\n",
    "outbox.bak": "MAIL FROM:<a@b>\n",
    "outbox.bad": "MAIL FROM:<a@b>\n",
    "outbox.journal": "sent 0000beef 10\n",
    "outbox.lock": "",
    "demo/page0.html": "<p>first page</p>",
    "demo/logo.gif": b"GIF89a",
    "answers/demo-data.txt": "Q1\nsecret answer\n",
    "answers/readme.txt": "public readme\n",
    "demo-index.txt": "ID\t_POS\n",
    "xml/demo.xml": "<answers/>",
    "ids.txt": "alice bob\n",
    "sub/DATA.ASC": "Q\nx\n",
    "index.html": "<p>home</p>",
    "reports/all.html": "<p>every answer</p>",
    "thanks.html": "<p>thanks</p>",
    "mail-body.html": "<p>mail</p>",
    "notes.txt": "public notes\n",
    # Left by a writer that was stopped before its rename.
    "demo.respcount.tmp-99999999": b"\x09\x00\x00\x00",
}

PRIVATE_PATHS = [
    "/cgi.ini", "/demo.ini", "/Poll.INI", "/demo.val", "/demo.asc", "/demo.respcount",
    "/outbox.fwk", "/outbox.bak", "/outbox.bad", "/outbox.journal", "/outbox.lock",
    "/demo/page0.html", "/demo/logo.gif",
    "/./demo/page0.html", "/demo\\page0.html", "/answers/demo-data.txt",
    "/answers//demo-data.txt", "/./answers/./demo-data.txt", "/demo-index.txt",
    "/xml/demo.xml", "/ids.txt", "/sub/DATA.ASC", "/demo.ini?x=1",
    # The templates a form names as its reports: what they show is for the
    # report right, not for anybody who guesses the name.
    "/reports/all.html", "/thanks.html", "/mail-body.html",
]


class PrivateFilesTest(ServerTestCase):
    FILES = FILES

    def missing(self):
        return self.server.raw(b"GET /no-such-file HTTP/1.0\r\n\r\n")

    def test_each_private_kind_is_answered_as_a_missing_file(self):
        missing = self.missing()
        self.assertIn(b"Customer poll", missing)  # the survey listing
        for path in PRIVATE_PATHS:
            with self.subTest(path=path):
                data = self.server.raw(("GET %s HTTP/1.0\r\n\r\n" % path).encode())
                self.assertEqual(data, missing)
                self.assertNotIn(b"secret", data)

    def test_temporaries_are_private_and_abandoned_ones_removed_at_start(self):
        root = self.server.root
        self.assertFalse(os.path.exists(os.path.join(root, "demo.respcount.tmp-99999999")))
        missing = self.missing()
        for name in ("outbox.fwk.tmp-4242", "notes.txt.tmp-7", "answers/x.html.tmp-12"):
            with open(os.path.join(root, name), "w") as f:
                f.write("MAIL FROM:<a@b> secret queued answers\n")
            with self.subTest(name=name):
                self.assertEqual(self.server.raw(("GET /%s HTTP/1.0\r\n\r\n" % name).encode()),
                                 missing)

    def test_public_files_beside_private_ones_are_served(self):
        for path, text in (("/notes.txt", b"public notes\n"),
                           ("/answers/readme.txt", b"public readme\n"),
                           ("/", b"<p>home</p>")):
            with self.subTest(path=path):
                status, _, body = self.server.curl(path)
                self.assertEqual((status, body), (200, text))

    def test_a_form_added_while_running_is_private_at_once(self):
        root = self.server.root
        with open(os.path.join(root, "later.txt"), "w") as f:
            f.write("soon private\n")
        os.makedirs(os.path.join(root, "quiz"))
        with open(os.path.join(root, "quiz", "page0.html"), "w") as f:
            f.write("<p>quiz page</p>")
        self.assertEqual(self.server.curl("/later.txt")[2], b"soon private\n")
        self.assertEqual(self.server.curl("/quiz/page0.html")[2], b"<p>quiz page</p>")
        with open(os.path.join(root, "quiz.ini"), "w") as f:
            f.write("[DATABASE]\nSAVEDATANAME=later.txt\n")
        missing = self.missing()
        for path in ("/later.txt", "/quiz/page0.html"):
            with self.subTest(path=path):
                self.assertEqual(self.server.raw(("GET %s HTTP/1.0\r\n\r\n" % path).encode()),
                                 missing)

    def test_a_configuration_edited_in_place_is_read_again_within_a_second(self):
        root = self.server.root
        with open(os.path.join(root, "edited.txt"), "w") as f:
            f.write("named later\n")
        with open(os.path.join(root, "staff.ini"), "w") as f:
            f.write("[DATABASE]\nTitle=Staff\n")
        self.assertEqual(self.server.curl("/edited.txt")[2], b"named later\n")
        # Rewritten in place: the root directory itself does not change.
        with open(os.path.join(root, "staff.ini"), "r+") as f:
            f.write("[DATABASE]\nPWDFILE=edited.txt\n")
        missing = self.missing()
        deadline = time.monotonic() + 3
        while self.server.raw(b"GET /edited.txt HTTP/1.0\r\n\r\n") != missing:
            self.assertLess(time.monotonic(), deadline, "the edit was not noticed")
            time.sleep(0.1)

    def test_fifo_and_devices_are_missing_files_and_do_not_block(self):
        root = self.server.root
        os.mkfifo(os.path.join(root, "pipe.txt"))
        os.mkfifo(os.path.join(root, "pipe.html"))
        os.symlink("/dev/zero", os.path.join(root, "zero.txt"))
        missing = self.missing()
        started = time.monotonic()
        for path in ("/pipe.txt", "/pipe.html", "/zero.txt"):
            with self.subTest(path=path):
                data = self.server.raw(("GET %s HTTP/1.0\r\n\r\n" % path).encode(), timeout=5)
                self.assertEqual(data, missing)
        self.assertLess(time.monotonic() - started, 3)
        self.assertEqual(self.server.curl("/notes.txt")[0], 200)


def connects(host, port):
    try:
        with socket.create_connection((host, port), timeout=2):
            return True
    except OSError:
        return False


class ListenTest(unittest.TestCase):
    def test_listen_address_limits_the_interfaces(self):
        with Server({"notes.txt": "n\n"}, args=["--listen", "127.0.0.1"]) as server:
            self.assertEqual(server.curl("/notes.txt")[2], b"n\n")
            self.assertFalse(connects("127.0.0.2", server.port))
        with Server({"notes.txt": "n\n"}) as server:
            self.assertTrue(connects("127.0.0.2", server.port))

    def test_urls_name_the_listen_address(self):
        server = Server({"notes.txt": "n\n", "demo.ini": "[DATABASE]\nTitle=Poll\n"},
                        args=["--listen", "127.0.0.2"])
        try:
            command = [FWKHTTPD, "--headless", "--root", server.root, "--listen", "127.0.0.2",
                       "--port", str(server.first_port)]
            with open(server.out_path, "wb") as out:
                server.process = subprocess.Popen(command, stdout=out, stderr=subprocess.DEVNULL,
                                                  env=server.env)
            deadline = time.monotonic() + 10
            while "running on port" not in server.stdout() and time.monotonic() < deadline:
                time.sleep(0.05)
            url = "http://127.0.0.2:%d/" % server.first_port
            self.assertIn("    %sfwk?database=demo\n" % url, server.stdout())
            self.assertTrue(connects("127.0.0.2", server.first_port))
            self.assertFalse(connects("127.0.0.1", server.first_port))
        finally:
            server.close()

    def test_listen_is_documented_and_checked(self):
        server = Server()
        try:
            done = subprocess.run([FWKHTTPD, "--help"], capture_output=True, text=True,
                                  env=server.env, timeout=10)
            self.assertIn("--listen ADDR", done.stdout)
            done = subprocess.run([FWKHTTPD, "--headless", "--listen", "localhost:81"],
                                  capture_output=True, text=True, env=server.env, timeout=10)
            self.assertEqual(done.returncode, 2)
            self.assertIn("--listen needs an IPv4 address", done.stderr)
        finally:
            server.close()


if __name__ == "__main__":
    unittest.main()
