"""Request parameters as a page sees them: the query of a GET, the body of a
POST, their decoding, and the HOST, DATE and TIME entries."""

import re
import time
import unittest

from fwktest import Server, ServerTestCase

# Each expression shows its value; a name the request does not carry shows
# nothing.
PAGE = "X=[<%= X %>] Y=[<%= Y %>] HOST=[<%= HOST %>] DATE=[<%= DATE %>] TIME=[<%= TIME %>]"
FILES = {"cgi.ini": "[server]\nERROR=\n", "p.html": PAGE}


def values(data):
    body = data.split(b"\n\n", 1)[1].decode("utf-8")
    return dict(re.findall(r"(\w+)=\[ ?([^\]]*)\]", body))


class ParametersTest(ServerTestCase):
    FILES = FILES

    def get(self, request, **options):
        return values(self.server.raw(request, **options))

    def test_query_of_a_get_is_decoded(self):
        v = self.get(b"GET /p.html?X=a+b%21&&Y=%41%62%2B%26 HTTP/1.1\r\n\r\n")
        self.assertEqual(v["X"], "a b!")
        self.assertEqual(v["Y"], "Ab+&")

    def test_body_of_a_post_replaces_its_query(self):
        v = self.get(b"POST /p.html?X=query HTTP/1.1\r\nContent-Length: 15\r\n\r\nX=body&Y=%C3%A9")
        self.assertEqual(v["X"], "body")
        self.assertEqual(v["Y"], "\u00e9")

    def test_post_with_bare_line_feeds_and_without_length(self):
        v = self.get(b"POST /p.html HTTP/1.0\nHost: x\n\nX=1&Y=2")
        self.assertEqual((v["X"], v["Y"]), ("1", "2"))

    def test_body_is_cut_to_its_content_length(self):
        v = self.get(b"POST /p.html HTTP/1.1\r\nContent-Length: 7\r\n\r\nX=1&Y=2\r\n")
        self.assertEqual((v["X"], v["Y"]), ("1", "2"))

    def test_slow_body_arrives_whole(self):
        v = self.get([b"POST /p.html HTTP/1.1\r\nContent-Length: 11\r\n\r\nX=first",
                      b"&Y=2"], pause=0.5, close_write=False)
        self.assertEqual((v["X"], v["Y"]), ("first", "2"))

    def test_curl_form_post(self):
        status, head, body = self.server.curl("/p.html", "--data-urlencode", "X=caf\u00e9 & co",
                                              "--data", "Y=2")
        self.assertEqual(status, 200)
        self.assertIn("Content-type: text/html; charset=utf-8", head)
        v = values(b"\n\n" + body)
        self.assertEqual(v["X"], "caf\u00e9 & co")

    def test_host_date_and_time_come_with_parameters_only(self):
        v = self.get(b"GET /p.html?Y=1&HOST=mine&DATE=1 HTTP/1.0\r\n\r\n")
        self.assertNotEqual(v["HOST"], "mine")  # entries 0 to 2 win
        self.assertEqual(v["DATE"], time.strftime("%Y%m%d"))
        self.assertRegex(v["TIME"], r"^\d{6}$")
        for request in [b"GET /p.html HTTP/1.0\r\n\r\n", b"GET /p.html? HTTP/1.0\r\n\r\n",
                        b"PUT /p.html?X=1 HTTP/1.0\r\n\r\n"]:
            with self.subTest(request=request):
                v = self.get(request)
                self.assertEqual((v["X"], v["HOST"], v["DATE"], v["TIME"]), ("", "", "", ""))


class DeviceIdTest(unittest.TestCase):
    def test_device_id_is_the_host_parameter(self):
        files = {"cgi.ini": "[server]\nDEVICEID=unit-7\n", "p.html": PAGE}
        with Server(files) as server:
            v = values(server.raw(b"GET /p.html?X=1 HTTP/1.0\r\n\r\n"))
            self.assertEqual(v["HOST"], "unit-7")


if __name__ == "__main__":
    unittest.main()
