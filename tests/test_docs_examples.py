"""End-to-end: every example of the user guides (docs/*.md) is served by
the real fwkhttpd and compared with what the guide shows.

The guides mark their examples with HTML comments, each followed by a
fenced block:

  <!-- example NAME source FILE -->       the block is the file
                                          docs/examples/NAME/FILE, exactly
  <!-- example NAME get PATH -->          GET PATH; the block appears in
                                          the response body
  <!-- example NAME shuffled PATH -->     GET PATH; each line of the block
                                          appears exactly once in the body,
                                          in any order (random output)
  <!-- example NAME post PATH FIELDS -->  POST the url-encoded FIELDS
  <!-- example NAME submit ACTION FIELDS -->
                                          post the form of the page last
                                          shown, with FIELDS changed and the
                                          button ACTION pressed
  <!-- example NAME file FILE -->         after the steps before it, the
                                          block appears in the server
                                          root's FILE
  <!-- example NAME command [EXIT] -->    the block's first line is a
                                          command, "$ fwkhttpd ... --root DIR
                                          ...", run on the server root (DIR
                                          stands for it; "--root ." runs it
                                          in the root) in a scratch
                                          directory; the rest of the block
                                          appears in what it prints, and it
                                          exits with EXIT (default 0)

Each NAME is one server root (a copy of docs/examples/NAME), started once;
its steps run in the order the guides give them, so a save shows up in
a later report. In an expected block "…" stands for any text within a
line. A marker directly followed by another marker has no block: its
step runs unchecked (a page the reader passes on the way).
"""

import glob
import os
import re
import shlex
import shutil
import subprocess
import tempfile
import unittest
import urllib.parse
import urllib.request

from fwktest import FWKHTTPD, SOURCE_DIR, Server
from test_forms_nav import FormPage

DOCS = os.path.join(SOURCE_DIR, "docs")
GUIDES = ("authoring.md", "operating.md")

MARKER = re.compile(
    r"<!-- example (\S+) (source|get|shuffled|post|submit|file|command)(?: (\S+))?(?: (\S+))? -->")
FENCE = re.compile(r"```[^\n]*\n(.*?)```", re.S)


def guide_steps():
    """[(guide, line, name, kind, arg, fields, expected)] in guide order."""
    steps = []
    for guide in GUIDES:
        path = os.path.join(DOCS, guide)
        if not os.path.exists(path):
            continue
        with open(path, encoding="utf-8") as f:
            text = f.read()
        for found in MARKER.finditer(text):
            line = text.count("\n", 0, found.start()) + 1
            step = (guide, line) + found.groups()
            rest = text[found.end():]
            if re.match(r"\s*<!-- example ", rest):
                steps.append(step + (None,))
                continue
            block = FENCE.match(rest.lstrip("\n"))
            if not block:
                raise AssertionError("%s:%d: no fenced block after the marker" % (guide, line))
            steps.append(step + (block.group(1),))
    return steps


def pattern(expected):
    """A regular expression for an expected block: text as written, "…"
    standing for any text within a line, a line end for "\\n" or "\\r\\n"
    (CSV lines end in CRLF)."""
    lines = expected.rstrip("\n").split("\n")
    return re.compile("\r?\n".join(
        "[^\n]*?".join(re.escape(p) for p in line.split("…")) for line in lines))


def form_fields(fields):
    return urllib.parse.parse_qsl(fields or "", keep_blank_values=True)


class Example:
    """One example server root and the page last shown in it."""

    def __init__(self, name):
        self.server = Server()
        shutil.rmtree(self.server.root)
        shutil.copytree(os.path.join(DOCS, "examples", name), self.server.root)
        self.server.start()
        self.form = None

    def request(self, path, data=None):
        try:
            with urllib.request.urlopen(self.server.url(path), data, timeout=20) as reply:
                text = reply.read().decode("utf-8", "replace")
        except urllib.error.HTTPError as error:
            text = error.read().decode("utf-8", "replace")
        self.form = FormPage(text)
        return text

    def post(self, path, pairs):
        return self.request(path, urllib.parse.urlencode(pairs).encode())

    def submit(self, action, changes):
        fields = [list(f) for f in self.form.fields]
        for name, value in changes:
            for f in fields:
                if f[0] == name:
                    f[1] = value
                    break
            else:
                fields.append([name, value])
        return self.post("/fwk", [tuple(f) for f in fields] + [("_ACTION", action)])

    def command(self, block, exit_code):
        """Runs the command on the block's first line; what it prints, and
        the rest of the block (what the guide shows it printing)."""
        line, _, shown = block.partition("\n")
        args = shlex.split(line[2:]) if line.startswith("$ ") else []
        if args[:1] != ["fwkhttpd"] or "--root" not in args:
            raise AssertionError("not a command with --root: " + line)
        args[0] = FWKHTTPD
        at = args.index("--root") + 1
        with tempfile.TemporaryDirectory() as scratch:
            cwd = scratch
            if args[at] == ".":
                cwd = self.server.root
            else:
                args[at] = self.server.root
            done = subprocess.run(args, cwd=cwd, capture_output=True, timeout=60)
        if done.returncode != int(exit_code or 0):
            raise AssertionError("%s: exit %d: %s %s" % (line, done.returncode, done.stdout,
                                                         done.stderr))
        return done.stdout.decode("utf-8"), shown

    def root_file(self, name):
        with open(os.path.join(self.server.root, name), encoding="utf-8") as f:
            return f.read().replace("\r\n", "\n")


class GuideExamplesTest(unittest.TestCase):

    def test_guides_have_examples(self):
        names = {s[2] for s in guide_steps()}
        self.assertTrue(names, "no marked examples in the guides")
        for name in names:
            self.assertTrue(os.path.isdir(os.path.join(DOCS, "examples", name)), name)

    def test_sources_shown_are_the_example_files(self):
        for guide, line, name, kind, arg, _, expected in guide_steps():
            if kind != "source":
                continue
            with self.subTest(where="%s:%d" % (guide, line)):
                with open(os.path.join(DOCS, "examples", name, arg), encoding="utf-8") as f:
                    self.assertEqual(f.read(), expected)

    def test_outputs_shown_are_what_the_server_sends(self):
        steps = [s for s in guide_steps() if s[3] != "source"]
        examples = {}
        try:
            for guide, line, name, kind, arg, fields, expected in steps:
                if name not in examples:
                    examples[name] = Example(name)
                ex = examples[name]
                if kind in ("get", "shuffled"):
                    got = ex.request(arg)
                elif kind == "post":
                    got = ex.post(arg, form_fields(fields))
                elif kind == "submit":
                    got = ex.submit(arg, form_fields(fields))
                elif kind == "command":
                    got, expected = ex.command(expected, arg)
                else:
                    got = ex.root_file(arg)
                if expected is None:
                    continue
                with self.subTest(where="%s:%d" % (guide, line)):
                    if kind == "shuffled":
                        for want in filter(None, expected.split("\n")):
                            self.assertEqual(got.count(want), 1, want)
                    else:
                        self.assertRegex(got, pattern(expected))
        finally:
            for ex in examples.values():
                ex.server.close()


if __name__ == "__main__":
    unittest.main()
