#!/usr/bin/python3
"""The station's web page in headless Chromium, against the stand-in station
(web_station_driver): tiles through their phases to PASS, FAIL and ERROR,
serial entry, escaping, the token and loopback rules, and reconnection after
the connection drops. Keeps a screenshot of the page mid-run in --out."""

import argparse
import os
import shutil
import sys
import tempfile
import time

# The helper is imported from the source tree, which gets no bytecode files.
sys.dont_write_bytecode = True
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


def check_phases(browser, out):
    """Each slot's tile goes through its phases to its verdict, and keeps it."""
    web_browser.wait_for("bench-1 downloading with a bar", lambda: web_browser.tile_tone(
        browser, "bench-1") == "running" and "downloading" in web_browser.tile_text(browser, "bench-1", "phase")
        and web_browser.tile(browser, "bench-1").find_element(By.CLASS_NAME, "bar").is_displayed())
    web_browser.wait_for("bench-1 counting its passes", lambda: "pass 2 of 3" in web_browser.tile_text(
        browser, "bench-1", "phase"))
    # Read in one go: the next board clears the verdict.
    for slot, shown in VERDICTS.items():
        web_browser.wait_for("%s %s" % (slot, shown[1]), lambda: browser.execute_script(
            "const t = document.querySelector('section[data-slot=\"' + arguments[0] + '\"]');"
            "return [t.className.split(' ').pop(), t.querySelector('.verdict').textContent,"
            " t.querySelector('.detail').textContent]", slot) == list(shown))
    # Mid-run: some tiles with their verdicts, others with a board under test.
    web_browser.wait_for("a board under test beside the verdicts", lambda: any(
        web_browser.tile_tone(browser, s) == "running" for s in VERDICTS))
    browser.save_screenshot(os.path.join(out, "web_page_mid_run.png"))
    # A verdict stays while the slot waits for its next board.
    web_browser.wait_for("bench-2 waiting with its verdict", lambda: web_browser.tile_tone(
        browser, "bench-2") == "fail" and web_browser.tile_text(browser, "bench-2", "phase") ==
        "waiting for a board")
    # A serial scanned while the verdict shows is the next board's: the verdict
    # keeps its own board's serial.
    field = web_browser.tile(browser, "bench-2").find_element(By.TAG_NAME, "input")
    field.click()
    field.send_keys("KV-NEXT\n")
    # (Unless the next board came in meanwhile, with that serial.)
    web_browser.wait_for("bench-2's next serial beside its verdict", lambda: (
        web_browser.tile_text(browser, "bench-2", "next") == "next: KV-NEXT"
        and web_browser.tile_text(browser, "bench-2", "verdict") == "FAIL"
        and web_browser.tile_text(browser, "bench-2", "serial") != "KV-NEXT") or (
        web_browser.tile_tone(browser, "bench-2") == "running"
        and web_browser.tile_text(browser, "bench-2", "serial") == "KV-NEXT"))
    assert web_browser.tile_text(browser, IDLE_SLOT, "verdict") == ""
    assert web_browser.tile_tone(browser, IDLE_SLOT) == "waiting"
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

    field = web_browser.tile(browser, IDLE_SLOT).find_element(By.TAG_NAME, "input")
    for typed in ("KV-2026-0042", SCRIPT_PLANTED):
        field.click()
        field.send_keys(typed + "\n")
        station.line_starting("serial %s %s" % (IDLE_SLOT, typed))
        web_browser.wait_for("the serial on the tile", lambda: web_browser.tile_text(
            browser, IDLE_SLOT, "serial") == typed)
    assert web_browser.tile(browser, IDLE_SLOT).find_elements(By.TAG_NAME, "img") == []
    time.sleep(0.5)  # an onerror handler would have run by now
    assert browser.execute_script("return window.planted === undefined")
    assert browser.title != "planted"

    # Refused on the page with the reason, and nothing reaches the station.
    field.click()
    field.send_keys("X" * 65 + "\n")
    web_browser.wait_for("the refusal on the tile", lambda: "longer than 64" in web_browser.tile_text(
        browser, IDLE_SLOT, "message"))
    assert not any(l.startswith("serial %s XXXX" % IDLE_SLOT) for l in station.lines)


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
        web_browser.check_token(url, token, IDLE_SLOT)
        web_browser.check_from_another_address(port, token, IDLE_SLOT, 4)
        web_browser.check_reconnect(browser, relay)
        print("screenshot: %s" % os.path.join(args.out, "web_page_mid_run.png"))
    finally:
        if browser:
            browser.quit()
        station.stop()
        shutil.rmtree(profile, ignore_errors=True)
    print("PASS")


if __name__ == "__main__":
    main()
