"""Units found with nothing configured, in two network namespaces of the test's own joined by a veth pair
(198.18.0.0/15): simulated units in one, the client in the other; for mDNS an avahi daemon on a bus of its
own in each. Every process ends with the test; exit code 77 (skipped) where namespaces cannot be made.

Usage: /usr/bin/python3 discovery.py <ts4820sim> <libvisa.so> <test_program_sim> [unittest options]"""

import json
import os
import subprocess
import sys
import tempfile
import time
import unittest

SIM = VISA = PANEL = None
UNITS, CLIENT, VETH = "ts4820-units-%d" % os.getpid(), "ts4820-client-%d" % os.getpid(), "ts4820v%d" % os.getpid()
FOLDER = tempfile.TemporaryDirectory(prefix="ts4820disc-")
processes = []
# Our VISA's search in the client namespace: seconds taken and the names found.
FIND = """import ctypes, json, sys, time
visa, rm, found, count, name = ctypes.CDLL(sys.argv[1]), ctypes.c_uint32(), ctypes.c_uint32(), ctypes.c_uint32(), \
    ctypes.create_string_buffer(256)
visa.viOpenDefaultRM(ctypes.byref(rm))
start = time.monotonic()
names = [] if visa.viFindRsrc(rm, b"?*", ctypes.byref(found), ctypes.byref(count), name) else [name.value.decode()]
names += [name.value.decode() for _ in range(count.value - 1) if visa.viFindNext(found, name) == 0]
print(json.dumps([time.monotonic() - start, names]))"""
# Answers the first broadcast from its own address with a flood: not RPC at all, or replies to other calls.
FLOOD = """import socket, sys, time
listen, out = socket.socket(socket.AF_INET, socket.SOCK_DGRAM), socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
listen.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
listen.bind(("0.0.0.0", 111))
out.bind(("198.18.0.30", 0))
listen.settimeout(20)
call, caller = listen.recvfrom(1500)
other = (int.from_bytes(call[:4], "big") + 1).to_bytes(4, "big") + bytes(20) + b"\\0\\0\\4\\0"
end, n = time.monotonic() + float(sys.argv[1]), 0
while time.monotonic() < end and n < 2000000:
    out.sendto(other if n % 2 else b"x" * (n % 97), caller)
    n += 1"""


def run(namespace, *command, env=None, timeout=60, **options):
    return subprocess.run(["ip", "netns", "exec", namespace, *command], env={**os.environ, **(env or {})},
                          timeout=timeout, capture_output=True, text=True, **options)


