#!/usr/bin/env bash
# Rebrands one package with its records in several orders and checks that every order renders the
# same pages: the output must not depend on the order in which the run meets the records.
#
#   check-orders.sh [--corvella PROGRAM] [--keep DIR] PACKAGE_DIR NAME=VALUE...
#
# Orders: as in the file (twice, to tell a run that is not repeatable), reversed, sorted by tagged text, sorted by the value given to the
# record's variable. Line 1 of variables.dat (the fingerprint) stays first in every copy. Pages
# are rendered with pdftoppm and compared byte for byte against the file order's.
# Exit status: 0 when all orders render alike, 1 when one differs or a run fails, 2 on bad usage.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
corvella=$here/../build/bundle/corvella
keep=
while [[ $# -gt 0 ]]; do
  case "$1" in
    --corvella) corvella=$2; shift 2 ;;
    --keep) keep=$2; shift 2 ;;
    -h | --help) sed -n '2,10p' "$0"; exit 0 ;;
    *) break ;;
  esac
done
if [[ $# -lt 2 ]]; then
  echo "usage: check-orders.sh [--corvella PROGRAM] [--keep DIR] PACKAGE_DIR NAME=VALUE..." >&2
  exit 2
fi
package=$1
shift
if [[ ! -f $package/variables.dat || ! -f $package/file.dat ]]; then
  echo "check-orders.sh: $package is not a package (variables.dat and file.dat needed)" >&2
  exit 2
fi
if [[ ! -x $corvella ]]; then
  echo "check-orders.sh: $corvella is not a program (build it or pass --corvella)" >&2
  exit 2
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sets=()
values_file=$work/values
: > "$values_file"
for pair in "$@"; do
  sets+=(--set "$pair")
  printf '%s\n' "$pair" >> "$values_file"
done

# Writes the records (lines 2..) of variables.dat in the order named by $1.
reorder() {
  local order=$1 records=$work/records
  # sed makes sure the last record ends its line, so that no order glues two records together.
  tail -n +2 "$package/variables.dat" | sed -e '$a\' | grep -v '^[[:space:]]*$' > "$records" || true
  case "$order" in
    file | file-again) cat "$records" ;;
    reversed) tac "$records" ;;
    by-tag) LC_ALL=C sort -s -t '^' -k2,2 "$records" ;;
    by-value)
      # The value of a record is the one given to its variable (field 7), else its default.
      awk -F'^' -v values="$values_file" '
        BEGIN { while ((getline line < values) > 0) { i = index(line, "="); v[substr(line, 1, i - 1)] = substr(line, i + 1) } }
        { key = ($7 in v) ? v[$7] : $3; printf "%s\t%s\n", key, $0 }' "$records" |
        LC_ALL=C sort -s -t $'\t' -k1,1 | cut -f2-
      ;;
  esac
}

status=0
# file-again repeats the file order: a run that differs from itself says nothing about orders.
orders=(file file-again reversed by-tag by-value)
for order in "${orders[@]}"; do
  copy=$work/$order
  mkdir -p "$copy"
  cp "$package/file.dat" "$copy/file.dat"
  { head -n 1 "$package/variables.dat"; reorder "$order"; } > "$copy/variables.dat"
  if ! "$corvella" rebrand --package "$copy" --output "$copy/out.pdf" "${sets[@]}" \
      > "$copy/run.log" 2>&1; then
    echo "FAIL $order: the run failed: $(tail -n 1 "$copy/run.log")"
    status=1
    continue
  fi
  pdftoppm -r 72 "$copy/out.pdf" "$copy/page"
done

reference=$work/file
if [[ -f $reference/out.pdf ]]; then
  for order in "${orders[@]:1}"; do
    [[ -f $work/$order/out.pdf ]] || continue
    same=yes
    for page in "$reference"/page-*.ppm; do
      other=$work/$order/$(basename "$page")
      if [[ ! -f $other ]] || ! cmp -s "$page" "$other"; then
        echo "FAIL $order: $(basename "$page" .ppm) renders unlike the file order's"
        same=no
        status=1
      fi
    done
    if [[ $(ls "$work/$order"/page-*.ppm | wc -l) -ne $(ls "$reference"/page-*.ppm | wc -l) ]]; then
      echo "FAIL $order: page count differs from the file order's"
      same=no
      status=1
    fi
    [[ $same == yes ]] && echo "ok $order: renders like the file order"
  done
fi
if [[ -n $keep ]]; then
  mkdir -p "$keep"
  for order in "${orders[@]}"; do
    [[ -f $work/$order/out.pdf ]] && cp "$work/$order/out.pdf" "$keep/$order.pdf"
  done
fi
exit $status
