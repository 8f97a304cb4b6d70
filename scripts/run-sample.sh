#!/usr/bin/env bash
# Builds the program folder (build/bundle: programs, core library, sample package) and runs the
# main job on the bundled sample e-book: the window when a display is available, otherwise a
# rebranding from the command line with a few example values.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)"

bundle=build/bundle
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x "$bundle/corvella-rebrander" ]; then
  exec "$bundle/corvella-rebrander"
fi

output=$PWD/build/sample-rebranded.pdf
"$bundle/corvella" list
"$bundle/corvella" rebrand --output "$output" \
  --set "AUTHOR_NAME=Dr. Émile Zoë Brontë" \
  --set WEBSITE=www.grow-with-emile.fr \
  --set EMAIL=emile@grow-with-emile.fr \
  --set AFFILIATE_ID=emile77
echo "The rebranded sample e-book is at $output"
