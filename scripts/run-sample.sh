#!/usr/bin/env bash
# Builds the program folder and runs the main job on the bundled sample package.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)"
./build/bundle/corvella list
