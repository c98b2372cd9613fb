"""The simulated unit as seen by `lxi scpi`, over VXI-11 and over the raw
socket. Every call is a connection of its own.

Usage: /usr/bin/python3 lxi_peer.py <path of ts4820sim> [unittest options]
"""

import os
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from simunit import start_for_module  # noqa: E402

ADDRESS = "127.0.0.25"
IDN = "Tarsel Ltd.,Xentra 4820-BB,0000beef,2.1.0"
PROTOCOLS = {"VXI-11": [], "raw socket": ["-r"]}

binary = None


def setUpModule():
    start_for_module(binary, ADDRESS, "--subtype", "BB", "--serial", "BEEF")


class LxiScpi(unittest.TestCase):
    def lxi(self, protocol, message):
        """Sends one message with lxi and returns what it printed."""
        done = subprocess.run(["lxi", "scpi"] + PROTOCOLS[protocol]
                              + ["-a", ADDRESS, message],
                              capture_output=True, text=True, timeout=60)
        self.assertEqual((done.returncode, done.stderr), (0, ""),
                         "%s over %s" % (message, protocol))
        return done.stdout

    def test_identification(self):
        for protocol in PROTOCOLS:
            with self.subTest(protocol):
                self.assertEqual(self.lxi(protocol, "*IDN?").rstrip("\n"), IDN)

    def test_command_then_query_in_other_connections(self):
        for setter, reader in (("VXI-11", "raw socket"), ("raw socket", "VXI-11")):
            with self.subTest(setter=setter):
                text = "TS-" + setter.split()[0]
                self.assertEqual(self.lxi(setter, 'SYST:ANUM "%s"' % text), "")
                self.assertEqual(self.lxi(reader, "SYST:ANUM?"), '"%s"\n' % text)

    def test_block_reply(self):
        self.lxi("VXI-11", 'ROUT:ALI X192,"end"')
        for protocol in PROTOCOLS:
            with self.subTest(protocol):
                self.assertEqual(self.lxi(protocol, "ROUT:ALI:CAT?"), "#18X192=end\n")

    def test_refused_query_still_answers_with_an_empty_reply(self):
        # No preset is stored, so index 0 is out of range. Had the unit kept
        # silent, lxi would fail with its time-out error.
        for protocol in PROTOCOLS:
            with self.subTest(protocol):
                self.assertEqual(self.lxi(protocol, "MEM:PRES:NAME? 0"), "\n")


if __name__ == "__main__":
    if len(sys.argv) < 2 or sys.argv[1].startswith("-"):
        sys.exit("usage: %s <path of ts4820sim> [unittest options]" % sys.argv[0])
    binary = sys.argv.pop(1)
    unittest.main()
