#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (build-fuzz) and runs each for a short fixed time on a
# copy of its corpus; fails when any target crashes, leaks, times out or runs out of memory.
#
#   bash scripts/fuzz.sh [--seconds N] [--jobs N] [TARGET...]
#
# TARGET: variables settings cmap font_program content run (default: all that this clang
# builds). A crash leaves its
# input in build-fuzz/fuzz-artifacts/<target>/; add a small copy of it to tests/fuzz/corpus/<target>/
# once it is fixed, so the replay test keeps it fixed.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=20
jobs=$(nproc)
targets=()
while [[ $# -gt 0 ]]; do
  case "$1" in
    --seconds) seconds="$2"; shift 2 ;;
    --jobs) jobs="$2"; shift 2 ;;
    -h|--help) sed -n '2,9p' "$0"; exit 0 ;;
    *) targets+=("$1"); shift ;;
  esac
done

cc=$(command -v clang-14 || command -v clang)
cxx=$(command -v clang++-14 || command -v clang++)
build=build-fuzz

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" \
  -DCORVELLA_FUZZ=ON -DCORVELLA_BUILD_APP=OFF >/dev/null
# The targets this compiler can build (tests/fuzz/CMakeLists.txt lists them).
if [[ ${#targets[@]} -eq 0 ]]; then
  mapfile -t targets < "$build/fuzz_targets.txt"
fi
start=$(date +%s)
cmake --build "$build" -j"$jobs" --target $(printf 'fuzz_%s ' "${targets[@]}")
echo "fuzz build: $(( $(date +%s) - start )) s"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# fontconfig keeps its first configuration for the life of the process.
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp
failed=()
for target in "${targets[@]}"; do
  work="$build/fuzz-work/$target"
  artifacts="$build/fuzz-artifacts/$target"
  rm -rf "$work"
  mkdir -p "$work" "$artifacts"
  cp tests/fuzz/corpus/"$target"/* "$work"/
  echo "fuzzing $target for $seconds s"
  # stdout is closed (-close_fd_mask=1): the library's error callback prints one line per
  # problem, and bad input makes many.
  if ! "$build/tests/fuzz_$target" "$work" -max_total_time="$seconds" -timeout=10 \
      -rss_limit_mb=2048 -max_len=65536 -close_fd_mask=1 -print_final_stats=1 \
      -artifact_prefix="$artifacts/" 2>"$build/fuzz-$target.log"; then
    tail -n 60 "$build/fuzz-$target.log" >&2
    failed+=("$target")
  else
    grep -E '^stat::number_of_executed_units|^Done' "$build/fuzz-$target.log" || true
  fi
done

if [[ ${#failed[@]} -gt 0 ]]; then
  echo "fuzzing found problems in: ${failed[*]} (inputs in $build/fuzz-artifacts/)" >&2
  exit 1
fi
echo "fuzzing: no crash in ${targets[*]}"
