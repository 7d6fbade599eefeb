"""Start-up, the console window, single instance, signals and shut down of
fwkhttpd, driven as a user or a service manager would."""

import fcntl
import os
import pty
import re
import signal
import socket
import subprocess
import sys
import termios
import time
import unittest

from fwktest import FWKHTTPD, RUNNING, Server, free_port_block, port_is_free, wait_for

SURVEYS = {
    "cgi.ini": "[server]\nDEVICEID=pda7\n",
    "demo.ini": "[database]\nTitle=Customer poll\nDescription=Three short questions\n",
    "zeta.ini": "[database]\nTitle=Staff survey\n",
    "page.txt": "plain text page\n",
}

FAKE_BROWSER = "#!/bin/sh\necho \"$1\" >> \"$(dirname \"$0\")/opened\"\n"


def launch(server, args, stdin=subprocess.DEVNULL, wait_running=True, prefix=()):
    """Starts fwkhttpd with exactly `args` (after the program name) in the
    server's environment; waits for the running message unless told not to."""
    with open(server.out_path, "wb") as out, open(server.err_path, "wb") as err:
        server.process = subprocess.Popen(list(prefix) + [FWKHTTPD] + list(args), stdout=out,
                                          stderr=err, stdin=stdin, env=server.env)
    if not wait_running:
        return server
    found = wait_for(lambda: RUNNING.search(server.stdout()) or server.process.poll() is not None)
    if not found or server.process.poll() is not None:
        raise AssertionError("fwkhttpd did not start: %s %s" % (server.stdout(), server.stderr()))
    server.port = int(RUNNING.search(server.stdout()).group(1))
    wait_for(server.accepts)
    return server


def install_fake_browser(server):
    path = os.path.join(server.work, "fake-browser")
    with open(path, "w") as f:
        f.write(FAKE_BROWSER)
    os.chmod(path, 0o755)
    server.env["BROWSER"] = path
    return os.path.join(server.work, "opened")


def read_lines(path):
    try:
        with open(path) as f:
            return f.read().splitlines()
    except FileNotFoundError:
        return []


class WindowTextTest(unittest.TestCase):
    def test_window_lists_surveys_with_urls_then_status_and_logged_messages(self):
        with Server(SURVEYS) as server:
            out = server.stdout()
            base = "http://127.0.0.1:%d/" % server.port
            self.assertTrue(out.startswith("Formwick/pda7\n"), out)
            expected = ("Formwick/pda7\n"
                        " 0  Formwick start page\n"
                        "    %s\n"
                        " 1  Customer poll\n"
                        "    Three short questions\n"
                        "    %sfwk?database=demo\n"
                        " 2  Staff survey\n"
                        "    Description\n"
                        "    %sfwk?database=zeta\n" % (base, base, base))
            self.assertIn(expected, out)
            self.assertRegex(out, r"\n-{64}\nThe server is running on port (\S+:)?%d\n"
                             % server.port)

            # A request that fails is reported on the console as it is logged.
            before = len(server.stdout())
            server.raw(b"GET /fwk?DATABASE=nosuch HTTP/1.0\r\n\r\n")
            logged = wait_for(lambda: server.stdout()[before:], timeout=5)
            self.assertRegex(logged, r"404 NOT FOUND|Error \d+")
            self.assertNotIn("\r", logged)
            self.assertEqual(server.stop(), 0)


