#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, and only those that are missing.
# Quiet when everything is there. Works as root and through sudo.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config make
  libgtest-dev libgmock-dev
  tzdata attr
  libsqlite3-dev sqlite3
  clang libclang-rt-dev llvm
  libzip-dev zip unzip
  python3  # the end-to-end tests (tests/crash), which ctest leaves out without it
  qt6-base-dev
  xvfb xauth  # the test of a run on a virtual X display
)
# Further packages a make target needs only for itself (the benchmarks' peers, for example).
packages+=("$@")

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "Need root or sudo to install: ${missing[*]}" >&2; exit 1; }
  sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
