#!/usr/bin/env bash
# Rebranding benchmark: a generated 500-page e-book with 2,000 tag occurrences and 200 links,
# rebranded by `corvella rebrand`, against `qpdf in.pdf out.pdf` on the same file (a lower
# bound for any tool that reads and writes the whole document). Prints time and peak memory
# (RSS) of both and their ratios.
#
#   bash bench/run_bench.sh [BUILD_DIR=build]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
command -v /usr/bin/time >/dev/null || { apt-get update -qq && apt-get install -y -qq time; }
cmake --build "$build" --target corvella dynapdf make_bench_ebook -j"$(nproc)" >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/bench/make_bench_ebook" "$work/ebook.pdf" 500 2000 200
"$build/bundle/corvella" make-package "$work/ebook.pdf" --output "$work/package" \
  --link-token AFFILIATE_ID >/dev/null 2>&1

measure() {  # prints "seconds kilobytes"
  /usr/bin/time -f "%e %M" -o "$work/time" "$@" >/dev/null 2>&1
  cat "$work/time"
}
read -r qpdf_s qpdf_kb < <(measure qpdf "$work/ebook.pdf" "$work/qpdf-out.pdf")
read -r run_s run_kb < <(measure "$build/bundle/corvella" rebrand --package "$work/package" \
  --output "$work/rebranded.pdf" --set AUTHOR_NAME="Jane Q. Public" \
  --set WEBSITE=www.example.org --set EMAIL=jane@example.org --set BRAND=Acme \
  --set AFFILIATE_ID=jane42)

echo "qpdf:    ${qpdf_s} s, ${qpdf_kb} KiB peak RSS"
echo "corvella: ${run_s} s, ${run_kb} KiB peak RSS"
awk -v a="$run_s" -v b="$qpdf_s" -v c="$run_kb" -v d="$qpdf_kb" \
  'BEGIN { printf "time ratio %.2f, memory ratio %.2f\n", (b > 0 ? a / b : 0), c / d }'
