#!/usr/bin/env bash
# Installs the build tree into a temporary prefix and runs the programs from
# there, then makes both packages and checks what they hold.
#
#   install_test.sh CMAKE CPACK BUILD_DIR VERSION HAS_DIAGNOSE
set -euo pipefail
cmake=$1 cpack=$2 build=$3 version=$4

tmp=$(mktemp -d)
boardsim_pid=
cleanup() {
  if [ -n "$boardsim_pid" ]; then kill "$boardsim_pid" 2>/dev/null || true; fi
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
grep -qxF "Version: $version, 03 January 2013" err.txt || fail "korvane -h: not version $version"

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

# One run of the installed pair, korvane downloading its own monitor into
# the installed simulated board.
# boardsim prints the line's path once the line and its link are made.
coproc boardsim { exec "$prefix/bin/boardsim" --link "$tmp/board" 2>boardsim.err; }
boardsim_pid=$boardsim_PID
read -r -t 10 -u "${boardsim[0]}" line_path || fail "boardsim made no line: $(cat boardsim.err)"
[ "$(readlink "$tmp/board")" = "$line_path" ] || fail "boardsim's link is not to $line_path"
timeout 20 "$prefix/bin/korvane" -p "$tmp/board" flash >run.txt 2>&1 || fail "korvane: $(cat run.txt)"
grep -qF 'Testing FLASH... passed' run.txt || fail "installed korvane and boardsim: $(cat run.txt)"

for generator in DEB ZIP; do
  "$cpack" --config "$build/CPackConfig.cmake" -B "$tmp/packages" -G $generator >cpack-$generator.log ||
    fail "cpack -G $generator: $(cat cpack-$generator.log)"
done

deb=$(echo "$tmp"/packages/korvane_"$version"_*.deb)
[ -f "$deb" ] || fail "no korvane_${version}_*.deb"
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $NF }' | sed 's|^\./usr/||' | sort >deb.txt
diff expected.txt deb.txt || fail "the .deb holds other files than these"
# Stripped for the package, the programs still run.
dpkg-deb -x "$deb" deb-root
status=0
deb-root/usr/bin/korvane -h 2>/dev/null || status=$?
[ "$status" -eq 1 ] || fail "the packaged korvane -h exited with $status"
deb-root/usr/bin/boardsim --help >/dev/null || fail "the packaged boardsim --help exited with $?"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "the .deb is not version $version"
depends=$(dpkg-deb -f "$deb" Depends)
# The package names alone, one a line, without their versions.
echo "$depends" | tr ',' '\n' | awk '{ print $1 }' | sort >depends.txt
printf '%s\n' libc6 libgcc-s1 libstdc++6 libunicorn2 | sort >depends-expected.txt
diff depends-expected.txt depends.txt || fail "Depends is not what the programs link: $depends"

zip=$tmp/packages/korvane-$version-win64.zip
[ -f "$zip" ] || fail "no korvane-$version-win64.zip"
unzip -Z1 "$zip" | grep -v '/$' | sort >zip.txt
printf "korvane-$version-win64/%s\n" README.txt korvane.exe korvane-diagnose.exe korvane.txt | sort >zip-expected.txt
diff zip-expected.txt zip.txt || fail "the zip holds other files than these"
unzip -q "$zip" -d unzipped
dir=unzipped/korvane-$version-win64
for exe in korvane.exe korvane-diagnose.exe; do
  [ "$(head -c 2 "$dir/$exe")" = MZ ] || fail "$exe is no Windows program"
done
# Plain text for Notepad: CR LF, no overstrikes or escapes, the whole page.
if LC_ALL=C grep -qP '[\x08\x1b]' "$dir/korvane.txt" ||
  [ "$(grep -c $'\r$' "$dir/korvane.txt")" != "$(wc -l <"$dir/korvane.txt")" ]; then
  fail "korvane.txt is not plain CR LF text"
fi
for section in SYNOPSIS OPTIONS PORTS 'EXIT STATUS'; do
  grep -q "^$section" "$dir/korvane.txt" || fail "korvane.txt has no $section"
done
grep -q '^## Install' "$dir/README.txt" || fail "README.txt has no Install section"
echo "install and packages: ok"