class PortTest(unittest.TestCase):
    def test_taken_first_port_moves_to_the_next(self):
        server = Server(SURVEYS)
        try:
            with socket.socket() as taken:
                taken.bind(("0.0.0.0", server.first_port))
                taken.listen(1)
                server.start()
                self.assertEqual(server.port, server.first_port + 1)
                out = server.stdout()
                self.assertIn("http://127.0.0.1:%d/fwk?database=demo" % server.port, out)
                status, _, body = server.curl("/page.txt")
                self.assertEqual((status, body), (200, b"plain text page\n"))
        finally:
            server.close()

    def test_all_ports_taken_headless_exits_with_a_message(self):
        server = Server(SURVEYS)
        holders = []
        try:
            for port in range(server.first_port, server.first_port + 10):
                s = socket.socket()
                s.bind(("0.0.0.0", port))
                s.listen(1)
                holders.append(s)
            launch(server, ["--headless", "--root", server.root, "--port",
                            str(server.first_port)], wait_running=False)
            self.assertEqual(server.process.wait(10), 1)
            self.assertIn("could not listen on any port from %d to %d: each is in use"
                          % (server.first_port, server.first_port + 9), server.stderr())
            # The window still shows the surveys, without URLs or status.
            out = server.stdout()
            self.assertIn(" 1  Customer poll\n", out)
            self.assertNotIn("http://", out)
            self.assertNotIn("running", out)
            # With a console to read it stops as well: a server without a
            # port serves nobody.
            launch(server, ["--no-browser", "--root", server.root, "--port",
                            str(server.first_port)], wait_running=False)
            self.assertEqual(server.process.wait(10), 1)
            self.assertIn("each is in use", server.stderr())
        finally:
            for s in holders:
                s.close()
            server.close()

    def test_a_listen_address_that_is_not_the_machines_is_refused(self):
        server = Server(SURVEYS)
        try:
            # 192.0.2.254 (documentation range) is no address of this machine.
            launch(server, ["--headless", "--root", server.root, "--port", str(server.first_port),
                            "--listen", "192.0.2.254"], wait_running=False)
            self.assertEqual(server.process.wait(10), 1)
            self.assertIn("192.0.2.254 (--listen) is not an address of this machine",
                          server.stderr())
        finally:
            server.close()

    def test_the_window_shows_where_the_tablets_reach_the_server(self):
        found = subprocess.run(["ip", "-o", "-4", "addr", "show", "up"], capture_output=True,
                               text=True).stdout
        addresses = [a for a in re.findall(r"inet (\d+\.\d+\.\d+\.\d+)", found)
                     if not a.startswith("127.")]
        with Server(SURVEYS) as server:
            out = server.stdout()
            if addresses:
                self.assertIn("Tablets on the network open" + "".join(
                    " http://%s:%d/" % (a, server.port) for a in addresses) + "\n", out)
            else:
                self.assertIn("This machine has no network address yet", out)
        with Server(SURVEYS, args=["--listen", "127.0.0.1"]) as server:
            self.assertIn("Only this machine reaches the server (--listen 127.0.0.1).\n",
                          server.stdout())

    def test_a_survey_added_or_removed_while_running_is_listed_within_a_second(self):
        files = dict(SURVEYS)
        files["cgi.ini"] = "[server]\n"  # no ERROR page: a missing file lists the surveys
        with Server(files) as server:
            listing = lambda: server.curl("/no-such-page")[2].decode()
            self.assertNotIn("Late poll", listing())
            with open(os.path.join(server.root, "late.ini"), "w") as f:
                f.write("[database]\nTitle=Late poll\n")
            added = time.monotonic()
            self.assertTrue(wait_for(lambda: "Late poll" in listing(), timeout=5))
            shown = lambda: server.stdout().split("The surveys are now:\n")[1:]
            self.assertTrue(wait_for(lambda: shown() and " 2  Late poll\n" in shown()[-1],
                                     timeout=5))
            self.assertLess(time.monotonic() - added, 2.5)
            os.remove(os.path.join(server.root, "late.ini"))
            self.assertTrue(wait_for(lambda: "Late poll" not in listing(), timeout=5))
            self.assertTrue(wait_for(lambda: len(shown()) == 2, timeout=5))
            self.assertNotIn("Late poll", shown()[-1])
            self.assertIn(" 2  Staff survey\n", shown()[-1])

    def test_privileged_ports_fall_back_to_8081(self):
        with open("/proc/sys/net/ipv4/ip_unprivileged_port_start") as f:
            if int(f.read()) <= 90:
                self.skipTest("ports 81 to 90 need no privileges here")
        if not any(port_is_free(p) for p in range(8081, 8091)):
            self.skipTest("ports 8081 to 8090 are in use")
        server = Server(SURVEYS)
        prefix = []
        try:
            if os.geteuid() == 0:
                # Run as nobody: it may bind no port below 1024.
                for d in (server.work, server.root):
                    os.chmod(d, 0o755)
                for d in ("runtime", "config"):
                    os.chown(os.path.join(server.work, d), 65534, 65534)
                prefix = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"]
            launch(server, ["--headless", "--root", server.root, "--port", "81"], prefix=prefix)
            # Another test may hold 8081 just now: any port of the range will do.
            self.assertIn(server.port, range(8081, 8091))
            self.assertIn("Ports 81 to 90 need privileges this user does not have; ports from "
                          "8081 were tried instead.\nThe server is running on port",
                          server.stdout())
            self.assertEqual(server.curl("/page.txt")[0], 200)
            self.assertEqual(server.stop(), 0)
        finally:
            server.close()


