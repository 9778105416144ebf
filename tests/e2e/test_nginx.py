"""A published tree served by nginx: kyrpack publish, then the real client against nginx,
with telemetry uploads proxied to kyrdecrypt-server."""

import http.client
import json
import os
import sqlite3
import ssl
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
import test_packages as packages  # noqa: E402


class NginxTest(harness.E2ETestCase):
    def setUp(self):
        super().setUp()
        decryptor, library = os.environ.get("KYR_E2E_ECHO"), os.environ.get("KYR_E2E_ECHO_UTIL")
        if not (decryptor and library):
            self.fail("KYR_E2E_ECHO and KYR_E2E_ECHO_UTIL must be set (run through ctest)")
        files = [self.pack("library", "echoutil", "1.0.0", {packages.LIBRARY_FILE: library})]
        files += [self.pack("decryptor", "echo", version, *packages.echo_decryptor(decryptor))
                  for version in ("1.0.0", "1.1.0")]
        self.latest = files[-1]
        self.kyrpack("publish", "--public", self.config["signing_public_key"], "--repo", self.repository, *files)
        self.upstream = harness.free_port()
        self.start_server(port=self.upstream, options=("--trusted-proxy", "127.0.0.1", "--reports-per-minute", "1"))
        self.nginx = self.start_nginx(self.upstream)

    def test_list_get_and_run_against_nginx(self):
        self.assertEqual(self.run_client("-list"),
                         harness.BANNER + "\n" + harness.LIST_HEADER + "echo\n[ 1.0.0, 1.1.0 ]\n\n")
        self.assertEqual(self.run_client("-get", "echo"), packages.BANNER + packages.GETTING + packages.SUCCEEDED)
        out = self.run_client("-run", "echo", "-args", "one")
        self.assertTrue(out.endswith("echo: arg[2]=one\n" + packages.SUCCEEDED), out)
        with sqlite3.connect(self.database) as database:
            [(body,)] = database.execute("SELECT body FROM reports").fetchall()
        self.assertEqual(json.loads(body)["decryptor"]["totaldecrypt"], 41)
        library = os.path.getsize(self.package_path("libraries", "echoutil", "1.0.0"))
        self.assertEqual(self.nginx.requests(5), [
            "GET /package/list/0.0.0 200 77",
            "GET /package/query/latestver/64/echo 200 5",
            f"GET /package/download/64/echo/1.1.0 200 {os.path.getsize(self.latest)}",
            f"GET /library/download/64/echoutil/1.0.0 200 {library}",
            "PUT /telemetry/upload 200 7",
        ])

    def test_uploads_count_and_store_the_address_nginx_forwards(self):
        # Clients on loopback addresses other than nginx's own; a forged header is never believed.
        forged = {"X-Forwarded-For": "203.0.113.9", "X-Real-IP": "203.0.113.9"}
        answers = [self.request("PUT", "/telemetry/upload", b'{"n": 1}', forged, source="127.0.0.2")[0],
                   self.request("PUT", "/telemetry/upload", b'{"n": 2}', source="127.0.0.3")[0],
                   self.request("PUT", "/telemetry/upload", b'{"n": 3}', source="127.0.0.2")[0],
                   self.request("PUT", "/telemetry/upload", b'{"n": 4}', forged, self.upstream, "127.0.0.4")[0]]
        self.assertEqual(answers, [200, 200, 429, 200])
        with sqlite3.connect(self.database) as database:
            rows = database.execute("SELECT client_address, body FROM reports ORDER BY id").fetchall()
        self.assertEqual(rows, [("127.0.0.2", '{"n": 1}'), ("127.0.0.3", '{"n": 2}'), ("127.0.0.4", '{"n": 4}')])
        logged = [line.split(" ", 1)[0] for line in self.server.requests(4, with_client=True)]
        self.assertEqual(logged, ["127.0.0.2", "127.0.0.3", "127.0.0.2", "127.0.0.4"])

    def test_download_without_a_version_is_the_latest_with_its_length(self):
        context = ssl.create_default_context(cafile=self.config["ca_cert"])
        connection = http.client.HTTPSConnection("127.0.0.1", self.port, context=context, timeout=30)
        self.addCleanup(connection.close)
        connection.request("GET", "/package/download/64/echo")
        response = connection.getresponse()
        body = response.read()
        with open(self.latest, "rb") as package:
            self.assertEqual((response.status, body), (200, package.read()))
        self.assertEqual(response.getheader("Content-Length"), str(len(body)))


if __name__ == "__main__":
    unittest.main()
