"""The simulated unit as seen by `lxi scpi`, over VXI-11 and the raw socket, a connection a call.

Usage: /usr/bin/python3 lxi_peer.py <path of ts4820sim> [unittest options]"""

import os
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from simunit import start_for_module  # noqa: E402

ADDRESS = "127.0.0.25"
IDN = "Tarsel Ltd.,Xentra 4820-BB,0000beef,2.1.0\n"
PROTOCOLS = {"VXI-11": [], "raw socket": ["-r"]}
binary = None


def setUpModule():
    start_for_module(binary, ADDRESS, "--subtype", "BB", "--serial", "BEEF")


class LxiScpi(unittest.TestCase):
    def lxi(self, protocol, message):
        """Sends one message with lxi and returns what it printed."""
        done = subprocess.run(["lxi", "scpi", *PROTOCOLS[protocol], "-a", ADDRESS, message],
                              capture_output=True, text=True, timeout=60)
        self.assertEqual((done.returncode, done.stderr), (0, ""), "%s over %s" % (message, protocol))
        return done.stdout

    def test_each_protocol_sees_what_the_other_set(self):
        # A refused query still answers, with an empty reply (no preset is
        # stored); had the unit kept silent, lxi would fail with its time-out.
        for setter, reader in (("VXI-11", "raw socket"), ("raw socket", "VXI-11")):
            with self.subTest(setter=setter):
                name = setter[:3].lower()
                self.assertEqual(self.lxi(setter, 'ROUT:ALI X192,"%s"' % name), "")
                got = [self.lxi(reader, query) for query in ("*IDN?", "ROUT:ALI:CAT?", "MEM:PRES:NAME? 0")]
                self.assertEqual(got, [IDN, "#18X192=%s\n" % name, "\n"])


if __name__ == "__main__":
    binary = sys.argv.pop(1) if len(sys.argv) > 1 and not sys.argv[1].startswith("-") else sys.exit(__doc__)
    unittest.main()