def start(namespace, *command, env=None, wait=1.0):
    processes.append(subprocess.Popen(["ip", "netns", "exec", namespace, *command], env={**os.environ, **(env or {})},
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
    time.sleep(wait)
    if processes[-1].poll() is not None:
        raise unittest.SkipTest("could not start %s" % command[0])


def find(discover="", bus="none", portmapper="111", conf="/nonexistent"):
    done = run(CLIENT, sys.executable, "-c", FIND, VISA, env={
        "TS4820_VISA_CONFIG": conf, "TS4820_VISA_DISCOVER": discover,
        "TS4820_VISA_PORTMAPPER_PORT": portmapper, "DBUS_SYSTEM_BUS_ADDRESS": "unix:path=" + bus})
    return json.loads(done.stdout)


def instr(*addresses):
    return ["TCPIP0::%s::inst0::INSTR" % a for a in addresses]


def setUpModule():
    setup = [["ip", "netns", "add", UNITS], ["ip", "netns", "add", CLIENT],
             ["ip", "link", "add", VETH + "u", "netns", UNITS, "type", "veth", "peer", VETH + "c", "netns", CLIENT]]
    for address in ("198.18.0.10/24", "198.18.0.11/24", "198.18.0.30/24", "198.18.7.10/24", "198.18.7.20/24"):
        setup.append(["ip", "-n", UNITS, "addr", "add", address, "brd", "+", "dev", VETH + "u"])
    setup += [["ip", "-n", CLIENT, "addr", "add", "198.18.0.1/24", "brd", "+", "dev", VETH + "c"]]
    setup += [["ip", "-n", ns, "link", "set", dev, "up"] for ns, dev in
              ((UNITS, "lo"), (UNITS, VETH + "u"), (CLIENT, "lo"), (CLIENT, VETH + "c"))]
    setup += [["ip", "-n", CLIENT, "route", "add", "198.18.7.0/24", "dev", VETH + "c"]]
    for command in setup:
        if subprocess.run(command, capture_output=True).returncode != 0:
            tearDownModule()
            print("skipped: network namespaces cannot be made here (%s)" % " ".join(command))
            sys.exit(77)
    # Two units on the client's network, one on another subnet of the same link.
    start(UNITS, SIM, "--address", "198.18.0.10", "--units", "2")
    start(UNITS, SIM, "--address", "198.18.7.10")


def tearDownModule():
    for p in processes:
        p.kill()
        p.wait()
    for ns in (UNITS, CLIENT):
        subprocess.run(["ip", "netns", "del", ns], capture_output=True)
    FOLDER.cleanup()


class Broadcast(unittest.TestCase):
    def test_units_of_the_client_network_and_of_subnets_configured(self):
        self.assertEqual(find()[1], instr("198.18.0.10", "198.18.0.11"))
        self.assertEqual(find("198.18.7.10")[1], instr("198.18.0.10", "198.18.0.11", "198.18.7.10"))
        self.assertEqual(find("off")[1], [])
        conf = os.path.join(FOLDER.name, "visa.conf")
        for text, expected in (("discover-window = 400\ndiscover-address = 198.18.7.10  # by the router\n",
                                instr("198.18.0.10", "198.18.0.11", "198.18.7.10")), ("discover = off\n", [])):
            with open(conf, "w") as f:
                f.write(text)
            self.assertEqual(find(conf=conf)[1], expected)
        lxi = run(CLIENT, "lxi", "discover").stdout
        self.assertEqual([a in lxi for a in ("198.18.0.10", "198.18.0.11", "198.18.7.10")], [True, True, False])

    def test_panel_offers_and_opens_what_the_network_has(self):
        done = run(CLIENT, PANEL, "autoFindOffersTheUnitsTheNetworkHas", timeout=120, env={
            "TS4820_NETWORK_UNITS": "198.18.0.10 198.18.0.11", "QT_QPA_PLATFORM": "offscreen",
            "TS4820_VISA_CONFIG": "/nonexistent", "DBUS_SYSTEM_BUS_ADDRESS": "unix:path=none"})
        self.assertIn("Totals: 3 passed, 0 failed, 0 skipped", done.stdout, done.stdout + done.stderr)

    def test_silence_and_a_flood_cost_only_the_window(self):
        seconds, names = find("window=300", portmapper="999")  # no one answers there
        self.assertEqual(names, [])
        self.assertLess(seconds, 0.3 + 0.5)
        start(UNITS, sys.executable, "-c", FLOOD, "3", wait=0.3)
        flooded, found = find("window=500")
        self.assertEqual(found, instr("198.18.0.10", "198.18.0.11"))
        self.assertLess(flooded, 0.5 + 0.5)  # the flood goes on for 3 s
        self.assertEqual(processes[-1].wait(10), 0)


class Mdns(unittest.TestCase):
    def test_units_that_only_announce_themselves(self):
        buses = {}
        for ns, name in ((UNITS, "units"), (CLIENT, "client")):
            bus, conf = os.path.join(FOLDER.name, name + ".bus"), os.path.join(FOLDER.name, name)
            allow = "".join('<allow %s_type="%s"/>' % (way, kind) for way in ("send", "receive")
                            for kind in ("method_call", "signal", "method_return", "error"))
            with open(conf + ".dbus", "w") as f:
                f.write('<busconfig><type>system</type><listen>unix:path=%s</listen><auth>EXTERNAL</auth><policy '
                        'context="default"><allow user="*"/><allow own="*"/>%s</policy></busconfig>' % (bus, allow))
            with open(conf + ".avahi", "w") as f:
                f.write("[server]\nhost-name=ts4820-%s\nuse-ipv6=no\nallow-interfaces=%s\n[publish]\n"
                        "publish-workstation=no\n" % (name, VETH + ("u" if ns == UNITS else "c")))
            start(ns, "dbus-daemon", "--nofork", "--config-file=" + conf + ".dbus", wait=0.3)
            buses[ns] = {"DBUS_SYSTEM_BUS_ADDRESS": "unix:path=" + bus}
            start(ns, "unshare", "-m", "sh", "-c", "mkdir -p /run/avahi-daemon && mount -t tmpfs none "
                  "/run/avahi-daemon && exec avahi-daemon --no-drop-root --no-chroot -f " + conf + ".avahi",
                  env=buses[ns])
        start(UNITS, SIM, "--address", "198.18.7.20", "--mdns", env=buses[UNITS])
        for _ in range(10):  # until the daemons have settled their names and announced
            found = find(bus=buses[CLIENT]["DBUS_SYSTEM_BUS_ADDRESS"][10:])[1]
            if len(found) == 4:
                break
        self.assertEqual(found, instr("198.18.0.10", "198.18.0.11", "198.18.7.20")
                         + ["TCPIP0::198.18.7.20::5025::SOCKET"])
        lxi = run(CLIENT, "lxi", "discover", "-m", env=buses[CLIENT]).stdout
        self.assertIn('"Xentra 4820-AB 48200714" on address 198.18.7.20', lxi)


if __name__ == "__main__":
    SIM, VISA, PANEL = sys.argv[1:4]
    unittest.main(argv=sys.argv[:1] + sys.argv[4:], verbosity=2)
