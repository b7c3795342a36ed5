#!/usr/bin/env bash
# Installs the build tree into a temporary prefix and runs the programs from
# there, then makes the Debian packages and the Windows zip, lints the
# packages and checks what each holds, and runs the zip's programs under
# Wine. The packages are made a second time from the same build, at another
# time, in another time zone and staging folder, and must come out the same,
# byte for byte; the zip a third time with SOURCE_DATE_EPOCH set, whose time
# it must then bear.
#
#   install_test.sh CMAKE CPACK BUILD_DIR VERSION DEBIAN_REVISION NEWS
#                   PORT_SANDBOX WINE WINE_PREFIX_SH [WINE_PREFIX]
#
# Without WINE_PREFIX (the Wine suite's, with its server running) the test
# makes a fresh prefix of its own with WINE_PREFIX_SH. KORVANE_STATION=1
# when the build has korvane-station, which the korvane package and the zip
# then carry.
set -euo pipefail
cmake=$1 cpack=$2 build=$3 version=$4 revision=$5 news=$6
sandbox=$7 wine=$8 wine_prefix_sh=$9 suite_prefix=${10:-}
# The release's day, as NEWS gives it at the top.
release_day=$(grep -m1 -oE '^[0-9][0-9.]* \([0-9]{4}-[0-9]{2}-[0-9]{2}\)$' "$news" | grep -oE '[0-9]{4}-[0-9]{2}-[0-9]{2}')
release_epoch=$(date -u -d "$release_day 12:00" +%s)
# Times as the packages hold them, whatever the machine's zone.
export TZ=UTC
# cpack writes the members of a .deb with the modes the umask leaves: the
# usual one, whatever the caller's.
umask 022