class SingleInstanceTest(unittest.TestCase):
    def test_second_start_prints_and_opens_the_running_url_and_exits_0(self):
        with Server(SURVEYS) as first:
            url = "http://127.0.0.1:%d/" % first.port
            second = Server(SURVEYS, first_port=first.first_port)
            try:
                second.env["XDG_RUNTIME_DIR"] = first.env["XDG_RUNTIME_DIR"]
                opened = install_fake_browser(second)
                launch(second, ["--headless", "--root", first.root,
                                "--port", str(first.first_port)], wait_running=False)
                self.assertEqual(second.process.wait(10), 0)
                self.assertEqual(second.stdout(), "Formwick is already running at %s\n" % url)
                self.assertEqual(read_lines(opened), [])  # headless: no browser

                launch(second, ["--root", first.root + "/"], wait_running=False)
                self.assertEqual(second.process.wait(10), 0)
                self.assertEqual(wait_for(lambda: read_lines(opened)), [url])

                # Options the running server does not use are named.
                launch(second, ["--headless", "--root", second.root,
                                "--port", str(first.first_port + 20)], wait_running=False)
                self.assertEqual(second.process.wait(10), 0)
                self.assertEqual(second.stdout(), (
                    "Formwick is already running at %s\n"
                    "--root %s was not applied: the running server serves %s/\n"
                    "--port %d was not applied: the running server was started with --port %d\n"
                ) % (url, second.root, first.root, first.first_port + 20, first.first_port))
            finally:
                second.close()
            # The first is untouched.
            self.assertEqual(first.curl("/page.txt")[0], 200)

    def test_lock_is_released_at_exit_so_a_new_start_runs(self):
        server = Server(SURVEYS)
        try:
            server.start()
            lock = os.path.join(server.env["XDG_RUNTIME_DIR"], "formwick", "fwkhttpd.lock")
            with open(lock) as f:
                self.assertEqual(f.read(), "http://127.0.0.1:%d/\nroot=%s/\nport=%d\n" % (
                    server.port, server.root, server.first_port))
            self.assertEqual(server.stop(), 0)
            self.assertFalse(os.path.exists(lock))
            server.start()
            self.assertEqual(server.stop(), 0)
        finally:
            server.close()


