"""End-to-end: the login page of forms whose respondents identify
themselves, and resuming the latest saved record on a second login, with
and without an index file of record positions."""

import os
import unittest

from fwktest import Server, write_files
from test_forms_nav import Browser, page_file, records

MEMBER_HEADER = "ID\tPIN\t_SESSION\t_PAGE\t_PAGEBACK\tm0\tm1\tm2\n"
MEMBER_ACCESS = "[access]\nPWDAPPEND=(allow)\nPWDUPDATE=(allow)\n"


def member_files(form, extra_config="", access=MEMBER_ACCESS, header=MEMBER_HEADER):
    return {
        form + ".ini": "[DATABASE]\nHASUID=1\nMULTIPAGE=1\nIDFIELDS=ID,PIN\nSAVEDATA=1\n"
                       "SAVEPAGE=1\n%s%s" % (extra_config, access),
        form + ".asc": header,
        form + "/page0": page_file("page0", ["m0"], skip="page1"),
        form + "/page1": page_file("page1", ["m1"], skip="page2"),
        form + "/page2": page_file("page2", ["m2"]),
    }


def login(server, form, **ids):
    b = Browser(server)
    b.post([("DATABASE", form), ("_ACTION", "START")] + list(ids.items()))
    return b


class LoginTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        files = {}
        files.update(member_files("member"))
        files.update(member_files("indexed", "SAVEINDEXNAME=indexed.idx\n"))
        files["indexed.idx"] = "ID\tPIN\t_POS\n"
        files.update(member_files("hand", "SAVEINDEXNAME=hand.idx\n"))
        files.update(member_files("seq", "LOGINSEQUENCE=BOGUS; ASC\n"))
        files.update(member_files("other", "LOGINSEQUENCE=BOGUS\n"))
        files.update(member_files("closed", access="[access]\nPWDUPDATE=(allow)\n"))
        files.update(member_files("nofile"))
        del files["nofile.asc"]
        files["plain.ini"] = "[DATABASE]\nHASUID=1\n" + MEMBER_ACCESS
        files["plain.asc"] = "IFMUID\tIFMUID1\tQ\n"
        files["three.ini"] = "[DATABASE]\nHASUID=1\nIDFIELDS=ID,PIN,CODE\n" + MEMBER_ACCESS
        files["three.asc"] = "ID\tCODE\n"
        evil = "<img src=x onerror=alert(1)>"
        files[evil + ".ini"] = "[DATABASE]\nHASUID=1\nIDFIELDS=ID,PIN\n" + MEMBER_ACCESS
        files[evil + ".asc"] = "ID\tPIN\n"
        cls.server = Server(files).start()
        cls.root = cls.server.root

    @classmethod
    def tearDownClass(cls):
        cls.server.close()

    def walk_two_pages(self, form, who="ann", pin="42"):
        b = login(self.server, form, ID=who, PIN=pin)
        self.assertEqual(b.page(), "page0", b.text)
        b.submit("NEXT", m0="x-" + who)
        b.submit("NEXT", m1="y-" + who)
        self.assertEqual(b.page(), "page2")
        return b.form.value("_SESSION")

    def assert_resumed(self, form, session, who="ann", pin="42"):
        b = login(self.server, form, ID=who, PIN=pin)
        self.assertEqual(b.page(), "page1", b.text)
        self.assertEqual(b.form.value("m1"), "y-" + who)
        self.assertEqual(b.form.value("m0"), "x-" + who)
        self.assertEqual(b.form.value("_PAGEBACK"), "page0,")
        self.assertEqual(b.form.value("_SESSION"), session)
        return b

    def test_resume_by_scanning_the_data_file(self):
        session = self.walk_two_pages("member")
        self.walk_two_pages("member", who="bob")
        self.assert_resumed("member", session)
        # Other passwords find nothing: a new response starts.
        b = login(self.server, "member", ID="ann", PIN="43")
        self.assertEqual(b.page(), "page0")
        self.assertEqual(b.form.value("m0"), "")
        self.assertNotEqual(b.form.value("_SESSION"), session)

    def test_resume_through_the_index_file(self):
        session = self.walk_two_pages("indexed")
        with open(os.path.join(self.root, "indexed.idx")) as f:
            lines = f.read().splitlines()
        self.assertEqual(len(lines), 3)  # header and one line per interim save
        self.assertTrue(lines[2].startswith('"ann"\t"42"\t'))
        self.assert_resumed("indexed", session)

    def test_index_positions_are_checked_before_use(self):
        header = MEMBER_HEADER
        first = "ann\t42\tS1\tpage0\t\tfirst\t\t\t\r\n"
        second = "ann\t42\tS2\tpage1\tpage0,\tsecond\t\t\t\r\n"
        other = "bob\t7\tS3\tpage2\tpage1,page0,\tbob\t\t\t\r\n"
        a = len(header)
        b = a + len(first)
        c = b + len(second)

        def resume(data, pos):
            write_files(self.root, {"hand.asc": data,
                                    "hand.idx": "ID\t_POS\n\"ann\"\t%d\n" % pos})
            br = login(self.server, "hand", ID="ann", PIN="42")
            return br.page(), br.form.value("m0")

        data = header + first + second + other
        # A sound index is used: it names the first record, the scan would
        # take the later one.
        self.assertEqual(resume(data, a), ("page0", "first"))
        # Not the start of a line, a position 0, another respondent's
        # record, or a retired record: the data file is scanned instead.
        for pos in (a + 1, b - 1, 0, c):
            self.assertEqual(resume(data, pos), ("page1", "second"), pos)
        retired = header + "#" + first[1:] + second + other
        self.assertEqual(resume(retired, a), ("page1", "second"))
        # Two live records: without a usable index the later one is resumed.
        write_files(self.root, {"hand.idx": "ID\t_POS\n"})
        br = login(self.server, "hand", ID="ann", PIN="42")
        self.assertEqual((br.page(), br.form.value("m0")), ("page1", "second"))

    def test_unknown_lookup_methods_are_passed_over_and_reported(self):
        session = self.walk_two_pages("seq")
        self.assert_resumed("seq", session)
        self.assertIn("LOGINSEQUENCE", self.server.stdout())
        self.assertIn("BOGUS", self.server.stdout())
        # Without ASC there is nothing to resume from: a new response.
        self.walk_two_pages("other")
        b = login(self.server, "other", ID="ann", PIN="42")
        self.assertEqual(b.page(), "page0")

    def test_login_page(self):
        b = Browser(self.server)
        text = b.open(DATABASE="member")
        self.assertIn("<head><title>Login</title></head>", text)
        self.assertIn('<H3>Start</H3>', text)
        self.assertIn('<label for="N">Login:</label>&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;</tt>'
                      '<INPUT ID="N" NAME="ID" VALUE="" />', text)
        self.assertIn('<label for="P">Password:</label>&nbsp;</tt>'
                      '<INPUT ID="P" TYPE="PASSWORD" NAME="PIN"', text)
        self.assertIn('VALUE="  Login to the survey  "', text)

        # Default ID fields: only the columns the data file has.
        text = b.open(DATABASE="plain")
        self.assertIn('NAME="IFMUID1"', text)
        self.assertNotIn("IFMUID2", text)
        text = b.open(DATABASE="three")
        self.assertNotIn('"PIN"', text)
        self.assertIn('<label for="P2">Password2:</label>&nbsp;</tt>'
                      '<INPUT ID="P2" TYPE="PASSWORD" NAME="CODE"', text)

        # Without the append right there is no Start form.
        self.assertNotIn("Start Survey", b.open(DATABASE="closed"))
        # An unreadable data file is a setup error.
        self.assertIn("Sorry, I can't access the data file.", b.open(DATABASE="nofile"))

    def test_login_page_escapes_names_and_values(self):
        b = Browser(self.server)
        text = b.post([("DATABASE", "<img src=x onerror=alert(1)>"),
                       ("PIN", '"><script>x()</script>')])
        self.assertNotIn("<img", text)
        self.assertIn('VALUE="&lt;img src=x onerror=alert(1)&gt;"', text)
        self.assertNotIn("<script>", text)
        self.assertIn("&quot;&gt;&lt;script&gt;", text)

    def test_resume_needs_the_update_right(self):
        write_files(self.root, {"closed.asc": MEMBER_HEADER +
                                "ann\t42\tS1\tpage1\tpage0,\tfirst\t\t\t\r\n"})
        b = login(self.server, "closed", ID="ann", PIN="42")
        self.assertEqual(b.page(), "page1")
        self.assertEqual(b.form.value("m0"), "first")
        # Saving without the append right goes through the earlier record.
        b.submit("SAVE", m1="more")
        live = [r for r in records(os.path.join(self.root, "closed.asc"))
                if not r.startswith("#")]
        self.assertEqual(len(live), 1)
        self.assertIn("more", live[0])


if __name__ == "__main__":
    unittest.main()
