#!/usr/bin/env bash
# Benchmark of mendbin: a 16 MiB file with ENTRIES (default 1,000,000)
# differing bytes at random offsets and its fc /B listing (CR LF lines, a
# first comment line). The same changes are applied three times to copies of
# the file: by mendbin verified, by mendbin with -n, and by `xxd -r` from its
# own "offset: byte" form. Prints the three times and mendbin's ratios to
# xxd, and checks that all three results equal the changed file, which is
# built independently from a plain hex dump.
#
# Then the memory of a long listing: a listing of LISTING_MIB MiB (default
# 1024; 0 skips this part), one entry for each byte of a file of zeros, is
# checked (-c), applied verified, and reverted with -n; prints the peak
# resident memory of each run and checks the file after each.
#
# Run from anywhere: bench/mendbin_bench.sh. Builds mendbin into build/ when
# needed (BUILD_DIR overrides the folder). Needs xxd, awk, cmp.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${BUILD_DIR:-build}
entries=${ENTRIES:-1000000}
size=$((16 * 1024 * 1024))
rows=$((size / 16))
seed=${SEED:-20131213}

listing_mib=${LISTING_MIB:-1024}
for tool in xxd awk cmp cmake; do
  command -v "$tool" >/dev/null || { echo "mendbin_bench: needs $tool" >&2; exit 2; }
done
if [ "$entries" -gt "$rows" ]; then
  echo "mendbin_bench: at most $rows entries (one per 16-byte row)" >&2
  exit 2
fi

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --target mendbin -j2 >/dev/null
mendbin=$PWD/$build/mendbin/mendbin

work=$(mktemp -d "${TMPDIR:-/tmp}/mendbin_bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

echo "preparing: 16 MiB file, $entries changed bytes"
head -c "$size" /dev/urandom >orig.bin
# Pick exactly $entries of the 16-byte rows (selection sampling), one byte in
# each, and a new value that differs from the old one. Writes the changed
# dump, the fc /B listing and xxd's patch lines, all in offset order.
xxd -p -c16 orig.bin | awk -v need="$entries" -v rows="$rows" -v seed="$seed" '
  BEGIN {
    srand(seed); hex = "0123456789abcdef"
    printf "Comparing files ORIG.BIN and TARGET.BIN\r\n" > "listing.diff"
  }
  {
    if (need > 0 && rand() * (rows - NR + 1) < need) {
      need--
      j = int(rand() * 16)
      old = (index(hex, substr($0, 2 * j + 1, 1)) - 1) * 16 + index(hex, substr($0, 2 * j + 2, 1)) - 1
      new = (old + 1 + int(rand() * 255)) % 256
      $0 = substr($0, 1, 2 * j) sprintf("%02x", new) substr($0, 2 * j + 3)
      off = (NR - 1) * 16 + j
      printf "%08X: %02X %02X\r\n", off, old, new > "listing.diff"
      printf "%08x: %02x\n", off, new > "xxd.txt"
    }
    print > "target.hex"
  }'
xxd -r -p target.hex target.bin
[ "$(wc -c <target.bin)" -eq "$size" ] || { echo "mendbin_bench: target not built" >&2; exit 1; }
cp orig.bin verified.bin
cp orig.bin unverified.bin
cp orig.bin xxd.bin
echo "listing: $(($(wc -l <listing.diff) - 1)) entries, $(wc -c <listing.diff) bytes"

seconds() {  # runs "$@", prints its wall time in seconds
  local t0 t1
  t0=$(date +%s.%N)
  "$@"
  t1=$(date +%s.%N)
  awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", b - a }'
}

t_xxd=$(seconds xxd -r xxd.txt xxd.bin)
t_ver=$(seconds "$mendbin" listing.diff verified.bin)
t_nv=$(seconds "$mendbin" listing.diff unverified.bin -n)

status=0
for f in xxd.bin verified.bin unverified.bin; do
  if cmp -s "$f" target.bin; then
    echo "$f: identical to the changed file"
  else
    echo "$f: DIFFERS from the changed file" >&2
    status=1
  fi
done

awk -v x="$t_xxd" -v v="$t_ver" -v n="$t_nv" 'BEGIN {
  printf "xxd -r          %8.3f s\n", x
  printf "mendbin         %8.3f s   ratio %.3f (goal <= 0.2)\n", v, v / x
  printf "mendbin -n      %8.3f s   ratio %.3f (goal <= 0.2)\n", n, n / x
}'

if [ "$listing_mib" -gt 0 ]; then
  [ -x /usr/bin/time ] || { echo "mendbin_bench: the memory part needs /usr/bin/time" >&2; exit 2; }
  rm -f orig.bin verified.bin unverified.bin xxd.bin target.bin target.hex xxd.txt listing.diff
  long=$((listing_mib * 1024 * 1024 / 17))  # "%08X: 00 01\r\n" is 17 bytes
  echo "preparing: listing of $listing_mib MiB, $long entries on a file of $long zero bytes"
  head -c "$long" /dev/zero >long.bin
  awk -v n="$long" 'BEGIN {
    printf "Comparing files ZERO.BIN and ONES.BIN\r\n"
    for (i = 0; i < n; i++) printf "%08X: 00 01\r\n", i
  }' >long.diff
  echo "listing: $(wc -c <long.diff) bytes"
  peak() {  # runs mendbin with "$@", prints its time and peak resident memory
    if ! /usr/bin/time -f "%e s, peak %M KiB" -o time.txt "$mendbin" "$@" >/dev/null; then
      echo "mendbin $* failed" >&2
    fi
    tail -n 1 time.txt
  }
  echo "mendbin -c     $(peak long.diff long.bin -c)"
  echo "mendbin        $(peak long.diff long.bin)"
  head -c "$long" /dev/zero | tr '\0' '\1' >ones.bin
  cmp -s long.bin ones.bin || { echo "long listing: file not as applied" >&2; status=1; }
  echo "mendbin -r -n  $(peak long.diff long.bin -r -n)"
  cmp -s long.bin <(head -c "$long" /dev/zero) || { echo "long listing: file not reverted" >&2; status=1; }
fi
exit $status
