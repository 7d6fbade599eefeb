"""End-to-end: walking multi-page forms with NEXT and BACK, page scripts
that warn, skip, build page groups and finish the form, interim saves, and
the script built-ins, posted to the real fwkhttpd as a browser would."""

import html.parser
import os
import re
import unittest
import urllib.parse
import urllib.request

from fwktest import Server


class FormPage(html.parser.HTMLParser):
    """The fields of the first form of a page as a browser would post them
    (submit buttons left out: the test names the action)."""

    def __init__(self, text):
        super().__init__(convert_charrefs=True)
        self.fields = []
        self.in_form = False
        self.textarea = None
        self.feed(text)

    def handle_starttag(self, tag, attrs):
        a = dict((k, v if v is not None else "") for k, v in attrs)
        if tag == "form":
            self.in_form = True
        elif not self.in_form or "name" not in a:
            return
        elif tag == "input" and a.get("type", "text").lower() not in ("submit", "button"):
            if a.get("type", "").lower() in ("checkbox", "radio") and "checked" not in a:
                return
            self.fields.append([a["name"], a.get("value", "")])
        elif tag == "textarea":
            self.textarea = [a["name"], ""]

    def handle_data(self, data):
        if self.textarea is not None:
            self.textarea[1] += data

    def handle_endtag(self, tag):
        if tag == "form":
            self.in_form = False
        elif tag == "textarea" and self.textarea is not None:
            self.fields.append(self.textarea)
            self.textarea = None

    def value(self, name):
        for k, v in self.fields:
            if k == name:
                return v
        return None


class Browser:
    """One respondent: keeps the page last shown and posts its form."""

    def __init__(self, server):
        self.server = server
        self.text = ""
        self.form = None

    def open(self, **params):
        return self.post(list(params.items()))

    def post(self, pairs):
        data = urllib.parse.urlencode(pairs).encode()
        with urllib.request.urlopen(self.server.url("/fwk"), data, timeout=20) as reply:
            self.text = reply.read().decode("utf-8", "replace")
        self.form = FormPage(self.text)
        return self.text

    def submit(self, action, **answers):
        """Posts the shown form with the answers changed and the button
        `action` pressed."""
        fields = [list(f) for f in self.form.fields]
        for name, value in answers.items():
            for f in fields:
                if f[0] == name:
                    f[1] = value
                    break
            else:
                fields.append([name, value])
        return self.post([tuple(f) for f in fields] + [("_ACTION", action)])

    def page(self):
        found = re.search(r"<h1>PAGE (\w+)</h1>", self.text)
        return found.group(1) if found else None


def page_file(name, fields, skip=""):
    """A page of the test forms: three preamble lines, a heading naming the
    page, its fields and the navigation fields."""
    return ("title=%s\nskipped line\n\n" % name +
            "<html><body><h1>PAGE %s</h1><p>[<%%= _PAGEWARN %%>]</p><form>\n" % name +
            "".join("<input name=%s>\n" % f for f in fields) +
            "<input type=hidden name=_PAGE value=%s>\n" % name +
            "<input type=hidden name=_PAGENEXT>\n" +
            "<input type=hidden name=_PAGESKIP value=\"%s\">\n" % skip +
            "<input type=submit name=_ACTION value=BACK>"
            "<input type=submit name=_ACTION value=NEXT>\n</form></body></html>\n")


def page_entry(name, forward="", back=""):
    return ('<PAGE NAME="%s">\n<SCRIPT>\n%s\n</SCRIPT>\n'
            '<SCRIPT TYPE=BACK>\n%s\n</SCRIPT>\n' % (name, forward, back))


def records(path):
    """The lines of a data file after its header, live and retired."""
    with open(path, encoding="utf-8") as f:
        lines = f.read().split("\n")[1:]
    return [line.rstrip("\r") for line in lines if line.strip()]


def fields_of(header, line):
    names = header.split("\t")
    values = [v.strip('"') for v in line.split("\t")]
    return dict(zip(names, values))


