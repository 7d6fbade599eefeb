#!/usr/bin/env python3
"""Checks that every include between the subsystem folders points down the
layering of docs/architecture.md: a file may include its own folder and the
folders its folder may include, nothing above. Exits 1 naming each include
that does not, 0 otherwise."""

import os
import re
import sys

# Each folder and the folders it may include (docs/architecture.md).
ALLOWED = {
    "platform": set(),
    "core": {"platform"},
    "expr": {"core", "platform"},
    "store": {"expr", "core", "platform"},
    "script": {"store", "expr", "core", "platform"},
    "template": {"script", "store", "expr", "core", "platform"},
    "mail": {"core", "platform"},
    "forms": {"template", "script", "store", "mail", "expr", "core", "platform"},
    "export": {"store", "expr", "core", "platform"},
    "records": {"forms", "export", "template", "script", "store", "expr", "core", "platform"},
    "check": {"forms", "mail", "template", "script", "store", "expr", "core", "platform"},
    "http": {"records", "export", "forms", "template", "script", "store", "mail", "expr",
             "core", "platform"},
    "collect": {"forms", "store", "mail", "expr", "core", "platform"},
    "server": {"http", "check", "records", "export", "forms", "template", "script", "store", "mail",
               "expr", "core", "platform"},
}

INCLUDE = re.compile(r'\s*#\s*include\s+"([a-z_]+)/')


def wrong_includes(root):
    for folder, allowed in ALLOWED.items():
        for dirpath, _, names in os.walk(os.path.join(root, folder)):
            for name in sorted(names):
                if not name.endswith((".cpp", ".hpp")):
                    continue
                path = os.path.join(dirpath, name)
                with open(path, encoding="utf-8", errors="replace") as source:
                    for number, line in enumerate(source, 1):
                        match = INCLUDE.match(line)
                        if not match:
                            continue
                        target = match.group(1)
                        if target in ALLOWED and target != folder and target not in allowed:
                            yield "%s:%d: %s/ may not include %s/" % (
                                os.path.relpath(path, root), number, folder, target)


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(
        os.path.dirname(os.path.abspath(__file__)))
    wrong = list(wrong_includes(root))
    for line in wrong:
        print(line)
    return 1 if wrong else 0


if __name__ == "__main__":
    sys.exit(main())
