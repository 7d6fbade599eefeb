"""The record browser over HTTP: the start page, listing with a query and
paging, grouped columns, viewing a record, the error results and the read
right granted by a form's "access" section."""

import html
import os
import re
import time
import unittest
from urllib.parse import urlencode

from fwktest import ServerTestCase, demo_server
from test_forms_nav import Browser

# Lines after the header row: 1 plain, 2 retired, 3 empty, 4 to 6 plain.
SURVEY = ("ID\tQ1_a\tQ1_b\tQ2\tNOTE\n"
          "1\ta\tb\tyes\tfirst\n"
          "#2\tx\ty\tno\tretired\n"
          "\t\t\t\t\n"
          "3\tc\t\tno\t<script>alert(1)</script>\n"
          "4\te\tf\tyes\tfourth\n"
          "5\tg\th\tyes\tfifth\n")

FILES = {
    "cgi.ini": "[server]\nHELPURL=/help.html\n",
    # Read with a password; the data file is the form name with ".asc".
    "survey.ini": "[DATABASE]\nTitle=Survey\n[access]\nPWDREAD=secret\n",
    "survey.asc": SURVEY,
    # Read by everybody; the data file is named by SAVEDATANAME.
    "open.ini": "[DATABASE]\nSAVEDATANAME=data/answers.txt\n[access]\nPWDREAD=(allow)\n",
    "data/answers.txt": "NAME\tAGE\nann\t31\n",
    # Other rights, but not read.
    "closed.ini": "[DATABASE]\nTitle=x\n[access]\nPWDAPPEND=(allow)\nPWDREAD=(deny)\n",
    # Readable, but without a DATABASE section.
    "nosection.ini": "[access]\nPWDREAD=(allow)\n",
    # Readable, but its data file is missing.
    "nodata.ini": "[DATABASE]\nTitle=x\n[access]\nPWDREAD=(allow)\n",
}

START_PAGE = "<h4>To view a database or report, please choose an option:</h4>"
LIST_PAGE = "<h3>Formwick Database List</h3>"


def row_numbers(body):
    return [int(n) for n in re.findall(r'<TD CLASS="INDEX">(\d+)</TD>', body)]


