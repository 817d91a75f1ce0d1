#!/usr/bin/env bash
# The end-to-end benchmark in one command, from a clean clone: installs what
# is missing (build tools, zip, unzip, p7zip-full, libarchive-tools for
# bsdtar, python3, time, through apt-get), builds vzip in Release, builds the
# corpora if they are not there yet, and times vzip a -6 / x / t / l against
# Info-ZIP, 7-Zip and bsdtar in one interleaved run (bench/end_to_end.py).
#
#   bench/run-end-to-end.sh [--runs N] [--only text,mixed,single,many]
#                           [--tools vzip,zip,7z,bsdtar]
#                           [--corpus DIR] [--build-dir DIR] [--work DIR]
#
# Defaults: 5 rounds, every corpus, build/bench-corpus, build/release,
# build/bench-e2e (archives and extracted trees; about 1 GB while running).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh

runs=5
only=text,mixed,single,many
tools=vzip,zip,7z,bsdtar
corpus=build/bench-corpus
build_dir=build/release
work=build/bench-e2e
usage="usage: bench/run-end-to-end.sh [--runs N] [--only LIST] [--tools LIST] [--corpus DIR] [--build-dir DIR] [--work DIR]"
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs="$2"; shift ;;
    --only) only="$2"; shift ;;
    --tools) tools="$2"; shift ;;
    --corpus) corpus="$2"; shift ;;
    --build-dir) build_dir="$2"; shift ;;
    --work) work="$2"; shift ;;
    *) echo "$usage" >&2; exit 2 ;;
  esac
  shift
done

ensure_packages "${BUILD_PACKAGES[@]}" zip unzip p7zip-full libarchive-tools python3 time
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVZ_BUILD_TESTS=OFF >/dev/null
cmake --build "$build_dir" --target vzip -j2 >/dev/null
bench/make-corpus.sh --only "$only" "$corpus" >&2

echo "machine: $(lscpu | sed -n 's/^Model name: *//p' | head -1), $(nproc) cores," \
  "$(free -g | awk '/^Mem:/ {print $2}') GB, $(uname -sr), $(. /etc/os-release; echo "$PRETTY_NAME")"
echo "peers: $(zip -v | sed -n 2p | sed 's/^ *//'); $(unzip -v | head -1 | cut -d' ' -f1-4);" \
  "$(7z | sed -n 2p | cut -d: -f1); $(bsdtar --version)"
echo "load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"
python3 bench/end_to_end.py --vzip "$build_dir/bin/vzip" --corpus "$corpus" --work "$work" \
  --runs "$runs" --only "$only" --tools "$tools"
