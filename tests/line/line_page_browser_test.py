#!/usr/bin/python3
"""korvane-line's page in headless Chromium: every station of the tokens file
shown, a station's slots following its heartbeats live, its yield of the day
and outbox backlog, when it was last heard from, a station that stopped
sending shown silent after three heartbeats, one never heard from shown as
such, and what a station sends shown as text. Stations are played by this
script over the line's API. Keeps a screenshot of the page in --out."""

import argparse
import datetime
import json
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import urllib.request
import uuid

# The helpers the station page's browser test uses.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "station",
                                "web"))
import web_browser  # noqa: E402

STATIONS = {"st-live": "token-live-0123456789", "st-quiet": "token-quiet-0123456789",
            "st-never": "token-never-0123456789"}
PLANTED = '<img src=x onerror="window.planted=1">'


def send(url, token, path, body):
    request = urllib.request.Request(url + path, data=json.dumps(body).encode(), method="POST",
                                     headers={"Content-Type": "application/json",
                                              "Authorization": "Bearer " + token})
    with urllib.request.urlopen(request, timeout=10) as answer:
        return answer.status


def record(station, outcome):
    now = datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%dT%H:%M:%SZ")
    return {"uid": str(uuid.uuid4()), "station": station, "slot": "A", "port": "/dev/x",
            "started": now, "ended": now, "seconds": 30, "outcome": outcome}


def slot(name, phase, verdict="", detail="", serial=""):
    return {"slot": name, "serial": serial, "phase": phase, "verdict": verdict, "detail": detail}


class heartbeats:
    """st-live's heartbeat every second, with the slots it is given."""

    def __init__(self, url):
        self.url = url
        self.slots = []
        self.stop = False
        self.thread = threading.Thread(target=self._run, daemon=True)
        self.thread.start()

    def _run(self):
        while not self.stop:
            send(self.url, STATIONS["st-live"], "api/v1/stations/state",
                 {"station": "st-live", "waiting": 2, "parked": 0,
                  "state": {"slots": list(self.slots)}})
            time.sleep(1)


def station_card(browser, name):
    return browser.execute_script(
        "for (const c of document.querySelectorAll('section.station'))"
        "  if (c.querySelector('h2').textContent.split(' ')[0] === arguments[0])"
        "    return [c.className, c.querySelector('h2').textContent,"
        "            c.querySelector('.facts').textContent,"
        "            [...c.querySelectorAll('.slot')].map(s => s.className + '|' + s.textContent)];"
        "return null;", name)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--line", required=True)
    parser.add_argument("--chromedriver", required=True)
    parser.add_argument("--out", required=True)
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    work = tempfile.mkdtemp(prefix="line-page-")
    server = browser = beats = None
    try:
        tokens = os.path.join(work, "tokens")
        with open(tokens, "w") as f:
            for name, token in STATIONS.items():
                f.write("%s %s\n" % (name, token))
        os.chmod(tokens, 0o600)
        server = web_browser.child([args.line, "serve", "--db", os.path.join(work, "line.db"),
                                    "--tokens", tokens, "--listen", "0"])
        first = server.line_starting("korvane-line: serving ")
        url = first.split()[2].rstrip(",")
        # Today's boards: st-live 3 passed and 1 failed; st-quiet 1 passed.
        for outcome in ("passed", "passed", "failed", "passed"):
            assert send(url, STATIONS["st-live"], "api/v1/records",
                        record("st-live", outcome)) == 201
        assert send(url, STATIONS["st-quiet"], "api/v1/records",
                    record("st-quiet", "passed")) == 201
        beats = heartbeats(url)
        beats.slots = [slot("A", "downloading 40%", serial="KV-0001"),
                       slot("B", "waiting for a board", serial=PLANTED)]
        quiet_beat = time.monotonic()
        send(url, STATIONS["st-quiet"], "api/v1/stations/state",
             {"station": "st-quiet", "waiting": 0, "parked": 1,
              "state": {"slots": [slot("Q1", "testing SDRAM")]}})

        browser = web_browser.start_chrome(args.chromedriver, os.path.join(work, "profile"))
        browser.get(url)
        web_browser.wait_for("the page live", lambda: browser.find_element(
            web_browser.By.ID, "link").text == "live")
        # Every station of the tokens file, in one card each.
        live = web_browser.wait_for("st-live's slots", lambda: (
            lambda c: c if c and len(c[3]) == 2 else None)(station_card(browser, "st-live")))
        assert live[0] == "station" and live[3][0] == "slot |Aserial KV-0001downloading 40%", live
        for fact in ("4 tested, 3 passed, 1 failed, yield 75.0%", "outbox 2 waiting", "heard ",
                     " s ago"):
            assert fact in live[2], live
        # What a station sends is text on the page, never markup.
        assert PLANTED in live[3][1], live
        assert browser.execute_script("return window.planted === undefined")
        never = station_card(browser, "st-never")
        assert never[:2] == ["station silent", "st-never (silent)"], never
        assert "never heard from" in never[2] and "0 tested" in never[2], never
        quiet = station_card(browser, "st-quiet")
        assert quiet[0] == "station" and ", 1 refused" in quiet[2], quiet
        assert "1 tested, 1 passed, 0 failed, yield 100.0%" in quiet[2], quiet

        # The slots follow the heartbeats: A ends PASS, B FAIL with its fault.
        beats.slots = [slot("A", "waiting for a board", "PASS", serial="KV-0001"),
                       slot("B", "waiting for a board", "FAIL", "data line 5 stuck at 1",
                            serial="KV-0002")]
        live = web_browser.wait_for("st-live's verdicts", lambda: (
            lambda c: c if c and c[3][0].startswith("slot PASS") else None)(
                station_card(browser, "st-live")))
        assert live[3][1] == "slot FAIL|Bserial KV-0002FAIL: data line 5 stuck at 1", live
        browser.save_screenshot(os.path.join(args.out, "line_page.png"))

        # st-quiet sent one heartbeat: three heartbeats later it is silent,
        # while st-live, still sending, is not.
        quiet = web_browser.wait_for("st-quiet silent", lambda: (
            lambda c: c if c[0] == "station silent" else None)(station_card(browser, "st-quiet")),
            timeout=60)
        assert time.monotonic() - quiet_beat >= 9 and quiet[1] == "st-quiet (silent)", quiet
        assert station_card(browser, "st-live")[0] == "station"
        browser.save_screenshot(os.path.join(args.out, "line_page_silent.png"))
        print("line page: stations, live slots, yield, backlog, silence: all shown")
    finally:
        if beats:
            beats.stop = True
        if browser:
            browser.quit()
        if server:
            server.process.terminate()
            server.process.wait(timeout=10)
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
