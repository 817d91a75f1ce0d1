#!/usr/bin/env bash
# The codec benchmark in one command, from a clean clone: installs what is
# missing (build tools, zlib1g-dev, libdeflate-dev, through apt-get),
# configures a Release build with VZ_BUILD_BENCH, builds vz_codec_bench,
# builds the "single" and "mixed" corpora if they are not there yet, and runs
# the benchmark on single.txt (text) and cc1plus (a large binary).
#
#   bench/run-codecs.sh [--runs N] [--cpu-time] [--only GROUP] [--corpus DIR] [--build-dir DIR]
#
# Defaults: 5 rounds, build/bench-corpus, build/bench. --cpu-time times each
# codec by the thread's CPU clock (for a machine shared with other work);
# --only keeps the groups whose name starts with GROUP ("inflate", "deflate").
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh

runs=5
timing=()
only=()
corpus=build/bench-corpus
build_dir=build/bench
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs="$2"; shift ;;
    --cpu-time) timing=(--cpu-time) ;;
    --only) only=(--only "$2"); shift ;;
    --corpus) corpus="$2"; shift ;;
    --build-dir) build_dir="$2"; shift ;;
    *) echo "usage: bench/run-codecs.sh [--runs N] [--cpu-time] [--only GROUP] [--corpus DIR]" \
            "[--build-dir DIR]" >&2
       exit 2 ;;
  esac
  shift
done

ensure_packages "${BUILD_PACKAGES[@]}" zlib1g-dev libdeflate-dev
# No VZ_WERROR here: g++ 12 at -O3 warns falsely (-Wrestrict) inside
# libstdc++'s string code.
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVZ_BUILD_BENCH=ON \
  -DVZ_BUILD_TESTS=OFF >/dev/null
cmake --build "$build_dir" --target vz_codec_bench -j2 >/dev/null
bench/make-corpus.sh --only single,mixed "$corpus" >&2

echo "machine: $(lscpu | sed -n 's/^Model name: *//p' | head -1), $(nproc) cores," \
  "$(free -g | awk '/^Mem:/ {print $2}') GB, $(uname -sr), $(. /etc/os-release; echo "$PRETTY_NAME")"
echo "compiler: $(c++ --version | head -1); load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"
"$build_dir/bench/vz_codec_bench" --runs "$runs" "${timing[@]}" "${only[@]}" \
  "$corpus/single/single.txt" \
  "$corpus/mixed/big/cc1plus"
