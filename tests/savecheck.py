"""What the integrity tests share: a form that saves everywhere (data file,
index, XML file, outbox, response counter), a client that saves answers and
tells what the server said, and readers of the files it leaves."""

import os
import re
import urllib.parse

FORM_INI = ("[DATABASE]\nFORM=f.html\nSAVEDATA=1\nSAVEINDEXNAME=f.idx\nSAVEXML=1\n"
            "SAVEXMLNAME=f.xml\nSAVEEMAIL=1\nSAVEEMAILNAME=box@example.org\n"
            "EMAILSERVER={relay}\nMAXRESPONSES=100000\n[access]\nPWDAPPEND=(allow)\n")

FILES = {
    "f.html": "<form><INPUT TYPE=HIDDEN NAME=_SESSION></form>",
    "f.asc": "_SESSION\tname\n",
    "f.idx": "name\t_POS\n",
}


def form_files(relay="relay.example.org"):
    files = dict(FILES)
    files["f.ini"] = FORM_INI.format(relay=relay)
    return files


SAVED = "saved"
REFUSED = "refused"
NO_ANSWER = "no answer"


def save(server, session, name, action="SAVE", timeout=20):
    """Posts one save; SAVED, REFUSED or NO_ANSWER (the server died or the
    connection broke before a whole answer came)."""
    body = urllib.parse.urlencode([("DATABASE", "f"), ("_SESSION", session), ("name", name),
                                   ("_ACTION", action)]).encode()
    request = (b"POST /fwk HTTP/1.0\r\nContent-Length: %d\r\n\r\n" % len(body)) + body
    try:
        data = server.raw(request, close_write=False, timeout=timeout)
    except OSError:
        return NO_ANSWER
    if b"Thank you!" in data and data.rstrip().endswith(b"</html>"):
        return SAVED
    if b"Data were not saved" in data or b"Unable to" in data:
        return REFUSED
    return NO_ANSWER


def read_bytes(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except FileNotFoundError:
        return b""


def unquote(field):
    if field.startswith('"') and len(field) >= 2:
        return field[1:-1].replace('""', '"')
    return field


def records(root, form="f"):
    """(live, offset, fields) for every record line of a data file."""
    data = read_bytes(os.path.join(root, form + ".asc")).decode("utf-8", "replace")
    lines = data.split("\n")
    header = lines[0].split("\t")
    out = []
    offset = len(lines[0]) + 1
    for line in lines[1:]:
        if line.strip():
            fields = [unquote(f) for f in line.rstrip("\r").split("\t")]
            live = not line.startswith("#")
            if not live:
                fields[0] = unquote(fields[0][1:]) if fields[0].startswith("#") else fields[0]
            out.append((live, offset, dict(zip(header, fields))))
        offset += len(line.encode()) + 1
    return out


def live_records(root, form="f"):
    return [fields for live, _, fields in records(root, form) if live]


def counter(root, form="f"):
    data = read_bytes(os.path.join(root, form + ".respcount"))
    return int.from_bytes(data, "little") if len(data) == 4 else 0


def mails(root, names=("outbox.fwk", "outbox.bak", "outbox.bad")):
    """The answer names of the queued and sent mails, one per mail."""
    text = b"".join(read_bytes(os.path.join(root, n)) for n in names).decode("utf-8", "replace")
    return re.findall(r"\r\nname: ([^\r]*)\r\n", text)


def index_positions(root, form="f"):
    data = read_bytes(os.path.join(root, form + ".idx")).decode()
    return [(line.split("\t")[0], int(line.split("\t")[1]))
            for line in data.split("\n")[1:] if line.strip()]


def temporaries(root):
    return [n for n in os.listdir(root) if re.search(r"\.tmp-\d+$", n)]


def check_files(test, root, form="f"):
    """What must hold of the files whatever happened: one live record per
    session, a counter equal to the live responses, no temporary file left,
    and index lines that point at record starts."""
    live = live_records(root, form)
    sessions = [r["_SESSION"] for r in live]
    test.assertEqual(len(sessions), len(set(sessions)), "a session with two live records")
    test.assertEqual(counter(root, form), len(live), "counter and live responses differ")
    test.assertEqual(temporaries(root), [])
    starts = {offset for _, offset, _ in records(root, form)}
    for name, position in index_positions(root, form):
        test.assertIn(position, starts, "index line %s points into a record" % name)
