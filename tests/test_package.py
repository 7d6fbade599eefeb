"""The installed layout and the Debian package, made from the existing build:
`cmake --install` into a staging directory (an install prefix and DESTDIR),
and the package CPack builds, checked by its control fields and file list and
by running the fwkhttpd extracted from it on its own sample root."""

import os
import shutil
import subprocess
import tempfile
import unittest

from fwktest import FWKHTTPD, SOURCE_DIR, Server

BUILD_DIR = os.environ.get("FWK_BUILD_DIR", "")


def demo_files():
    """Every file of the sample root, relative to it."""
    demo = os.path.join(SOURCE_DIR, "demo")
    found = set()
    for directory, _, files in os.walk(demo):
        for name in files:
            found.add(os.path.relpath(os.path.join(directory, name), demo))
    return found


DOCS = ("README.md", "authoring.md", "operating.md", "copyright")


def layout(prefix, unit="/lib/systemd/system/formwick.service"):
    """The files an installation below `prefix` (no leading "/") must hold."""
    files = {prefix + "/bin/fwkhttpd", prefix + "/bin/formwick-install",
             prefix + "/bin/formwick-collect",
             prefix + "/share/man/man1/fwkhttpd.1",
             prefix + "/share/man/man1/formwick-collect.1", prefix + unit}
    files |= {prefix + "/share/doc/formwick/" + name for name in DOCS}
    files |= {prefix + "/share/formwick/root/" + name for name in demo_files()}
    return files


def files_below(top):
    found = set()
    for directory, _, files in os.walk(top):
        for name in files:
            found.add(os.path.relpath(os.path.join(directory, name), top))
    return found


class InstalledServer(Server):
    """fwkhttpd run as installed: no --root, so it finds its own sample root."""

    def __init__(self, program):
        super().__init__()
        self.program = program

    def command(self):
        return [self.program, "--headless", "--port", str(self.first_port)]


