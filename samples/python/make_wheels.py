"""Writes the wheels of the sample pip library "kyrsample-pad" into a folder.

No package index is reachable from the machines this runs on, so the sample's
pip dependency comes from a local folder of wheels, given to pip through its own
environment settings: PIP_NO_INDEX=1 PIP_FIND_LINKS=<folder>.

Usage: python3 make_wheels.py <folder> [version ...]   (default versions: 1.0 2.0)
"""
import base64
import hashlib
import os
import sys
import zipfile

DIST = "kyrsample_pad"

MODULE = '''"""Block padding for the sample decryptor."""

__version__ = "{version}"


def unpad(data):
    """Removes PKCS#7 padding; data that is not padded is returned as it is."""
    if not data:
        return data
    count = data[-1]
    if 0 < count <= 16 and len(data) >= count and data[-count:] == bytes([count]) * count:
        return data[:-count]
    return data
'''


def record_line(name, content):
    digest = base64.urlsafe_b64encode(hashlib.sha256(content).digest()).rstrip(b"=").decode()
    return "%s,sha256=%s,%d" % (name, digest, len(content))


def write_wheel(folder, version, module=MODULE):
    info = "%s-%s.dist-info" % (DIST, version)
    files = {
        "kyrpad.py": module.format(version=version).encode(),
        info + "/METADATA": ("Metadata-Version: 2.1\nName: kyrsample-pad\nVersion: %s\n"
                             "Summary: Block padding for the KyrDecrypt sample decryptor\n" % version).encode(),
        info + "/WHEEL": b"Wheel-Version: 1.0\nGenerator: make_wheels.py\nRoot-Is-Purelib: true\nTag: py3-none-any\n",
        info + "/top_level.txt": b"kyrpad\n",
    }
    lines = [record_line(name, content) for name, content in files.items()] + [info + "/RECORD,,"]
    files[info + "/RECORD"] = ("\n".join(lines) + "\n").encode()
    path = os.path.join(folder, "%s-%s-py3-none-any.whl" % (DIST, version))
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as wheel:
        for name, content in files.items():
            wheel.writestr(name, content)
    return path


def main():
    if len(sys.argv) < 2:
        sys.exit("usage: make_wheels.py <folder> [version ...]")
    os.makedirs(sys.argv[1], exist_ok=True)
    for version in sys.argv[2:] or ["1.0", "2.0"]:
        print(write_wheel(sys.argv[1], version))


if __name__ == "__main__":
    main()
