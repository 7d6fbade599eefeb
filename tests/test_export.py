"""Exports of a form's records as CSV, Excel workbooks and JSON Lines, from
`fwkhttpd export` and from the record browser's links, read back with real
readers: Python's csv and json modules, openpyxl, and LibreOffice."""

import csv
import io
import json
import os
import re
import shutil
import stat
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.parse

from fwktest import FWKHTTPD, Server

try:
    import openpyxl
except ImportError:
    # The Debian package installs it for the system's Python.
    sys.path.append("/usr/lib/python3/dist-packages")
    import openpyxl

SANITIZED = os.environ.get("FWK_SANITIZED", "0") == "1"

COLUMNS = ["ID", "NAME", "Q1_a", "Q1_b", "", "PET", "pet", "NOTE"]
LONG = "L" * 40000
LIVE = [
    ["007", "Zoë Ölçer", "a", "b", "", "cat", "dog", 'She said "yes", then left; ok'],
    ["=1+1", "café 😀", "", "c", "", "", "fish", "-5"],
    ["0042", "+41 79 123", "@SUM(A1)", "-1+1", "", "x", "y", LONG],
    ["#12", " padded ", "1,2", "3;4", "", "", "", '=HYPERLINK("http://x")'],
]
RETIRED = ["001", "earlier save", "x", "y", "", "", "", "retired"]
NAMED = [i for i, name in enumerate(COLUMNS) if name]
NAMES = [COLUMNS[i] for i in NAMED]


def data_line(values, retired=False):
    """A record as the forms engine writes it; a retired one carries the
    mark over its opening quote."""
    line = "".join('"%s"\t' % v.replace('"', '""') for v in values) + "\r\n"
    return "#" + line[1:] if retired else line


def data_file():
    return ("\t".join(COLUMNS) + "\n" + data_line(LIVE[0]) + data_line(RETIRED, retired=True)
            + "\t" * len(COLUMNS) + "\r\n" + "".join(data_line(r) for r in LIVE[1:]))


def named(values):
    return [values[i] for i in NAMED]


def guarded(value):
    """A value as the CSV export writes it: what a spreadsheet would take for
    a formula gets a "'" before it."""
    if value[:1] in ("=", "@", "\t", "\r"):
        return "'" + value
    if value[:1] in ("+", "-") and not re.fullmatch(r"[+-]\d*\.?\d+(?:[eE][+-]?\d+)?", value):
        return "'" + value
    return value


FILES = {
    "cgi.ini": "[server]\nERROR=\n",
    "survey.ini": "[DATABASE]\nTitle=Survey\n[access]\nPWDREAD=secret\n",
    "survey.asc": data_file(),
    # Its data file is missing.
    "nodata.ini": "[DATABASE]\nSAVEDATANAME=gone.asc\n[access]\nPWDREAD=(allow)\n",
    # A collector's root: data files without configuration, with the
    # columns the collector adds.
    "collect.asc": "_SESSION\tDEVICE\tRECEIVED\tNAME\n"
                   '"s1"\t"tab-3"\t"20261208 101500"\t"Ann"\t\r\n'
                   '#s0"\t"tab-3"\t"20261208 101400"\t"An"\t\r\n',
}


def run_export(root, *args, timeout=60):
    done = subprocess.run([FWKHTTPD, "export", "--root", root] + list(args),
                          capture_output=True, timeout=timeout)
    return done.returncode, done.stdout, done.stderr.decode("utf-8", "replace")


def csv_rows(data):
    return list(csv.reader(io.StringIO(data.decode("utf-8-sig"), newline="")))


def sheet_rows(path):
    book = openpyxl.load_workbook(path)
    sheet = book.worksheets[0]
    return book, sheet, [[c.value if c.value is not None else "" for c in row]
                         for row in sheet.iter_rows()]


class ExportCommandTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        if not FWKHTTPD:
            raise unittest.SkipTest("FWKHTTPD is not set")
        cls.work = tempfile.mkdtemp(prefix="fwk-export-")
        cls.root = os.path.join(cls.work, "root")
        os.makedirs(cls.root)
        for name, text in FILES.items():
            with open(os.path.join(cls.root, name), "w", encoding="utf-8", newline="") as f:
                f.write(text)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)

    def export(self, *args):
        code, out, err = run_export(self.root, *args)
        self.assertEqual(code, 0, err)
        return out, err

    def test_csv_reads_back_exact_with_formulas_guarded(self):
        out, _ = self.export("survey")
        self.assertTrue(out.startswith(b"\xef\xbb\xbfID,NAME,"))
        self.assertEqual(csv_rows(out), [NAMES] + [[guarded(v) for v in named(r)] for r in LIVE])
        out, _ = self.export("survey", "--format", "csv", "--no-bom")
        self.assertTrue(out.startswith(b"ID,NAME,"))
        self.assertIn(b"\r\n", out)

    def test_workbook_reads_back_exact_as_text_with_bold_frozen_filtered_header(self):
        path = os.path.join(self.work, "survey.xlsx")
        _, err = self.export("survey", "-o", path)
        self.assertIn("1 values were longer than a cell holds", err)
        book, sheet, rows = sheet_rows(path)
        expected = [named(r) for r in LIVE]
        expected[2][-1] = LONG[:32767]
        self.assertEqual(rows, [NAMES] + expected)
        self.assertEqual(book.sheetnames, ["survey"])
        self.assertTrue(all(c.font.b for c in sheet[1]))
        self.assertEqual(sheet.freeze_panes, "A2")
        self.assertEqual(sheet.auto_filter.ref, "A1:G5")
        self.assertEqual({c.data_type for row in sheet.iter_rows(min_row=2) for c in row
                          if c.value is not None}, {"s"})

    def test_json_lines_read_back_exact_with_repeated_names_as_arrays(self):
        out, _ = self.export("survey", "--format", "jsonl")
        records = [json.loads(line) for line in out.decode("utf-8").splitlines()]
        expected = [{"ID": r[0], "NAME": r[1], "Q1_a": r[2], "Q1_b": r[3],
                     "PET": [r[5], r[6]], "NOTE": r[7]} for r in LIVE]
        self.assertEqual(records, expected)
        self.assertEqual(list(records[0]), ["ID", "NAME", "Q1_a", "Q1_b", "PET", "NOTE"])

    def test_retired_records_with_all_and_the_query_of_the_record_browser(self):
        out, _ = self.export("survey", "--all", "-o", "-")
        rows = csv_rows(out)
        self.assertEqual(rows[0], NAMES + ["_RETIRED"])
        self.assertEqual([r[0] for r in rows[1:]], ["007", "001", "'=1+1", "0042", "#12"])
        self.assertEqual(rows[2], named(RETIRED) + ["1"])
        self.assertEqual({r[-1] for r in rows[1:] if r[0] != "001"}, {"0"})
        # Q1 is Q1_a to the query, as in the list; "" is an empty value.
        out, _ = self.export("survey", "--format", "json", "--query", "Q1 eq '' | ID eq '007'")
        self.assertEqual([json.loads(l)["ID"] for l in out.decode().splitlines()], ["007", "=1+1"])

    def test_a_collector_root_without_configuration(self):
        out, _ = self.export("collect", "--format", "jsonl", "--all")
        self.assertEqual([json.loads(l) for l in out.decode().splitlines()], [
            {"_SESSION": "s1", "DEVICE": "tab-3", "RECEIVED": "20261208 101500", "NAME": "Ann",
             "_RETIRED": "0"},
            {"_SESSION": "s0", "DEVICE": "tab-3", "RECEIVED": "20261208 101400", "NAME": "An",
             "_RETIRED": "1"}])

    def test_errors_have_their_own_exit_codes(self):
        cases = [
            (("missing",), 3, "there is no form missing in "),
            (("../survey",), 3, "is not a form name"),
            (("nodata",), 4, "gone.asc of form nodata does not exist"),
            (("survey", "-o", os.path.join(self.work, "no", "dir.csv")), 5, "cannot write "),
            (("survey", "-o", "/dev/full"), 5, "No space left on device"),
            (("survey", "--format", "pdf"), 2, "--format needs csv, xlsx or jsonl"),
            (("survey", "--colour"), 2, "unknown option '--colour'"),
            ((), 2, "which form?"),
        ]
        for args, code, message in cases:
            with self.subTest(args=args):
                got, out, err = run_export(self.root, *args)
                self.assertEqual(got, code, err)
                self.assertIn(message, err)
                self.assertEqual(out, b"")
        self.assertFalse(os.path.exists(os.path.join(self.work, "no")))
        self.assertTrue(stat.S_ISCHR(os.stat("/dev/full").st_mode))
        got, _, err = run_export(os.path.join(self.work, "nowhere"), "survey")
        self.assertEqual(got, 2, err)


class BrowserExportTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.server = Server(FILES).start()

    @classmethod
    def tearDownClass(cls):
        cls.server.close()

    def get(self, **params):
        return self.server.curl("/list?" + urllib.parse.urlencode(params))

    def test_list_page_links_export_what_it_selects(self):
        _, _, body = self.get(DATABASE="survey", _PASSWORD="secret", _ACTION="LIST",
                              _QUERY="PET eq 'cat'")
        links = re.findall(r'<a href="\?([^"]*_ACTION=EXPORT[^"]*)">([^<]*)</a>', body.decode())
        self.assertEqual([label for _, label in links], ["CSV", "Excel", "JSON"])
        for href, label in links:
            params = dict(urllib.parse.parse_qsl(href))
            self.assertEqual(params["_PASSWORD"], "secret")
            self.assertEqual(params["_QUERY"], "PET eq 'cat'")
            status, head, data = self.server.curl("/list?" + href)
            self.assertEqual(status, 200)
            self.assertIn("Transfer-Encoding: chunked", head)
            if label == "CSV":
                self.assertIn('Content-Disposition: attachment; filename="survey.csv"', head)
                self.assertEqual(csv_rows(data), [NAMES, [guarded(v) for v in named(LIVE[0])]])

    def test_downloads_equal_the_command_line_exports(self):
        for fmt in ("csv", "xlsx", "jsonl"):
            with self.subTest(fmt):
                status, head, data = self.get(DATABASE="survey", _PASSWORD="secret",
                                              _ACTION="EXPORT", _FORMAT=fmt)
                self.assertEqual(status, 200)
                self.assertIn('filename="survey.%s"' % fmt, head)
                _, expected, _ = run_export(self.server.root, "survey", "--format", fmt)
                if fmt != "xlsx":
                    self.assertEqual(data, expected)
                    continue
                path = os.path.join(self.server.work, "download.xlsx")
                with open(path, "wb") as f:
                    f.write(data)
                self.assertEqual(sheet_rows(path)[2][1], named(LIVE[0]))

    def test_without_the_read_password_nothing_is_exported(self):
        for password in ("", "Secret"):
            status, head, body = self.get(DATABASE="survey", _PASSWORD=password,
                                          _ACTION="EXPORT", _FORMAT="csv")
            self.assertEqual(status, 200)
            self.assertIn("text/html", head)
            self.assertIn(b"To view a database or report, please choose an option", body)
            self.assertNotIn(b"007", body)
        status, _, body = self.get(DATABASE="survey", _PASSWORD="secret", _ACTION="EXPORT",
                                   _FORMAT="pdf")
        self.assertIn(b"Invalid export format (pdf)", body)


def request_export(server, fmt):
    """Asks for an export of "big" and reads only its first bytes."""
    s = server.connect()
    s.sendall(b"GET /list?DATABASE=big&_ACTION=EXPORT&_FORMAT=" + fmt.encode() +
              b" HTTP/1.1\r\nHost: x\r\n\r\n")
    return s, s.recv(65536)


