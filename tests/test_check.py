"""End-to-end: `fwkhttpd check` over real server roots. One broken form
per kind of mistake, each reported with its file, line and the exit code;
a clean form gives nothing; `--create-data` writes a data file with which a
save through the engine keeps every answer; the roots that ship (demo/ and
docs/examples/) have no error."""

import os
import re
import shutil
import subprocess
import tempfile
import unittest
import urllib.parse
import urllib.request

from fwktest import FWKHTTPD, SOURCE_DIR, Server, write_files
from test_forms_nav import FormPage

DIAGNOSTIC = re.compile(r"^(.+?):(\d+): (error|warning): (.*)$")


def check(root, *args, cwd=None):
    """Runs the checker: (exit code, [(file, line, severity, message)], output)."""
    if not FWKHTTPD:
        raise unittest.SkipTest("FWKHTTPD is not set")
    done = subprocess.run([FWKHTTPD, "check", "--root", root] + list(args),
                          capture_output=True, text=True, timeout=60, cwd=cwd)
    found = []
    for line in done.stdout.splitlines():
        m = DIAGNOSTIC.match(line)
        if m:
            found.append((m.group(1), int(m.group(2)), m.group(3), m.group(4)))
    return done.returncode, found, done.stdout + done.stderr


PAGE = """title=x

<h1>{title}</h1>
<%if _PAGEWARN ne '' %><p><%= _PAGEWARN %></p><%end%>
<form>
{fields}
<input type=hidden name=_PAGE value={name}>
<input type=hidden name=_PAGENEXT>
<input type=hidden name=_PAGESKIP>
<button name=_ACTION value=NEXT>Next</button>
</form>
"""


def page(name, fields, title=None):
    return PAGE.format(name=name, fields=fields, title=title or name)


# A clean multi-page form: a skip, a group chosen with showpage, a computed
# answer, a working variable, login and resume.
CLEAN = {
    "trip.ini": "[DATABASE]\nTitle=Trip\nMULTIPAGE=1\nHASUID=1\nIDFIELDS=NAME,PIN\n"
                "SAVEPAGE=1\nSAVEDATA=1\nSAVEINDEXNAME=trip.idx\n"
                "[access]\nPWDAPPEND=(allow)\nPWDUPDATE=(allow)\nPWDREAD=secret\n",
    "trip/page0": page("page0", "<input name=NAME><input name=PIN type=password>"),
    "trip/page1": page("page1", "<select name=MODE><option value=car>car"
                       "<option value=bus>bus</select>\n"
                       "<input type=checkbox name=EXTRA value=bike>"
                       "<input type=checkbox name=EXTRA value=dog>"),
    "trip/pcars": page("pcars", "<input name=KM>"),
    "trip/pbuses": page("pbuses", "<textarea name=LINE></textarea>"),
    "trip/pdone": page("pdone", "<input type=radio name=AGAIN value=yes>"
                       "<input type=radio name=AGAIN value=no>"),
    "trip.val": """<PAGE NAME="page0">
<SCRIPT>
if (NAME eq '') { _PAGEWARN = 'Name?'; }
else { _PAGESKIP = 'page1'; }
</SCRIPT>
<PAGE NAME="page1">
<SCRIPT>
legs = 0
if (MODE eq 'car') { showpage('pcars'); legs = legs + 1; }
elsif (MODE eq 'bus') { showpage('pbuses'); legs = legs + 1; }
if (legs == 0) { _PAGEWARN = 'How?'; }
showpage('pdone')
</SCRIPT>
<PAGE NAME="pdone">
<SCRIPT>
SCORE = 'seen ' + MODE
_PAGESKIP = '(save)'
</SCRIPT>
""",
}


