"""End-to-end: the operator's guide's advice for an untrusted network, as
written: nginx (Debian's nginx-light) in front of fwkhttpd with TLS, using
the guide's configuration file (docs/examples/proxy/formwick-tls.conf) with
only its ports and certificate paths changed. fwkhttpd listens on loopback
only; the tablets (here 127.0.0.x addresses) reach it through HTTPS, and
password guesses still count per tablet."""

import os
import shutil
import socket
import subprocess
import tempfile
import time
import unittest
import urllib.parse

from fwktest import SOURCE_DIR, Server, free_port_block

NGINX = shutil.which("nginx") or "/usr/sbin/nginx"
EXAMPLE = os.path.join(SOURCE_DIR, "docs", "examples", "proxy", "formwick-tls.conf")

FILES = {
    "vote.ini": "[DATABASE]\nSAVEDATA=1\nFORM=vote.html\nSHOWREDIRECT=1\nREDIRECT=/thanks.html\n"
                "[access]\nPWDAPPEND=(allow)\nPWDREAD=reader-pw\n",
    "vote.asc": "Q\r\nthe answer\r\n",
    "vote.html": "<form><input name=Q></form>",
    "thanks.html": "<p>thanks</p>",
}


def missing_tools():
    for tool in (NGINX, shutil.which("openssl"), shutil.which("curl")):
        if not tool or not os.path.exists(tool):
            return True
    return False


@unittest.skipIf(missing_tools() and not os.environ.get("CI"),
                 "nginx, openssl or curl is missing")
class TlsProxyTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.server = Server(FILES, args=["--listen", "127.0.0.1"]).start()
        cls.work = tempfile.mkdtemp(prefix="fwk-tls-")
        os.chmod(cls.work, 0o755)
        cls.cert = os.path.join(cls.work, "cert.pem")
        key = os.path.join(cls.work, "key.pem")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                        "-subj", "/CN=survey.example.org", "-addext",
                        "subjectAltName=DNS:survey.example.org",
                        "-keyout", key, "-out", cls.cert],
                       check=True, capture_output=True, timeout=60)
        first = free_port_block(2)
        cls.https, cls.http = first, first + 1
        with open(EXAMPLE) as f:
            site = f.read()
        for old, new in (("listen 443 ssl", "listen 127.0.0.1:%d ssl" % cls.https),
                         ("listen 80", "listen 127.0.0.1:%d" % cls.http),
                         ("/etc/formwick/tls/cert.pem", cls.cert),
                         ("/etc/formwick/tls/key.pem", key),
                         ("127.0.0.1:8081", "127.0.0.1:%d" % cls.server.port)):
            assert old in site, old
            site = site.replace(old, new)
        for d in ("logs", "temp"):
            os.makedirs(os.path.join(cls.work, d), mode=0o777)
        conf = os.path.join(cls.work, "nginx.conf")
        temp = os.path.join(cls.work, "temp")
        with open(conf, "w") as f:
            f.write("worker_processes 1;\n%s"
                    "error_log %s/logs/error.log;\npid %s/nginx.pid;\n"
                    "events { worker_connections 64; }\n"
                    "http {\n  access_log off;\n  client_body_temp_path %s/body;\n"
                    "  proxy_temp_path %s/proxy;\n  fastcgi_temp_path %s/fastcgi;\n"
                    "  uwsgi_temp_path %s/uwsgi;\n  scgi_temp_path %s/scgi;\n%s\n}\n"
                    % ("user root;\n" if os.geteuid() == 0 else "", cls.work, cls.work,
                       temp, temp, temp, temp, temp, site))
        cls.nginx = subprocess.Popen([NGINX, "-p", cls.work, "-c", conf, "-g", "daemon off;"],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            try:
                socket.create_connection(("127.0.0.1", cls.https), timeout=1).close()
                return
            except OSError:
                if cls.nginx.poll() is not None:
                    break
                time.sleep(0.05)
        cls.tearDownClass()
        raise AssertionError("nginx did not start")

    @classmethod
    def tearDownClass(cls):
        if getattr(cls, "nginx", None) is not None and cls.nginx.poll() is None:
            cls.nginx.terminate()
            cls.nginx.wait(10)
        cls.server.close()
        shutil.rmtree(cls.work, ignore_errors=True)

    def curl(self, url, source="127.0.0.1", data=None):
        command = ["curl", "-sS", "-i", "--max-time", "20", "--cacert", self.cert,
                   "--interface", source, "--resolve",
                   "survey.example.org:%d:127.0.0.1" % self.https]
        if data is not None:
            command += ["--data", urllib.parse.urlencode(data)]
        done = subprocess.run(command + [url], capture_output=True, timeout=30)
        self.assertEqual(done.returncode, 0, done.stderr)
        return done.stdout.decode("utf-8", "replace")

    def secure(self, path):
        return "https://survey.example.org:%d%s" % (self.https, path)

    def test_the_forms_are_served_through_tls_only(self):
        reply = self.curl(self.secure("/fwk?DATABASE=vote"))
        self.assertIn("<form><input", reply.lower())
        self.assertIn("X-Frame-Options: DENY", reply)
        # fwkhttpd itself is not reachable from the network, only from here.
        with self.assertRaises(OSError):
            socket.create_connection(("127.0.0.2", self.server.port), timeout=2).close()
        # Plain HTTP to the proxy is sent to HTTPS.
        reply = self.curl("http://127.0.0.1:%d/fwk?DATABASE=vote" % self.http)
        self.assertIn("301", reply.splitlines()[0])
        self.assertIn("Location: https://127.0.0.1/fwk?DATABASE=vote", reply)

    def test_redirects_of_a_save_stay_on_https(self):
        reply = self.curl(self.secure("/fwk"), data={"DATABASE": "vote", "_ACTION": "SAVE",
                                                      "Q": "yes"})
        self.assertIn("302", reply.splitlines()[0])
        self.assertIn("Location: https://survey.example.org:%d/thanks.html" % self.https, reply)

    def test_guesses_count_against_each_tablet_behind_the_proxy(self):
        def listing(password, source):
            query = urllib.parse.urlencode({"DATABASE": "vote", "_ACTION": "LIST",
                                            "_PASSWORD": password})
            return self.curl(self.secure("/list?" + query), source)

        for i in range(10):
            self.assertNotIn("the answer", listing("guess%d" % i, "127.0.0.2"))
        self.assertIn("429", listing("reader-pw", "127.0.0.2").splitlines()[0])
        self.assertIn("the answer", listing("reader-pw", "127.0.0.3"))
        self.assertIn("Too many wrong passwords or logins from 127.0.0.2",
                      self.server.stdout())


if __name__ == "__main__":
    unittest.main()
