"""Requests the forms engine refuses or answers without a form page: the
start page, the request checks and their result codes, the response limit,
the password file, and rights from the access section."""

import os
import re
import time
import unittest
import urllib.parse

from fwktest import Server, ServerTestCase, wait_for

START_PAGE = ("<head><title>Formwick CGI</title></head>\n"
              "<FORM ACTION=/fwk METHOD=POST ACCEPT-CHARSET=\"UTF-8\">\n"
              "<H3>Start filling out a form</H3><P><label for=D>Please type the name of the "
              "form:</label> <input ID=D name=DATABASE><BR>\n<input type=submit value=\"  Click "
              "here to begin   \"></FORM>")
TRAILER = "<!-- Veltrix CGI 5.03 -->"
ALLOW = "[access]\nPWDAPPEND=(allow)\n"

FILES = {
    "cgi.ini": "[server]\nERROR=\n",
    "f.ini": "[DATABASE]\nFORM=f.html\n" + ALLOW,
    "f.html": "<p>form f <%= q %></p>",
    "off.ini": "[DATABASE]\nACTIVE=0\nFORM=f.html\n" + ALLOW,
    "limit.ini": "[DATABASE]\nFORM=f.html\nMAXRESPONSES=5\n" + ALLOW,
    "limit.respcount": (5).to_bytes(4, "little"),
    "limit2.ini": "[DATABASE]\nFORM=f.html\nMAXRESPONSES=5\nMAXMESSAGE=https://example.org/full\n"
                  + ALLOW,
    "limit2.respcount": (9).to_bytes(4, "little"),
    "pwd.ini": "[DATABASE]\nFORM=f.html\nIDFIELDS=ID,PIN\nPWDFILE=%(root)s/ids.txt\n" + ALLOW,
    "ids.txt": "Alice\tbob\r\n  carol\nlast",
    "closed.ini": "[DATABASE]\nFORM=f.html\nSAVEDATA=1\nADMINEMAIL=admin@example.org\n"
                  "EMAILSERVER=relay.example.org\n",
    "rep.ini": "[DATABASE]\nFORM=f.html\nREPORT2=rep.html\n[access]\nPWDREPORT=rep\n"
               "PWDAPPEND=(allow)\n",
    "rep.html": "<p>report for <%= who %></p>",
    "rep0.ini": "[DATABASE]\nFORM=f.html\n[access]\nPWDREPORT=(allow)\n",
}


