#!/usr/bin/env bash
# The window's open benchmark in one command: installs what is missing,
# builds vz_window_bench and vzip (Release, build/bench), makes the two
# archives if they are not there yet, and runs the benchmark offscreen.
#
#   bench/run-window-open.sh [--runs N] [--build-dir DIR]
#
# The archives (python3's zipfile, fixed dates, so every run builds the same
# bytes) in build/bench-corpus/window/:
#   one.zip   100,000 members of 10-60 bytes in one folder
#   many.zip  100,000 members in 5,000 folders of 20 members each
# The window sorts by the user's collation; the run uses en_US so that the
# collator really collates (the C locale compares code points).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh

runs=5
build_dir=build/bench
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs="$2"; shift ;;
    --build-dir) build_dir="$2"; shift ;;
    *) echo "usage: bench/run-window-open.sh [--runs N] [--build-dir DIR]" >&2; exit 2 ;;
  esac
  shift
done

ensure_packages "${BUILD_PACKAGES[@]}" zlib1g-dev libdeflate-dev python3
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVZ_BUILD_BENCH=ON \
  -DVZ_BUILD_TESTS=OFF >/dev/null
cmake --build "$build_dir" -j"$(nproc)" --target vz_window_bench vzip >/dev/null

corpus=build/bench-corpus/window
mkdir -p "$corpus"
python3 - "$corpus" <<'PY'
import os, sys, zipfile
folder = sys.argv[1]
def make(name, path_of):
    target = os.path.join(folder, name)
    if os.path.exists(target):
        return
    with zipfile.ZipFile(target + ".part", "w", zipfile.ZIP_DEFLATED) as z:
        for i in range(100000):
            info = zipfile.ZipInfo(path_of(i), date_time=(2024, 1, 1, 0, 0, 0))
            z.writestr(info, ("member %d\n" % i) * (1 + i % 5))
    os.rename(target + ".part", target)
make("one.zip", lambda i: "big/file%06d.txt" % i)
make("many.zip", lambda i: "dir%04d/file%06d.txt" % (i % 5000, i))
PY

LANG=en_US.UTF-8 QT_QPA_PLATFORM=offscreen "$build_dir/bench/vz_window_bench" --runs "$runs" \
  --vzip "$build_dir/bin/vzip" "$corpus/one.zip" "$corpus/many.zip" 2> >(grep -v -e XDG_RUNTIME_DIR -e propagateSizeHints >&2)
