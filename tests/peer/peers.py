"""The simulated unit as seen by clients written elsewhere, pyvisa's pure-Python backend and `lxi scpi`,
over VXI-11 and the raw socket.

Usage: /usr/bin/python3 peers.py <path of ts4820sim> [unittest options]"""

import os
import subprocess
import sys
import tempfile
import unittest

import pyvisa

ADDRESS = "127.0.0.20"
IDN = "Tarsel Ltd.,Xentra 4820-AA,4820a0b1,2.1.0"
# Short and upper-case forms; the unit answers 8 lower-case digits.
PATTERN = "4,0,0,1,0,0,4,0,0,DEADBEEF,0,0,0,0,0,0,0,80000000"
WORDS = ",".join("%08x" % int(word, 16) for word in PATTERN.split(","))
ALIASES = ["X%d=%s" % (row, ("line %d " % row).ljust(31, ".")) for row in range(1, 97)]
binary = rm = None


def setUpModule():
    """Starts the unit, with a state folder of its own, and returns once both its servers listen. (How it
    stops on a signal: test_sim_process.)"""
    global rm
    folder = tempfile.TemporaryDirectory(prefix="ts4820peer-")
    unittest.addModuleCleanup(folder.cleanup)
    unit = subprocess.Popen([binary, "--address", ADDRESS, "--state", os.path.join(folder.name, "state"),
                             "--subtype", "AA", "--serial", "4820A0B1"], stdout=subprocess.PIPE, text=True)
    unittest.addModuleCleanup(lambda: (unit.kill(), unit.wait(), unit.stdout.close()))
    if "raw SCPI 5025" not in unit.stdout.readline():  # it says no more until it stops
        raise RuntimeError("ts4820sim did not start on %s" % ADDRESS)
    rm = pyvisa.ResourceManager("@py")
    unittest.addModuleCleanup(rm.close)


class Pyvisa(unittest.TestCase):
    def check(self, resource, name):
        inst = rm.open_resource(resource, read_termination="\n", write_termination="\n", timeout=10000)
        self.addCleanup(inst.close)
        self.assertEqual(inst.query("*IDN?"), IDN)
        # 17000 bytes go over VXI-11 in two device_write calls, only the second with END (pyvisa-py
        # sets END only on a last piece of at most 1024 bytes, hence the size); CR LF line ends and an
        # unknown key are accepted.
        head = ["configname=" + name, "mainrelays=" + PATTERN, "vrefvolt=4.5", "vrefrelays=9", "==alias=="]
        upload = "\r\n".join(head + ALIASES)
        filler = 17000 - len("MEM:PRES:DATA #512345\n") - len("note=\r\n") - len(upload)
        inst.write_binary_values("MEM:PRES:DATA ", ("note=%s\r\n%s" % ("n" * filler, upload)).encode(),
                                 datatype="B")
        inst.write('MEM:PRES:REC "%s"' % name)
        self.assertEqual([inst.query(q) for q in ("SYST:ERR?", "ROUT:MATR?", "MEM:PRES:CURR?")],
                         ['0,"No error"', WORDS, '"%s"' % name])
        # Read back in small pieces.
        data = inst.query_binary_values('MEM:PRES:DATA? "%s"' % name, datatype="B", container=bytes,
                                        chunk_size=512)
        head[1:3] = ["mainrelays=" + WORDS, "vrefvolt=4.500000"]
        self.assertEqual(data.decode(), "\n".join(head + ALIASES))

    def test_over_vxi11(self):
        self.check("TCPIP0::%s::INSTR" % ADDRESS, "Vxi")

    def test_over_raw_socket(self):
        self.check("TCPIP0::%s::5025::SOCKET" % ADDRESS, "Raw")


class LxiScpi(unittest.TestCase):
    def test_each_protocol_sees_what_the_other_set(self):
        # A connection a call. The refused query answers with an empty reply; had the unit kept silent, lxi
        # would fail with its time-out.
        for setter, reader in (([], ["-r"]), (["-r"], [])):
            name = "raw" if setter else "vxi"
            calls = [(setter, 'ROUT:ALI X96,"%s"' % name)] + [(reader, query) for query in
                                                             ("*IDN?", "ROUT:ALI? X96", "MEM:PRES:NAME? 99")]
            got = [subprocess.run(["lxi", "scpi", *options, "-a", ADDRESS, message], capture_output=True,
                                  text=True, timeout=60) for options, message in calls]
            self.assertEqual([(done.returncode, done.stdout, done.stderr) for done in got],
                             [(0, out, "") for out in ("", IDN + "\n", '"%s"\n' % name, "\n")], name)


if __name__ == "__main__":
    binary = sys.argv.pop(1) if len(sys.argv) > 1 and not sys.argv[1].startswith("-") else sys.exit(__doc__)
    unittest.main()
