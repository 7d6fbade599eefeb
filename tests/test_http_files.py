"""Requests for files: the home document, content types, the error page,
the built-in listing, and paths that try to leave the server root."""

import os
import unittest

from fwktest import Server, ServerTestCase

HEAD_200 = ("HTTP/1.1 200 OK\r\nclient:close\r\nExpires: 0\r\n"
            "Cache-control: no-cache\r\nPragma: no-cache\r\n")
# Every response adds these lines after its own.
PROTECTION = ("Referrer-Policy: no-referrer\r\nX-Content-Type-Options: nosniff\r\n"
              "X-Frame-Options: DENY\r\nCache-Control: no-store\r\n")
HTML = "Content-type: text/html; charset=utf-8\n" + PROTECTION + "\n"

FILES = {
    "cgi.ini": "[server]\nERROR=\n",
    "index.html": "<p>home page</p>",
    "welcome.html": "<p>welcome</p>",
    "Pic.GIF": b"GIF89a\x00\x01\x02",
    "doc.pdf": b"%PDF-1.4",
    "style.css": "body { color: red }",
    "logo.png": b"\x89PNG\r\n",
    "old.htm": "<p>static</p>",
    "a.html.txt": "<p>a page by name</p>",
    "sub/deep.txt": "deep",
    "demo.ini": "[database]\nTitle=Customer poll\n",
    "poll.ini": "[database]\nTitle=Quick poll\nDescription=Two questions\n",
}


# What a request for the record browser gets while it is not part of the
# program: the not-found line and the closing comment.


class FilesTest(ServerTestCase):
    FILES = FILES

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        # A file next to the root that no request may reach.
        with open(os.path.join(cls.server.work, "secret.txt"), "w") as f:
            f.write("TOP SECRET")

    def test_root_serves_index_html_through_the_page_path(self):
        data = self.server.raw(b"GET / HTTP/1.0\r\n\r\n")
        self.assertEqual(data.decode(), HEAD_200 + HTML + "<p>home page</p>")

    def test_each_kind_of_file_gets_its_content_type_and_exact_bytes(self):
        cases = {
            "/Pic.GIF": "image/gif", "/doc.pdf": "application/pdf", "/style.css": "text/css",
            "/logo.png": "image/png", "/old.htm": "text/html; charset=utf-8",
            "/sub/deep.txt": "text/plain",
        }
        for path, kind in cases.items():
            with self.subTest(path=path):
                status, head, body = self.server.curl(path)
                self.assertEqual(status, 200)
                self.assertIn("Content-type: " + kind + "\n", head + "\n")
                name = path[1:]
                expected = FILES[name]
                if isinstance(expected, str):
                    expected = expected.encode()
                self.assertEqual(body, expected)

    def test_html_anywhere_in_the_path_makes_it_a_page(self):
        data = self.server.raw(b"GET /a.html.txt HTTP/1.1\r\n\r\n").decode()
        self.assertEqual(data, HEAD_200 + HTML + "<p>a page by name</p>")

    def test_missing_file_without_error_page_lists_the_surveys(self):
        status, head, body = self.server.curl("/no-such-file")
        self.assertEqual(status, 200)
        self.assertIn("charset=utf-8", head)
        self.assertIn(b'&nbsp;<a href="fwk?database=demo">Customer poll</a> Description<br>', body)
        self.assertIn(b'&nbsp;<a href="fwk?database=poll">Quick poll</a> Two questions<br>', body)
        self.assertNotIn(b"cgi", body)

    def test_paths_leaving_the_root_are_missing_files(self):
        listing = self.server.raw(b"GET /no-such-file HTTP/1.0\r\n\r\n")
        secret = os.path.join(self.server.work, "secret.txt")
        for path in ["/../secret.txt", "/sub/../../secret.txt", "/..\\secret.txt",
                     "//" + secret.lstrip("/"), "/" + secret, "/\\" + secret.lstrip("/"),
                     "/sub/..", "/sub"]:
            with self.subTest(path=path):
                data = self.server.raw(("GET %s HTTP/1.0\r\n\r\n" % path).encode())
                self.assertNotIn(b"TOP SECRET", data)
                self.assertEqual(data, listing)

    def test_engine_paths_are_exact_and_case_sensitive(self):
        # The forms engine answers its three paths (here with its start page);
        # the same name in other letter case is a file of the root.
        for path in ["/fwk", "/fwk.exe", "/fwk.cgi"]:
            with self.subTest(path=path):
                data = self.server.raw(("GET %s HTTP/1.1\r\n\r\n" % path).encode())
                self.assertIn(b"<H3>Start filling out a form</H3>", data)
        data = self.server.raw(b"GET /FWK?DATABASE=x HTTP/1.1\r\n\r\n")
        self.assertTrue(data.startswith(HEAD_200.encode()))
        self.assertIn(b"Quick poll", data)

    def test_garbled_or_empty_requests_are_served_the_home_document(self):
        for request in [b"", b"\r\n\r\n", b"GET", b"GET /"]:
            with self.subTest(request=request):
                data = self.server.raw(request)
                self.assertEqual(data.decode(), HEAD_200 + HTML + "<p>home page</p>")


class SettingsTest(unittest.TestCase):
    def test_home_setting_and_error_page(self):
        files = dict(FILES)
        files["cgi.ini"] = "[server]\nHOME=welcome.html\nERROR=sorry.html\n"
        files["sorry.html"] = "<p>not here: <%= 1 %></p>"
        with Server(files) as server:
            self.assertEqual(server.raw(b"GET / HTTP/1.0\r\n\r\n").decode(),
                             HEAD_200 + HTML + "<p>welcome</p>")
            # The error page is sent as it is, not expanded.
            self.assertEqual(server.raw(b"GET /gone.html HTTP/1.0\r\n\r\n").decode(),
                             HEAD_200 + HTML + "<p>not here: <%= 1 %></p>")

    def test_home_naming_an_engine_with_parameters(self):
        files = {"cgi.ini": "[server]\nHOME=fwk?DATABASE=demo\n"}
        with Server(files) as server:
            for _ in range(2):
                data = server.raw(b"GET / HTTP/1.0\r\n\r\n")
                self.assertIn(b'database "<b>demo</b>" was not found', data)
                self.assertIn(b"Error 21</a>", data)

    def test_without_settings_an_empty_path_is_a_missing_file(self):
        with Server({"index.html": "home", "s.ini": "[database]\nTitle=S\n"}) as server:
            data = server.raw(b"GET / HTTP/1.0\r\n\r\n")
            self.assertIn(b'<a href="fwk?database=s">S</a>', data)
            self.assertNotIn(b"home", data)


if __name__ == "__main__":
    unittest.main()
