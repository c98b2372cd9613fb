"""Runs one ts4820sim for the peer tests: started on a loopback address with
a state folder of its own, stopped with SIGTERM."""

import os
import signal
import subprocess
import tempfile
import threading
import unittest


def start_for_module(binary, address, *options):
    """Starts a unit for the calling test module. A module cleanup stops it
    and fails the run unless it exits with code 0; unlike tearDownModule it
    also runs when the rest of setUpModule fails, so no unit is left behind."""
    unit = SimUnit(binary, address, *options)
    unit.start()

    def stop():
        code = unit.stop()
        if code != 0:
            raise AssertionError("ts4820sim exited with code %d after SIGTERM" % code)

    unittest.addModuleCleanup(stop)
    return unit


class SimUnit:
    def __init__(self, binary, address, *options):
        self.binary = binary
        self.address = address
        self.options = list(options)
        self.ready_line = None
        self._ready = threading.Event()

    def start(self, wait_seconds=30):
        """Starts the unit and returns its first stdout line, which it prints
        once both servers listen."""
        self._folder = tempfile.TemporaryDirectory(prefix="ts4820peer-")
        self._stderr = open(os.path.join(self._folder.name, "stderr.txt"), "w+")
        self._proc = subprocess.Popen(
            [self.binary, "--address", self.address,
             "--state", os.path.join(self._folder.name, "state")] + self.options,
            stdout=subprocess.PIPE, stderr=self._stderr, text=True)
        # One reader for the life of the unit, so its later output never
        # fills the pipe and blocks it.
        self._reader = threading.Thread(target=self._read_stdout, daemon=True)
        self._reader.start()
        if not self._ready.wait(wait_seconds) or not self.ready_line:
            self._proc.kill()
            self._release()
            raise RuntimeError("ts4820sim did not come up on %s: %s"
                               % (self.address, self._failure))
        return self.ready_line

    def stop(self, wait_seconds=30):
        """Sends SIGTERM and returns the exit code."""
        self._proc.send_signal(signal.SIGTERM)
        try:
            self._proc.wait(wait_seconds)
        except subprocess.TimeoutExpired:
            self._proc.kill()
            raise RuntimeError("ts4820sim ignored SIGTERM")
        finally:
            self._release()
        return self._proc.returncode

    def _read_stdout(self):
        for line in self._proc.stdout:
            if self.ready_line is None:
                self.ready_line = line.rstrip("\n")
                self._ready.set()
        self._ready.set()  # exited without a line: start() reports it

    def _release(self):
        self._proc.wait()
        self._reader.join()
        self._proc.stdout.close()
        self._stderr.seek(0)
        self._failure = self._stderr.read().strip() or "(no message)"
        self._stderr.close()
        self._folder.cleanup()