WALK_HEADER = "_SESSION\tq0\tq1\tq2\tq3\tq4\t_FORMDONE"
WALK_SCRIPTS = (
    page_entry("page0",
               "if (q0 == '') { _PAGEWARN = 'Please answer q0' }\n"
               "if (q0 eq 'far') { _PAGESKIP = 'page3' }")
    + page_entry("page1", "showpage('page2')\nshowpage('page4')\nshowpage('page2')",
                 "if (q1 eq 'stay') { _PAGEWARN = 'Stay here' }")
    + page_entry("page2")
    + page_entry("page3")
    + page_entry("page4", "if (q4 eq 'yes') { _PAGESKIP = '(save)' }")
    # Only a back script: its tag also opens the forward script.
    + '<PAGE NAME="page5">\n<SCRIPT TYPE=BACK>\nprint(\'ran page5\')\n</SCRIPT>\n')

NAV_ACCESS = "[access]\nPWDAPPEND=(allow)\nPWDUPDATE=(allow)\n"


def walk_files(form, extra_config=""):
    files = {
        form + ".ini": "[DATABASE]\nMULTIPAGE=1\nSAVEDATA=1\nMESSAGE=<P>Saved %s\n%s%s"
                       % (form, extra_config, NAV_ACCESS),
        form + ".asc": WALK_HEADER + "\n",
        form + ".val": WALK_SCRIPTS,
        form + "/page0": page_file("page0", ["q0"], skip="page1"),
        form + "/page1": page_file("page1", ["q1"]),
        form + "/page2": page_file("page2", ["q2"]),
        form + "/page3": page_file("page3", ["q3"]),
        form + "/page4": page_file("page4", ["q4"]),
        form + "/page5": page_file("page5", ["q5"]),
    }
    return files


SCRIPT_PAGE = (
    "<PAGE NAME=\"pcalc1\">\n<SCRIPT>\n"
    "r = ranksort(rank)\n"
    "m = ranksort('x=2', 'y=1', 'z=')\n"
    "e = ranksort('')\n"
    "i = rankindex(r, 'c')\n"
    "j = rankindex('b, c, a', 'a')\n"
    "n = number(q)\n"
    "t = tonumber('abc')\n"
    "print('[', r, '|', m, '|', e, '|', i, '|', j)\n"
    "print('|', n, '|', t, ']')\n"
    "print('<', timestamp(), '|', timedate(), '|', timetime(), '|', uniqueid('mix'), '>')\n"
    "showpage('pcalc3')\nshowpage('pcalc2')\nshowpage('pcalc3')\n"
    "</SCRIPT>\n"
    "<SCRIPT TYPE=BACK>\n"
    "print('{', toFixed('2.5', 2), '}')\n"
    "x = ranksort('a=1')\n"
    "</SCRIPT>\n"
    "<PAGE NAME=\"pcalc2\">\n<SCRIPT>\nsendmail('ann@example.org', 'Hello', 'Body text')\n</SCRIPT>\n")


class NavigationTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        files = walk_files("walk")
        files.update(walk_files("interim", "SAVEPAGE=1\n"))
        files.update({
            "calc.ini": "[DATABASE]\nMULTIPAGE=1\nSTARTPAGE=pcalc1\nEMAILSERVER=relay.invalid\n"
                        + NAV_ACCESS,
            "calc.val": SCRIPT_PAGE,
            "calc/pcalc1": page_file("pcalc1", ["q", "rank"]),
            "calc/pcalc2": page_file("pcalc2", []),
            "calc/pcalc3": page_file("pcalc3", []),
        })
        cls.server = Server(files).start()
        cls.root = cls.server.root

    @classmethod
    def tearDownClass(cls):
        cls.server.close()

    def start(self, form):
        b = Browser(self.server)
        b.open(DATABASE=form)
        self.assertEqual(b.page(), "page0" if form != "calc" else "pcalc1", b.text)
        return b

    def test_walk_with_warning_group_back_and_finish_from_a_script(self):
        b = self.start("walk")
        session = b.form.value("_SESSION")
        self.assertTrue(session)
        self.assertEqual(b.form.value("_PAGEBACK"), "")

        # No answer: the page script warns and the respondent stays.
        b.submit("NEXT")
        self.assertEqual(b.page(), "page0")
        self.assertIn("[Please answer q0]", b.text)
        self.assertEqual(b.form.value("_PAGEBACK"), "")

        # The page's own _PAGESKIP leads on.
        b.submit("NEXT", q0="near")
        self.assertEqual(b.page(), "page1")
        self.assertEqual(b.form.value("_PAGEBACK"), "page0,")
        self.assertEqual(b.form.value("q0"), "near")  # carried as a hidden field

        # showpage builds the group page2,page4; page2 comes first.
        b.submit("NEXT", q1="one")
        self.assertEqual(b.page(), "page2")
        self.assertEqual(b.form.value("_PAGEBACK"), "page1,page0,")
        self.assertEqual(b.form.value("_PAGENEXT"), "page4")

        b.submit("BACK", q2="two")
        self.assertEqual(b.page(), "page1")
        self.assertEqual(b.form.value("_PAGEBACK"), "page0,")
        self.assertEqual(b.form.value("q1"), "one")
        self.assertEqual(b.form.value("q2"), "two")

        b.submit("NEXT")
        self.assertEqual(b.page(), "page2")
        b.submit("NEXT")
        self.assertEqual(b.page(), "page4")
        self.assertEqual(b.form.value("_PAGEBACK"), "page2,page1,page0,")
        self.assertEqual(b.form.value("_SESSION"), session)

        # The page script finishes the form: one response header, the
        # thank-you page, and the record with every answer.
        b.submit("NEXT", q4="yes")
        self.assertIn("Saved walk", b.text)
        self.assertNotIn("PAGE", b.text)
        saved = [fields_of(WALK_HEADER, line)
                 for line in records(os.path.join(self.root, "walk.asc"))]
        mine = [rec for rec in saved if rec["_SESSION"] == session]
        self.assertEqual(len(mine), 1)
        rec = mine[0]
        self.assertEqual((rec["_SESSION"], rec["q0"], rec["q1"], rec["q2"], rec["q4"],
                          rec["_FORMDONE"]), (session, "near", "one", "two", "yes", "1"))

    def test_one_header_when_next_finishes(self):
        body = b"DATABASE=walk&_ACTION=NEXT&_PAGE=page4&q4=yes&_SESSION=hdr1"
        reply = self.server.raw(b"POST /fwk HTTP/1.1\r\nHost: x\r\nContent-Type: "
                                b"application/x-www-form-urlencoded\r\nContent-Length: "
                                + str(len(body)).encode() + b"\r\n\r\n" + body)
        self.assertEqual(reply.count(b"HTTP/1.1 "), 1, reply)
        self.assertIn(b"Saved walk", reply)

    def test_skip_and_back_to_the_first_page(self):
        b = self.start("walk")
        b.submit("NEXT", q0="far")
        self.assertEqual(b.page(), "page3")
        self.assertEqual(b.form.value("_PAGEBACK"), "page0,")
        b.submit("BACK")
        self.assertEqual(b.page(), "page0")
        self.assertEqual(b.form.value("_PAGEBACK"), "")
        self.assertEqual(b.form.value("q0"), "far")

    def test_back_script_warning_keeps_the_page(self):
        b = self.start("walk")
        b.submit("NEXT", q0="near")
        b.submit("BACK", q1="stay")
        self.assertEqual(b.page(), "page1")
        self.assertIn("[Stay here]", b.text)
        self.assertEqual(b.form.value("_PAGEBACK"), "page0,")

    def test_back_from_a_group_page(self):
        b = Browser(self.server)
        base = [("DATABASE", "walk"), ("_ACTION", "BACK"), ("_PAGEBACK", "page1,page0,"),
                ("_PAGENEXT", "page4 page3,page2")]
        # A page marked as a group's first page drops the rest of its group.
        b.post(base + [("_PAGE", "Page2")])
        self.assertEqual(b.page(), "page1")
        self.assertEqual(b.form.value("_PAGENEXT"), "page3,page2")
        self.assertEqual(b.form.value("_PAGEBACK"), "page0,")
        # An ordinary page goes back in front of the pending pages.
        b.post(base + [("_PAGE", "page2")])
        self.assertEqual(b.form.value("_PAGENEXT"), "page2,page4 page3,page2")

    def test_next_removes_the_current_page_from_the_pending_ones(self):
        b = Browser(self.server)
        b.post([("DATABASE", "walk"), ("_ACTION", "NEXT"), ("_PAGE", "page2"),
                ("_PAGENEXT", "page2,page3 page2"), ("_PAGEBACK", "page0,")])
        self.assertEqual(b.page(), "page3")
        self.assertEqual(b.form.value("_PAGENEXT"), "")
        self.assertEqual(b.form.value("_PAGEBACK"), "page2,page0,")

    def test_a_page_with_only_a_back_script_runs_it_forward_too(self):
        b = Browser(self.server)
        b.post([("DATABASE", "walk"), ("_ACTION", "NEXT"), ("_PAGE", "page5"),
                ("_PAGESKIP", "page3")])
        self.assertIn("ran page5", b.text)
        self.assertEqual(b.page(), "page3")

    def test_nothing_pending_and_an_empty_back_list_fail_with_the_missing_page(self):
        for action in ("NEXT", "BACK"):
            status, _, body = self.server.curl(
                "/fwk", "--data", "DATABASE=walk&_ACTION=%s&_PAGE=page3" % action)
            self.assertIn(b"validation entry missing for page", body)

    def test_interim_saves_keep_one_live_record_per_session(self):
        path = os.path.join(self.root, "interim.asc")
        b = self.start("interim")
        session = b.form.value("_SESSION")
        b.submit("NEXT", q0="near")
        b.submit("NEXT", q1="one")
        self.assertEqual(b.page(), "page2")
        # "(SAVE)" is not the finish marker, but it stops the interim save.
        before = records(path)
        reply = Browser(self.server)
        reply.post([("DATABASE", "interim"), ("_ACTION", "NEXT"), ("_PAGE", "page3"),
                    ("_SESSION", "other"), ("_PAGESKIP", "(SAVE)")])
        self.assertIn("validation entry missing for page", reply.text)
        self.assertEqual(records(path), before)

        b.submit("SAVE", q2="two")
        saved = records(path)
        self.assertEqual(len(saved), 3)
        live = [line for line in saved if not line.startswith("#")]
        self.assertEqual(len(live), 1)
        rec = fields_of(WALK_HEADER, live[0])
        self.assertEqual((rec["_SESSION"], rec["q1"], rec["q2"], rec["_FORMDONE"]),
                         (session, "one", "two", "1"))

    def test_script_builtins(self):
        b = Browser(self.server)
        b.open(DATABASE="calc")
        b.submit("NEXT", q="-.5x", rank="a=3, b=1,c=2,d=")
        self.assertIn("[b,c,a|y,x||2|5|-.5x|]", b.text)
        stamp = re.search(r"<(\d+)\|(\d+)\|(\d+)\|(\w+)>", b.text)
        self.assertIsNotNone(stamp, b.text)
        self.assertEqual(len(stamp.group(1)), 14)
        self.assertEqual(stamp.group(1), stamp.group(2) + stamp.group(3))
        self.assertTrue(stamp.group(4).startswith("x"))
        # showpage made the group pcalc3,pcalc2; pcalc3 first.
        self.assertEqual(b.page(), "pcalc3")
        self.assertEqual(b.form.value("_PAGENEXT"), "pcalc2")
        # Values the script set travel on as hidden fields.
        self.assertEqual(b.form.value("r"), "b,c,a")

    def test_back_table_spellings(self):
        b = Browser(self.server)
        b.post([("DATABASE", "calc"), ("_ACTION", "BACK"), ("_PAGE", "pcalc1"),
                ("_PAGEBACK", "pcalc2,")])
        # toFixed runs; ranksort is not a function of back scripts.
        self.assertIn("{2.50}", b.text)
        self.assertIn("Script error 48", b.text)
        self.assertEqual(b.page(), "pcalc2")

    def test_sendmail_queues_through_the_forms_relay(self):
        b = Browser(self.server)
        b.post([("DATABASE", "calc"), ("_ACTION", "NEXT"), ("_PAGE", "pcalc2"),
                ("_PAGESKIP", "pcalc3")])
        self.assertEqual(b.page(), "pcalc3")
        with open(os.path.join(self.root, "outbox.fwk"), "rb") as f:
            outbox = f.read()
        self.assertIn(b"ann@example.org", outbox)
        self.assertIn(b"Body text", outbox)


if __name__ == "__main__":
    unittest.main()
