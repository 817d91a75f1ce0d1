#!/usr/bin/env bash
# Listing a large archive: vzip l in each of the eight sort orders against
# unzip -l, peak resident memory and wall time, median of RUNS interleaved
# runs. Prints each order's figures and whether it meets the targets
# (at most 12 MB resident, at most 0.5x unzip -l's time).
#
#   bench/run-list-memory.sh ARCHIVE [VZIP] [RUNS]
#
# ARCHIVE: e.g. a `zip -1 -r` of /work/bench-corpus/many (100,000 members).
set -euo pipefail

archive=${1:?usage: run-list-memory.sh ARCHIVE [VZIP] [RUNS]}
vzip=${2:-build/dev/bin/vzip}
runs=${3:-5}
limit_kb=$((12 * 1024))
orders=(none name file dir date csize size rate)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Appends "seconds kilobytes" of one run of the command to the file $1.
measure() {
  local out=$1
  shift
  local start end
  start=$(date +%s%N)
  /usr/bin/time -f %M -o "$work/rss" "$@" >/dev/null
  end=$(date +%s%N)
  echo "$(((end - start) / 1000)) $(tail -n 1 "$work/rss")" >>"$out"
}

# The median of one column (1: microseconds, 2: kilobytes) of a file.
median() {
  sort -n -k"$2" "$1" | awk -v c="$2" '{v[NR] = $c} END {print v[int((NR + 1) / 2)]}'
}

for ((run = 0; run < runs; ++run)); do
  measure "$work/unzip" /usr/bin/unzip -l "$archive"
  for order in "${orders[@]}"; do
    measure "$work/$order" "$vzip" l --sort "$order" "$archive"
  done
done

unzip_us=$(median "$work/unzip" 1)
printf '%-8s %9s %8s %7s  %s\n' order "time ms" "RSS MB" ratio verdict
printf '%-8s %9.1f %8.1f %7s\n' "unzip -l" "$(echo "$unzip_us / 1000" | bc -l)" \
  "$(echo "$(median "$work/unzip" 2) / 1024" | bc -l)" "1.00"
for order in "${orders[@]}"; do
  us=$(median "$work/$order" 1)
  kb=$(median "$work/$order" 2)
  ratio=$(echo "$us / $unzip_us" | bc -l)
  verdict=met
  if ((kb > limit_kb)) || (($(echo "$ratio > 0.5" | bc -l))); then verdict=missed; fi
  printf '%-8s %9.1f %8.1f %7.2f  %s\n' "$order" "$(echo "$us / 1000" | bc -l)" \
    "$(echo "$kb / 1024" | bc -l)" "$ratio" "$verdict"
done
