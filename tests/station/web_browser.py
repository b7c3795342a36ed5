"""What the browser test of the station's web page and its benchmark share:
headless Chromium through chromedriver, a station (or its stand-in) started as
a child process, and a TCP relay between the two that can drop every
connection, as a network that fails would."""

import os
import select
import socket
import subprocess
import threading
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service

CHROME_FLAGS = [
    "--headless",
    "--no-sandbox",
    "--disable-gpu",
    "--disable-quic",
    "--no-first-run",
    "--disable-background-networking",
    "--disable-component-update",
    "--disable-sync",
    "--disable-dev-shm-usage",
    "--window-size=1600,1000",
]


def start_chrome(chromedriver, profile_dir):
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for flag in CHROME_FLAGS:
        options.add_argument(flag)
    options.add_argument("--user-data-dir=" + profile_dir)
    # A page in a background tab keeps its timers and frames running, so
    # that twenty tabs are twenty live pages.
    options.add_argument("--disable-background-timer-throttling")
    options.add_argument("--disable-renderer-backgrounding")
    options.add_argument("--disable-backgrounding-occluded-windows")
    service = Service(executable_path=chromedriver, log_path=os.devnull)
    return webdriver.Chrome(service=service, options=options)


def wait_for(what, condition, timeout=30.0, every=0.05):
    """Polls condition() until it returns something true; fails with `what`."""
    deadline = time.monotonic() + timeout
    last = None
    while time.monotonic() < deadline:
        try:
            last = condition()
        except Exception as error:  # the page may be between two states
            last = error
        if last and not isinstance(last, Exception):
            return last
        time.sleep(every)
    raise AssertionError("timed out waiting for %s (last: %r)" % (what, last))


class child:
    """A program whose standard output is read line by line on a thread."""

    def __init__(self, argv, **popen):
        self.process = subprocess.Popen(argv, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        text=True, **popen)
        self.lines = []
        self.lock = threading.Lock()
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def _read(self):
        for line in self.process.stdout:
            with self.lock:
                self.lines.append(line.rstrip("\n"))

    def line_starting(self, prefix, timeout=30.0):
        def found():
            with self.lock:
                return next((l for l in self.lines if l.startswith(prefix)), None)
        return wait_for("a line starting %r" % prefix, found, timeout)

    def stop(self):
        if self.process.poll() is None:
            self.process.stdin.close()
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


class relay:
    """Listens on 127.0.0.1 and passes every connection on to `port`."""

    def __init__(self, port):
        self.port_to = port
        self.listener = socket.socket()
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(64)
        self.port = self.listener.getsockname()[1]
        self.lock = threading.Lock()
        self.open = []
        self.drops = 0
        threading.Thread(target=self._accept, daemon=True).start()

    def _accept(self):
        while True:
            try:
                near, _ = self.listener.accept()
            except OSError:
                return
            far = socket.create_connection(("127.0.0.1", self.port_to))
            with self.lock:
                self.open.append((near, far))
            threading.Thread(target=self._pump, args=(near, far), daemon=True).start()

    def _pump(self, near, far):
        sockets = [near, far]
        try:
            while True:
                ready, _, _ = select.select(sockets, [], [], 1.0)
                for s in ready:
                    data = s.recv(65536)
                    if not data:
                        raise OSError("closed")
                    (far if s is near else near).sendall(data)
        except (OSError, ValueError):
            pass
        for s in sockets:
            try:
                s.close()
            except OSError:
                pass

    def drop_all(self):
        with self.lock:
            pairs, self.open = self.open, []
        for near, far in pairs:
            for s in (near, far):
                try:
                    s.shutdown(socket.SHUT_RDWR)
                except OSError:
                    pass
        self.drops += len(pairs)
        return len(pairs)


def cpu_seconds(pid):
    """User and system time a process has used, from /proc."""
    with open("/proc/%d/stat" % pid) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