class RecordBrowserTest(ServerTestCase):
    FILES = FILES

    def get(self, path="/list", **params):
        """(status, body text) of a GET with the parameters URL-encoded."""
        query = "?" + urlencode(params) if params else ""
        status, _, body = self.server.curl(path + query)
        return status, body.decode("utf-8")

    def survey(self, **params):
        return self.get(DATABASE="survey", _PASSWORD="secret", **params)[1]

    def test_start_page_for_each_reason(self):
        cases = {
            "no command": dict(DATABASE="survey", _PASSWORD="secret"),
            "no form name": dict(_ACTION="LIST", _PASSWORD="secret"),
            "no password": dict(DATABASE="survey", _ACTION="LIST"),
            "password in another case": dict(DATABASE="survey", _ACTION="LIST", _PASSWORD="Secret"),
            "read denied": dict(DATABASE="closed", _ACTION="LIST"),
            "no configuration": dict(DATABASE="missing", _ACTION="LIST"),
            "path in the name": dict(DATABASE="../survey", _ACTION="LIST", _PASSWORD="secret"),
            "no parameters": dict(),
        }
        for reason, params in cases.items():
            with self.subTest(reason):
                status, body = self.get(**params)
                self.assertEqual(status, 200)
                self.assertIn(START_PAGE, body)
                self.assertIn('<style type="text/css">\nBODY\n{\nbackground-color: white;\n', body)
                self.assertTrue(body.endswith("</BODY>\n</HTML>\n\n"), body[-80:])
                self.assertNotIn("Error", body)
        body = self.get(DATABASE="survey", _PASSWORD="a b")[1]
        self.assertIn('<input name="DATABASE" VALUE="survey">\n', body)
        self.assertIn('NAME="_PASSWORD" VALUE="a b">', body)

    def test_read_right_from_one_of_several_passwords(self):
        for path in ("/list", "/list.exe", "/list.cgi"):
            with self.subTest(path):
                body = self.get(path, DATABASE="survey", _ACTION="LIST",
                                _PASSWORD="other,secret")[1]
                self.assertIn(LIST_PAGE, body)
                self.assertEqual(row_numbers(body), [1, 4, 5, 6])

    def test_list_groups_columns_and_filters_with_the_query(self):
        body = self.survey(_ACTION="list records", _QUERY="Q2 eq 'yes'")
        self.assertIn("<TR><TH COLSPAN=2>Row Actions<TH>ID</TH><TH>Q1</TH><TH>Q2</TH>"
                      "<TH>NOTE</TH></TR>", body)
        self.assertEqual(row_numbers(body), [1, 5, 6])
        self.assertIn('\n<TR CLASS="LIGHT">\n<TD><a href="?_PASSWORD=secret&DATABASE=survey'
                      '&_ROWID=1&_ACTION=View">View</a></TD>\n<TD CLASS="INDEX">1</TD>\n'
                      "<TD>1<TD>a,b<TD>yes<TD>first</TR>\n\n", body)
        self.assertIn('\n<TR CLASS="DARK">\n', body)
        # The query sees the names cut at "_": Q1 is the first Q1 column.
        self.assertEqual(row_numbers(self.survey(_ACTION="LIST", _QUERY="Q1 eq 'e'")), [5])
        # Nothing matches: the headings and no rows.
        body = self.survey(_ACTION="LIST", _QUERY="Q2 eq 'maybe'")
        self.assertIn("<TH>NOTE</TH></TR>\n</TABLE>", body)
        # Not a condition: every record.
        self.assertEqual(row_numbers(self.survey(_ACTION="LIST", _QUERY="Q2")), [1, 4, 5, 6])

    def test_paging_examines_count_lines_after_start(self):
        body = self.survey(_ACTION="LIST", _COUNT="2", _START="2")
        self.assertEqual(row_numbers(body), [4])
        link = ('<a href="?DATABASE=survey&_PASSWORD=secret&_ACTION=LIST&_COUNT=2&_START=%d">'
                "%s</a>")
        links = (link % (0, "Back")) + " | " + (link % (4, "Next"))
        self.assertEqual(body.count(links), 2)
        self.assertEqual(row_numbers(self.survey(_ACTION="LIST", _COUNT="3", _START="4")), [5, 6])
        body = self.survey(_ACTION="LIST", _COUNT="x", _START="-3")
        self.assertIn("_COUNT=50&_START=-50\">Back</a>", body)
        self.assertEqual(row_numbers(body), [1, 4, 5, 6])

    def test_huge_pages_are_cut_and_stop_at_the_end_of_the_file(self):
        began = time.monotonic()
        body = self.survey(_ACTION="LIST", _COUNT="2000000000", _START="5")
        self.assertIn("_COUNT=1000&_START=1005\">Next</a>", body)
        self.assertEqual(row_numbers(body), [6])
        body = self.survey(_ACTION="LIST", _START="99999999999999999999999")
        self.assertIn(LIST_PAGE, body)
        self.assertEqual(row_numbers(body), [])
        self.assertLess(time.monotonic() - began, 5)

    def test_view_shows_one_record_field_by_field(self):
        body = self.survey(_ACTION="View", _ROWID="4")
        self.assertIn("<H2>Viewing record 4</H2><TABLE><TR><TD CLASS=\"QUERY\">", body)
        self.assertIn('<TR CLASS="DARK">\n<TD>ID</TD>\n<TD>3</TD>\n'
                      '<TR CLASS="LIGHT">\n<TD>Q1_a</TD>\n<TD>c</TD>\n'
                      '<TR CLASS="DARK">\n<TD>Q1_b</TD>\n<TD>&nbsp;</TD>\n', body)
        # A retired record can be viewed by its number, and says it is retired.
        body = self.survey(_ACTION="VIEW", _ROWID="2")
        self.assertIn("<TD>retired</TD>", body)
        self.assertIn("<H2>Viewing record 2 (retired)</H2>", body)
        self.assertIn("<HR>\n<P>This record is retired: its response was saved again later, "
                      "or it was deleted. It is not one of the responses.\n<TABLE>", body)
        self.assertNotIn("(retired)", self.survey(_ACTION="VIEW", _ROWID="4"))
        # Row numbers below 1: nothing after the headers, and no error.
        status, _, raw = self.server.curl("/list?DATABASE=survey&_PASSWORD=secret&_ACTION=view"
                                          "&_ROWID=0")
        self.assertEqual((status, raw), (200, b""))

    def test_missing_rows(self):
        for row in ("3", "7", "99999999999"):
            with self.subTest(row=row):
                body = self.survey(_ACTION="View", _ROWID=row)
                self.assertTrue(body.startswith("Row (%s) does not exist in the database."
                                                "<P><A href=/help.html#s8>Error 8</a>\n" % row),
                                body)

    def test_errors_with_their_results(self):
        body = self.get(DATABASE="nosection", _ACTION="LIST")[1]
        self.assertTrue(body.startswith(self.server.root + "/: A configuration file was not "
                                        "found. Please check your server setup and try again."
                                        "<P>\n<HTML>\n"), body[:200])
        self.assertIn("</HTML>\n\nError 21 in Z:\\cgi\\list@90: Cannot access file "
                      "(nosection.ini)<P><A href=/help.html#s21>Error 21</a>\n", body)

        body = self.survey(_ACTION="Start over")
        self.assertEqual(body, "Error 30 in Z:\\cgi\\list@110: Invalid command (Start over)"
                               "<P><A href=/help.html#s30>Error 30</a>\n"
                               "<!-- Veltrix CGI 5.03 -->")

        body = self.get(DATABASE="nodata", _ACTION="LIST")[1]
        self.assertRegex(body, r"^Error 3 in Z:\\cgi\\list@114: Unable to open the table "
                               r"\(/.*/nodata\.asc\)<P><A href=/help.html#s3>Error 3</a>\n")

        log = self.server.stdout()
        self.assertIn("Z:\\cgi\\list: Cannot access file (%s.ini)\tnosection", log)
        self.assertIn("Z:\\cgi\\list: Invalid command (%s)\tStart over", log)
        self.assertIn("Z:\\cgi\\list: Unable to open the table (%s)\t", log)

    def test_saved_name_and_request_texts_stay_text(self):
        body = self.get(DATABASE="open", _ACTION="LIST")[1]
        self.assertIn("<TD>ann<TD>31</TR>", body)

        body = self.survey(_ACTION="LIST")
        self.assertNotIn("<script>", body)
        self.assertIn("<TD>&lt;script&gt;alert(1)&lt;/script&gt;</TR>", body)
        body = self.survey(_ACTION="View", _ROWID="4")
        self.assertNotIn("<script>", body)
        self.assertIn("<TD>&lt;script&gt;alert(1)&lt;/script&gt;</TD>", body)

        hostile = '"><script>x</script>'
        body = self.get(DATABASE="open", _ACTION="LIST", _PASSWORD=hostile + " &x")[1]
        self.assertNotIn("<script>", body)
        self.assertIn('NAME=_PASSWORD VALUE="&quot;&gt;&lt;script&gt;x&lt;/script&gt; &amp;x">',
                      body)
        self.assertIn("?DATABASE=open&_PASSWORD=%22%3E%3Cscript%3Ex%3C%2Fscript%3E%20%26x&_ACTION",
                      body)
        for params in (dict(DATABASE=hostile, _ACTION="LIST"),
                       dict(DATABASE="open", _ACTION=hostile)):
            with self.subTest(params=params):
                self.assertNotIn("<script>", self.get(**params)[1])


