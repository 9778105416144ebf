"""Writes the signed-metadata fixtures of the unit tests with the openssl command line
alone, so the client's checks are tested against files our code did not make.

Each scenario is a folder: "tree/" is what the server serves, "first-root.json" the root a
build would carry, and "kept-snapshot.json" (when present) the snapshot this machine kept
from an earlier run. Usage: make_trust_fixtures.py OUT_FOLDER
"""

import base64
import hashlib
import json
import os
import subprocess
import sys
import tempfile

LATER, EARLIER = "2099-01-01T00:00:00Z", "2020-01-01T00:00:00Z"
LIST, ECHO = b"the package list\n", b"echo 1.0.0 package bytes"


def openssl(*arguments, data=None):
    return subprocess.run(["openssl", *arguments], input=data, check=True, capture_output=True).stdout


class Key:
    def __init__(self, folder, name):
        self.private = os.path.join(folder, name + ".pem")
        openssl("genpkey", "-algorithm", "RSA", "-pkeyopt", "rsa_keygen_bits:2048", "-out", self.private)
        self.public = openssl("pkey", "-in", self.private, "-pubout").decode()
        self.id = hashlib.sha256(openssl("pkey", "-in", self.private, "-pubout", "-outform", "DER")).hexdigest()

    def sign(self, data, digest="-sha256"):
        with tempfile.NamedTemporaryFile() as text:
            text.write(data)
            text.flush()
            return openssl("dgst", digest, "-sign", self.private, text.name)


def signed_file(signed, *keys):
    text = json.dumps(signed, sort_keys=True, separators=(",", ":")).encode()
    signatures = [{"keyid": key.id, "sig": base64.b64encode(key.sign(text)).decode()} for key in keys]
    return json.dumps({"signatures": signatures, "signed": signed}, indent=1)


def root(version, root_keys, snapshot_keys, expires=LATER, root_threshold=1, snapshot_threshold=1, packages=None):
    keys = {key.id: {"keytype": "rsa", "public": key.public} for key in {*root_keys, *snapshot_keys, *(packages or [])}}
    roles = {"root": {"keyids": [key.id for key in root_keys], "threshold": root_threshold},
             "snapshot": {"keyids": [key.id for key in snapshot_keys], "threshold": snapshot_threshold}}
    if packages:
        roles["packages"] = {"keyids": [key.id for key in packages], "threshold": 1}
    return {"_type": "root", "version": version, "expires": expires, "keys": keys, "roles": roles}


def snapshot(version, expires=LATER, echo=ECHO):
    files = {path: {"length": len(data), "sha256": hashlib.sha256(data).hexdigest()}
             for path, data in (("package/list/0.0.0", LIST), ("package/download/64/echo/1.0.0", echo))}
    return {"_type": "snapshot", "version": version, "expires": expires, "files": files}


def write(folder, relative, text):
    path = os.path.join(folder, *relative.split("/"))
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as out:
        out.write(text if isinstance(text, bytes) else text.encode())


def scenario(out, name, first, roots=(), served=None, kept=None, echo=ECHO):
    folder = os.path.join(out, name)
    write(folder, "first-root.json", first)
    tree = os.path.join(folder, "tree")
    write(tree, "package/list/0.0.0", LIST)
    write(tree, "package/download/64/echo/1.0.0", echo)
    for version, text in roots:
        write(tree, f"trust/root/{version}.json", text)
    if served:
        write(tree, "trust/snapshot.json", served)
    if kept:
        write(folder, "kept-snapshot.json", kept)


def main():
    out = sys.argv[1]
    keys = os.path.join(out, "keys")
    os.makedirs(keys, exist_ok=True)
    r1, r2, s1, s2, p = (Key(keys, name) for name in ("root1", "root2", "snapshot1", "snapshot2", "packages"))
    first = signed_file(root(1, [r1], [s1]), r1)
    good = signed_file(snapshot(2), s1)
    rotated = signed_file(root(2, [r2], [s2]), r1, r2)
    scenario(out, "current", first, served=good)
    scenario(out, "snapshot-expired", first, served=signed_file(snapshot(2, EARLIER), s1))
    scenario(out, "root-expired", first, [(2, signed_file(root(2, [r1], [s1], EARLIER), r1))], good)
    scenario(out, "rotated", first, [(2, rotated)], signed_file(snapshot(2), s2))
    scenario(out, "revoked-snapshot-key", first, [(2, rotated)], good)
    scenario(out, "root-not-signed-by-old-keys", first, [(2, signed_file(root(2, [r2], [s1]), r2))], good)
    two_of_two = signed_file(root(1, [r1], [s1, s2], snapshot_threshold=2), r1)
    scenario(out, "key-listed-twice", two_of_two, served=signed_file(snapshot(2), s1, s1))
    scenario(out, "two-keys-sign", two_of_two, served=signed_file(snapshot(2), s1, s2))
    scenario(out, "rollback", first, served=good, kept=signed_file(snapshot(5), s1))
    scenario(out, "recovered-after-lost-snapshot-key", first, [(2, rotated)], signed_file(snapshot(2), s2),
             kept=signed_file(snapshot(5), s1))
    scenario(out, "other-release", first, served=good, echo=ECHO.upper())  # same length, other bytes
    scenario(out, "endless", first, served=good, echo=ECHO + b"x" * 100000)
    scenario(out, "packages-key", signed_file(root(1, [r1], [s1], packages=[p]), r1), served=good)
    # A package signature as package files carry it: SHA-1, least significant byte first.
    write(out, "packages-key/signed-text", LIST)
    write(out, "packages-key/signature", base64.b64encode(p.sign(LIST, "-sha1")[::-1]))


if __name__ == "__main__":
    main()
