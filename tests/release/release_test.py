"""The release: tools/release.sh, run here with a throwaway code-signing certificate.

Its build, from a copy of the sources in another folder and at another time, must give the
same bytes as the test run's own build of the shipped exe; its signed exe must pass the
signature check and every check of the shipped exe (a test of its own runs it under Wine).
"""

import os
import subprocess
import sys
import tempfile
import unittest

BUILT_EXE = sys.argv[1]
SOURCE = os.path.normpath(os.path.join(os.path.dirname(__file__), "..", ".."))
WORK = sys.argv[2]
CHECK_EXE = os.path.join(SOURCE, "tests", "pe", "check_exe.py")


def run(*command, **options):
    return subprocess.run(command, check=True, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          timeout=600, **options).stdout.decode()


class Release(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.keys = tempfile.TemporaryDirectory()
        cls.cert = os.path.join(cls.keys.name, "cert.pem")
        key = os.path.join(cls.keys.name, "key.pem")
        run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-keyout", key,
            "-out", cls.cert, "-subj", "/CN=Tallowbrisk Cleaner test signing",
            "-addext", "extendedKeyUsage=codeSigning")
        cls.build = os.path.realpath(os.path.join(WORK, "build"))
        cls.dist = os.path.realpath(os.path.join(WORK, "dist"))
        environment = dict(os.environ, SIGN_CERT=cls.cert, SIGN_KEY=key, RELEASE_BUILD=cls.build, DIST=cls.dist)
        cls.output = run(os.path.join(SOURCE, "tools", "release.sh"), env=environment)
        cls.signed = os.path.join(cls.dist, "TallowbriskCleaner.exe")

    @classmethod
    def tearDownClass(cls):
        cls.keys.cleanup()

    def test_a_build_elsewhere_gives_the_same_bytes(self):
        with open(BUILT_EXE, "rb") as ours, open(os.path.join(self.build, "x86", "app", "TallowbriskCleaner.exe"),
                                                   "rb") as theirs:
            self.assertTrue(ours.read() == theirs.read(), "the two builds differ")

    def test_the_signature_checks_out_and_the_checksum_names_the_signed_exe(self):
        self.assertIn("is signed, and its signature checks out", self.output)
        verified = run("osslsigncode", "verify", "-CAfile", self.cert, "-in", self.signed)
        self.assertIn("Signature verification: ok", verified)
        self.assertIn("Message digest algorithm  : SHA256", verified)
        run("sha256sum", "--check", "--strict", "SHA256SUMS", cwd=self.dist)

    def test_the_signed_exe_passes_the_checks_of_the_shipped_exe(self):
        run(sys.executable, CHECK_EXE, self.signed)

    def test_without_its_signature_the_signed_exe_is_the_build_byte_for_byte(self):
        unsigned = os.path.join(self.keys.name, "unsigned.exe")
        run("osslsigncode", "remove-signature", "-in", self.signed, "-out", unsigned)
        with open(BUILT_EXE, "rb") as ours, open(unsigned, "rb") as theirs:
            self.assertTrue(ours.read() == theirs.read(), "the signature changed more than itself")


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
