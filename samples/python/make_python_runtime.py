"""Lays out a relocatable Python runtime in a folder, from the interpreter that runs this file.

The folder becomes the files folder of the "python" runtime package:

    python                      the interpreter itself (a copy, not a link)
    python._pth                 the module search path, relative to the folder
    lib/python3.X/...           a copy of the standard library and its extension modules
    <purelib>/pip               pip, where the interpreter installs libraries

The ._pth file fixes the search path to those three folders: the interpreter
runs isolated (no PYTHONPATH, no user or system site-packages, no "site"
module) from wherever the package is unpacked.

Usage: python3 make_python_runtime.py <empty output folder>
"""
import os
import shutil
import subprocess
import sys
import sysconfig
import tempfile

# Parts of the standard library a decryptor never needs (and the distributor's own markers).
SKIPPED = {"test", "idlelib", "tkinter", "turtledemo", "lib2to3", "pydoc_data", "ensurepip",
           "site-packages", "dist-packages", "__pycache__", "EXTERNALLY-MANAGED", "sitecustomize.py"}


def fail(text):
    sys.exit("make_python_runtime: " + text)


def copy_tree(source, target, skipped=()):
    def ignore(folder, names):
        return [n for n in names if n in skipped or n.startswith("config-") or n == "__pycache__"]
    # Links are followed: the package must not point back into this machine's Python.
    shutil.copytree(source, target, symlinks=False, ignore=ignore, ignore_dangling_symlinks=True)


def fill_empty_files(folder):
    """Gives every empty file a line end: the client cannot map, hence cannot verify, an empty file."""
    for parent, _, names in os.walk(folder):
        for name in names:
            path = os.path.join(parent, name)
            if os.path.getsize(path) == 0:
                with open(path, "w") as empty:
                    empty.write("\n")


def loads_libpython():
    """Whether this interpreter runs from a shared libpython (which a copy would not carry)."""
    try:
        with open("/proc/self/maps") as maps:
            return any("libpython" in line for line in maps)
    except OSError:
        return bool(sysconfig.get_config_var("Py_ENABLE_SHARED"))


def ask(interpreter, code, *options):
    return subprocess.run([interpreter, *options, "-c", code], check=True, capture_output=True,
                          text=True).stdout.strip()


def copy_pip(target_purelib):
    """Copies the pip a fresh virtual environment of this interpreter receives (offline)."""
    with tempfile.TemporaryDirectory() as work:
        venv = os.path.join(work, "venv")
        subprocess.run([sys.executable, "-m", "venv", "--copies", venv], check=True)
        source = ask(os.path.join(venv, "bin", "python"), "import sysconfig; print(sysconfig.get_paths()['purelib'])")
        os.makedirs(target_purelib, exist_ok=True)
        for name in os.listdir(source):
            if name == "pip" or (name.startswith("pip-") and name.endswith(".dist-info")):
                copy_tree(os.path.join(source, name), os.path.join(target_purelib, name))
    if not os.path.isdir(os.path.join(target_purelib, "pip")):
        fail("the virtual environment came without pip (install python3-venv)")


def main():
    if len(sys.argv) != 2:
        fail("usage: make_python_runtime.py <output folder>")
    out = os.path.abspath(sys.argv[1])
    if os.path.exists(out) and os.listdir(out):
        fail(out + " is not empty")
    if loads_libpython():
        fail(sys.executable + " loads libpython from its build location; use a statically linked "
             "interpreter such as Debian's /usr/bin/python3")
    version = "python%d.%d" % sys.version_info[:2]
    stdlib = os.path.join(out, "lib", version)
    os.makedirs(out, exist_ok=True)
    shutil.copy2(os.path.realpath(sys.executable), os.path.join(out, "python"))
    copy_tree(sysconfig.get_paths()["stdlib"], stdlib, SKIPPED)
    dynload = sysconfig.get_config_var("DESTSHARED")
    if dynload and not os.path.isdir(os.path.join(stdlib, "lib-dynload")):
        copy_tree(dynload, os.path.join(stdlib, "lib-dynload"))

    interpreter = os.path.join(out, "python")
    purelib = ask(interpreter, "import sysconfig; print(sysconfig.get_paths()['purelib'])", "-I", "-S")
    if os.path.commonpath([purelib, out]) != out:
        fail("the copied interpreter installs outside its folder: " + purelib)
    copy_pip(purelib)
    with open(os.path.join(out, "python._pth"), "w") as pth:
        for folder in (stdlib, os.path.join(stdlib, "lib-dynload"), purelib):
            pth.write(os.path.relpath(folder, out) + "\n")

    fill_empty_files(out)

    # The result must stand on its own: no search path may leave the folder.
    paths = ask(interpreter, "import sys; print('\\n'.join(sys.path))").splitlines()
    outside = [p for p in paths if os.path.commonpath([os.path.abspath(p), out]) != out]
    if outside:
        fail("search path leaves the runtime folder: " + ", ".join(outside))
    subprocess.run([interpreter, "-m", "pip", "--version"], check=True)
    print("%d.%d.%d" % sys.version_info[:3])


if __name__ == "__main__":
    main()