class DemoRecordBrowserTest(unittest.TestCase):
    """The demo home page's links to the answers of its surveys, on a copy of
    the demo server root."""

    @classmethod
    def setUpClass(cls):
        cls.server = demo_server()

    @classmethod
    def tearDownClass(cls):
        cls.server.close()

    def list_links(self):
        _, _, body = self.server.curl("/index.html")
        links = re.findall(r'href="(/list\?[^"]*)"', body.decode("utf-8"))
        return {re.search(r"DATABASE=(\w+)", link).group(1): html.unescape(link)
                for link in links}

    def test_answers_just_given_show_behind_the_home_page_link(self):
        links = self.list_links()
        self.assertEqual(set(links), {"demo", "contact", "feedback"})
        for form, link in links.items():
            with self.subTest(form):
                status, _, body = self.server.curl(link)
                self.assertEqual(status, 200)
                self.assertIn(LIST_PAGE.encode(), body)
                self.assertNotIn(b"Error", body)

        b = Browser(self.server)
        b.post([("DATABASE", "demo"), ("_ACTION", "START")])
        b.submit("NEXT", NAME="Zoe", PIN="2468")
        b.submit("NEXT", Q1="web", VISITS="1")
        b.submit("NEXT", RATING="4")
        self.assertIn("Thank you for your answers!", b.text)
        _, _, body = self.server.curl(links["demo"])
        # Saved at every page: the earlier saves of the session are retired.
        self.assertEqual(len(row_numbers(body.decode())), 1)
        self.assertIn(b"<TD>Zoe<TD>2468<TD>", body)


if __name__ == "__main__":
    unittest.main()
