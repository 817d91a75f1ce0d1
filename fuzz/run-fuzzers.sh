#!/usr/bin/env bash
# Builds the libFuzzer programs with clang and runs each target for a while.
#
#   fuzz/run-fuzzers.sh [--time SECONDS] [--parallel N] [--build-dir DIR] [TARGET...]
#
# Defaults: every target, 600 seconds each, two at a time, build-fuzz/. Each
# target grows its own working corpus in DIR/work/<target>/ (the committed
# seeds in fuzz/corpus/<target>/ are read, never written), writes crashing
# inputs to DIR/artifacts/<target>/ and its log to DIR/logs/<target>.log; a
# summary line per target (runs, seconds, corpus size, findings) ends the run.
# Exits non-zero when any target found something.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh

seconds=600
parallel=2
build_dir=build-fuzz
targets=()
while [ $# -gt 0 ]; do
  case "$1" in
    --time) seconds="$2"; shift ;;
    --parallel) parallel="$2"; shift ;;
    --build-dir) build_dir="$2"; shift ;;
    -*) echo "usage: fuzz/run-fuzzers.sh [--time S] [--parallel N] [--build-dir DIR] [TARGET...]" >&2
        exit 2 ;;
    *) targets+=("$1") ;;
  esac
  shift
done
[ ${#targets[@]} -gt 0 ] || targets=(open_list extract inflate inflate64 explode unshrink unreduce
                                     deflate_round_trip stub_inflate aes_reader)

ensure_packages "${BUILD_PACKAGES[@]}" clang libclang-rt-14-dev
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DVZ_BUILD_FUZZERS=ON -DVZ_BUILD_TESTS=OFF -DVZ_WERROR=ON >/dev/null
cmake --build "$build_dir" -j"$parallel" --target $(printf 'vz_fuzz_%s ' "${targets[@]}")

# Inputs long enough for several 16000-byte buffers and 32 KiB windows; the
# round trip repeats its input up to 16 times, so it needs less.
max_len() {
  case "$1" in
    deflate_round_trip) echo 16384 ;;
    *) echo 65536 ;;
  esac
}

run_one() {
  local t="$1"
  mkdir -p "$build_dir/work/$t" "$build_dir/artifacts/$t" "$build_dir/logs"
  "$build_dir/fuzz/vz_fuzz_$t" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 \
    -max_len="$(max_len "$t")" -print_final_stats=1 \
    -artifact_prefix="$build_dir/artifacts/$t/" \
    "$build_dir/work/$t" "fuzz/corpus/$t" >"$build_dir/logs/$t.log" 2>&1 || true
}

running=0
for t in "${targets[@]}"; do
  run_one "$t" &
  running=$((running + 1))
  if [ "$running" -ge "$parallel" ]; then
    wait -n || true
    running=$((running - 1))
  fi
done
wait || true

status=0
printf '%-20s %12s %8s %10s %10s %s\n' target runs seconds corpus bytes findings
for t in "${targets[@]}"; do
  log="$build_dir/logs/$t.log"
  if [ ! -f "$log" ]; then
    echo "$t: no log" >&2
    status=1
    continue
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  secs=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log" | tail -1)
  corp=$(grep -o 'corp: [0-9]*/[0-9]*[a-zA-Z]*' "$log" | tail -1 | sed 's/corp: //')
  files=$(find "$build_dir/artifacts/$t" -type f | wc -l)
  [ "$files" -eq 0 ] || status=1
  printf '%-20s %12s %8s %10s %10s %s\n' "$t" "${runs:-?}" "${secs:-?}" "${corp%%/*}" \
    "${corp#*/}" "$files"
done
exit $status
