"""Real parts for the collector's end-to-end tests, each started in a
temporary directory on loopback and stopped again: PostgreSQL (initdb and
postgres, run as the `postgres` user when the tests run as root, since it
refuses root), Dovecot serving IMAP over TLS with its own configuration,
users and a throw-away certificate, aiosmtpd relays delivering into a
Maildir, and fwkhttpd devices whose saved responses are mailed there.

formwick-collect comes from $FWK_BUILD_DIR."""

import glob
import os
import pwd
import shutil
import subprocess
import tempfile
import urllib.parse

from fwktest import Server, port_accepts, wait_for
from test_mail_providers import make_authority, make_server_cert
import test_mail_relay
from test_mail_relay import free_port

BUILD_DIR = os.environ.get("FWK_BUILD_DIR", "")
COLLECT = os.path.join(BUILD_DIR, "formwick-collect")
AS_ROOT = os.geteuid() == 0


def collect(*args, env=None, timeout=300):
    """Runs formwick-collect: (exit status, stdout, stderr)."""
    if not os.path.exists(COLLECT):
        raise AssertionError("formwick-collect is not built: " + COLLECT)
    done = subprocess.run([COLLECT] + list(args), capture_output=True, text=True,
                          timeout=timeout, env=dict(os.environ, **(env or {})))
    return done.returncode, done.stdout, done.stderr


def make_maildir(path):
    for sub in ("new", "cur", "tmp"):
        os.makedirs(os.path.join(path, sub), exist_ok=True)
    return path


def maildir_mails(path, folders=("new", "cur")):
    return sorted(name for folder in folders
                  for name in os.listdir(os.path.join(path, folder)))


def restore_done(maildir):
    """Moves every processed mail back to new/, as if never collected."""
    done = os.path.join(maildir, ".done", "cur")
    for name in os.listdir(done):
        os.rename(os.path.join(done, name), os.path.join(maildir, "new", name.split(":2,")[0]))


def give_to(path, user):
    """Lets `user` own a directory we made (PostgreSQL runs as postgres)."""
    if AS_ROOT:
        entry = pwd.getpwnam(user)
        for root, dirs, files in os.walk(path):
            for name in [root] + [os.path.join(root, n) for n in dirs + files]:
                os.chown(name, entry.pw_uid, entry.pw_gid)


def stop_and_remove(process, work):
    """Stops a server we started (SIGTERM, then SIGKILL) and removes its
    directory."""
    if process and process.poll() is None:
        process.terminate()
        try:
            process.wait(20)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
    shutil.rmtree(work, ignore_errors=True)


def pg_bin(name):
    found = sorted(glob.glob("/usr/lib/postgresql/*/bin/" + name))
    if not found:
        raise AssertionError("PostgreSQL is missing (tools/deps.sh test installs it)")
    return found[-1]


class Postgres:
    """A PostgreSQL cluster of its own on 127.0.0.1:port."""

    def __init__(self):
        self.work = tempfile.mkdtemp(prefix="fwk-pg-")
        os.chmod(self.work, 0o755)
        self.data = os.path.join(self.work, "data")
        self.port = free_port()
        self.process = None
        give_to(self.work, "postgres")

    def as_postgres(self, command):
        return (["runuser", "-u", "postgres", "--"] + command) if AS_ROOT else command

    def start(self):
        subprocess.run(self.as_postgres([pg_bin("initdb"), "-D", self.data, "-U", "postgres",
                                         "--auth=trust", "-E", "UTF8", "--locale=C.UTF-8"]),
                       check=True, capture_output=True)
        log = open(os.path.join(self.work, "log"), "wb")
        self.process = subprocess.Popen(
            self.as_postgres([pg_bin("postgres"), "-D", self.data, "-p", str(self.port),
                              "-c", "listen_addresses=127.0.0.1",
                              "-c", "unix_socket_directories=" + self.work,
                              "-c", "fsync=on", "-c", "max_connections=50"]),
            stdout=log, stderr=log)
        log.close()
        if not wait_for(lambda: self.ready(), timeout=30, step=0.1):
            raise AssertionError("PostgreSQL did not start: " + self.log())
        self.sql("CREATE DATABASE fwk", database="postgres")
        return self

    def ready(self):
        return subprocess.run([pg_bin("pg_isready"), "-h", "127.0.0.1", "-p", str(self.port)],
                              capture_output=True).returncode == 0

    def url(self, database="fwk"):
        return "postgresql://postgres@127.0.0.1:%d/%s" % (self.port, database)

    def sql(self, statement, database="fwk"):
        """Rows of a query, each a list of texts (psql's unaligned output)."""
        done = subprocess.run([pg_bin("psql"), "-X", "-q", "-A", "-t", "-F", "\x1f", "-R", "\x1e",
                               "-v", "ON_ERROR_STOP=1", "-d", self.url(database), "-c", statement],
                              capture_output=True, text=True)
        if done.returncode != 0:
            raise AssertionError(done.stderr)
        return [row.split("\x1f") for row in done.stdout.split("\x1e") if row.strip("\n")]

    def log(self):
        with open(os.path.join(self.work, "log"), errors="replace") as f:
            return f.read()

    def stop(self):
        stop_and_remove(self.process, self.work)