class StalledExportTest(unittest.TestCase):
    def test_other_clients_are_served_while_exports_wait_and_stop_ends_them(self):
        big = "ID\tNAME\tNOTE\n" + "".join(
            '"%d"\t"Person %d"\t"a note that takes some room in the file"\t\r\n' % (i, i)
            for i in range(200000))
        with Server({"big.ini": "[DATABASE]\nTitle=Big\n[access]\nPWDREAD=(allow)\n",
                     "big.asc": big, "index.html": "home"}) as server:
            read, first = request_export(server, "jsonl")
            held, _ = request_export(server, "csv")
            self.assertTrue(first.startswith(b"HTTP/1.1 200 OK"), first[:100])
            time.sleep(0.5)  # the sockets and the pipes fill up; the exports wait
            started = time.monotonic()
            status, _, body = server.curl("/index.html")
            self.assertEqual((status, body), (200, b"home"))
            self.assertLess(time.monotonic() - started, 2.0)
            data = first
            while True:
                chunk = read.recv(1 << 20)
                if not chunk:
                    break
                data += chunk
            read.close()
            self.assertTrue(data.endswith(b"\r\n0\r\n\r\n"))
            self.assertEqual(data.count(b'{"ID":'), 200000)
            # The other export still waits for its client; stopping ends it.
            started = time.monotonic()
            self.assertEqual(server.stop(), 0)
            self.assertLess(time.monotonic() - started, 5)
            held.close()

    def test_a_body_that_cannot_be_made_ends_short(self):
        with Server(FILES, env={"TMPDIR": "/nonexistent"}) as server:
            done = subprocess.run(
                ["curl", "-sS", "-o", os.devnull, server.url(
                    "/list?DATABASE=survey&_PASSWORD=secret&_ACTION=EXPORT&_FORMAT=xlsx")],
                capture_output=True, timeout=30)
            # curl: "transfer closed with outstanding read data remaining"
            self.assertEqual(done.returncode, 18, done.stderr)


@unittest.skipIf(SANITIZED, "LibreOffice is run in the plain build only")
class LibreOfficeTest(unittest.TestCase):
    def test_csv_and_workbook_open_in_a_spreadsheet_program(self):
        soffice = shutil.which("soffice")
        if not soffice:
            self.fail("LibreOffice is missing (tools/deps.sh test installs libreoffice-calc-nogui)")
        work = tempfile.mkdtemp(prefix="fwk-lo-")
        try:
            root = os.path.join(work, "root")
            os.makedirs(root)
            # A literal "_x0041_" is escaped in a workbook (where it would
            # stand for "A"); spreadsheet programs undo that.
            lookalike = ["_x0041_", "u", "", "", "", "", "", "_x00e9_ _x"]
            with open(os.path.join(root, "survey.asc"), "w", encoding="utf-8", newline="") as f:
                f.write(data_file() + data_line(lookalike))
            for fmt in ("csv", "xlsx"):
                code, _, err = run_export(root, "survey", "-o",
                                          os.path.join(work, "survey." + fmt))
                self.assertEqual(code, 0, err)
            os.rename(os.path.join(work, "survey.xlsx"), os.path.join(work, "book.xlsx"))
            # UTF-8, comma, double quotes, every column as text, formulas
            # not evaluated: how a user opens the CSV to keep leading zeros.
            columns = "/".join("%d/2" % (i + 1) for i in range(len(NAMES)))
            done = subprocess.run(
                [soffice, "--headless", "--norestore",
                 "-env:UserInstallation=file://" + os.path.join(work, "profile"),
                 "--infilter=CSV:44,34,76,1," + columns, "--convert-to", "xlsx",
                 "--outdir", os.path.join(work, "out"),
                 os.path.join(work, "survey.csv"), os.path.join(work, "book.xlsx")],
                capture_output=True, timeout=180, env=dict(os.environ, HOME=work))
            self.assertEqual(done.returncode, 0, done.stderr)
            # A cell holds 32,767 characters: LibreOffice cuts the CSV's
            # longer value as the workbook export does.
            expected = [named(r) for r in LIVE + [lookalike]]
            expected[2][-1] = LONG[:32767]
            from_csv = sheet_rows(os.path.join(work, "out", "survey.xlsx"))[2]
            self.assertEqual(from_csv, [NAMES] + [[guarded(v) for v in r] for r in expected])
            book, sheet, from_book = sheet_rows(os.path.join(work, "out", "book.xlsx"))
            self.assertEqual(from_book, [NAMES] + expected)
            self.assertEqual(sheet["A3"].data_type, "s")  # =1+1 stays text
        finally:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    unittest.main()
