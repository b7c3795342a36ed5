#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, and only those
# that are missing. Safe to run again: a machine that has them all is left
# untouched and no package list is fetched.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libgtest-dev libgmock-dev
  gcc-arm-none-eabi binutils-arm-none-eabi
  libunicorn-dev
  nlohmann-json3-dev libtinyxml2-dev
  g++-mingw-w64-x86-64
  clang libclang-rt-14-dev clang-format
  wine wine64
  python3
  groff-base dpkg-dev unzip lintian
  libsqlite3-dev sqlite3 libboost-dev
  libpq-dev postgresql
  chromium chromium-driver python3-selenium
  curl ca-certificates
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -ne 0 ]; then
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The Windows build compiles SQLite into the program. Debian ships no
# source of it, so the amalgamation comes from a pinned registry package,
# checked against its digest, into a cache outside the tree.
sqlite_dir="${KORVANE_SQLITE_DIR:-$HOME/.cache/korvane/sqlite-3.53.2}"
sqlite_tgz="better-sqlite3-12.11.1.tgz"
sqlite_sha256="ebf0ed75a7a59dbcb3b24bbd014ef49d9f15bc328e4adcbf516f2a8fadfa2835"
if [ ! -f "$sqlite_dir/sqlite3.c" ] || [ ! -f "$sqlite_dir/sqlite3.h" ]; then
  tmp=$(mktemp -d)
  trap 'rm -rf "$tmp"' EXIT
  curl -fsSL -o "$tmp/$sqlite_tgz" "https://registry.npmjs.org/better-sqlite3/-/$sqlite_tgz"
  echo "$sqlite_sha256  $tmp/$sqlite_tgz" | sha256sum -c --quiet
  tar -xzf "$tmp/$sqlite_tgz" -C "$tmp" package/deps/sqlite3/sqlite3.c package/deps/sqlite3/sqlite3.h
  mkdir -p "$sqlite_dir"
  mv "$tmp/package/deps/sqlite3/sqlite3.c" "$tmp/package/deps/sqlite3/sqlite3.h" "$sqlite_dir/"
fi