class ShutdownTest(unittest.TestCase):
    def test_sigterm_finishes_the_request_in_progress_then_exits_0(self):
        with Server(SURVEYS) as server:
            with server.connect() as s:
                s.sendall(b"POST /page.txt HTTP/1.0\r\nContent-Length: 10\r\n\r\nabcde")
                time.sleep(0.3)  # the server is now reading this request
                server.process.send_signal(signal.SIGTERM)
                time.sleep(0.5)
                self.assertIsNone(server.process.poll(), "ended with a request in progress")
                s.sendall(b"fghij")
                response = b""
                while True:
                    chunk = s.recv(65536)
                    if not chunk:
                        break
                    response += chunk
            self.assertTrue(response.startswith(b"HTTP/1.1 200 OK\r\n"), response)
            self.assertTrue(response.endswith(b"plain text page\n"), response)
            self.assertEqual(server.process.wait(10), 0)

    def test_sigint_and_idle_shutdown_tidy_the_registry(self):
        key = "[SOFTWARE\\Veltrix\\Formwick]\n"
        for values, kept in (("RANDOM=305419896\n", False),
                             ("RANDOM=305419896\nOther=1\n", True)):
            server = Server(SURVEYS)
            try:
                hive = os.path.join(server.env["XDG_CONFIG_HOME"], "formwick", "registry.ini")
                os.makedirs(os.path.dirname(hive))
                with open(hive, "w") as f:
                    f.write(key + values)
                server.start()
                server.process.send_signal(signal.SIGINT)
                self.assertEqual(server.process.wait(10), 0)
                with open(hive) as f:
                    text = f.read()
                self.assertNotIn("RANDOM", text)
                self.assertEqual("Other=1" in text and "Formwick]" in text, kept, text)
            finally:
                server.close()


class CommandLineTest(unittest.TestCase):
    def run_program(self, *args):
        server = Server()
        try:
            return subprocess.run([FWKHTTPD] + list(args), capture_output=True, text=True,
                                  env=server.env, timeout=10)
        finally:
            server.close()

    def test_help_version_and_bad_options(self):
        done = self.run_program("--help")
        self.assertEqual(done.returncode, 0)
        for option in ("--root", "--port", "--headless", "--no-browser", "--version"):
            self.assertIn(option, done.stdout)
        done = self.run_program("--version")
        self.assertEqual((done.returncode, done.stdout), (0, "fwkhttpd (Formwick) 0.1.0\n"))
        for bad in (["--bogus"], ["--port", "x"], ["--port"], ["stray"], ["--listen", "x"]):
            done = self.run_program(*bad)
            self.assertEqual(done.returncode, 2, bad)
            self.assertEqual(done.stdout, "")
            self.assertIn("fwkhttpd: ", done.stderr)
            self.assertIn("--help", done.stderr)

    def test_a_root_that_is_not_a_readable_directory_is_an_error(self):
        server = Server({"file.txt": "x"})
        try:
            for root in (os.path.join(server.root, "no", "such", "dir"),
                         os.path.join(server.root, "file.txt")):
                with self.subTest(root=root):
                    started = time.monotonic()
                    done = subprocess.run([FWKHTTPD, "--headless", "--root", root],
                                          capture_output=True, text=True, env=server.env,
                                          timeout=10)
                    self.assertLess(time.monotonic() - started, 3)
                    self.assertEqual(done.returncode, 2)
                    self.assertEqual(done.stdout, "")
                    self.assertEqual(done.stderr, "fwkhttpd: the server root given with --root, "
                                     "%s, is not a readable directory\n" % root)
        finally:
            server.close()

    def test_server_root_from_the_machine_registry_else_the_demo_root(self):
        server = Server({"page.txt": "from the registry root\n"})
        try:
            with open(os.path.join(server.env["FORMWICK_ETC"], "registry.ini"), "w") as f:
                f.write("[SOFTWARE\\Veltrix\\Formwick]\nServerRoot=%s\n" % server.root)
            launch(server, ["--headless", "--port", str(server.first_port)])
            self.assertEqual(server.curl("/page.txt")[2], b"from the registry root\n")
            self.assertEqual(server.stop(), 0)

            os.remove(os.path.join(server.env["FORMWICK_ETC"], "registry.ini"))
            launch(server, ["--headless", "--port", str(server.first_port)])
            # The sample root of the source tree lists its survey.
            self.assertIn("fwk?database=demo", server.stdout())
            self.assertEqual(server.stop(), 0)
        finally:
            server.close()