tmp=$(mktemp -d)
boardsim_pid=
own_prefix=
cleanup() {
  if [ -n "$boardsim_pid" ]; then kill "$boardsim_pid" 2>/dev/null || true; fi
  if [ -n "$own_prefix" ]; then bash "$wine_prefix_sh" stop "$sandbox" "$own_prefix" || true; fi
  rm -rf "$tmp"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# Run from elsewhere, so that nothing is found through the working directory.
cd "$tmp"
prefix=$tmp/prefix
"$cmake" --install "$build" --prefix "$prefix" >install.log

linux_files="bin/korvane bin/korvane-image bin/boardsim bin/korvane-diagnose
share/man/man1/korvane.1.gz share/man/man1/korvane-image.1.gz share/man/man1/boardsim.1.gz
share/man/man1/korvane-diagnose.1.gz share/doc/korvane/README.md"
station=${KORVANE_STATION:-0}
if [ "$station" = 1 ]; then
  linux_files="$linux_files bin/korvane-station share/man/man1/korvane-station.1.gz"
fi
line=${KORVANE_LINE:-0}
if [ "$line" = 1 ]; then
  linux_files="$linux_files bin/korvane-line share/man/man1/korvane-line.1.gz"
fi
(cd "$prefix" && find . -type f | sed 's|^\./||' | sort) >installed.txt
echo "$linux_files" | tr ' ' '\n' | sort >expected.txt
diff expected.txt installed.txt || fail "the prefix holds other files than these"

# The programs must not look for libraries in the build tree.
for p in "$prefix"/bin/*; do
  if readelf -d "$p" | grep -q -e RPATH -e RUNPATH; then fail "$p carries a library path"; fi
done

status=0
"$prefix/bin/korvane" -h >out.txt 2>err.txt || status=$?
[ "$status" -eq 1 ] || fail "korvane -h exited with $status, not 1"
[ ! -s out.txt ] || fail "korvane -h wrote to standard output"
head -1 err.txt | grep -qxF 'Usage: korvane [-c] [-h] [-l <logfile>] [-p <port>] [-v] [sdram|flash]' ||
  fail "korvane -h: no usage text"
# korvane's usage text is fixed, its release with it, whatever VERSION says.
korvane_usage_version='Version: 1.3, 03 January 2013'
grep -qxF "$korvane_usage_version" err.txt || fail "korvane -h: not '$korvane_usage_version'"

"$prefix/bin/boardsim" --help >help.txt || fail "boardsim --help exited with $?"
head -1 help.txt | grep -qxF 'Usage: boardsim [options]' || fail "boardsim --help: no usage text"

# Every option the programs know is in their manual pages.
for opt in $(grep -oE '^  --[a-z-]+' help.txt); do
  zcat "$prefix/share/man/man1/boardsim.1.gz" | grep -qF -- "${opt//-/\\-}" ||
    fail "boardsim.1 does not describe $opt"
done
for opt in -c -h -l -p -v; do
  zcat "$prefix/share/man/man1/korvane.1.gz" | grep -qxF -- ".B ${opt//-/\\-}" ||
    zcat "$prefix/share/man/man1/korvane.1.gz" | grep -qF -- ".BI ${opt//-/\\-} " ||
    fail "korvane.1 does not describe $opt"
done

# One verbose run of the installed pair, korvane downloading its own monitor
# into the installed simulated board with a broken data line and a flash
# that never gets ready, and the installed korvane-diagnose on its log.
# boardsim prints the line's path once the line and its link are made.
coproc boardsim {
  exec "$prefix/bin/boardsim" --link "$tmp/board" --data-stuck 5:1 --nand-never-ready 2>boardsim.err
}
boardsim_pid=$boardsim_PID
read -r -t 10 -u "${boardsim[0]}" line_path || fail "boardsim made no line: $(cat boardsim.err)"
[ "$(readlink "$tmp/board")" = "$line_path" ] || fail "boardsim's link is not to $line_path"
timeout 20 "$prefix/bin/korvane" -p "$tmp/board" -v -l run.log >run.txt 2>&1 || fail "korvane: $(cat run.txt)"
"$prefix/bin/korvane-diagnose" run.log >diagnosis.txt || fail "korvane-diagnose exited with $?"
for verdict in 'SDRAM: data line 5 stuck at 1' 'FLASH: never became ready (status 0x80 after the reset)'; do
  grep -qxF "$verdict" diagnosis.txt || fail "the installed korvane-diagnose misread the log: $(cat diagnosis.txt)"
done

# make_packages FOLDER [GENERATOR...]: the packages, made in FOLDER.
make_packages() {
  local folder=$1
  shift
  local generators=${*:-DEB ZIP}
  for g in $generators; do
    "$cpack" --config "$build/CPackConfig.cmake" -B "$folder" -G "$g" >"cpack-$g.log" 2>&1 ||
      fail "cpack -G $g: $(cat "cpack-$g.log")"
  done
}
(unset SOURCE_DATE_EPOCH && make_packages "$tmp/packages")

# check_deb PACKAGE DEPENDS FILES...: the package's version, its Depends
# (package names alone) and its files below /usr; lintian finds nothing.
check_deb() {
  local name=$1 depends=$2
  shift 2
  local deb=$tmp/packages/${name}_${version}-${revision}_$(dpkg --print-architecture).deb
  [ -f "$deb" ] || fail "no $(basename "$deb")"
  [ "$(dpkg-deb -f "$deb" Version)" = "$version-$revision" ] || fail "$name is not version $version-$revision"
  # Every file and folder bears the release's day.
  dpkg-deb --fsys-tarfile "$deb" | tar -tv --full-time | awk '{ print $4, $5 }' | sort -u >"$name-times.txt"
  [ "$(cat "$name-times.txt")" = "$(date -u -d "@$release_epoch" '+%Y-%m-%d %H:%M:%S')" ] ||
    fail "$name's files are not all of the release's day: $(cat "$name-times.txt")"
  dpkg-deb -f "$deb" Depends | tr ',' '\n' | awk '{ print $1 }' | sort >"$name-depends.txt"
  echo "$depends" | tr ' ' '\n' | sort | diff - "$name-depends.txt" ||
    fail "$name's Depends is not what its programs link: $(dpkg-deb -f "$deb" Depends)"
  printf '%s\n' "$@" | sort >"$name-expected.txt"
  dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $NF }' | sed 's|^\./usr/||' | sort >"$name-files.txt"
  diff "$name-expected.txt" "$name-files.txt" || fail "$name holds other files than these"
  echo "lintian on $name, installed size $(dpkg-deb -f "$deb" Installed-Size) KiB:"
  lintian -I -E --pedantic --show-overrides "$deb" >"$name-lintian.txt" 2>&1 || true
  grep -v '^running with root privileges' "$name-lintian.txt" || true
  if grep -qE '^[EW]: |hardening|binary-has-unneeded-section' "$name-lintian.txt"; then fail "lintian complains about $name"; fi
  dpkg-deb -x "$deb" "deb-$name"
}
command -v lintian >/dev/null || fail "lintian not found: run scripts/setup.sh"
doc=share/doc/korvane
if [ "$station" = 1 ]; then
  check_deb korvane 'libc6 libgcc-s1 libsqlite3-0 libssl3 libstdc++6' bin/korvane bin/korvane-diagnose \
    bin/korvane-image bin/korvane-station share/man/man1/korvane.1.gz \
    share/man/man1/korvane-diagnose.1.gz share/man/man1/korvane-image.1.gz \
    share/man/man1/korvane-station.1.gz \
    $doc/README.md $doc/changelog.Debian.gz $doc/copyright share/lintian/overrides/korvane
else
  check_deb korvane 'libc6 libgcc-s1 libstdc++6' bin/korvane bin/korvane-diagnose bin/korvane-image \
    share/man/man1/korvane.1.gz share/man/man1/korvane-diagnose.1.gz share/man/man1/korvane-image.1.gz \
    $doc/README.md $doc/changelog.Debian.gz $doc/copyright share/lintian/overrides/korvane
fi
doc=share/doc/korvane-boardsim
check_deb korvane-boardsim 'libc6 libgcc-s1 libstdc++6 libunicorn2' bin/boardsim share/man/man1/boardsim.1.gz \
  $doc/changelog.Debian.gz $doc/copyright share/lintian/overrides/korvane-boardsim
if [ "$line" = 1 ]; then
  doc=share/doc/korvane-line
  check_deb korvane-line 'libc6 libgcc-s1 libpq5 libsqlite3-0 libssl3 libstdc++6' bin/korvane-line \
    share/man/man1/korvane-line.1.gz $doc/changelog.Debian.gz $doc/copyright \
    share/lintian/overrides/korvane-line
  deb-korvane-line/usr/bin/korvane-line --help >/dev/null || fail "the packaged korvane-line --help exited with $?"
fi
# The changelog's newest entry is this release, of its day.
zcat deb-korvane/usr/share/doc/korvane/changelog.Debian.gz | head -1 | grep -qF "korvane ($version-$revision)" ||
  fail "the changelog does not begin with $version-$revision"
zcat deb-korvane/usr/share/doc/korvane/changelog.Debian.gz >changelog
changelog_date=$(dpkg-parsechangelog -l changelog -S Date)
[ "$changelog_date" = "$(LC_ALL=C date -u -R -d "@$release_epoch")" ] ||
  fail "the changelog's release is of $changelog_date, not $release_day"
# The description is whole, its semicolon included.
dpkg-deb -f "$tmp/packages/korvane_${version}-${revision}_$(dpkg --print-architecture).deb" Description >description.txt
grep -qF 'from the log of a verbose run; korvane-image packs' description.txt ||
  fail "the description lost its semicolon: $(cat description.txt)"
# The copyright file names the JSON library korvane-diagnose compiles in.
grep -qxF 'Files: nlohmann/*' deb-korvane/usr/share/doc/korvane/copyright ||
  fail "the copyright file has no stanza for the JSON library"
if [ "$station" = 1 ]; then
  grep -qxF 'Files: boost/*' deb-korvane/usr/share/doc/korvane/copyright ||
    fail "the copyright file has no stanza for Boost, which korvane-station compiles in"
fi
# Stripped for the package, the programs still run.
status=0
deb-korvane/usr/bin/korvane -h 2>/dev/null || status=$?
[ "$status" -eq 1 ] || fail "the packaged korvane -h exited with $status"
deb-korvane/usr/bin/korvane-diagnose run.log | diff diagnosis.txt - ||
  fail "the packaged korvane-diagnose misread the log"
deb-korvane-boardsim/usr/bin/boardsim --help >/dev/null || fail "the packaged boardsim --help exited with $?"

zip=$tmp/packages/korvane-$version-win64.zip
[ -f "$zip" ] || fail "no korvane-$version-win64.zip"
unzip -Z1 "$zip" | grep -v '/$' | sort >zip.txt
zip_files="README.txt THIRD-PARTY-NOTICES.txt korvane.exe korvane.txt korvane-diagnose.exe korvane-diagnose.txt"
zip_programs="korvane.exe korvane-diagnose.exe"
if [ "$station" = 1 ]; then
  zip_files="$zip_files korvane-station.exe korvane-station.txt"
  zip_programs="$zip_programs korvane-station.exe"
fi
printf "korvane-$version-win64/%s\n" $zip_files | sort >zip-expected.txt
diff zip-expected.txt zip.txt || fail "the zip holds other files than these"
unzip -q "$zip" -d unzipped
dir=unzipped/korvane-$version-win64
for exe in $zip_programs; do
  [ "$(head -c 2 "$dir/$exe")" = MZ ] || fail "$exe is no Windows program"
  x86_64-w64-mingw32-nm "$dir/$exe" 2>&1 | grep -q 'no symbols' || fail "$exe is not stripped"
  echo "$exe: $(stat -c %s "$dir/$exe") bytes"
done
# Every file of the zip bears the release's day, in UTC.
unzip -Z -T "$zip" | awk '$1 ~ /^[-d]/ { print $(NF - 1) }' | sort -u >zip-times.txt
[ "$(cat zip-times.txt)" = "$(date -u -d "@$release_epoch" +%Y%m%d.%H%M%S)" ] ||
  fail "the zip's files are not all of the release's day: $(cat zip-times.txt)"
# The notices, plain CR LF text, hold each component's licence.
notices=$dir/THIRD-PARTY-NOTICES.txt
[ "$(grep -c $'\r$' "$notices")" = "$(wc -l <"$notices")" ] || fail "THIRD-PARTY-NOTICES.txt is not CR LF text"
licences=('License: Expat' 'License: ZPL-2.1' 'License: expat' 'GCC RUNTIME LIBRARY EXCEPTION')
[ "$station" = 1 ] && licences+=('License: public-domain' 'License: BSL-1.0')
for licence in "${licences[@]}"; do
  grep -qF "$licence" "$notices" || fail "THIRD-PARTY-NOTICES.txt lacks '$licence'"
done
# The notices and the README speak of every program the zip holds: each
# has its quick start in README.txt, its manual in README.txt's list and its
# name in the notices' opening.
for exe in $zip_programs; do
  grep -qE "^  $exe " "$dir/README.txt" || fail "README.txt has no quick start for $exe"
  grep -qE "^  ${exe%.exe}\.txt " "$dir/README.txt" || fail "README.txt does not list ${exe%.exe}.txt"
  sed -n '1,/^1\./p' "$notices" | tr -s ' \r\n' ' ' | grep -qF "$exe" ||
    fail "THIRD-PARTY-NOTICES.txt does not say what $exe carries"
done
if sed -n '1,/^1\./p' "$notices" | grep -qwE 'both|two'; then
  fail "THIRD-PARTY-NOTICES.txt counts the programs wrong"
fi
for text in $(echo "$zip_files" | tr ' ' '\n' | grep '\.txt$'); do
  # Plain text for Notepad: CR LF, no overstrikes or escapes.
  if LC_ALL=C grep -qP '[\x08\x1b]' "$dir/$text" ||
    [ "$(grep -c $'\r$' "$dir/$text")" != "$(wc -l <"$dir/$text")" ]; then
    fail "$text is not plain CR LF text"
  fi
  # Written for Windows, and about what the zip holds: no Linux devices,
  # packages or manual sections, no program the zip lacks, and every file
  # it names is in the zip.
  if grep -nE '/dev/|boardsim|korvane-image|(^|[^a-z])apt([^a-z]|$)|[a-z]\(1\)' "$dir/$text"; then
    fail "$text describes what the zip lacks"
  fi
  for named in $(grep -oE '[A-Za-z0-9_-]+\.(exe|txt)' "$dir/$text" | sort -u); do
    [ -f "$dir/$named" ] || fail "$text names $named, which the zip lacks"
  done
done
for section in SYNOPSIS OPTIONS PORTS 'WHAT A FAILED TEST MEANS' 'EXIT STATUS' EXAMPLES; do
  grep -q "^$section" "$dir/korvane.txt" || fail "korvane.txt has no $section"
done
for section in SYNOPSIS OPTIONS 'EXIT STATUS' EXAMPLES; do
  grep -q "^$section" "$dir/korvane-diagnose.txt" || fail "korvane-diagnose.txt has no $section"
done
# Every option the programs print in their usage texts is in their manuals.
for opt in -c -h -l -p -v; do
  grep -qE -- "^ +$opt( |$)" "$dir/korvane.txt" || fail "korvane.txt does not describe $opt"
done
for opt in $("$prefix/bin/korvane-diagnose" --help | grep -E '^ +-' | grep -oE -- '--?[a-z][a-z-]*'); do
  grep -qE -- "^ +(-[a-z], )?$opt" "$dir/korvane-diagnose.txt" || fail "korvane-diagnose.txt does not describe $opt"
done
grep -qF 'korvane.exe -p 3 -v -l run.log' "$dir/README.txt" || fail "README.txt has no quick start"
if [ "$station" = 1 ]; then
  for section in SYNOPSIS OPTIONS 'THE BOARDS TABLE' 'EXIT STATUS' EXAMPLES; do
    grep -q "^$section" "$dir/korvane-station.txt" || fail "korvane-station.txt has no $section"
  done
  for opt in $({ "$prefix/bin/korvane-station" --help 2>&1 || true; } | grep -oE -- '--[a-z][a-z-]*' | sort -u); do
    grep -qE -- "^ +(-[a-z], )?$opt" "$dir/korvane-station.txt" || fail "korvane-station.txt does not describe $opt"
  done
fi

# The same packages again, from the same build: later, in another time zone
# and staging folder.
(unset SOURCE_DATE_EPOCH && TZ=Asia/Kolkata make_packages "$tmp/again")
for package in "$tmp"/packages/*.deb "$zip"; do
  cmp "$package" "$tmp/again/$(basename "$package")" || fail "$(basename "$package") is not the same when made again"
done
# SOURCE_DATE_EPOCH, when given, is the packages' time.
(export SOURCE_DATE_EPOCH=1600000000 && make_packages "$tmp/epoch" ZIP)
unzip -Z -T "$tmp/epoch/$(basename "$zip")" | awk '$1 ~ /^[-d]/ { print $(NF - 1) }' | sort -u >epoch-times.txt
[ "$(cat epoch-times.txt)" = 20200913.122640 ] || fail "SOURCE_DATE_EPOCH was not the packages' time: $(cat epoch-times.txt)"

# The zip's programs run from where it was unpacked, in a Wine prefix whose
# COM ports are covered by port_sandbox, as every Wine process is.
[ -n "$suite_prefix" ] || own_prefix=$tmp/wine
[ -z "$own_prefix" ] || bash "$wine_prefix_sh" start "$sandbox" "$own_prefix" || fail "no Wine prefix: $(cat "$own_prefix.wineboot.log")"
export WINEPREFIX=${own_prefix:-$suite_prefix} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
status=0
"$sandbox" "$wine" "$dir/korvane.exe" -h >exe-out.txt 2>exe-err.txt || status=$?
[ "$status" -eq 1 ] || fail "korvane.exe -h exited with $status: $(cat exe-err.txt)"
grep -qF "$korvane_usage_version" exe-err.txt || fail "korvane.exe -h: not '$korvane_usage_version'"
"$sandbox" "$wine" "$dir/korvane-diagnose.exe" --version >exe-version.txt 2>exe-err.txt ||
  fail "korvane-diagnose.exe --version exited with $?: $(cat exe-err.txt)"
[ "$(tr -d '\r' <exe-version.txt)" = "korvane-diagnose $version" ] ||
  fail "korvane-diagnose.exe --version: $(cat exe-version.txt)"
"$sandbox" "$wine" "$dir/korvane-diagnose.exe" run.log >exe-diagnosis.txt 2>exe-err.txt ||
  fail "korvane-diagnose.exe exited with $?: $(cat exe-err.txt)"
tr -d '\r' <exe-diagnosis.txt | diff diagnosis.txt - || fail "korvane-diagnose.exe and korvane-diagnose disagree"
echo "install and packages: ok"
