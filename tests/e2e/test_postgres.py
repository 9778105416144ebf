"""kyrdecrypt-server storing telemetry in a real PostgreSQL server of the test's own."""

import json
import socket
import subprocess
import unittest

from harness import E2ETestCase, free_port


class PostgresTelemetryTest(E2ETestCase):
    def setUp(self):
        super().setUp()
        self.postgres = self.start_postgres()
        self.telemetry_options = ["--telemetry-postgres", self.postgres.connection]
        self.start_server()

    def upload(self, body):
        status, _, answer = self.request("PUT", "/telemetry/upload", body)
        return status, answer

    def test_each_acknowledged_report_is_a_row_with_its_time_and_address(self):
        reports = [{"machine": "{ABC}", "runs": [1, 2], "note": "é"}, {"text": "just text"}, {"name": "a\u0000b"}]
        for report in reports:
            self.assertEqual(self.upload(json.dumps(report).encode()), (200, b"stored\n"))
        self.assertEqual(self.upload(b"not json")[0], 400)
        rows = self.postgres.query("SELECT client_address, now() - received_at < interval '5 minutes', body "
                                   "FROM reports ORDER BY id").splitlines()
        # Each body exactly as sent, a NUL character included.
        self.assertEqual([row.split("|", 2) for row in rows],
                         [["127.0.0.1", "t", json.dumps(report)] for report in reports])
        # Kept as JSON the database understands, not as text.
        self.assertEqual(self.postgres.query("SELECT body->'runs'->>1 FROM reports WHERE id = 1"), "2\n")

    def test_a_report_the_database_did_not_commit_is_answered_with_an_error(self):
        self.postgres.stop()
        self.assertEqual(self.upload(b'{"lost": 1}'), (500, b"could not store the report\n"))
        done = subprocess.run(self.server_arguments(port=free_port()), capture_output=True, text=True, timeout=60)
        self.assertEqual(done.returncode, 1)
        self.assertTrue(done.stderr.startswith("kyrdecrypt-server: cannot use the PostgreSQL database: "), done.stderr)
        # The broken connection is replaced once the database is back; a restarted server
        # finds its schema in place.
        self.postgres.start()
        self.assertEqual(self.upload(b'{"kept": 2}')[0], 200)
        self.stop_server()
        self.start_server()
        self.assertEqual(self.upload(b'{"kept": 3}')[0], 200)
        self.assertEqual(self.postgres.query("SELECT body FROM reports ORDER BY id"), '{"kept": 2}\n{"kept": 3}\n')
        self.assertEqual(self.postgres.query("SELECT version FROM kyrdecrypt_schema"), "2\n")

    def test_an_unanswering_database_is_given_up_after_the_connect_timeout(self):
        silent = socket.create_server(("127.0.0.1", 0))  # takes connections, never answers
        self.addCleanup(silent.close)
        port = silent.getsockname()[1]
        # The connection string's own timeout wins over the default, which ends a start that
        # would otherwise wait forever; the subprocess bound fails the test otherwise.
        for options, bound in ((" connect_timeout=1", 8), ("", 60)):
            self.telemetry_options = ["--telemetry-postgres", f"host=127.0.0.1 port={port}{options}"]
            done = subprocess.run(self.server_arguments(port=free_port()), capture_output=True, text=True,
                                  timeout=bound)
            self.assertEqual(done.returncode, 1)
            self.assertIn("timeout expired", done.stderr)


if __name__ == "__main__":
    unittest.main()
