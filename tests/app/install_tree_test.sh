#!/usr/bin/env bash
# Installs the build into a fresh prefix and checks that what lands there works on a desktop:
# the desktop entry and the AppStream metainfo pass their validators, the icon is in the
# hicolor theme, and the programs started through bin/ find the core library and the sample
# package in their own folder.
set -euo pipefail
build_dir=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build_dir" --prefix "$prefix" > "$prefix.log" || { cat "$prefix.log"; exit 1; }
rm -f "$prefix.log"

app_id=com.corvella.Rebrander
desktop-file-validate "$prefix/share/applications/$app_id.desktop"
appstreamcli validate --no-net "$prefix/share/metainfo/$app_id.metainfo.xml"
test -s "$prefix/share/icons/hicolor/scalable/apps/$app_id.svg"

for program in corvella corvella-rebrander; do
  test -L "$prefix/bin/$program"
  test -x "$prefix/bin/$program"
done
program_dir=$(dirname "$(readlink -f "$prefix/bin/corvella")")
test -f "$program_dir/libdynapdf.so"
test -f "$program_dir/file.dat"
test -f "$program_dir/variables.dat"

# The installed command line checks and lists the package beside it, through the link.
"$prefix/bin/corvella" list > "$prefix/list.txt"
grep -q AUTHOR_NAME "$prefix/list.txt"
# And rebrands with the installed core library into a folder of the user's.
out=$(mktemp -d)
trap 'rm -rf "$prefix" "$out"' EXIT
ASAN_OPTIONS=detect_leaks=0 "$prefix/bin/corvella" rebrand --output "$out/book.pdf" \
  --set "AUTHOR_NAME=Installed Tester" 2> "$out/log.txt" || { cat "$out/log.txt"; exit 1; }
test -s "$out/book.pdf"
echo "install tree OK: $prefix"