class CheckTest(unittest.TestCase):

    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="fwk-check-")
        self.root = os.path.join(self.work, "root")
        os.makedirs(self.root)

    def tearDown(self):
        shutil.rmtree(self.work, ignore_errors=True)

    def write(self, files):
        write_files(self.root, files)

    def assertFound(self, found, file, line, severity, text):
        for f, l, s, m in found:
            if f.endswith(file) and l == line and s == severity and text in m:
                return
        self.fail("no %s:%d: %s: ...%s... in\n%s" % (
            file, line, severity, text,
            "\n".join("%s:%d: %s: %s" % d for d in found)))

    def test_shipped_roots_have_no_errors(self):
        for name in ("demo", "docs/examples/pages"):
            code, found, out = check(os.path.join(SOURCE_DIR, name))
            self.assertEqual(code, 0, out)
            self.assertFalse([d for d in found if d[2] == "error"], out)
        # The tutorial's root holds no data files: its reader creates them
        # with the checker, as the guide says.
        shutil.copytree(os.path.join(SOURCE_DIR, "docs/examples/tutorial"), self.root,
                        dirs_exist_ok=True)
        code, found, out = check(self.root)
        self.assertEqual(code, 1, out)
        self.assertEqual({d[0].rsplit("/", 1)[-1] for d in found if d[2] == "error"},
                         {"feedback.ini", "visit.ini", "visit-report.html"}, out)
        for form in ("feedback", "visit"):
            check(self.root, "--create-data", form)
        code, found, out = check(self.root)
        self.assertEqual((code, found), (0, []), out)

    def test_clean_form_gives_nothing_and_create_data_keeps_every_answer(self):
        self.write(CLEAN)
        code, found, out = check(self.root)
        self.assertEqual(code, 1, out)
        self.assertFound(found, "trip.ini", 7, "error", "trip.asc does not exist")
        self.assertFound(found, "trip.ini", 8, "warning", "trip.idx")

        code, found, out = check(self.root, "--create-data", "trip")
        self.assertEqual(code, 0, out)
        self.assertIn("created ", out)
        self.assertEqual(found, [])
        self.assertTrue(out.endswith("1 form, 0 errors, 0 warnings\n"), out)
        with open(os.path.join(self.root, "trip.asc")) as f:
            header = f.read()
        self.assertEqual(header, "NAME\tPIN\tMODE\tEXTRA\tKM\tLINE\tAGAIN\tSCORE\t_SESSION\t_PAGE"
                                 "\t_PAGEBACK\t_PAGENEXT\t_FORMDONE\tHOST\tDATE\tTIME\n")
        with open(os.path.join(self.root, "trip.idx")) as f:
            self.assertEqual(f.read(), "NAME\tPIN\t_POS\n")
        # Never touches an existing file.
        code, _, out = check(self.root, "--create-data", "trip")
        self.assertIn("trip.asc exists: it is left as it is", out)
        with open(os.path.join(self.root, "trip.asc")) as f:
            self.assertEqual(f.read(), header)

        # Every answer of every page reaches the data file.
        server = Server()
        try:
            shutil.rmtree(server.root)
            shutil.copytree(self.root, server.root)
            server.start()
            form = FormPage(self.post(server, [("DATABASE", "trip"), ("_ACTION", "START")]))
            for changes in ([("NAME", "Ann"), ("PIN", "7")],
                            [("MODE", "bus"), ("EXTRA", "bike"), ("EXTRA", "dog")],
                            [("LINE", "line one\r\nline two")],
                            [("AGAIN", "yes")]):
                fields = [tuple(f) for f in form.fields if f[0] not in dict(changes)]
                text = self.post(server, fields + changes + [("_ACTION", "NEXT")])
                form = FormPage(text)
            self.assertIn("Thank you", text)
            with open(os.path.join(server.root, "trip.asc"), encoding="utf-8") as f:
                last = f.read().splitlines()[-1].split("\t")
        finally:
            server.close()
        got = dict(zip(header.rstrip("\n").split("\t"), (v.strip('"') for v in last)))
        for name, value in (("NAME", "Ann"), ("PIN", "7"), ("MODE", "bus"), ("EXTRA", "bike,dog"),
                            ("LINE", "line one line two"), ("AGAIN", "yes"),
                            ("SCORE", "seen bus"), ("_FORMDONE", "1")):
            self.assertEqual(got[name], value, name)

    @staticmethod
    def post(server, pairs):
        data = urllib.parse.urlencode(pairs).encode()
        with urllib.request.urlopen(server.url("/fwk"), data, timeout=20) as reply:
            return reply.read().decode("utf-8", "replace")

    def test_each_kind_of_mistake_with_its_file_and_line(self):
        ok_access = "[access]\nPWDAPPEND=(allow)\n"
        self.write({
            # The configuration.
            "typo.ini": "[DATABASE]\nFORM=typo.html\nSAVEDAT=1\n" + ok_access,
            "typo.html": "<form><input type=hidden name=DATABASE value=typo></form>",
            "nosection.ini": "; comment\n[DATABSE]\nFORM=x.html\n",
            "open.ini": "[DATABASE]\nFORM=open.html\nSAVEDATA=1\n[access]\nPWDREAD=(allow)\n",
            "open.html": "<form><input type=hidden name=DATABASE value=open>"
                         "<input name=A></form>",
            "open.asc": "A\tB\n",
            "closed.ini": "[DATABASE]\nFORM=closed.html\nSAVEXML=1\nSAVEXMLNAME=c.xml\n",
            "closed.html": "<form><input type=hidden name=DATABASE value=closed></form>",
            "mail.ini": "[DATABASE]\nFORM=mail.html\nSAVEEMAIL=1\nEMAILNAME=me\n"
                        "SAVEEMAILNAME=a@b\nEMAILREPORT=gone.html\n"
                        "PWDFILE=/nonexistent/ids.txt\n" + ok_access,
            "mail.html": "<form><input type=hidden name=DATABASE value=mail></form>",
            "relay.html": "<form><input type=hidden name=DATABASE value=relay></form>",
            "relay.ini": "[DATABASE]\nFORM=relay.html\nSAVEEMAIL=1\nSAVEEMAILNAME=a@b\n"
                         "EMAILSERVER=relay.example:25\nEMAILNAME=me\n" + ok_access,
            # Files the configuration names.
            "noform.ini": "[DATABASE]\nFORM=nothere.html\nSAVEDATA=1\n" + ok_access,
            "noform.asc": "A\n",
            # Templates and their fields.
            "tpl.ini": "[DATABASE]\nFORM=tpl.html\nSAVEDATA=1\n" + ok_access,
            "tpl.asc": "NAME\t_SESSION\n",
            "tpl.html": "<form>\n<input type=hidden name=DATABASE value=tpl>\n"
                        "<input name=NAME>\n<input name=LOST>\n"
                        "<%include parts/none.html%>\n"
                        "<%if NAME ne ''%>open\n"
                        "<% x = nosuchfunction(1) %>\n"
                        "<%if NAME 'x'%>bad<%end%>\n</form>\n",
            # A multi-page form with routing mistakes and page scripts.
            "multi.ini": "[DATABASE]\nMULTIPAGE=1\nSTARTPAGE=page0\nSAVEDATA=1\n" + ok_access,
            "multi.asc": "Q1\tQ2\tUNUSED\t_SESSION\n",
            "multi/page0": page("page0", "<input name=Q1>\n"
                                "<input type=hidden name=_PAGESKIP value=page9>"),
            "multi/page1": page("page2", "<input name=Q2>"),
            "multi/lonely": page("lonely", "<input name=Q2>"),
            "multi.val": """<PAGE NAME="page0">
<SCRIPT>
if (Q1 eq '') { _PAGEWARN = 'Q1?' }
else { showpage('page1') }
</SCRIPT>
<PAGE NAME="page1">
<SCRIPT>
_PAGESKIP = 'pagex'
TOTAL = Q1 + 1
showpage('nopage')
if (Q2 == '') { unknownfn(Q2) }
</SCRIPT>
""",
            "nostart.ini": "[DATABASE]\nMULTIPAGE=1\nSTARTPAGE=first\n" + ok_access,
            "nostart/page0": page("page0", ""),
        })
        code, found, out = check(self.root)
        self.assertEqual(code, 1, out)
        expected = [
            ("typo.ini", 3, "warning", "unknown key SAVEDAT in [DATABASE] is ignored: did you mean SAVEDATA?"),
            ("nosection.ini", 2, "error", "is [DATABSE] meant to be [DATABASE]?"),
            ("open.ini", 5, "warning", "PWDREAD=(allow) lets anybody on the network"),
            ("open.asc", 1, "warning", "the column B is filled by no page or script"),
            ("closed.ini", 1, "warning", "no [access] section"),
            ("mail.ini", 3, "error", "EMAILSERVER names no mail relay"),
            ("mail.ini", 6, "error", "EMAILREPORT=gone.html"),
            ("mail.ini", 7, "error", "PWDFILE=/nonexistent/ids.txt"),
            ("relay.ini", 6, "warning", "without TLS"),
            ("noform.ini", 2, "error", "FORM=nothere.html names a template that cannot be opened"),
            ("tpl.html", 4, "error", "the field LOST has no column"),
            ("tpl.html", 5, "error", "<%include parts/none.html> names"),
            ("tpl.html", 6, "error", "<%if> is not closed by <%end>"),
            ("tpl.html", 7, "error", "script error 48: Function not found"),
            ("tpl.html", 8, "error", "is not a well-formed comparison"),
            ("multi/page0", 7, "error", "the field _PAGESKIP names the page page9, which is not in"),
            ("multi/page1", 7, "error", "the field _PAGE says page2, but this page is page1"),
            ("multi/lonely", 1, "warning", "no route reaches the page lonely"),
            ("multi.val", 3, "warning", "is read as part of the value, so the block does not end"),
            ("multi.val", 4, "error", "script error 44: An else or elsif must come after an if"),
            ("multi.val", 8, "error", "the page script's _PAGESKIP names the page pagex"),
            ("multi.val", 9, "error", "the page script sets TOTAL, which"),
            ("multi.val", 10, "error", "showpage() names the page nopage"),
            ("multi.val", 11, "error", "script error 48"),
            ("multi.asc", 1, "warning", "the column UNUSED is filled by no page or script"),
            ("nostart.ini", 3, "error", "STARTPAGE=first names a page that is not in"),
        ]
        for file, line, severity, text in expected:
            with self.subTest(file=file, line=line):
                self.assertFound(found, file, line, severity, text)
        self.assertRegex(out, r"fwkhttpd check: 10 forms, \d+ errors, \d+ warnings\n")
        # A form named on the command line alone, and one that is not there.
        code, found, out = check(self.root, "typo", "nosuch")
        self.assertEqual(code, 1, out)
        self.assertFound(found, "nosuch.ini", 1, "error", "there is no form nosuch")
        self.assertFound(found, "typo.ini", 3, "warning", "did you mean SAVEDATA?")
        self.assertRegex(out, r"fwkhttpd check: 2 forms, 1 error, \d+ warnings\n")
        # Listening on loopback only, (allow) is no risk.
        code, found, out = check(self.root, "--listen", "127.0.0.1", "open")
        self.assertFalse([d for d in found if "(allow)" in d[3]], out)

    def test_root_that_cannot_be_read(self):
        code, found, out = check(os.path.join(self.work, "missing"))
        self.assertEqual(code, 2)
        self.assertIn("not a readable directory", out)
        done = subprocess.run([FWKHTTPD, "check", "--bogus"], capture_output=True, text=True)
        self.assertEqual(done.returncode, 2)


if __name__ == "__main__":
    unittest.main()
