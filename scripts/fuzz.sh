#!/usr/bin/env bash
# Builds the fuzz targets (clang-16, AddressSanitizer, UndefinedBehaviorSanitizer) and
# runs each for the given number of seconds, one after another; then prints per target
# the executions, executions per second, coverage and crashes.
#   scripts/fuzz.sh [seconds per target, default 60] [target ...]
# Inputs that crash, leak, hang or hit undefined behaviour are kept in
# <build>/fuzz-crashes/<target>/; the corpus each run grows is kept in
# <build>/fuzz-corpus/<target>/ and reused by the next run. The committed seeds in
# fuzz/corpus/<target>/ are read but never written. Exit status 1 when any target failed.
# KYRDECRYPT_FUZZ_BUILD_DIR chooses the build folder (default build-fuzz);
# KYRDECRYPT_FUZZ_RUNS=N also ends each run after N executions (whichever comes first).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
build=${KYRDECRYPT_FUZZ_BUILD_DIR:-build-fuzz}
mapfile -t all <fuzz/targets.txt
targets=("$@")
((${#targets[@]})) || targets=("${all[@]}")
dictionary_of() {
  case "$1" in
    catalogue | manifest | telemetry) echo fuzz/json.dict ;;
    zip | package) echo fuzz/zip.dict ;;
    elf) echo fuzz/elf.dict ;;
  esac
}

cmake -S . -B "$build" -G Ninja -DKYRDECRYPT_FUZZ=ON -DKYRDECRYPT_BUILD_TESTS=OFF -DKYRDECRYPT_BUILD_PUBLISHER=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang-16 -DCMAKE_CXX_COMPILER=clang++-16 >/dev/null
cmake --build "$build" --target "${targets[@]/#/fuzz_}"

# The targets write their inputs to files: a memory-backed folder makes that cheap.
if [[ -z ${TMPDIR:-} && -d /dev/shm && -w /dev/shm ]]; then export TMPDIR=/dev/shm; fi

# Stack traces with function names.
if [[ -z ${ASAN_SYMBOLIZER_PATH:-} ]] && command -v llvm-symbolizer >/dev/null; then
  export ASAN_SYMBOLIZER_PATH=$(command -v llvm-symbolizer)
fi

# libFuzzer also keeps any input that once took over 10 s ("slow-unit-*"). A stalled
# machine makes those too, so they are named for a replay, not failed: a real hang
# still fails at -timeout.
kept() { find "$crashes" -type f "$@" | wc -l; }

failed=0
rows=()
for target in "${targets[@]}"; do
  corpus=$build/fuzz-corpus/$target
  crashes=$build/fuzz-crashes/$target
  log=$build/fuzz-logs/$target.log
  mkdir -p "$corpus" "$crashes" "$(dirname "$log")"
  before=$(kept ! -name 'slow-unit-*')
  slowBefore=$(kept -name 'slow-unit-*')
  options=(-max_total_time="$seconds" -timeout=25 -rss_limit_mb=2048 -print_final_stats=1
           -artifact_prefix="$crashes/")
  [[ -z ${KYRDECRYPT_FUZZ_RUNS:-} ]] || options+=(-runs="$KYRDECRYPT_FUZZ_RUNS")
  dictionary=$(dictionary_of "$target")
  [[ -z $dictionary ]] || options+=(-dict="$dictionary")
  # Past libFuzzer's default 4096 bytes, or no data file ever outgrows one report request.
  [[ $target != telemetry ]] || options+=(-max_len=16384)
  echo "fuzzing $target for ${seconds}s (log: $log)"
  status=0
  # A leak found at exit is a failure as well: ASan's leak check stays on.
  "$build/fuzz_$target" "${options[@]}" "$corpus" "fuzz/corpus/$target" >"$log" 2>&1 || status=$?
  found=$(($(kept ! -name 'slow-unit-*') - before))
  slow=$(($(kept -name 'slow-unit-*') - slowBefore))
  ((slow == 0)) || echo "  $slow input(s) took over 10 s once; replay them from $crashes" >&2
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n1)
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n1)
  cov=$(grep -oE 'cov: [0-9]+ ft: [0-9]+' "$log" | tail -n1 || true)
  if ((status != 0 || found != 0)); then
    failed=1
    echo "  FAILED (exit $status); kept in $crashes:" >&2
    grep -E '^(==[0-9]+==ERROR|SUMMARY|.*runtime error|property violated)' "$log" | head -n 5 >&2 || true
  fi
  rows+=("$(printf '%-10s %14s %10s %10s %10s %8s' "$target" "${runs:-?}" "${speed:-?}" \
    "$(echo "$cov" | awk '{print $2}')" "$(echo "$cov" | awk '{print $4}')" "$found")")
done

printf '\n%-10s %14s %10s %10s %10s %8s\n' target executions exec/s edges features crashes
printf '%s\n' "${rows[@]}"
exit $failed