class PackageTest(unittest.TestCase):

    def setUp(self):
        if not BUILD_DIR or not FWKHTTPD:
            raise unittest.SkipTest("FWK_BUILD_DIR or FWKHTTPD is not set")
        self.work = tempfile.mkdtemp(prefix="fwk-package-")
        self.addCleanup(shutil.rmtree, self.work, True)

    def run_tool(self, command, **options):
        done = subprocess.run(command, capture_output=True, timeout=240, **options)
        self.assertEqual(done.returncode, 0, "%s failed:\n%s%s" % (
            command[0], done.stdout.decode(errors="replace"), done.stderr.decode(errors="replace")))
        return done.stdout.decode()

    def project_version(self):
        return self.run_tool([FWKHTTPD, "--version"]).split()[-1]

    def test_install_honours_the_prefix_and_destdir(self):
        stage = os.path.join(self.work, "stage")
        self.run_tool(["cmake", "--install", BUILD_DIR, "--prefix", "/opt/formwick"],
                      env=dict(os.environ, DESTDIR=stage))
        self.assertEqual(files_below(stage), layout("opt/formwick"))
        # The unit names the installed paths, never the staging directory.
        with open(os.path.join(stage, "opt/formwick/lib/systemd/system/formwick.service")) as f:
            unit = f.read()
        self.assertIn("\nExecStart=/opt/formwick/bin/fwkhttpd --headless --root %S/formwick/root"
                      " --port ${FORMWICK_PORT} --listen ${FORMWICK_LISTEN}\n", unit)
        self.assertIn('cp -R "/opt/formwick/share/formwick/root/."', unit)
        self.assertNotIn(stage, unit)
        self.assertNotIn("@", unit)

    def test_the_service_fills_an_empty_state_directory_once(self):
        stage = os.path.join(self.work, "stage")
        self.run_tool(["cmake", "--install", BUILD_DIR, "--prefix", "/usr/local"],
                      env=dict(os.environ, DESTDIR=stage))
        unit_path = os.path.join(stage, "usr/local/lib/systemd/system/formwick.service")
        with open(unit_path) as f:
            unit = f.read().replace("/usr/local/", stage + "/usr/local/")
        staged_unit = os.path.join(self.work, "formwick.service")
        with open(staged_unit, "w") as f:
            f.write(unit)
        self.run_tool(["systemd-analyze", "verify", "--man=no", staged_unit])

        # ExecStartPre as systemd runs it: %S is the state directory root,
        # "$$" a plain "$".
        state = os.path.join(self.work, "state")
        prepare = unit.split("\nExecStartPre=")[1].split("\n")[0]
        prepare = prepare.replace("%S", state).replace("$$", "$")
        self.assertTrue(prepare.startswith("/bin/sh -c '") and prepare.endswith("'"), prepare)
        script = prepare[len("/bin/sh -c '"):-1]
        self.run_tool(["/bin/sh", "-c", script])
        root = os.path.join(state, "formwick", "root")
        self.assertEqual(files_below(root), demo_files())
        with open(os.path.join(root, "cgi.ini"), "w") as f:
            f.write("[server]\nDEVICEID=mine\n")
        os.remove(os.path.join(root, "index.html"))
        self.run_tool(["/bin/sh", "-c", script])
        with open(os.path.join(root, "cgi.ini")) as f:
            self.assertEqual(f.read(), "[server]\nDEVICEID=mine\n")
        self.assertNotIn("index.html", files_below(root))

    def test_an_install_in_the_home_directory_gets_a_user_unit(self):
        home = os.path.join(self.work, "home")
        runtime = os.path.join(self.work, "runtime")
        os.makedirs(runtime, mode=0o700)
        stage = os.path.join(self.work, "stage")
        prefix = home + "/.local"
        env = dict(os.environ, DESTDIR=stage, HOME=home, XDG_RUNTIME_DIR=runtime)
        self.run_tool(["cmake", "--install", BUILD_DIR, "--prefix", prefix], env=env)
        unit_name = "/share/systemd/user/formwick.service"
        self.assertEqual(files_below(stage), layout(prefix.lstrip("/"), unit_name))
        with open(stage + prefix + unit_name) as f:
            unit = f.read()
        self.assertIn("\nExecStart=%s/bin/fwkhttpd --headless --root %%S/formwick/root" % prefix,
                      unit)
        self.assertIn("WantedBy=default.target", unit)
        self.assertNotIn("DynamicUser", unit)
        # What the user's systemd reads: the unit with the staged paths.
        staged_unit = os.path.join(self.work, "formwick.service")
        with open(staged_unit, "w") as f:
            f.write(unit.replace(prefix + "/", stage + prefix + "/"))
        self.run_tool(["systemd-analyze", "--user", "verify", "--man=no", staged_unit], env=env)

    def test_the_package_installs_a_server_that_serves_its_sample_root(self):
        out = os.path.join(self.work, "out")
        self.run_tool(["cpack", "--config", os.path.join(BUILD_DIR, "CPackConfig.cmake"),
                       "-G", "DEB", "-B", out])
        packages = [n for n in os.listdir(out) if n.endswith(".deb")]
        self.assertEqual(len(packages), 1, packages)
        package = os.path.join(out, packages[0])

        fields = self.run_tool(["dpkg-deb", "-f", package, "Package", "Version", "Depends"])
        self.assertIn("Package: formwick\n", fields)
        self.assertIn("Version: %s\n" % self.project_version(), fields)
        depends = fields.split("Depends:")[1]
        for library in ("libc6", "libstdc++6", "libpq5", "libgmime-3.0"):
            self.assertIn(library, depends)

        listing = self.run_tool(["dpkg-deb", "-c", package])
        packaged = {line.split(" ./", 1)[1] for line in listing.splitlines()
                    if not line.startswith("d")}
        self.assertEqual(packaged, layout("usr"))  # both guides and the copyright file

        extracted = os.path.join(self.work, "extracted")
        self.run_tool(["dpkg-deb", "-x", package, extracted])
        with open(os.path.join(extracted, "usr/lib/systemd/system/formwick.service")) as f:
            unit = f.read()
        self.assertIn("\nExecStart=/usr/bin/fwkhttpd --headless ", unit)
        self.assertIn('cp -R "/usr/share/formwick/root/."', unit)

        collector = self.run_tool([os.path.join(extracted, "usr/bin/formwick-collect"),
                                   "--version"])
        self.assertEqual(collector, "formwick-collect (Formwick) %s\n" % self.project_version())

        sample_root = os.path.join(extracted, "usr/share/formwick/root")
        with open(os.path.join(sample_root, "marker.txt"), "w") as f:
            f.write("served from the packaged root\n")
        server = InstalledServer(os.path.join(extracted, "usr/bin/fwkhttpd")).start()
        self.addCleanup(server.close)
        status, _, body = server.curl("/")
        self.assertEqual(status, 200)
        self.assertIn(b"<h1>Formwick</h1>", body)
        self.assertEqual(server.curl("/marker.txt")[2], b"served from the packaged root\n")


if __name__ == "__main__":
    unittest.main()
