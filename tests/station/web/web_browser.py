"""What the browser test of the station's web page and its benchmark share:
headless Chromium through chromedriver, a station (or its stand-in) started as
a child process, and a TCP relay between the two that can drop every
connection, as a network that fails would."""

import json
import os
import select
import socket
import subprocess
import sys
import threading
import time
import urllib.error
import urllib.request

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By

# Headless, nothing fetched or synced: the flags every browser of the tests
# starts with, one per line in chromium_flags.txt.
with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "chromium_flags.txt"),
          encoding="utf-8") as flags:
    CHROME_FLAGS = flags.read().split()
CHROME_FLAGS += [
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
        self.held = False  # passes nothing on, closes nothing: a path that died
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
                if self.held:
                    time.sleep(0.05)
                    continue
                ready, _, _ = select.select(sockets, [], [], 0.2)
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


def post(url, body, content_type="application/json"):
    request = urllib.request.Request(url + "serial", data=body.encode(), method="POST",
                                     headers={"Content-Type": content_type})
    try:
        with urllib.request.urlopen(request, timeout=10) as answer:
            return answer.status, json.loads(answer.read())
    except urllib.error.HTTPError as error:
        return error.code, json.loads(error.read())


def tile(browser, slot):
    return browser.find_element(By.CSS_SELECTOR, 'section[data-slot="%s"]' % slot)


def tile_text(browser, slot, part):
    return tile(browser, slot).find_element(By.CLASS_NAME, part).text


def tile_tone(browser, slot):
    return tile(browser, slot).get_attribute("class").split()[-1]


def check_token(url, token, slot):
    """A post without the page's token is refused; with it, taken."""
    cases = [
        ("no token", json.dumps({"slot": slot, "serial": "T-1"}), "application/json", 403),
        ("a wrong token", json.dumps({"slot": slot, "serial": "T-2", "token": "0" * 32}),
         "application/json", 403),
        ("a form from another site", "slot=%s&serial=T-3&token=%s" % (slot, token),
         "application/x-www-form-urlencoded", 415),
        ("the page's token", json.dumps({"slot": slot, "serial": "T-4", "token": token}),
         "application/json", 200),
    ]
    for what, body, content_type, status in cases:
        got, answer = post(url, body, content_type)
        assert got == status, (what, got, answer)


def check_from_another_address(port, token, slot, slots):
    """From a network namespace of the test's own, joined to this one by a
    veth pair: the page comes without the token, and a post, even with the
    token, is refused."""
    tag = str(os.getpid() % 100000)
    namespace, near, far = "kvweb" + tag, "kvw%sa" % tag, "kvw%sb" % tag
    subnet = "10.%d.%d" % (200 + os.getpid() % 50, (os.getpid() // 50) % 250)
    here, there = subnet + ".1", subnet + ".2"

    def ip(*argv):
        subprocess.run(["ip", *argv], check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.PIPE)

    try:
        ip("netns", "add", namespace)
    except (subprocess.CalledProcessError, FileNotFoundError) as error:
        print("SKIPPED the non-loopback check: no network namespace here (%s)" % error)
        return
    try:
        ip("link", "add", near, "type", "veth", "peer", "name", far)
        ip("link", "set", far, "netns", namespace)
        ip("addr", "add", here + "/30", "dev", near)
        ip("link", "set", near, "up")
        ip("-n", namespace, "addr", "add", there + "/30", "dev", far)
        ip("-n", namespace, "link", "set", far, "up")
        probe = (
            "import json, sys, urllib.request, urllib.error\n"
            "url = sys.argv[1]\n"
            "page = urllib.request.urlopen(url, timeout=10).read().decode()\n"
            "slots = json.loads(urllib.request.urlopen(url + 'api/slots', timeout=10).read())\n"
            "request = urllib.request.Request(url + 'serial', method='POST', data=json.dumps("
            "{'slot': sys.argv[2], 'serial': 'FAR-1', 'token': sys.argv[3]}).encode(),"
            " headers={'Content-Type': 'application/json'})\n"
            "try:\n"
            "    status = urllib.request.urlopen(request, timeout=10).status\n"
            "except urllib.error.HTTPError as error:\n"
            "    status = error.code\n"
            "print(json.dumps({'token_in_page': sys.argv[3] in page,"
            " 'slots': len(slots['slots']), 'post': status}))\n")
        result = subprocess.run(
            ["ip", "netns", "exec", namespace, sys.executable, "-c", probe,
             "http://%s:%d/" % (here, port), slot, token],
            check=True, capture_output=True, text=True, timeout=60)
        seen = json.loads(result.stdout)
        assert seen == {"token_in_page": False, "slots": slots, "post": 403}, seen
    finally:
        subprocess.run(["ip", "link", "del", near], stderr=subprocess.DEVNULL)
        subprocess.run(["ip", "netns", "del", namespace], stderr=subprocess.DEVNULL)


def check_reconnect(browser, relay, states=5):
    """The page notices a dropped stream, reconnects and takes up the states."""
    before = browser.execute_script("return window.korvane.states")
    assert relay.drop_all() >= 1
    wait_for("the page to notice", lambda: browser.execute_script(
        "return window.korvane.lost") >= 1)
    wait_for("the page to reconnect", lambda: browser.execute_script(
        "return window.korvane.connected"))
    wait_for("states after the reconnection", lambda: browser.execute_script(
        "return window.korvane.states") >= before + states)
    assert browser.find_element(By.ID, "link").text.startswith("live")


