#!/usr/bin/python3
"""The station's web page in headless Chromium, against the stand-in station
(web_station_driver): tiles through their phases to PASS, FAIL and ERROR,
serial entry, escaping, the token and loopback rules, and reconnection after
the connection drops. Keeps a screenshot of the page mid-run in --out."""

import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.request

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import web_browser  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402

# What each of the stand-in's slots ends with.
VERDICTS = {
    "bench-1": ("pass", "PASS", ""),
    "bench-2": ("fail", "FAIL", "data line 5 stuck at 1"),
    "bench-3": ("error", "ERROR", "port lost"),
}
IDLE_SLOT = "bench-4"
SCRIPT_PLANTED = '<img src=x onerror="window.planted=1;document.title=\'planted\'">'


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


def check_phases(browser, out):
    """Each slot's tile goes through its phases to its verdict, and keeps it."""
    web_browser.wait_for("bench-1 downloading with a bar", lambda: tile_tone(
        browser, "bench-1") == "running" and "downloading" in tile_text(browser, "bench-1", "phase")
        and tile(browser, "bench-1").find_element(By.CLASS_NAME, "bar").is_displayed())
    web_browser.wait_for("bench-1 counting its passes", lambda: "pass 2 of 3" in tile_text(
        browser, "bench-1", "phase"))
    # Read in one go: the next board clears the verdict.
    for slot, shown in VERDICTS.items():
        web_browser.wait_for("%s %s" % (slot, shown[1]), lambda: browser.execute_script(
            "const t = document.querySelector('section[data-slot=\"' + arguments[0] + '\"]');"
            "return [t.className.split(' ').pop(), t.querySelector('.verdict').textContent,"
            " t.querySelector('.detail').textContent]", slot) == list(shown))
    # Mid-run: some tiles with their verdicts, others with a board under test.
    web_browser.wait_for("a board under test beside the verdicts", lambda: any(
        tile_tone(browser, s) == "running" for s in VERDICTS))
    browser.save_screenshot(os.path.join(out, "web_page_mid_run.png"))
    # A verdict stays while the slot waits for its next board.
    web_browser.wait_for("bench-2 waiting with its verdict", lambda: tile_tone(
        browser, "bench-2") == "fail" and tile_text(browser, "bench-2", "phase") ==
        "waiting for a board")
    assert tile_text(browser, IDLE_SLOT, "verdict") == ""
    assert tile_tone(browser, IDLE_SLOT) == "waiting"
    header = browser.find_element(By.ID, "tested").text
    assert int(header) >= 2, header


def check_serial_entry(browser, station):
    """The first slot without a serial has the focus; a serial typed into a
    slot's field reaches that slot, shown as text, whatever it holds."""
    focused = browser.switch_to.active_element
    assert focused.tag_name == "input", focused.tag_name
    owner = browser.execute_script("return arguments[0].closest('section').dataset.slot", focused)
    first_without = browser.execute_script(
        "return [...document.querySelectorAll('section')].find("
        "s => s.querySelector('.serial').textContent === '').dataset.slot")
    assert owner == first_without, (owner, first_without)

    field = tile(browser, IDLE_SLOT).find_element(By.TAG_NAME, "input")
    for typed in ("KV-2026-0042", SCRIPT_PLANTED):
        field.click()
        field.send_keys(typed + "\n")
        station.line_starting("serial %s %s" % (IDLE_SLOT, typed))
        web_browser.wait_for("the serial on the tile", lambda: tile_text(
            browser, IDLE_SLOT, "serial") == typed)
    assert tile(browser, IDLE_SLOT).find_elements(By.TAG_NAME, "img") == []
    time.sleep(0.5)  # an onerror handler would have run by now
    assert browser.execute_script("return window.planted === undefined")
    assert browser.title != "planted"

    # Refused on the page with the reason, and nothing reaches the station.
    field.click()
    field.send_keys("X" * 65 + "\n")
    web_browser.wait_for("the refusal on the tile", lambda: "longer than 64" in tile_text(
        browser, IDLE_SLOT, "message"))
    assert not any(l.startswith("serial %s XXXX" % IDLE_SLOT) for l in station.lines)


def check_token(url, token):
    cases = [
        ("no token", json.dumps({"slot": IDLE_SLOT, "serial": "T-1"}), "application/json", 403),
        ("a wrong token", json.dumps({"slot": IDLE_SLOT, "serial": "T-2", "token": "0" * 32}),
         "application/json", 403),
        ("a form from another site", "slot=%s&serial=T-3&token=%s" % (IDLE_SLOT, token),
         "application/x-www-form-urlencoded", 415),
        ("the page's token", json.dumps({"slot": IDLE_SLOT, "serial": "T-4", "token": token}),
         "application/json", 200),
    ]
    for what, body, content_type, status in cases:
        got, answer = post(url, body, content_type)
        assert got == status, (what, got, answer)


def check_from_another_address(port, token):
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
             "http://%s:%d/" % (here, port), IDLE_SLOT, token],
            check=True, capture_output=True, text=True, timeout=60)
        seen = json.loads(result.stdout)
        assert seen == {"token_in_page": False, "slots": 4, "post": 403}, seen
    finally:
        subprocess.run(["ip", "link", "del", near], stderr=subprocess.DEVNULL)
        subprocess.run(["ip", "netns", "del", namespace], stderr=subprocess.DEVNULL)


def check_reconnect(browser, relay):
    states = browser.execute_script("return window.korvane.states")
    assert relay.drop_all() >= 1
    web_browser.wait_for("the page to notice", lambda: browser.execute_script(
        "return window.korvane.lost") >= 1)
    web_browser.wait_for("the page to reconnect", lambda: browser.execute_script(
        "return window.korvane.connected"))
    web_browser.wait_for("states after the reconnection", lambda: browser.execute_script(
        "return window.korvane.states") > states + 5)
    assert browser.find_element(By.ID, "link").text.startswith("live")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--driver", required=True)
    parser.add_argument("--chromedriver", required=True)
    parser.add_argument("--out", required=True)
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)

    # On every address, so that the namespace can reach it too.
    station = web_browser.child([args.driver, "0.0.0.0:0", "100"])
    profile = tempfile.mkdtemp(prefix="chromium-", dir=args.out)
    browser = None
    try:
        port = int(station.line_starting("listening ").rsplit(":", 1)[1].strip("/"))
        relay = web_browser.relay(port)
        url = "http://127.0.0.1:%d/" % relay.port
        browser = web_browser.start_chrome(args.chromedriver, profile)
        browser.get(url)
        web_browser.wait_for("four tiles", lambda: len(
            browser.find_elements(By.CSS_SELECTOR, "section.tile")) == 4)
        token = browser.find_element(By.CSS_SELECTOR, 'meta[name="korvane-token"]') \
            .get_attribute("content")
        assert len(token) == 32, token

        check_serial_entry(browser, station)
        check_phases(browser, args.out)
        check_token(url, token)
        check_from_another_address(port, token)
        check_reconnect(browser, relay)
        print("screenshot: %s" % os.path.join(args.out, "web_page_mid_run.png"))
    finally:
        if browser:
            browser.quit()
        station.stop()
        shutil.rmtree(profile, ignore_errors=True)
    print("PASS")


if __name__ == "__main__":
    main()
