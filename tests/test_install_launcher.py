"""The desktop launcher (built as `install`): it looks up the Application
Manager in the machine registry and starts it on install.ini of the current
directory, without waiting. The Application Manager here is a small script
that records the arguments it receives."""

import os
import shutil
import subprocess
import tempfile
import time
import unittest

LAUNCHER = os.environ.get("FWK_LAUNCHER", "")
APP_KEY = r"SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\CEAppMgr.exe"

# Records its argument count, its arguments (one a line) and its working
# directory, then waits for the test to release it: a launcher that waited
# for its program would hang here.
RECORDER = """#!/bin/sh
dir=$(dirname "$0")
{ echo "$#"; for a in "$@"; do echo "$a"; done; pwd; } > "$dir/record.tmp"
mv "$dir/record.tmp" "$dir/record"
i=0
while [ ! -e "$dir/release" ] && [ $i -lt 200 ]; do sleep 0.05; i=$((i + 1)); done
echo done > "$dir/finished"
"""


def wait_for(path, timeout=10):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if os.path.exists(path):
            return True
        time.sleep(0.02)
    return False


class LauncherTest(unittest.TestCase):

    def setUp(self):
        if not LAUNCHER:
            raise unittest.SkipTest("FWK_LAUNCHER is not set")
        self.work = tempfile.mkdtemp(prefix="fwk launcher ")
        self.addCleanup(self.release_and_remove)
        self.etc = os.path.join(self.work, "etc")
        self.tools = os.path.join(self.work, "app manager")
        self.cwd = os.path.join(self.work, "My Setup  files")
        for d in (self.etc, self.tools, self.cwd):
            os.makedirs(d)
        self.recorder = os.path.join(self.tools, "CEAppMgr")
        with open(self.recorder, "w") as f:
            f.write(RECORDER)
        os.chmod(self.recorder, 0o755)
        self.record = os.path.join(self.tools, "record")

    def release_and_remove(self):
        open(os.path.join(self.tools, "release"), "w").close()
        if os.path.exists(self.record):
            wait_for(os.path.join(self.tools, "finished"))
        shutil.rmtree(self.work, ignore_errors=True)

    def write_hive(self, section_lines):
        with open(os.path.join(self.etc, "registry.ini"), "w") as f:
            f.write("[SOFTWARE\\Veltrix\\Formwick]\nServerRoot=/srv/\n\n")
            if section_lines is not None:
                f.write("[%s]\n%s" % (APP_KEY, "".join(l + "\n" for l in section_lines)))

    def launch(self, cwd=None, args=(), path=None):
        env = dict(os.environ, FORMWICK_ETC=self.etc)
        if path:
            env["PATH"] = path
        # The started program inherits the output files, so no pipe is used:
        # run() returns as soon as the launcher itself has exited.
        errors = os.path.join(self.work, "stderr")
        with open(errors, "wb") as err:
            done = subprocess.run([LAUNCHER] + list(args), cwd=cwd or self.cwd, env=env,
                                  stdin=subprocess.DEVNULL, stdout=err, stderr=err, timeout=5)
        with open(errors, "rb") as err:
            self.assertEqual(err.read(), b"", "the launcher shows nothing")
        return done.returncode

    def padded_recorder(self, length):
        """The recorder's path written with `length` bytes ("./" and "/")."""
        base = self.tools + "/"
        extra = length - len(base) - len("CEAppMgr")
        return base + "./" * (extra // 2) + "/" * (extra % 2) + "CEAppMgr"

    def recorded(self):
        self.assertTrue(wait_for(self.record), "the program was not started")
        with open(self.record) as f:
            lines = f.read().split("\n")
        count = int(lines[0])
        return lines[1:1 + count], lines[1 + count]

    def assert_nothing_started(self):
        time.sleep(0.3)
        self.assertFalse(os.path.exists(self.record), "a program was started")

    def test_starts_the_program_with_the_path_as_one_argument_without_waiting(self):
        self.write_hive(["Path=" + self.tools, "@=" + self.recorder])
        # Its own arguments are ignored.
        self.assertEqual(self.launch(args=["--help", "x y"]), 42)
        args, working_directory = self.recorded()
        self.assertEqual(args, [os.path.join(self.cwd, "install.ini")])
        self.assertEqual(working_directory, self.cwd)
        # The launcher has exited while its program still runs.
        self.assertFalse(os.path.exists(os.path.join(self.tools, "finished")))

    def test_the_current_directory_is_used_and_the_root_gets_no_doubled_slash(self):
        self.write_hive(["@ = " + self.recorder])
        self.assertEqual(self.launch(cwd="/"), 42)
        self.assertEqual(self.recorded()[0], ["/install.ini"])

    def test_a_program_found_in_path_by_its_bare_name(self):
        self.write_hive(["@=CEAppMgr"])
        self.assertEqual(self.launch(path=self.tools + os.pathsep + os.environ["PATH"]), 42)
        self.assertEqual(self.recorded()[0], [os.path.join(self.cwd, "install.ini")])

    def test_a_missing_key_or_hive_starts_nothing(self):
        self.assertEqual(self.launch(), 2)  # no hive file at all
        self.write_hive(None)  # the hive without the key
        self.assertEqual(self.launch(), 2)
        self.assert_nothing_started()

    def test_a_missing_or_forbidden_program(self):
        self.write_hive(["@=" + os.path.join(self.tools, "no such program")])
        self.assertEqual(self.launch(), 2)
        self.write_hive(["@=" + os.path.join(self.tools, "no dir", "CEAppMgr")])
        self.assertEqual(self.launch(), 2)
        os.chmod(self.recorder, 0o644)
        self.write_hive(["@=" + self.recorder])
        self.assertEqual(self.launch(), 5)
        self.write_hive(["@=" + self.tools])  # a directory
        self.assertEqual(self.launch(), 5)
        self.assert_nothing_started()

    def test_a_value_that_cannot_be_read_starts_nothing(self):
        self.write_hive(["Path=" + self.recorder])  # no default value
        self.assertEqual(self.launch(), 2)
        self.write_hive(["@="])
        self.assertEqual(self.launch(), 2)
        # A path to the real program that does not fit the 260-byte area
        # is not used; one byte less fits.
        self.write_hive(["@=" + self.padded_recorder(260)])
        self.assertEqual(self.launch(), 234)
        self.assert_nothing_started()
        self.write_hive(["@=" + self.padded_recorder(259)])
        self.assertEqual(self.launch(), 42)
        self.recorded()

if __name__ == "__main__":
    unittest.main()
