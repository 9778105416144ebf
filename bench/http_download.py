#!/usr/bin/env python3
"""Times one large streamed HTTPS download by the client's HTTP backend.

    http_download.py [--build DIR] [--size-mib N] [--repeat N] [--threads]

Serves N MiB (default 256) of random bytes over HTTPS on localhost with the unit tests'
TLS material (DIR/test-tls) and runs DIR/kyr-http-download-bench against it: under Wine
(scripts/wine-run.sh, in the unit tests' Wine prefix, which trusts the test CA) for a
Windows build, directly for a Linux one. Prints the wall time of each run and the
median. With --threads it also counts the threads the program created (clone calls under
strace) for the download and for a one-byte answer; the difference is what the download
itself cost.
"""

import argparse
import os
import re
import socket
import ssl
import statistics
import subprocess
import sys
import tempfile
import threading

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BLOCK = os.urandom(1 << 20)


def serve(listener, context, sizes):
    while True:
        client, _ = listener.accept()
        threading.Thread(target=answer, args=(client, context, sizes), daemon=True).start()


def answer(client, context, sizes):
    try:
        with context.wrap_socket(client, server_side=True) as connection:
            request = b""
            while b"\r\n\r\n" not in request:
                data = connection.recv(4096)
                if not data:
                    return
                request += data
            size = sizes[request.split(b" ")[1].decode()]
            connection.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: %d\r\nConnection: close\r\n\r\n" % size)
            while size > 0:
                piece = BLOCK[: min(size, len(BLOCK))]
                connection.sendall(piece)
                size -= len(piece)
    except (OSError, ssl.SSLError):
        pass


def command(build, port, path):
    program = os.path.join(build, "kyr-http-download-bench")
    if os.path.exists(program + ".exe"):
        return [os.path.join(SOURCE, "scripts", "wine-run.sh"), program + ".exe", "localhost", str(port), path]
    return [program, "localhost", str(port), path, os.path.join(build, "test-tls", "ca-cert.pem")]


def windows_setup(build):
    add_cert = os.path.join(build, "kyr-add-root-cert.exe")
    if os.path.exists(add_cert):
        subprocess.run([os.path.join(SOURCE, "scripts", "wine-run.sh"), add_cert,
                        os.path.join(build, "test-tls", "ca-cert.pem")], check=True)


def run_once(build, port, path):
    result = subprocess.run(command(build, port, path), capture_output=True, text=True)
    match = re.search(r"ok (\d+) bytes in ([\d.]+) s", result.stdout)
    if not match:
        sys.exit("bench: " + result.stdout + result.stderr)
    return int(match.group(1)), float(match.group(2))


def threads_created(build, port, path):
    with tempfile.NamedTemporaryFile("r") as trace:
        subprocess.run(["strace", "-f", "-qq", "-e", "trace=clone,clone3", "-o", trace.name]
                       + command(build, port, path), capture_output=True, check=True)
        return sum(1 for line in trace if re.search(r"\bclone3?\(", line))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default=os.path.join(SOURCE, "build-windows"))
    parser.add_argument("--size-mib", type=int, default=256)
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--threads", action="store_true")
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    tls = os.path.join(build, "test-tls")
    context.load_cert_chain(os.path.join(tls, "server-cert.pem"), os.path.join(tls, "server-key.pem"))
    listener = socket.create_server(("127.0.0.1", 0))
    port = listener.getsockname()[1]
    sizes = {"/large": args.size_mib << 20, "/tiny": 1}
    threading.Thread(target=serve, args=(listener, context, sizes), daemon=True).start()
    windows_setup(build)
    run_once(build, port, "/tiny")  # warms Wine and the page cache
    times = []
    for _ in range(args.repeat):
        received, seconds = run_once(build, port, "/large")
        if received != sizes["/large"]:
            sys.exit(f"bench: {received} of {sizes['/large']} bytes")
        times.append(seconds)
        print(f"{args.size_mib} MiB in {seconds:.2f} s")
    print(f"median {statistics.median(times):.2f} s, {args.size_mib / statistics.median(times):.0f} MiB/s")
    if args.threads:
        large, tiny = threads_created(build, port, "/large"), threads_created(build, port, "/tiny")
        print(f"threads created: {large} for {args.size_mib} MiB, {tiny} for one byte, {large - tiny} by the download")


if __name__ == "__main__":
    main()
