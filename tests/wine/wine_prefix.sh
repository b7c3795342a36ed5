#!/usr/bin/env bash
# The Wine prefix the Wine suite shares: "start" makes it fresh and leaves a
# persistent wineserver on it, so that each korvane.exe starts in a fraction
# of a second; "stop" ends that server. Both run in port_sandbox, as every
# Wine process of the suite does.
# Usage: wine_prefix.sh start|stop <port_sandbox> <prefix directory>
set -euo pipefail
action=$1
sandbox=$2
export WINEPREFIX=$3
export WINEDEBUG=-all
# No Gecko or Mono installer prompts for a console program.
export WINEDLLOVERRIDES="mscoree,mshtml="

case $action in
start)
  "$sandbox" wineserver -k 2>/dev/null || true
  rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  "$sandbox" wineboot --init >"$WINEPREFIX.wineboot.log" 2>&1
  "$sandbox" wineserver -w
  # Started by the first korvane.exe, the server would share that one's
  # standard error and write its own state into it.
  "$sandbox" wineserver -p >"$WINEPREFIX.wineserver.log" 2>&1
  # The first program on a fresh server starts the prefix's services, which
  # on a busy machine takes longer than a test gives korvane.exe to end.
  "$sandbox" wine cmd /c exit 0 </dev/null >>"$WINEPREFIX.wineboot.log" 2>&1
  ;;
stop)
  "$sandbox" wineserver -k 2>/dev/null || true
  ;;
esac
