#!/usr/bin/python3
"""Figures for the station's web page: how late a state is on screen (from
the moment the station hands it to the server to the frame that shows it,
measured in the browser) and the station's CPU with twenty pages open, beside
its CPU with none.

  bench/web_pages.py --driver <web_station_driver> [--chromedriver PATH]
  bench/web_pages.py --station <korvane-station> --korvane <korvane>
                     --boardsim <boardsim> [--chromedriver PATH]

The first against the stand-in station, which hands the server a new state
every tick; the second against korvane-station testing a stream of boards
on four boardsim slots (--test flash, so that boards come and go often).

Each page is a tab of one headless Chromium, reached through a relay of its
own, so that the browser's limit on connections to one address does not
leave some pages without their stream."""

import argparse
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

# The helper is imported from the source tree, which gets no bytecode files.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests",
                                "station", "web"))
import web_browser  # noqa: E402

PAGES = 20
WINDOW = 30.0  # seconds of CPU measured in each state
SLOTS = 4
# Each slot's stream of boards: sound ones, and now and then a faulty flash.
BOARD_LINES = ["", "", "", "--nand-id 00,f1,80,95", "", "--nand-status e1"] * 40


def start_real_station(args, work):
    boards = []
    ports = []
    for slot in range(SLOTS):
        stream = os.path.join(work, "boards-%d" % slot)
        with open(stream, "w") as f:
            f.write("\n".join(BOARD_LINES) + "\n")
        board = subprocess.Popen([args.boardsim, "--boards", stream], stdout=subprocess.PIPE,
                                 stderr=subprocess.DEVNULL, text=True)
        ports.append(board.stdout.readline().strip())
        boards.append(board)
    station = web_browser.child(
        [args.station, "--korvane", args.korvane, "--db", os.path.join(work, "station.db"),
         "--logs", os.path.join(work, "logs"), "--test", "flash", "--web", "127.0.0.1:0"] +
        ["S%d=%s" % (i + 1, port) for i, port in enumerate(ports)])
    line = station.line_starting("", timeout=30)
    return station, boards, int(line.rsplit(":", 1)[1].strip("/"))


def station_cpu(pid, seconds):
    start = web_browser.cpu_seconds(pid)
    time.sleep(seconds)
    return (web_browser.cpu_seconds(pid) - start) / seconds


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--driver")
    parser.add_argument("--station")
    parser.add_argument("--korvane")
    parser.add_argument("--boardsim")
    parser.add_argument("--chromedriver", default="/usr/bin/chromedriver")
    parser.add_argument("--tick-ms", default="100")
    args = parser.parse_args()

    work = tempfile.mkdtemp(prefix="web-pages-")
    profile = os.path.join(work, "chromium")
    boards = []
    if args.station:
        station, boards, port = start_real_station(args, work)
        pace = "korvane-station, %d boardsim slots" % SLOTS
    else:
        station = web_browser.child([args.driver, "127.0.0.1:0", args.tick_ms])
        port = int(station.line_starting("listening ").rsplit(":", 1)[1].strip("/"))
        pace = "the stand-in station, a state every %s ms" % args.tick_ms
    browser = None
    try:
        idle = station_cpu(station.process.pid, WINDOW)

        relays = [web_browser.relay(port) for _ in range(PAGES)]
        browser = web_browser.start_chrome(args.chromedriver, profile)
        browser.get("http://127.0.0.1:%d/" % relays[0].port)
        for relay in relays[1:]:
            browser.switch_to.new_window("tab")
            browser.get("http://127.0.0.1:%d/" % relay.port)
        handles = browser.window_handles

        def all_live():
            for handle in handles:
                browser.switch_to.window(handle)
                if not browser.execute_script("return window.korvane && window.korvane.connected"):
                    return False
            return True
        web_browser.wait_for("every page live", all_live, timeout=120)

        # The delays of the states shown during the window: in the page, from
        # every page; on screen, from the one in front (a hidden tab paints
        # nothing).
        for handle in reversed(handles):
            browser.switch_to.window(handle)
            browser.execute_script("window.korvane.delays = []; window.korvane.applied = [];"
                                   "window.korvane.states = 0")
        # The page brought to the front paints the frames it held back while
        # hidden; those are not the delay of a page on a screen.
        time.sleep(2)
        browser.execute_script("window.korvane.delays = []")
        busy = station_cpu(station.process.pid, WINDOW)
        screen = sorted(browser.execute_script("return window.korvane.delays"))
        applied = []
        states = []
        for handle in handles:
            browser.switch_to.window(handle)
            applied += browser.execute_script("return window.korvane.applied")
            states.append(browser.execute_script("return window.korvane.states"))
        applied.sort()

        def figures(delays):
            return "median %d ms, 95th percentile %d ms, max %d ms (%d states)" % (
                statistics.median(delays), delays[int(len(delays) * 0.95)], delays[-1],
                len(delays))
        print("%s; pages open: %d, states per page in %d s: %d to %d"
              % (pace, len(handles), WINDOW, min(states), max(states)))
        print("update delay, event to screen (the page in front): " + figures(screen))
        print("update delay, event to page (all %d pages): %s" % (len(handles), figures(applied)))
        print("station CPU: %.2f%% of a core with no page open, %.2f%% with %d pages"
              % (idle * 100, busy * 100, len(handles)))
    finally:
        if browser:
            browser.quit()
        if args.station and station.process.poll() is None:
            station.process.send_signal(signal.SIGINT)
        station.stop()
        for board in boards:
            board.terminate()
            board.wait(timeout=10)
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