class ConsoleTest(unittest.TestCase):
    def test_terminal_commands_open_surveys_show_about_and_shut_down(self):
        server = Server(SURVEYS)
        master, slave = pty.openpty()
        try:
            opened = install_fake_browser(server)
            launch(server, ["--root", server.root, "--port", str(server.first_port)], stdin=slave)
            base = "http://127.0.0.1:%d/" % server.port
            # At start the browser shows the home page.
            self.assertEqual(wait_for(lambda: read_lines(opened)), [base])
            self.assertIn("Type a survey's number", server.stdout())

            os.write(master, b"2\n")
            self.assertEqual(wait_for(lambda: len(read_lines(opened)) == 2 and read_lines(opened)),
                             [base, base + "fwk?database=zeta"])
            os.write(master, b"a\n")
            self.assertTrue(wait_for(lambda: "About this program" in server.stdout()))
            os.write(master, b"7\n")
            self.assertTrue(wait_for(lambda: "There is no entry 7." in server.stdout()))
            os.write(master, b"q\n")
            self.assertEqual(server.process.wait(10), 0)
        finally:
            os.close(master)
            os.close(slave)
            server.close()

    def test_no_browser_option_prints_urls_instead_of_opening_them(self):
        server = Server(SURVEYS)
        master, slave = pty.openpty()
        try:
            opened = install_fake_browser(server)
            launch(server, ["--no-browser", "--root", server.root, "--port",
                            str(server.first_port)], stdin=slave)
            os.write(master, b"1\n")
            self.assertTrue(wait_for(lambda: "Open http://127.0.0.1:%d/fwk?database=demo in a "
                                     "browser\n" % server.port in server.stdout()))
            self.assertEqual(read_lines(opened), [])
            self.assertEqual(server.stop(), 0)
        finally:
            os.close(master)
            os.close(slave)
            server.close()

    def test_without_display_or_browser_the_url_is_printed(self):
        server = Server(SURVEYS)
        try:
            for name in ("BROWSER", "DISPLAY", "WAYLAND_DISPLAY"):
                server.env.pop(name, None)
            launch(server, ["--root", server.root, "--port", str(server.first_port)])
            self.assertTrue(wait_for(lambda: "Open http://127.0.0.1:%d/ in a browser\n"
                                     % server.port in server.stdout()))
            self.assertEqual(server.stop(), 0)
        finally:
            server.close()

    def test_background_job_of_a_terminal_does_not_read_it(self):
        # A background job that read its controlling terminal would be
        # stopped by SIGTTIN, server thread and all.
        server = Server(SURVEYS)
        master, slave = pty.openpty()
        shell = None
        pid_file = os.path.join(server.work, "pid")
        try:
            script = 'set -m; "$@" & echo $! > "$0"; wait $!'
            with open(server.out_path, "wb") as out, open(server.err_path, "wb") as err:
                shell = subprocess.Popen(
                    ["bash", "-c", script, pid_file, FWKHTTPD, "--no-browser", "--root",
                     server.root, "--port", str(server.first_port)],
                    stdin=slave, stdout=out, stderr=err, env=server.env,
                    start_new_session=True,
                    preexec_fn=lambda: fcntl.ioctl(0, termios.TIOCSCTTY, 0))
            found = wait_for(lambda: RUNNING.search(server.stdout()))
            self.assertTrue(found, server.stdout() + server.stderr())
            server.port = int(found.group(1))
            os.write(master, b"a\n")  # typed for the shell, not for the server
            time.sleep(0.3)
            self.assertEqual(server.curl("/page.txt", timeout=5)[2], b"plain text page\n")
            self.assertNotIn("About this program", server.stdout())
            os.kill(int(read_lines(pid_file)[0]), signal.SIGTERM)
            self.assertEqual(shell.wait(10), 0)
        finally:
            if shell is not None and shell.poll() is None:
                for line in read_lines(pid_file):
                    os.kill(int(line), signal.SIGKILL)
                shell.wait(10)
            os.close(master)
            os.close(slave)
            server.close()


if __name__ == "__main__":
    unittest.main()
