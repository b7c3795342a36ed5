#!/usr/bin/env bash
# The Debian changelog writer over release histories of its own: each
# release becomes an entry that dpkg-parsechangelog reads back with its
# version and its day (the weekday computed), and a history that does not
# fit VERSION or holds a stray line is refused.
#
#   debian_changelog_test.sh CMAKE WRITER
set -euo pipefail
cmake=$1 writer=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# write NEWS VERSION: runs the writer; its status is the writer's.
write() {
  printf '%s' "$1" >"$tmp/NEWS"
  rm -f "$tmp/changelog.gz"
  "$cmake" -DNEWS="$tmp/NEWS" -DVERSION="$2" -DREVISION=1 -DSOURCE=korvane \
    "-DMAINTAINER=korvane developers <korvane@example.org>" -DGZIP=gzip \
    -DOUTPUT="$tmp/changelog.gz" -P "$writer" >"$tmp/writer.log" 2>&1
}

# Days around the ends of months, leap years and centuries, where a weekday
# computed by hand goes wrong.
days="2013-01-03 2012-02-29 2000-03-01 1900-12-31 2024-01-01 2023-03-01 2021-02-28"
news="Releases, newest first.

"
i=9
for day in $days; do
  news+="1.$i ($day)
  * Release 1.$i,
    on two lines.

"
  i=$((i - 1))
done
write "$news" 1.9 || fail "the writer refused a sound history: $(cat "$tmp/writer.log")"
zcat "$tmp/changelog.gz" >"$tmp/changelog"
i=9
for day in $days; do
  entry=$(dpkg-parsechangelog -l "$tmp/changelog" --offset $((9 - i)) --count 1)
  echo "$entry" | grep -qxF "Version: 1.$i-1" || fail "entry $((9 - i)) is not 1.$i-1: $entry"
  expected=$(LC_ALL=C date -u -R -d "$day 12:00")
  echo "$entry" | grep -qxF "Date: $expected" || fail "1.$i is not dated $expected: $entry"
  echo "$entry" | grep -qF "on two lines." || fail "1.$i lost its continued item: $entry"
  i=$((i - 1))
done

# Histories the writer refuses, each with the reason it gives.
refused=(
  "1.3 (2013-01-03)
  * Release 1.3.
|1.4|VERSION says 1.4"
  "1.3 (2013-01-03)
  * Release 1.3.
stray text
|1.3|not an item of release 1.3"
  "No release at all.
|1.3|the newest release is ''"
)
for case in "${refused[@]}"; do
  IFS='|' read -r history version reason <<<"${case//$'\n'/$'\x01'}"
  history=${history//$'\x01'/$'\n'}
  if write "$history" "$version"; then fail "the writer took a history for $version it must refuse: $history"; fi
  grep -qF "$reason" "$tmp/writer.log" || fail "the writer refused without saying '$reason': $(cat "$tmp/writer.log")"
  [ ! -e "$tmp/changelog.gz" ] || fail "a refused history left a changelog"
done
echo "debian changelog: ok"
