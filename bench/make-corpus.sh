#!/usr/bin/env bash
# Builds the benchmark corpora from files that every Debian 12 machine with
# build-essential has (the benchmarks need it to build anyway):
#
#   text/    every header of libc6-dev, linux-libc-dev, libstdc++-12-dev and
#            libgcc-12-dev, the Perl modules of perl-base, perl-modules-5.36,
#            libperl5.36 and libdpkg-perl, and the common licences: about
#            4,400 small text files, 51 MB
#   single/  single.txt: the first 50,000,000 bytes of those files joined in
#            path order
#   mixed/   lib/ the shared libraries of libc6, libstdc++6, libgcc-s1 and
#            libperl5.36; bin/ coreutils' programs and perl; big/cc1plus (the
#            C++ compiler proper, about 35 MB); text/ Perl's manual pages
#            (.pod) and large.txt, the first 24,000,000 bytes of single.txt
#   many/    100,000 tiny generated text files in 100 folders
#
# Files are taken in byte order of their paths and every date is set to
# 2024-01-01 00:00 UTC, so two machines with the same package versions build
# identical corpora; DIR/SOURCES records those versions and each corpus's
# checksum. A corpus that is already complete (its .done stamp exists) is
# kept.
#
#   bench/make-corpus.sh [--only text,single,mixed,many] [DIR]
#
# DIR defaults to build/bench-corpus under the source tree.
set -euo pipefail
export LC_ALL=C
root="$(cd "$(dirname "$0")/.." && pwd)"

only="text,single,mixed,many"
dir=""
while [ $# -gt 0 ]; do
  case "$1" in
    --only) only="$2"; shift ;;
    -*) echo "usage: bench/make-corpus.sh [--only text,single,mixed,many] [DIR]" >&2; exit 2 ;;
    *) dir="$1" ;;
  esac
  shift
done
[ -n "$dir" ] || dir="$root/build/bench-corpus"
mkdir -p "$dir"
dir="$(cd "$dir" && pwd)"

text_packages=(libc6-dev linux-libc-dev libstdc++-12-dev libgcc-12-dev perl-base perl-modules-5.36
               libperl5.36 libdpkg-perl base-files)
binary_packages=(libc6 libstdc++6 libgcc-s1 libperl5.36 coreutils perl-base g++-12)
stamp=@1704067200
single_bytes=50000000
large_text_bytes=24000000
many_files=100000

for pkg in "${text_packages[@]}" "${binary_packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
    echo "make-corpus: package $pkg is missing (apt-get install build-essential)" >&2
    exit 1
  fi
done

# Regular files (no links) of the packages whose paths match the pattern.
package_files() {
  local pattern="$1"
  shift
  dpkg -L "$@" | grep -E "$pattern" | sort -u | while IFS= read -r f; do
    if [ -f "$f" ] && [ ! -L "$f" ]; then printf '%s\n' "$f"; fi
  done
}

text_sources() {
  {
    package_files '^/usr/include/' libc6-dev linux-libc-dev libstdc++-12-dev
    package_files '^/usr/lib/gcc/.*/include/.*\.h$' libgcc-12-dev
    package_files '\.(pm|pod|pl|h)$' perl-base perl-modules-5.36 libperl5.36 libdpkg-perl
    package_files '^/usr/share/common-licenses/' base-files
  } | sort -u
}

# The first $1 bytes of the text sources joined in order (head ends the
# pipe early, which is not a failure here).
joined_text() {
  (set +o pipefail; text_sources | tr '\n' '\0' | xargs -0 cat 2>/dev/null | head -c "$1")
}

# Copies the listed files under $1, keeping their paths below /.
copy_tree() {
  local target="$1"
  while IFS= read -r f; do
    mkdir -p "$target$(dirname "$f")"
    cp "$f" "$target$f"
  done
}

finish() {
  local name="$1"
  chmod -R u+rwX,go+rX "$dir/$name"
  find "$dir/$name" -exec touch -h -d "$stamp" {} +
  local files bytes sum
  files=$(find "$dir/$name" -type f | wc -l)
  bytes=$(find "$dir/$name" -type f -printf '%s\n' | awk '{s += $1} END {print s + 0}')
  sum=$(cd "$dir/$name" && find . -type f -print0 | sort -z | xargs -0 sha256sum | sha256sum |
        cut -c1-16)
  printf '%-7s %7d files %12d bytes  sha256 %s\n' "$name" "$files" "$bytes" "$sum" \
    >"$dir/$name.done"
  cat "$dir/$name.done"
}

wanted() { [[ ",$only," == *",$1,"* ]]; }
done_already() {
  if [ -f "$dir/$1.done" ] && [ -d "$dir/$1" ]; then
    cat "$dir/$1.done"
    return 0
  fi
  rm -rf "${dir:?}/$1" "$dir/$1.done"
  return 1
}

make_text() {
  text_sources | copy_tree "$dir/text"
  finish text
}

make_single() {
  mkdir -p "$dir/single"
  joined_text "$single_bytes" >"$dir/single/single.txt"
  [ "$(stat -c %s "$dir/single/single.txt")" -eq "$single_bytes" ] ||
    { echo "make-corpus: not enough text for single.txt" >&2; exit 1; }
  finish single
}

make_mixed() {
  local m="$dir/mixed"
  mkdir -p "$m/lib" "$m/bin" "$m/big" "$m/text"
  package_files '\.so(\.[0-9.]+)?$' libc6 libstdc++6 libgcc-s1 libperl5.36 | copy_tree "$m/lib"
  package_files '^/usr/bin/' coreutils perl-base | copy_tree "$m/bin"
  cp "$(dpkg -L g++-12 | grep '/cc1plus$' | head -1)" "$m/big/cc1plus"
  package_files '\.pod$' perl-modules-5.36 | copy_tree "$m/text"
  joined_text "$large_text_bytes" >"$m/text/large.txt"
  finish mixed
}

# Each file holds its own name and 1-8 lines of words chosen by its number:
# 30 to 400 bytes.
make_many() {
  perl -e '
    my ($root, $count) = @ARGV;
    my @w = qw(alpha bravo charlie delta echo foxtrot golf hotel india juliet kilo lima);
    my $x = 12345;
    for my $i (0 .. $count - 1) {
      my $d = sprintf("%s/d%03d", $root, int($i / 1000));
      mkdir $d unless -d $d;
      open(my $f, ">", sprintf("%s/f%06d.txt", $d, $i)) or die "$d: $!";
      print $f "file $i\n";
      $x = ($x * 1103515245 + 12345) % 2147483648;
      for my $l (0 .. $x % 8) {
        $x = ($x * 1103515245 + 12345) % 2147483648;
        print $f join(" ", map { $w[($x >> $_) % @w] } 0 .. 3 + $x % 5), "\n";
      }
      close $f;
    }' "$dir/many" "$many_files"
  finish many
}

{
  echo "Debian $(cat /etc/debian_version)"
  dpkg-query -W -f='${Package} ${Version}\n' "${text_packages[@]}" "${binary_packages[@]}" | sort -u
} >"$dir/SOURCES"

for name in text single mixed many; do
  if wanted "$name" && ! done_already "$name"; then
    mkdir -p "$dir/$name"
    "make_$name"
  fi
done
echo "corpora in $dir"
