#!/usr/bin/env bash
# Installs everything the build, the program and the tests need on Debian 12 (run as root).
set -euo pipefail

packages=(
  # toolchain
  cmake g++ clang pkg-config make
  # the PDF core library
  libqpdf-dev libfreetype-dev libharfbuzz-dev libfontconfig-dev
  # fonts the text output writes new values in: the faces e-books use and their metric twins
  # (the README says what each one covers)
  fonts-liberation2 fonts-urw-base35 fonts-crosextra-carlito fonts-crosextra-caladea fonts-dejavu-core
  fonts-lmodern fonts-texgyre fonts-roboto fonts-open-sans fonts-lato fonts-noto-core
  fonts-linuxlibertine
  # a CJK face for Chinese, Japanese and Korean values
  fonts-wqy-microhei
  # the desktop window, its SVG icon, and the validators of its desktop entry and metainfo
  qt6-base-dev libqt6svg6 desktop-file-utils appstream
  # tests: unit tests and independent judges of PDF output
  libgtest-dev libgmock-dev qpdf poppler-utils xvfb zlib1g-dev
  # tests under comma-decimal and Turkish locales: localedef and the locale sources it compiles
  locales
  # the outside judge of rebranded PDFs (scripts/check-rebrand.py) and the compose tests
  python3
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
