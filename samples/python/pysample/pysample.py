"""KyrSample Python decryptor: restores files that the sample ransomware encrypted.

The sample ransomware pads a file to whole 16-byte blocks (PKCS#7), XORs it with
a repeating key and renames it to <name>.kyr. This decryptor reverses that. It
shows the Python decryptor contract: run(argc, argv) with argv[0] the package
folder, argv[1] the custom telemetry file and the user's arguments after them;
help() without arguments. The exit status is the number of files restored.
"""
import json
import os
import sys

import kyrpad  # pip library "kyrsample-pad"
import kyrxor  # library package "kyrxor" from the package server

DEFAULT_KEY = "kyrowan"
SUFFIX = ".kyr"


def help():
    print("KyrSample Python decryptor")
    print("Restores files encrypted by the KyrSample ransomware (<name>.kyr).")
    print("Arguments: [-key <key>] [-v] <file or folder>...")
    print("  -key <key>  the key the files were encrypted with (default: %s)" % DEFAULT_KEY)
    print("  -v          show the arguments received")
    print("Folders are searched for .kyr files; each is restored beside itself.")


def encrypted_files(paths):
    for path in paths:
        if os.path.isdir(path):
            for folder, _, names in sorted(os.walk(path)):
                for name in sorted(names):
                    if name.endswith(SUFFIX):
                        yield os.path.join(folder, name)
        elif os.path.isfile(path):
            yield path
        else:
            raise FileNotFoundError("no such file or folder: " + path)


def restore(path, key):
    with open(path, "rb") as source:
        data = kyrpad.unpad(kyrxor.xor(source.read(), key))
    target = path[:-len(SUFFIX)] if path.endswith(SUFFIX) else path + ".restored"
    with open(target, "wb") as out:
        out.write(data)
    print("Restored %s" % target)


def run(argc, argv):
    telemetry_file, arguments = argv[1], argv[2:argc]
    key, paths, verbose = DEFAULT_KEY, [], False
    i = 0
    while i < len(arguments):
        if arguments[i] == "-key" and i + 1 < len(arguments):
            key = arguments[i + 1]
            i += 2
            continue
        if arguments[i] == "-v":
            verbose = True
        else:
            paths.append(arguments[i])
        i += 1
    if verbose:
        print("Arguments: " + json.dumps(arguments))
    restored = 0
    for path in encrypted_files(paths):
        restore(path, key.encode("utf-8"))
        restored += 1
    with open(telemetry_file, "w") as out:
        json.dump({"restored": restored, "padVersion": kyrpad.__version__}, out)
    print("%d file(s) restored" % restored)
    # The status is the run's result; 255 would read as failure.
    sys.exit(min(restored, 254))
