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
  libssl-dev openssl
  chromium chromium-driver python3-selenium
  ca-certificates
)

# npm fetches SQLite's source for the Windows build (cmake/sqlite_source.cmake),
# Debian's only when the machine has no npm of its own.
if ! command -v npm >/dev/null; then
  packages+=(npm)
fi

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