class RequestsTest(ServerTestCase):
    FILES = FILES

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        path = os.path.join(cls.server.root, "pwd.ini")
        with open(path) as f:
            text = f.read() % {"root": cls.server.root}
        with open(path, "w") as f:
            f.write(text)

    def get(self, query):
        return self.server.curl("/fwk?" + query)

    def post(self, *pairs):
        return self.server.curl("/fwk", "--data", urllib.parse.urlencode(list(pairs)))

    def test_start_page_without_a_form_name(self):
        for path in ("/fwk", "/fwk?q=1&_ACTION=SAVE", "/fwk.cgi?DATABASE="):
            with self.subTest(path=path):
                status, _, body = self.server.curl(path)
                self.assertEqual((status, body.decode()), (200, START_PAGE))
        _, _, body = self.get("DATABASE=off")
        self.assertEqual(body.decode(), START_PAGE)

    def test_request_checks_in_order(self):
        _, _, body = self.get("DATABASE=f&_PAGE=p%3Cb%3E")
        self.assertIn(b"Bad page name: p&lt;b&gt;", body)
        self.assertIn(b"Error 103</a>", body)
        _, _, body = self.get("DATABASE=f&_PAGE=page1")
        self.assertIn(b"form f", body)
        # Too long: nothing but the server's note (no header).
        data = self.server.raw(("GET /fwk?DATABASE=%s HTTP/1.0\r\n\r\n" % ("f" * 129)).encode())
        self.assertTrue(data.startswith(b"<P><A href="), data)
        self.assertIn(b"Error 102</a>", data)
        data = self.server.raw(("GET /fwk?DATABASE=f&_PASSWORD=%s HTTP/1.0\r\n\r\n"
                                % ("p" * 129)).encode())
        self.assertIn(b"Error 102</a>", data)
        # A form name that is not a plain name comes back as text.
        _, _, body = self.get("DATABASE=%3Cimg+src%3Dx+onerror%3Dalert(1)%3E%3F")
        self.assertTrue(body.startswith(
            b"Bad database name: &lt;img src=x onerror=alert(1)&gt;?<P>"), body)
        self.assertIn(b"Error 104</a>", body)
        _, _, body = self.get("DATABASE=a.b")
        self.assertTrue(body.startswith(b"Bad database name: a.b"))

    def test_missing_configuration(self):
        _, _, body = self.get("DATABASE=%3Cnone%3E")
        text = body.decode()
        self.assertTrue(text.startswith(START_PAGE))
        self.assertIn(': A configuration file for the database "<b>&lt;none&gt;</b>" was not '
                      "found. Please check your spelling and server setup and try again.<P>\n"
                      "Cannot access file (&lt;none&gt;.ini)Error 21 in Z:\\cgi\\fwk@1928: "
                      "Cannot access file (&lt;none&gt;.ini)", text)
        self.assertIn("Error 21</a>", text)
        self.assertIn("fwk: there is no form <none>: %s/<none>.ini does not exist\n"
                      % self.server.root, self.server.stdout())

    def test_response_limit(self):
        for action in ("", "START", "SAVE"):
            status, _, body = self.get("DATABASE=limit&_ACTION=" + action)
            self.assertTrue(body.startswith(b"Sorry, this form is no longer available.<P><A"))
            self.assertIn(b"Error 12</a>", body)
        status, head, _ = self.get("DATABASE=limit2")
        self.assertEqual(status, 302)
        self.assertIn("Location: https://example.org/full", head)
        with open(os.path.join(self.server.root, "limit.respcount"), "wb") as f:
            f.write((4).to_bytes(4, "little"))
        _, _, body = self.get("DATABASE=limit")
        self.assertEqual(body, b"<p>form f </p>")

    def test_password_file(self):
        # Words in any letter case, separated by blanks and line ends; the
        # last word counts without a line end after it.
        for user in ("alice", "BOB", "carol", "Last"):
            with self.subTest(user=user):
                _, _, body = self.get("DATABASE=pwd&ID=" + user)
                self.assertEqual(body, b"<p>form f </p>")
        for query in ("DATABASE=pwd&ID=ali", "DATABASE=pwd", "DATABASE=pwd&PIN=alice"):
            with self.subTest(query=query):
                _, _, body = self.get(query)
                self.assertTrue(body.startswith(
                    b"Sorry, you need a password to access this form.<P><A"), body)
                self.assertIn(b"Error 11</a>", body)

    def test_refusal_page_summary_and_administrator_mail(self):
        status, _, body = self.post(("DATABASE", "closed"), ("_ACTION", "SAVE"),
                                    ("q", 'a"b'), ("_PASSWORD", "guess"))
        self.assertEqual(status, 200)
        text = body.decode()
        self.assertTrue(text.startswith(
            "<H3>Permission denied</H3>\n<P>Please enter your password to append data to "
            "this file.\n"), text)
        self.assertIn('<INPUT TYPE=HIDDEN NAME=DATABASE VALUE="closed">\n'
                      '<INPUT TYPE=HIDDEN NAME=_ACTION VALUE="SAVE">\n', text)
        self.assertIn('<INPUT TYPE=HIDDEN NAME="q" VALUE="a&quot;b">\n', text)
        self.assertNotIn("guess", text)
        self.assertTrue(text.endswith("</FORM><HR><P>You are not permitted to use this server."
                                      "<P>Error: Access denied.\n" + TRAILER), text)
        with open(os.path.join(self.server.root, "outbox.fwk"), newline="") as f:
            mail = f.read()
        self.assertIn("Subject: Web access denied/breakin attempt", mail)
        self.assertRegex(mail, "\r\n\r\nDatabase: closed\r\nRefused requests: 1\r\n"
                         "First: \\d{8} \\d{6}\r\nLast: \\d{8} \\d{6}\r\n"
                         "Error codes: 101 \\(1\\)\r\nRemote hosts: [^\r]+ \\(1\\)\r\n"
                         "Actions: SAVE \\(1\\)\r\n\r\n.\r\nQUIT")
        # The password tried is never mailed.
        self.assertNotIn("guess", mail)

    def test_report_rights_from_password_words(self):
        _, _, body = self.get("DATABASE=rep&_ACTION=report&_PASSWORD=x+rep&who=me")
        self.assertEqual(body, b"<p>report for me</p>")
        _, _, body = self.get("DATABASE=rep&_ACTION=REPORT&_PASSWORD=x,rep")
        self.assertTrue(body.startswith(b"<p>report for"))
        _, _, body = self.get("DATABASE=rep&_ACTION=REPORT&_PASSWORD=REP")
        self.assertIn(b"to view reports of this file.", body)
        self.assertIn(b"<P>With this database, you may:<UL><LI>Append new records\n</UL>", body)
        # The right without a REPORT2: an empty answer; likewise NEXT on a
        # form of one page.
        self.assertEqual(self.server.raw(b"GET /fwk?DATABASE=rep0&_ACTION=REPORT HTTP/1.0\r\n\r\n"),
                         b"")
        self.assertEqual(self.server.raw(b"GET /fwk?DATABASE=f&_ACTION=NEXT HTTP/1.0\r\n\r\n"), b"")


class RefusalFloodTest(unittest.TestCase):
    def test_a_flood_of_refusals_sends_one_alert_per_interval(self):
        with Server(FILES, env={"FORMWICK_ALERT_INTERVAL_MS": "1500"}) as server:
            outbox = os.path.join(server.root, "outbox.fwk")

            def alerts():
                try:
                    with open(outbox, newline="") as f:
                        return re.findall(r"Refused requests: (\d+)\r\n", f.read())
                except FileNotFoundError:
                    return []

            body = b"DATABASE=closed&_ACTION=SAVE&_PASSWORD=secret-guess"
            request = b"POST /fwk HTTP/1.0\r\nContent-Length: %d\r\n\r\n" % len(body) + body
            for _ in range(200):
                server.raw(request, close_write=False)
            self.assertEqual(alerts(), ["1"])
            # The rest are told together once the interval has passed.
            self.assertEqual(wait_for(lambda: len(alerts()) == 2 and alerts(), timeout=10),
                             ["1", "199"])
            with open(outbox, newline="") as f:
                mail = f.read()
            self.assertIn("Actions: SAVE (199)\r\n", mail)
            self.assertNotIn("secret-guess", mail)
            time.sleep(2)
            self.assertEqual(len(alerts()), 2)


if __name__ == "__main__":
    unittest.main()
