#!/usr/bin/env bash
# Making an archive on two threads against Info-ZIP zip, in one command:
# installs what is missing (build tools, zip, unzip, python3), builds vzip in
# Release, builds the text corpus if it is not there yet, and times
# vzip a -6 -j 2, zip -6 and vzip a -6 -j 1 in one interleaved run
# (bench/parallel_add.py).
#
#   bench/run-parallel-add.sh [--runs N] [--jobs N] [--corpus DIR]
#                             [--build-dir DIR] [--work DIR]
#
# Defaults: 5 rounds, 2 threads, build/bench-corpus, build/release,
# build/bench-parallel (three archives of about 13 MB).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh

corpus=build/bench-corpus
build_dir=build/release
forwarded=(--work build/bench-parallel)
while [ $# -gt 0 ]; do
  case "$1" in
    --corpus) corpus="$2"; shift ;;
    --build-dir) build_dir="$2"; shift ;;
    --runs|--jobs|--work) forwarded+=("$1" "$2"); shift ;;
    *) echo "usage: bench/run-parallel-add.sh [--runs N] [--jobs N] [--corpus DIR] [--build-dir DIR] [--work DIR]" >&2
       exit 2 ;;
  esac
  shift
done

ensure_packages "${BUILD_PACKAGES[@]}" zip unzip python3
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVZ_BUILD_TESTS=OFF >/dev/null
cmake --build "$build_dir" --target vzip -j2 >/dev/null
bench/make-corpus.sh --only text "$corpus" >&2

echo "machine: $(lscpu | sed -n 's/^Model name: *//p' | head -1), $(nproc) cores," \
  "$(uname -sr); peer: $(zip -v | sed -n 2p | sed 's/^ *//')"
python3 bench/parallel_add.py --vzip "$build_dir/bin/vzip" --corpus "$corpus" "${forwarded[@]}"
