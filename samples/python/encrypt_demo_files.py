"""The sample ransomware: encrypts files for the demo so that pysample can restore them.

Usage: python3 encrypt_demo_files.py <key> <file>...   (each <file> becomes <file>.kyr)
"""
import os
import sys


def main():
    if len(sys.argv) < 3:
        sys.exit("usage: encrypt_demo_files.py <key> <file>...")
    key = sys.argv[1].encode("utf-8")
    for path in sys.argv[2:]:
        with open(path, "rb") as source:
            data = source.read()
        count = 16 - len(data) % 16
        data += bytes([count]) * count
        with open(path + ".kyr", "wb") as out:
            out.write(bytes(b ^ key[i % len(key)] for i, b in enumerate(data)))
        os.remove(path)
        print("Encrypted " + path + ".kyr")


if __name__ == "__main__":
    main()
