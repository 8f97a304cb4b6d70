#!/usr/bin/env bash
# Installs everything the build, the program and the tests need on Debian 12 (run as root).
set -euo pipefail

packages=(
  # toolchain
  cmake g++ clang pkg-config make
  # the PDF core library
  libqpdf-dev libfreetype-dev libharfbuzz-dev libfontconfig-dev
  # fonts the text output falls back to
  fonts-liberation2 fonts-urw-base35 fonts-crosextra-carlito fonts-crosextra-caladea fonts-dejavu-core
  # the desktop window, its SVG icon, and the validators of its desktop entry and metainfo
  qt6-base-dev libqt6svg6 desktop-file-utils appstream
  # tests: unit tests and independent judges of PDF output
  libgtest-dev libgmock-dev qpdf poppler-utils xvfb zlib1g-dev
  # fuzzing (scripts/fuzz.sh): libFuzzer's runtime
  libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
