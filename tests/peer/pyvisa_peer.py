"""The simulated unit as seen by pyvisa's pure-Python backend, over VXI-11 and the raw socket.

Usage: /usr/bin/python3 pyvisa_peer.py <path of ts4820sim> [unittest options]"""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import pyvisa  # noqa: E402

from simunit import start_for_module  # noqa: E402

ADDRESS = "127.0.0.20"
VXI11 = "TCPIP0::%s::INSTR" % ADDRESS
SOCKET = "TCPIP0::%s::5025::SOCKET" % ADDRESS
NO_ERROR = '0,"No error"'
# X3, A3, D96 and B1..B32 closed, in short and upper-case forms; the unit answers 8 lower-case digits.
PATTERN = "4,0,0,1,0,0,4,0,0,DEADBEEF,0,0,0,0,0,0,0,80000000"
WORDS = ",".join("%08x" % int(word, 16) for word in PATTERN.split(","))

binary = rm = None


def open_session(resource):
    return rm.open_resource(resource, read_termination="\n", write_termination="\n", timeout=10000)


def setUpModule():
    global rm
    start_for_module(binary, ADDRESS, "--subtype", "AA", "--serial", "4820A0B1")
    rm = pyvisa.ResourceManager("@py")
    unittest.addModuleCleanup(rm.close)
    with open_session(SOCKET) as inst:  # every test starts from this: nothing closed, no names
        inst.write('MEM:PRES:STOR "Blank"')


class PeerChecks:
    """The same checks over each protocol, named with their presets' prefix by a subclass."""

    @classmethod
    def setUpClass(cls):
        cls.inst = open_session(cls.RESOURCE)
        cls.addClassCleanup(cls.inst.close)

    def setUp(self):
        self.inst.write("*CLS")
        self.command('MEM:PRES:REC "Blank"')

    def command(self, message, error=NO_ERROR):
        self.inst.write(message)
        self.assertEqual(self.inst.query("SYST:ERR?"), error, message)

    def block(self, query):
        return self.inst.query_binary_values(query, datatype="B", container=bytes)

    def test_configuration_reads_back_exactly(self):
        self.assertEqual(self.inst.query("*IDN?"), "Tarsel Ltd.,Xentra 4820-AA,4820a0b1,2.1.0")
        self.command("ROUT:MATR " + PATTERN)
        self.command("ROUT:MATR " + ",".join(["FFFFFFFF"] * 17), '-109,"Missing parameter"')
        self.assertEqual(self.inst.query("route:matrix:state?"), WORDS)  # the short one moved nothing
        self.command('ROUT:ALI X12,"Sense+"')
        self.command("ROUT:ALI a,'bus'")
        self.command('ROUT:ALI X3,"a=b"', '-151,"Invalid string data"')
        self.assertEqual(self.inst.query("ROUT:ALI? x012"), '"Sense+"')
        self.assertEqual(self.block("ROUT:ALI:CAT?"), b"X12=Sense+,A=bus")
        self.command("SOUR:VOLT 4.4")
        self.command("SOUR:VOLT 100", '-222,"Data out of range"')
        self.command("SOUR:VOLT:LINK D,1")
        self.assertEqual([self.inst.query(q) for q in ("SOUR:VOLT?", "SOUR:VOLT:LINK? d")], ["4.5", "1"])

    def test_presets_travel_both_ways(self):
        # 17000 bytes go over VXI-11 in two device_write calls, only the second with END (pyvisa-py
        # sets END only on a last piece of at most 1024 bytes, hence the size); CR LF line ends and an
        # unknown key are accepted. The download is read in small pieces.
        name, copy = self.PREFIX + "_bench", self.PREFIX + "-copy"
        for preset in (name, copy):
            self.addCleanup(self.inst.write, 'MEM:PRES:DEL "%s"' % preset)
        aliases = ["X%d=%s" % (row, ("line %d " % row).ljust(31, ".")) for row in range(1, 97)]
        upload = "\r\n".join(["configname=" + copy, "mainrelays=" + PATTERN, "vrefvolt=4.5", "vrefrelays=9",
                               "==alias=="] + aliases)
        upload = "note=%s\r\n%s" % ("n" * (17000 - len("MEM:PRES:DATA #512345\n") - 7 - len(upload)), upload)
        self.inst.write_binary_values("MEM:PRES:DATA ", upload.encode(), datatype="B")
        self.assertEqual(self.inst.query("SYST:ERR?"), NO_ERROR)
        self.inst.write_binary_values("MEM:PRES:DATA ", b"configname=Bad\nmainrelays=0", datatype="B")
        self.assertEqual(self.inst.query("SYST:ERR?"), '-161,"Invalid block data"')
        self.command('MEM:PRES:REC "%s"' % copy)
        self.assertEqual(self.block("ROUT:ALI:CAT?").decode(), ",".join(aliases))
        self.command("SOUR:VOLT:LINK B,ON")
        self.assertEqual([self.inst.query(q) for q in ("ROUT:MATR?", "SOUR:VOLT?", "MEM:PRES:CURR?")],
                         [WORDS, "4.5", '"%s*"' % copy])
        self.command('MEM:PRES:STOR "%s"' % name)
        data = self.inst.query_binary_values('MEM:PRES:DATA? "%s"' % name, datatype="B", container=bytes,
                                             chunk_size=512)
        head = ["configname=" + name, "mainrelays=" + WORDS, "vrefvolt=4.500000", "vrefrelays=b", "==alias=="]
        self.assertEqual(data.decode(), "\n".join(head + aliases))
        self.assertEqual(self.block("MEM:PRES:CAT?"), ("Blank,%s,%s" % (copy, name)).encode())
        self.command('MEM:PRES:REC "%s-none"' % self.PREFIX, '-256,"File name not found"')

    def test_error_queue_and_refused_queries(self):
        self.inst.write("BOGUS:CMD")
        self.inst.write('ROUT:ALI X200,"in"')
        self.assertEqual([self.inst.query("SYST:ERR?") for _ in range(3)],
                         ['-113,"Undefined header"', '-222,"Data out of range"', NO_ERROR])
        self.assertEqual(self.inst.query("MEM:PRES:NAME? 99"), "")  # a refused query still answers
        self.assertEqual(self.inst.query("SYST:ERR?"), '-222,"Data out of range"')


class OverVxi11(PeerChecks, unittest.TestCase):
    RESOURCE, PREFIX = VXI11, "Vxi"


class OverRawSocket(PeerChecks, unittest.TestCase):
    RESOURCE, PREFIX = SOCKET, "Raw"


class BothSessionsAtOnce(unittest.TestCase):
    def test_state_is_shared_and_error_queues_are_not(self):
        vxi, raw = open_session(VXI11), open_session(SOCKET)
        self.addCleanup(vxi.close)
        self.addCleanup(raw.close)
        vxi.write("ROUT:MATR " + PATTERN)
        vxi.write("BOGUS:CMD")
        self.assertEqual([raw.query("ROUT:MATR?"), raw.query("SYST:ERR?")], [WORDS, NO_ERROR])
        self.assertEqual(vxi.query("SYST:ERR?"), '-113,"Undefined header"')
        raw.write("*RST")
        self.assertEqual(raw.query("*OPC?"), "1")  # only an answer on its own connection tells it is done
        self.assertEqual(vxi.query("ROUT:MATR?"), ",".join(["00000000"] * 18))


if __name__ == "__main__":
    binary = sys.argv.pop(1) if len(sys.argv) > 1 and not sys.argv[1].startswith("-") else sys.exit(__doc__)
    unittest.main()
