"""The simulated unit as seen by pyvisa's pure-Python backend, over VXI-11 and the raw socket.

Usage: /usr/bin/python3 pyvisa_peer.py <path of ts4820sim> [unittest options]"""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import pyvisa  # noqa: E402

from simunit import start_for_module  # noqa: E402

ADDRESS = "127.0.0.20"
NO_ERROR = '0,"No error"'
# Short and upper-case forms; the unit answers 8 lower-case digits.
PATTERN = "4,0,0,1,0,0,4,0,0,DEADBEEF,0,0,0,0,0,0,0,80000000"
WORDS = ",".join("%08x" % int(word, 16) for word in PATTERN.split(","))
ALIASES = ["X%d=%s" % (row, ("line %d " % row).ljust(31, ".")) for row in range(1, 97)]

binary = rm = None


def setUpModule():
    global rm
    start_for_module(binary, ADDRESS, "--subtype", "AA", "--serial", "4820A0B1")
    rm = pyvisa.ResourceManager("@py")
    unittest.addModuleCleanup(rm.close)


class Pyvisa(unittest.TestCase):
    def check(self, resource, name):
        inst = rm.open_resource(resource, read_termination="\n", write_termination="\n", timeout=10000)
        self.addCleanup(inst.close)
        self.assertEqual(inst.query("*IDN?"), "Tarsel Ltd.,Xentra 4820-AA,4820a0b1,2.1.0")
        # 17000 bytes go over VXI-11 in two device_write calls, only the second with END (pyvisa-py
        # sets END only on a last piece of at most 1024 bytes, hence the size); CR LF line ends and an
        # unknown key are accepted.
        head = ["configname=" + name, "mainrelays=" + PATTERN, "vrefvolt=4.5", "vrefrelays=9", "==alias=="]
        upload = "\r\n".join(head + ALIASES)
        filler = 17000 - len("MEM:PRES:DATA #512345\n") - len("note=\r\n") - len(upload)
        inst.write_binary_values("MEM:PRES:DATA ", ("note=%s\r\n%s" % ("n" * filler, upload)).encode(),
                                 datatype="B")
        inst.write("BOGUS:CMD")
        inst.write('MEM:PRES:REC "%s"' % name)
        self.assertEqual(inst.query("MEM:PRES:NAME? 99"), "")  # a refused query still answers
        queries = ["SYST:ERR?"] * 3 + ["ROUT:MATR?", "MEM:PRES:CURR?"]
        self.assertEqual([inst.query(q) for q in queries], ['-113,"Undefined header"',
                         '-222,"Data out of range"', NO_ERROR, WORDS, '"%s"' % name])
        # Read back in small pieces.
        data = inst.query_binary_values('MEM:PRES:DATA? "%s"' % name, datatype="B", container=bytes,
                                        chunk_size=512)
        head[1:3] = ["mainrelays=" + WORDS, "vrefvolt=4.500000"]
        self.assertEqual(data.decode(), "\n".join(head + ALIASES))

    def test_over_vxi11(self):
        self.check("TCPIP0::%s::INSTR" % ADDRESS, "Vxi")

    def test_over_raw_socket(self):
        self.check("TCPIP0::%s::5025::SOCKET" % ADDRESS, "Raw")


if __name__ == "__main__":
    binary = sys.argv.pop(1) if len(sys.argv) > 1 and not sys.argv[1].startswith("-") else sys.exit(__doc__)
    unittest.main()
