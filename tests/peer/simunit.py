"""Runs one ts4820sim for a peer test module, on a loopback address with a state folder of its own."""

import os
import signal
import subprocess
import tempfile
import time
import unittest


def start_for_module(binary, address, *options):
    """Returns once the unit has printed its first line (both servers listen). A module cleanup, run also
    when the rest of setUpModule fails, stops it with SIGTERM; it must then exit with code 0."""
    folder = tempfile.TemporaryDirectory(prefix="ts4820peer-")
    output = open(os.path.join(folder.name, "output"), "w+")  # a file never fills as a pipe would
    unit = subprocess.Popen([binary, "--address", address, "--state", os.path.join(folder.name, "state"),
                             *options], stdout=output, stderr=subprocess.STDOUT)

    def stop():
        unit.send_signal(signal.SIGTERM)
        try:
            code = unit.wait(30)
        except subprocess.TimeoutExpired:
            unit.kill()
            code = "none, it ignored SIGTERM"
        unit.wait()
        output.seek(0)
        said = output.read().strip()
        output.close()
        folder.cleanup()
        if code != 0:
            raise AssertionError("ts4820sim on %s exited with code %s: %s" % (address, code, said))

    unittest.addModuleCleanup(stop)
    for _ in range(300):
        if os.path.getsize(output.name) or unit.poll() is not None:
            return
        time.sleep(0.1)
    raise RuntimeError("ts4820sim did not come up on %s within 30 s" % address)