class Dovecot:
    """Dovecot serving IMAPS on 127.0.0.1:port for one user whose mail is
    the Maildir self.maildir; the certificate is signed by the throw-away
    authority self.authority."""

    USER = "collector"
    PASSWORD = "imap-pass-4Zr"

    def __init__(self):
        self.work = tempfile.mkdtemp(prefix="fwk-dovecot-")
        os.chmod(self.work, 0o755)
        self.port = free_port()
        self.maildir = make_maildir(os.path.join(self.work, "mail", "Maildir"))
        self.authority = os.path.join(self.work, "authority.pem")
        self.process = None

    def start(self):
        make_authority(self.work, "authority")
        make_server_cert(self.work, "server", "authority", "IP:127.0.0.1,DNS:localhost")
        # Dovecot gives no mail process root's rights: as root the mail
        # belongs to the system's "mail" user.
        me = pwd.getpwnam("mail") if AS_ROOT else pwd.getpwuid(os.geteuid())
        give_to(os.path.join(self.work, "mail"), "mail")
        with open(os.path.join(self.work, "users"), "w") as f:
            f.write("%s:{PLAIN}%s:%d:%d::%s/mail::\n" % (
                self.USER, self.PASSWORD, me.pw_uid, me.pw_gid, self.work))
        config = os.path.join(self.work, "dovecot.conf")
        with open(config, "w") as f:
            f.write(DOVECOT_CONF % {"work": self.work, "port": self.port,
                                    "uid": me.pw_uid})
        self.process = subprocess.Popen(["dovecot", "-F", "-c", config],
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if not wait_for(lambda: port_accepts(self.port), timeout=20, step=0.1):
            raise AssertionError("Dovecot did not start: " + self.log())
        return self

    def deliver(self, mail_paths):
        """Puts mails into the user's INBOX as a delivery agent would."""
        for path in mail_paths:
            target = os.path.join(self.maildir, "new", os.path.basename(path).split(":2,")[0])
            shutil.copyfile(path, target)
            give_to(target, "mail")

    def url(self, mailbox="INBOX"):
        return "imaps://%s@127.0.0.1:%d/%s" % (self.USER, self.port, mailbox)

    def log(self):
        path = os.path.join(self.work, "dovecot.log")
        return open(path, errors="replace").read() if os.path.exists(path) else ""

    def stop(self):
        stop_and_remove(self.process, self.work)


DOVECOT_CONF = """
base_dir = %(work)s/run
state_dir = %(work)s/state
log_path = %(work)s/dovecot.log
protocols = imap
listen = 127.0.0.1
ssl = required
ssl_cert = <%(work)s/server.pem
ssl_key = <%(work)s/server.key
disable_plaintext_auth = yes
auth_mechanisms = plain login
first_valid_uid = %(uid)d
mail_location = maildir:~/Maildir
default_internal_user = dovecot
default_login_user = dovenull
passdb {
  driver = passwd-file
  args = scheme=PLAIN %(work)s/users
}
userdb {
  driver = passwd-file
  args = %(work)s/users
}
service imap-login {
  inet_listener imap {
    port = 0
  }
  inet_listener imaps {
    address = 127.0.0.1
    port = %(port)d
    ssl = yes
  }
}
service anvil {
  chroot =
}
service imap-login {
  chroot =
}
"""


class Relay(test_mail_relay.Relay):
    """aiosmtpd on 127.0.0.1 delivering into a Maildir; the first `lose`
    messages are delivered but their acceptance never reaches the sender."""

    def __init__(self, maildir, lose=0):
        self.port = free_port()
        super().__init__(self.port, maildir, "--maildir", maildir, "--lose-reply", str(lose))


POLL_FIELDS = ("q1", "colour", "note")


def device_files(relay_port, device_id):
    return {
        "cgi.ini": "[server]\nDEVICEID=%s\n" % device_id,
        "poll.ini": "[DATABASE]\nFORM=poll.html\nSAVEDATA=1\nSAVEEMAIL=1\n"
                    "SAVEEMAILNAME=box@example.org\nEMAILSERVER=127.0.0.1:%d\n"
                    "[access]\nPWDAPPEND=(allow)\n" % relay_port,
        "poll.html": "<html><body><FORM ACTION=/fwk METHOD=POST><INPUT NAME=q1>"
                     "<TEXTAREA NAME=note></TEXTAREA></FORM></body></html>",
        "poll.asc": "HOST\tq1\tcolour\tnote\t_SESSION\n",
    }


class Device:
    """A device: fwkhttpd with the poll form, mailing to its relay."""

    def __init__(self, relay_port, device_id):
        self.server = Server(device_files(relay_port, device_id), env={
            "FORMWICK_ONLINE": "1", "FORMWICK_RELAY_RETRY_MS": "200",
            "FORMWICK_RELAY_TIMEOUT_MS": "5000"}).start()
        self.id = device_id

    def save(self, session, answers):
        """answers: a list of (name, value) pairs, repeated names allowed."""
        fields = urllib.parse.urlencode(
            [("DATABASE", "poll"), ("_ACTION", "SAVE"), ("_SESSION", session)] + answers)
        status, _, body = self.server.curl("/fwk", "--data", fields)
        if status != 200 or b"Thank you" not in body:
            raise AssertionError("save failed: %s %s" % (status, body[:300]))

    def outbox_empty(self):
        return not os.path.exists(os.path.join(self.server.root, "outbox.fwk"))

    def live_records(self):
        return read_live_records(os.path.join(self.server.root, "poll.asc"))

    def close(self):
        self.server.close()


def read_live_records(path):
    """{_SESSION: {column: value}} of the records not marked retired,
    read as the data-file store reads them."""
    with open(path, "rb") as f:
        lines = f.read().decode("utf-8").split("\n")
    header = [name.lstrip("#") for name in lines[0].rstrip("\r").split("\t")]
    records = {}
    for line in lines[1:]:
        line = line.replace("\r", "")
        if not line or line.startswith("#"):
            continue
        fields = line.split("\t")
        values = {}
        for name, field in zip(header, fields):
            if field.startswith('"'):
                field = unquote(field)
            values[name] = field
        for name in header[len(fields):]:
            values[name] = ""
        session = values.get("_SESSION", "")
        if session in records:
            raise AssertionError("session %s is live twice in %s" % (session, path))
        records[session] = values
    return records


def unquote(field):
    if field == '""':
        return ""
    out = []
    i = 0
    body = field[:-1] if field.endswith('"') and len(field) > 1 else field
    while i < len(body):
        if body[i] == '"':
            i += 1
            if i < len(body):
                out.append(body[i])
        else:
            out.append(body[i])
        i += 1
    return "".join(out)




def response_mail(form, session, device, saved, entries, message_id=None, subject=None):
    """A response mail built from the documented format alone (Python's own
    email package, not the device's code): the text part, then the record
    as a JSON attachment."""
    import email.message
    import email.policy
    import json
    record = {"formwick": "response", "version": 1, "form": form, "session": session,
              "device": device, "saved": saved, "entries": [list(e) for e in entries]}
    message = email.message.EmailMessage(policy=email.policy.SMTP)
    message["Subject"] = subject or "Formwick form submission report"
    message["From"] = "<box@example.org>"
    message["To"] = "<box@example.org>"
    message["Message-ID"] = message_id or "<%s.%s.%s@example.org>" % (form, session, saved)
    message["X-Formwick-Form"] = form
    message["X-Formwick-Session"] = session
    message["X-Formwick-Device"] = device
    message.set_content("".join("%s: %s\r\n" % e for e in entries))
    message.add_attachment(json.dumps(record).encode(), maintype="application",
                           subtype="json", filename="formwick-response.json")
    return message.as_bytes()


def put_mails(maildir, mails, start=1796000000):
    """Delivers mails into new/ as a delivery agent would, one second apart."""
    for number, mail in enumerate(mails):
        name = "%d.M%dP1Q%d.test" % (start + number, number, number)
        path = os.path.join(maildir, "tmp", name)
        with open(path, "wb") as f:
            f.write(mail)
        os.utime(path, (start + number, start + number))
        os.rename(path, os.path.join(maildir, "new", name))


def saved_text(n):
    """A save time as the device writes it, n microseconds after a start."""
    import datetime
    moment = datetime.datetime(2026, 12, 8, 6, 0, tzinfo=datetime.timezone.utc) + \
        datetime.timedelta(microseconds=n)
    return moment.strftime("%Y-%m-%dT%H:%M:%S.%fZ")


def campaign(sessions, seed):
    """Mails of a field campaign and what must come of them: each session
    saved once or several times (later saves edited), some mails delivered
    twice, arriving in a shuffled order. Returns (mails, {session: entries
    of its last save})."""
    import random
    rng = random.Random(seed)
    mails = []
    final = {}
    clock = 0
    for s in range(sessions):
        session = "s%04d" % s
        for version in range(1 + (s % 3 == 0) + (s % 7 == 0)):
            clock += 1000
            entries = [("HOST", "tablet"), ("q1", rng.choice(["yes", "no", "maybe"])),
                       ("colour", "red"), ("colour", rng.choice(["blue", "green"])),
                       ("note", "v%d line one\nline two\tcol \"q\" \U0001F600" % version)]
            mail = response_mail("poll", session, "dev%d" % (s % 3), saved_text(clock), entries)
            mails.append(mail)
            if rng.random() < 0.15:
                mails.append(mail)
            final[session] = entries
    rng.shuffle(mails)
    return mails, final
