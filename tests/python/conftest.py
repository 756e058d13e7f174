"""Shared fixtures: a throw-away home directory, free loopback ports, and
the real dashboard server started in a child process.

Every child runs with HOME and USERPROFILE pointing into the test's
temporary directory, so the real ~/.claude and ~/.tavri are never touched.
The parent's PYTHONPATH (where tavri_sdk is found) is passed through.
"""

import os
import random
import signal
import socket
import subprocess
import sys
import threading
import time

import pytest


def port_is_free(port):
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        try:
            s.bind(("127.0.0.1", port))
        except OSError:
            return False
    return True


def find_free_ports(count=1, low=20000, high=30000, tries=200):
    """A start port whose `count` consecutive ports are all free right now.

    The range stays below the usual ephemeral range so the kernel does not
    hand these ports to outgoing connections meanwhile."""
    rng = random.Random()
    for _ in range(tries):
        base = rng.randrange(low, high - count)
        if all(port_is_free(base + i) for i in range(count)):
            return base
    raise RuntimeError(f"no run of {count} free ports found")


@pytest.fixture
def tmp_home(tmp_path):
    home = tmp_path / "home"
    home.mkdir()
    return home


@pytest.fixture
def free_port():
    return find_free_ports(1)


def child_env(home, extra=None):
    env = dict(os.environ)
    env["HOME"] = str(home)
    env["USERPROFILE"] = str(home)
    if extra:
        env.update(extra)
    return env


class ServerProcess:
    """`tavri_sdk.serve(port)` in a child process, its output collected
    line by line as it arrives."""

    def __init__(self, port, home, env=None):
        self.port = port
        self.home = home
        self.proc = subprocess.Popen(
            [sys.executable, "-c", f"import tavri_sdk; tavri_sdk.serve({int(port)})"],
            env=child_env(home, env),
            stdin=subprocess.DEVNULL,
            stdout=subprocess.PIPE,
            stderr=subprocess.PIPE,
            text=True,
        )
        self.lines = []
        self.err_lines = []
        self._cv = threading.Condition()
        self._readers = [
            threading.Thread(target=self._pump, args=(self.proc.stdout, self.lines), daemon=True),
            threading.Thread(target=self._pump, args=(self.proc.stderr, self.err_lines), daemon=True),
        ]
        for t in self._readers:
            t.start()

    def _pump(self, stream, into):
        for line in stream:
            with self._cv:
                into.append(line.rstrip("\n"))
                self._cv.notify_all()
        with self._cv:
            self._cv.notify_all()

    def wait_for(self, predicate, timeout=30):
        """Waits until predicate(lines) holds or the process has ended."""
        deadline = time.monotonic() + timeout
        with self._cv:
            while not predicate(self.lines):
                left = deadline - time.monotonic()
                if left <= 0 or (self.proc.poll() is not None and not any(t.is_alive() for t in self._readers)):
                    return predicate(self.lines)
                self._cv.wait(min(left, 0.2))
        return True

    def wait_ready(self, timeout=30):
        """Waits for the banner; returns the bound port."""
        ok = self.wait_for(lambda ls: any(l.startswith("  http://") for l in ls), timeout)
        assert ok, f"no banner; stdout={self.lines} stderr={self.err_lines}"
        line = next(l for l in self.lines if l.startswith("  http://"))
        self.bound_port = int(line.rsplit(":", 1)[1])
        # The banner ends with an empty line; the listener is up by then.
        self.wait_for(lambda ls: ls[-1:] == [""] and len(ls) >= 9, 5)
        return self.bound_port

    @property
    def url(self):
        return f"http://127.0.0.1:{self.bound_port}"

    def interrupt(self, timeout=60):
        self.proc.send_signal(signal.SIGINT)
        return self.finish(timeout)

    def finish(self, timeout=60):
        rc = self.proc.wait(timeout=timeout)
        for t in self._readers:
            t.join(timeout=5)
        return rc

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()


@pytest.fixture
def start_server(tmp_home):
    """Factory: start_server(port, home=None, env=None) -> ServerProcess.
    Every process still running at the end of the test is killed."""
    started = []

    def start(port, home=None, env=None):
        sp = ServerProcess(port, home or tmp_home, env)
        started.append(sp)
        return sp

    yield start
    for sp in started:
        sp.kill()
