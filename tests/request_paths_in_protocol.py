#!/usr/bin/env python3
"""Fails when production code outside src/protocol/ spells a request path of the package
server, or writes the latest-version word as a literal in code, instead of taking both from
the protocol header. Prints each offending file and line."""

import pathlib
import re
import sys

ROOT = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).resolve().parent.parent)
SCANNED = ("src", "server", "tools")
HOME = ROOT / "src" / "protocol"
PATH_PARTS = ("/package/", "/library/", "/runtime/download", "/telemetry/upload", "latestver")
# Comments may name the word; code must use the constant.
LATEST_LITERAL = re.compile(r'L?"0\.0\.0"')


def production_files():
    for top in SCANNED:
        for path in sorted((ROOT / top).rglob("*")):
            if path.is_file() and HOME not in path.parents and not path.name.endswith("_test.cpp"):
                yield path


def findings(path):
    text = path.read_text(encoding="utf-8", errors="replace")
    for number, line in enumerate(text.splitlines(), 1):
        for part in PATH_PARTS:
            if part in line:
                yield number, f"spells the request path part '{part}'"
        if path.suffix in (".cpp", ".h") and LATEST_LITERAL.search(line.split("//", 1)[0]):
            yield number, "writes the latest-version word as a literal"


def main():
    problems = [f"{path.relative_to(ROOT)}:{number}: {what}; use src/protocol/server_protocol.h"
                for path in production_files() for number, what in findings(path)]
    print("\n".join(problems) if problems else "no request path or latest word outside src/protocol/")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
