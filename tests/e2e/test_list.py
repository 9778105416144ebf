"""-list end to end: the real client against the real server, and against no server."""

import os
import unittest

from harness import BANNER, LIST_FAILED, LIST_HEADER, OPERATION_FAILED, E2ETestCase

INVALID_ARGUMENTS = 'Invalid arguments. Try KyrDecrypt "-help" for details\n'


class ListTest(E2ETestCase):
    def publish(self):
        # Folders without a package file are not versions on offer.
        os.makedirs(self.package_path("decryptors", "unfinished", "0.2"))
        os.makedirs(self.package_path("decryptors", "nothing-yet", "1.0"))
        for name, version in (("stampado", "1.0.0"), ("stampado", "1.10.0"), ("stampado", "1.9.0"),
                              ("jigsaw", "2.0")):
            self.add_package_file("decryptors", name, version, b"not read by -list")
        # Libraries are not decryptors on offer.
        self.add_package_file("libraries", "zlib", "1.0", b"not read")
        self.add_package_file("decryptors", "unfinished", "0.1", b"not read")

    def test_server_list_without_local_versions(self):
        self.publish()
        self.start_server()
        self.assertEqual(self.run_client("-list"),
                         BANNER + "\n" + LIST_HEADER +
                         "jigsaw\n[ 2.0 ]\n\n"
                         "stampado\n[ 1.0.0, 1.9.0, 1.10.0 ]\n\n"
                         "unfinished\n[ 0.1 ]\n\n")
        self.assertEqual(self.server.requests(1), ["GET /package/list/0.0.0 200 " +
                                                   str(len(self.server_list_text()))])
        self.assertEqual(self.read_catalogue(), '{"packages":[],"version":"0.0.0"}')

    def server_list_text(self):
        return ('{"packages":[{"name":"jigsaw","versions":["2.0"]},'
                '{"name":"stampado","versions":["1.0.0","1.9.0","1.10.0"]},'
                '{"name":"unfinished","versions":["0.1"]}],"version":"1.0.0"}')

    def test_local_versions_are_marked_and_versions_only_here_are_hidden(self):
        self.publish()
        self.write_catalogue('{"version":"0.0.0","packages":[{"name":"Stampado","versions":["1.10.0","1.0.0"]},'
                             '{"name":"withdrawn","versions":["9.9"]}]}')
        self.start_server()
        self.assertEqual(self.run_client("-list"),
                         BANNER + "\n" + LIST_HEADER +
                         "jigsaw\n[ 2.0 ]\n\n"
                         "stampado\n[ 1.0.0**, 1.9.0, 1.10.0** ]\n\n"
                         "unfinished\n[ 0.1 ]\n\n")
        # The run rewrites the catalogue it read, normalised.
        self.assertEqual(self.read_catalogue(),
                         '{"packages":[{"name":"stampado","versions":["1.0.0","1.10.0"]},'
                         '{"name":"withdrawn","versions":["9.9"]}],"version":"0.0.0"}')

    def test_server_down_shows_the_local_catalogue_all_marked(self):
        self.write_catalogue('{"packages":[{"name":"stampado","versions":["1.10.0","1.9.0"]}],"version":"0.0.0"}')
        self.assertEqual(self.run_client("-list"),
                         BANNER + "\n" + LIST_FAILED + LIST_HEADER +
                         "stampado\n[ 1.9.0**, 1.10.0** ]\n\n" + OPERATION_FAILED)

    def test_server_down_and_nothing_here(self):
        self.assertEqual(self.run_client("-list"), BANNER + "\n" + LIST_FAILED + LIST_HEADER + OPERATION_FAILED)

    def test_server_with_an_untrusted_certificate_counts_as_down(self):
        self.publish()
        self.start_server(certificate=self.config["other_cert"], key=self.config["other_key"])
        self.assertEqual(self.run_client("-list"), BANNER + "\n" + LIST_FAILED + LIST_HEADER + OPERATION_FAILED)
        # One connection, which ended without a request line.
        self.assertEqual(self.server.requests(1), ["- - - -"])

    def test_arguments_are_refused_without_asking_the_server(self):
        self.publish()
        self.start_server()
        self.assertEqual(self.run_client("-list", "stampado"), BANNER + INVALID_ARGUMENTS)
        self.assertEqual(self.run_client("-LIST"), BANNER + "\n" + LIST_HEADER +
                         "jigsaw\n[ 2.0 ]\n\n"
                         "stampado\n[ 1.0.0, 1.9.0, 1.10.0 ]\n\n"
                         "unfinished\n[ 0.1 ]\n\n")
        self.assertEqual([line.split(" ")[1] for line in self.server.requests(1)], ["/package/list/0.0.0"])


if __name__ == "__main__":
    unittest.main()
