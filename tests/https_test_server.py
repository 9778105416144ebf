#!/usr/bin/env python3
"""HTTPS servers for the HTTP client's unit tests, run on the build machine so that the
tests of both backends (the Windows ones under Wine) talk to the same servers.

    https_test_server.py start PORT_FILE   starts the control process, writes its port
    https_test_server.py stop PORT_FILE    ends it

Each test opens a connection to the control port, sends a command (one line per field,
then an empty line, then the payload until it ends its side) and reads the reply until
the control process closes:

    start, CERT, KEY        -> the port of a new HTTPS server
    answer, PORT, MODE      -> "ok"; the payload is the raw answer to every request
    requests, PORT          -> each request read so far as "LENGTH\\n" and its bytes
    connections, PORT       -> how many TCP connections it accepted
    stop, PORT              -> "ok"

The HTTPS servers answer every request with the same raw bytes, so tests can send answers
a well-behaved server never would (no Content-Length, a cut-off body, a stall). MODE is
answer, stall-before-handshake, stall-after-request or stall-after-answer."""

import os
import select
import socket
import ssl
import subprocess
import sys
import threading

POLL_SECONDS = 0.05
# A control process nobody has spoken to for this long was left behind: it ends itself.
IDLE_SECONDS = 1800
MODES = ("answer", "stall-before-handshake", "stall-after-request", "stall-after-answer")


def content_length(head):
    for line in head.split(b"\r\n")[1:]:
        name, _, value = line.partition(b":")
        if name.strip().lower() == b"content-length":
            return int(value.strip() or 0)
    return 0


def read_request(connection):
    request = b""
    while b"\r\n\r\n" not in request:
        data = connection.recv(4096)
        if not data:
            return None
        request += data
    head_end = request.index(b"\r\n\r\n")
    total = head_end + 4 + content_length(request[:head_end])
    while len(request) < total:
        data = connection.recv(4096)
        if not data:
            return None
        request += data
    return request


class HttpsServer:
    def __init__(self, certificate, key):
        self.context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        self.context.load_cert_chain(certificate, key)
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.port = self.listener.getsockname()[1]
        self.lock = threading.Lock()
        self.answer, self.mode = b"", "answer"
        self.requests, self.connections = [], 0
        self.stopping = threading.Event()
        self.thread = threading.Thread(target=self.serve, daemon=True)
        self.thread.start()

    def stop(self):
        self.stopping.set()

    def serve(self):
        # One connection at a time, as the tests expect of a simple server.
        while not self.stopping.is_set():
            if not select.select([self.listener], [], [], POLL_SECONDS)[0]:
                continue
            client, _ = self.listener.accept()
            with self.lock:
                self.connections += 1
                answer, mode = self.answer, self.mode
            try:
                self.handle(client, answer, mode)
            except (OSError, ValueError):
                pass  # a client that gave up or refused the certificate
            finally:
                client.close()
        self.listener.close()

    def wait_for_client_to_leave(self, connection):
        while not self.stopping.is_set():
            if not select.select([connection], [], [], POLL_SECONDS)[0]:
                continue
            # Unread TLS records (an alert, a close_notify) are drained: only a close ends the wait.
            if not connection.recv(1):
                return

    def handle(self, client, answer, mode):
        if mode == "stall-before-handshake":
            return self.wait_for_client_to_leave(client)
        client.settimeout(60)
        with self.context.wrap_socket(client, server_side=True) as connection:
            self.answer_request(connection, answer, mode)

    def answer_request(self, connection, answer, mode):
        request = read_request(connection)
        if request is None:
            return
        with self.lock:
            self.requests.append(request)
        if mode == "stall-after-request":
            return self.wait_for_client_to_leave(connection)
        connection.sendall(answer)
        if mode == "stall-after-answer":
            self.wait_for_client_to_leave(connection)
        # close_notify without waiting for the client's own.
        connection.setblocking(False)
        try:
            connection.unwrap()
        except (ssl.SSLError, OSError):
            pass


class Control:
    def __init__(self):
        self.servers = {}

    def run(self, command, payload):
        op, args = command[0], command[1:]
        if op == "start":
            server = HttpsServer(*args)
            self.servers[server.port] = server
            return str(server.port).encode()
        if op == "quit":
            return b"ok"
        server = self.servers[int(args[0])]
        if op == "answer":
            if args[1] not in MODES:
                raise ValueError(args[1])
            with server.lock:
                server.answer, server.mode = payload, args[1]
            return b"ok"
        if op == "requests":
            with server.lock:
                return b"".join(str(len(r)).encode() + b"\n" + r for r in server.requests)
        if op == "connections":
            with server.lock:
                return str(server.connections).encode()
        if op == "stop":
            self.servers.pop(server.port).stop()
            return b"ok"
        raise ValueError(op)


def read_command(client):
    data = b""
    while True:
        chunk = client.recv(65536)
        if not chunk:
            break
        data += chunk
    head, _, payload = data.partition(b"\n\n")
    return [field.decode() for field in head.split(b"\n")], payload


def serve(port_file):
    listener = socket.create_server(("127.0.0.1", 0))
    listener.settimeout(IDLE_SECONDS)
    temporary = port_file + ".new"
    with open(temporary, "w") as out:
        out.write(str(listener.getsockname()[1]))
    os.replace(temporary, port_file)
    print("ready", flush=True)
    sys.stdout.close()
    control = Control()
    while True:
        try:
            client, _ = listener.accept()
        except socket.timeout:
            break
        with client:
            command = [""]
            try:
                command, payload = read_command(client)
                reply = control.run(command, payload)
            except (KeyError, IndexError, ValueError, OSError, ssl.SSLError) as error:
                reply = b"error " + str(error).encode()
            client.sendall(reply)
            if command[0] == "quit":
                break
    for server in control.servers.values():
        server.stop()


def send_quit(port_file):
    try:
        with open(port_file) as given:
            port = int(given.read())
        with socket.create_connection(("127.0.0.1", port), timeout=10) as client:
            client.sendall(b"quit\n\n")
            client.shutdown(socket.SHUT_WR)
            client.recv(16)
    except (OSError, ValueError):
        pass  # none running
    if os.path.exists(port_file):
        os.remove(port_file)


def start(port_file):
    send_quit(port_file)  # one left behind by a run that was cut short
    log = open(port_file + ".log", "w")
    child = subprocess.Popen([sys.executable, __file__, "serve", port_file], stdin=subprocess.DEVNULL,
                             stdout=subprocess.PIPE, stderr=log, start_new_session=True)
    if child.stdout.readline() != b"ready\n":
        sys.exit(f"https_test_server: the control process did not start (see {port_file}.log)")
    print(f"https_test_server: control port in {port_file}")


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in ("start", "stop", "serve"):
        sys.exit(__doc__)
    {"start": start, "stop": send_quit, "serve": serve}[sys.argv[1]](sys.argv[2])


if __name__ == "__main__":
    main()
