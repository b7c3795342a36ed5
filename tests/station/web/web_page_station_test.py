#!/usr/bin/python3
"""korvane-station's web page in headless Chromium, against the station
driving korvane against two boardsims: a sound board and one whose flash
answers with a wrong maker. The serials typed into the page reach the
database; the tiles go through their phases to PASS and to FAIL with the fault
named; the token and loopback rules hold; the page reconnects. Keeps a
screenshot of the page mid-run in --out."""

import argparse
import os
import re
import shutil
import signal
import socket
import sqlite3
import subprocess
import sys
import tempfile
import time

# The helper is imported from the source tree, which gets no bytecode files.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import web_browser  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402

# At the real line rate, and soaked for PASSES passes, so that a board spends
# a second or more testing: the page is seen mid-pass many times over.
BOARDS = {"A": ["--baud", "115200"], "B": ["--baud", "115200", "--nand-id", "00,f1,80,95"]}
PASSES = 100
SERIALS = {"A": "KV-2026-0001", "B": '<img src=x onerror="window.planted=1">'}
FAULT = "FLASH: maker 0x00 is neither 0x20 nor 0x2c"


def start_board(boardsim, options):
    board = subprocess.Popen([boardsim, *options], stdout=subprocess.PIPE, text=True)
    port = board.stdout.readline().strip()
    assert port.startswith("/dev/"), port
    # Held still until the page has given the serials, so that they are the
    # boards' and not the next ones'.
    board.send_signal(signal.SIGSTOP)
    return board, port


def type_serials(browser):
    # The first slot without a serial has the focus: a scanner types there.
    focused = browser.switch_to.active_element
    owner = browser.execute_script("return arguments[0].closest('section').dataset.slot", focused)
    assert owner == "A", owner
    focused.send_keys(SERIALS["A"] + "\n")
    web_browser.wait_for("A's serial on its tile", lambda: web_browser.tile_text(
        browser, "A", "serial") == SERIALS["A"])
    field = web_browser.tile(browser, "B").find_element(By.TAG_NAME, "input")
    field.click()
    field.send_keys(SERIALS["B"] + "\n")
    web_browser.wait_for("B's serial on its tile, as text", lambda: web_browser.tile_text(
        browser, "B", "serial") == SERIALS["B"])
    assert web_browser.tile(browser, "B").find_elements(By.TAG_NAME, "img") == []


def check_run(browser, out):
    def shown(slot):
        return browser.execute_script(
            "const t = document.querySelector('section[data-slot=\"' + arguments[0] + '\"]');"
            "return [t.className.split(' ').pop(), t.querySelector('.phase').textContent,"
            " t.querySelector('.verdict').textContent, t.querySelector('.detail').textContent]",
            slot)
    seen = set()
    screenshot = os.path.join(out, "web_page_station_mid_run.png")

    def finished():
        for slot in BOARDS:
            tone, phase, _, _ = shown(slot)
            seen.add((slot, tone, re.sub(r"[0-9]+", "N", phase)))
        if not os.path.exists(screenshot) and any(
                tone == "running" and "pass" in phase for tone, phase, _, _ in map(shown, BOARDS)):
            browser.save_screenshot(screenshot)
        return shown("A")[0] == "pass" and shown("B")[0] == "fail"
    web_browser.wait_for("both verdicts", finished, timeout=120, every=0.02)
    assert shown("A")[2:] == ["PASS", ""], shown("A")
    assert shown("B")[2:] == ["FAIL", FAULT], shown("B")
    for slot in BOARDS:
        assert (slot, "running", "FLASH pass N of N") in seen, sorted(seen)
    if not os.path.exists(screenshot):
        browser.save_screenshot(screenshot)
    assert browser.execute_script("return window.planted === undefined")
    assert browser.find_element(By.ID, "tested").text == "2"
    assert browser.find_element(By.ID, "yield").text == "50.0%"


def check_records(db):
    with sqlite3.connect(db) as connection:
        rows = connection.execute("SELECT slot, serial, outcome FROM boards ORDER BY slot").fetchall()
    assert rows == [("A", SERIALS["A"], "passed"), ("B", SERIALS["B"], "failed")], rows


def check_port_in_use(args, work):
    """A port that is taken stops the station at start, with one line and
    status 1, before it has made its database."""
    taken = socket.socket()
    taken.bind(("127.0.0.1", 0))
    taken.listen(1)
    db = os.path.join(work, "unused.db")
    result = subprocess.run(
        [args.station, "--korvane", args.korvane, "--db", db, "--logs",
         os.path.join(work, "unused-logs"), "--web", "127.0.0.1:%d" % taken.getsockname()[1],
         "A=/dev/null"], stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=30)
    taken.close()
    assert result.returncode == 1, result
    assert re.fullmatch(r"korvane-station: cannot listen on http://127\.0\.0\.1:[0-9]+/: .+\n",
                        result.stderr), result.stderr
    assert not os.path.exists(db) and not os.path.exists(os.path.join(work, "unused-logs"))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--station", required=True)
    parser.add_argument("--korvane", required=True)
    parser.add_argument("--boardsim", required=True)
    parser.add_argument("--chromedriver", required=True)
    parser.add_argument("--out", required=True)
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    work = tempfile.mkdtemp(prefix="station-", dir=args.out)
    boards = []
    station = None
    browser = None
    try:
        check_port_in_use(args, work)
        ports = {}
        for slot, options in BOARDS.items():
            board, ports[slot] = start_board(args.boardsim, options)
            boards.append(board)
        # On every address, so that the namespace can reach it too.
        station = web_browser.child(
            [args.station, "--korvane", args.korvane, "--db", os.path.join(work, "station.db"),
             "--logs", os.path.join(work, "logs"), "--station", "bench", "--test", "flash",
             "--passes", str(PASSES), "--web", "0.0.0.0:0"] + ["%s=%s" % (s, p) for s, p in ports.items()])
        line = station.line_starting("", timeout=30)
        address = re.search(r"web page at http://0\.0\.0\.0:([0-9]+)/$", line)
        assert address, line
        port = int(address.group(1))
        relay = web_browser.relay(port)
        url = "http://127.0.0.1:%d/" % relay.port
        browser = web_browser.start_chrome(args.chromedriver, os.path.join(work, "chromium"))
        browser.get(url)
        web_browser.wait_for("two tiles", lambda: len(
            browser.find_elements(By.CSS_SELECTOR, "section.tile")) == 2)
        token = browser.find_element(By.CSS_SELECTOR, 'meta[name="korvane-token"]') \
            .get_attribute("content")

        type_serials(browser)
        for board in boards:
            board.send_signal(signal.SIGCONT)
        check_run(browser, args.out)
        check_records(os.path.join(work, "station.db"))
        web_browser.check_token(url, token, "A")
        web_browser.check_from_another_address(port, token, "A", 2)
        web_browser.check_reconnect(browser, relay, states=1)
        print("screenshot: %s" % os.path.join(args.out, "web_page_station_mid_run.png"))
    finally:
        if browser:
            browser.quit()
        if station and station.process.poll() is None:
            station.process.send_signal(signal.SIGINT)
            station.stop()
        for board in boards:
            board.send_signal(signal.SIGCONT)
            board.terminate()
            board.wait(timeout=10)
        shutil.rmtree(work, ignore_errors=True)
    print("PASS")


if __name__ == "__main__":
    main()
