"""End-to-end: what the operator sees of an author's mistakes while the
server runs. Each failure is one status line that names the form, the
file, the reason and the fix; an answer dropped for want of a column is
reported once per form and field; the error notes' help link leads to a
built-in page when the root has none."""

import unittest
import urllib.parse

from fwktest import ServerTestCase, wait_for

ACCESS = "[access]\nPWDAPPEND=(allow)\n"
TEMPLATE = ("<form><input type=hidden name=DATABASE value={0}><input name=A><input name=B>"
            "<input type=submit name=_ACTION value=SAVE></form>")

FILES = {
    "cgi.ini": "[server]\nHELPURL=/errors.html#top\n",
    "nodata.ini": "[DATABASE]\nFORM=nodata.html\nSAVEDATA=1\n" + ACCESS,
    "nodata.html": TEMPLATE.format("nodata"),
    "notpl.ini": "[DATABASE]\nFORM=gone.html\n" + ACCESS,
    "nopage.ini": "[DATABASE]\nMULTIPAGE=1\nSTARTPAGE=first\n" + ACCESS,
    "nopage/other": "x",
    "drops.ini": "[DATABASE]\nFORM=drops.html\nSAVEDATA=1\n" + ACCESS,
    "drops.html": TEMPLATE.format("drops"),
    "drops.asc": "A\t_SESSION\n",
}


class OperatorMessagesTest(ServerTestCase):
    FILES = FILES

    def post(self, **fields):
        return self.server.curl("/fwk", "--data", urllib.parse.urlencode(fields))[2].decode()

    def logged(self, text):
        """Waits until `text` is on a line of its own in the server's output."""
        wait_for(lambda: text in self.server.stdout())
        lines = [l for l in self.server.stdout().splitlines() if text in l]
        return lines

    def test_each_failure_is_one_line_with_the_file_the_reason_and_the_fix(self):
        root = self.server.root
        self.post(DATABASE="nodata", _ACTION="SAVE", A="1")
        self.assertEqual(self.logged("form nodata: cannot save")[0],
                         "fwk: form nodata: cannot save to %s/nodata.asc: the file does not "
                         "exist; create it with fwkhttpd check --create-data nodata" % root)
        self.post(DATABASE="notpl")
        self.assertEqual(self.logged("form notpl:")[0],
                         "fwk: form notpl: cannot show its template (FORM=gone.html): "
                         "%s/gone.html does not exist (fwkhttpd check notpl lists what is "
                         "wrong with the form)" % root)
        self.post(DATABASE="nopage")
        self.assertEqual(self.logged("form nopage:")[0],
                         "fwk: form nopage: cannot show the page first: %s/nopage/first does "
                         "not exist (fwkhttpd check nopage lists what is wrong with the form)"
                         % root)

    def test_a_dropped_answer_is_reported_once_per_form_and_field(self):
        for value in ("x", "y"):
            self.assertIn("Thank you", self.post(DATABASE="drops", _ACTION="SAVE", A="1", B=value))
        lines = self.logged("the answer to B is not saved")
        self.assertEqual(lines, ["fwk: form drops: the answer to B is not saved: %s/drops.asc has "
                                 "no column B; add it to the file's header row (fwkhttpd check "
                                 "drops lists what is wrong with the form)" % self.server.root])
        # Engine parameters and empty answers are no dropped answers.
        self.assertNotIn("_ACTION", self.server.stdout())

    def test_help_link_leads_to_a_built_in_page(self):
        status, _, body = self.server.curl("/errors.html")
        text = body.decode()
        self.assertIn('<dt id="s2">Error 2</dt>', text)
        self.assertIn("fwkhttpd check --create-data FORM", text)
        self.assertIn('<dt id="s21">Error 21</dt>', text)
        # Another missing page is still missing.
        self.assertNotIn("Error numbers", self.server.curl("/help.html")[2].decode())


if __name__ == "__main__":
    unittest.main()
