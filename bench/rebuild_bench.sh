#!/usr/bin/env bash
# Speed of the rebuild modes against the floor of copying the data file with
# cat, in one run:
#   - import: the DFile of a 65,536-element data file (4 KiB elements behind
#     a 4440 header, 256 MiB) with every element made 3 bytes longer;
#   - join: the numbered files of the same data file.
# Goal: each at most 3x cat. The results are checked byte for byte. For the
# join, cat of the 65,536 numbered files into one file is shown as well: the
# cost of opening that many files, which any join pays.
#
# Usage: bench/rebuild_bench.sh [path/to/dataport]
# Work files go to a temporary folder (BENCH_DIR overrides it), about 2 GiB.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
if [[ $# -ge 1 ]]; then
  dataport="$(realpath "$1")"
else
  cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$root/build" --target dataport -j2 >/dev/null
  dataport="$root/build/dataport/dataport"
fi
work="${BENCH_DIR:-$(mktemp -d)}"
mkdir -p "$work"
trap '[[ -n "${BENCH_DIR:-}" ]] || rm -rf "$work"' EXIT
cd "$work"

elements=65536
esize=4096

python3 "$root/bench/make_data_file.py" "$elements" "$esize" data.bin

# Times one command (its output goes to a log): prints "wall cpu" in seconds,
# cpu being user + system time.
timed() {
  /usr/bin/time -f '%e %U %S' -o time.txt "$@" >>run.log 2>&1
  awk '{ printf "%.2f %.2f\n", $1, $2 + $3 }' time.txt
}

# The inputs: the DFile with each element 3 bytes longer, and numbered files.
"$dataport" 4440 data.bin dfile.txt >split.log
python3 - <<'EOF'
sep = b'\r\n******xEnDx******\r\n'
parts = open('dfile.txt', 'rb').read().split(sep)
assert parts[-1] == b''
with open('edited.txt', 'wb') as f:
    for p in parts[:-1]:
        f.write(p + b'+3!' + sep)
EOF
mkdir parts
"$dataport" 4440 data.bin parts/el -f >split_numbered.log

# Each command runs $rounds times, in turn with the others, so that all see
# the same machine; the best wall time of each counts (and its cpu time).
rounds=${ROUNDS:-3}
best() {  # best "wall cpu" of the lines on stdin
  sort -n | head -1
}
cat data.bin >/dev/null  # warm the page cache
: >cat.times; : >import.times; : >join.times; : >catparts.times
for ((r = 0; r < rounds; r++)); do
  timed sh -c 'cat data.bin > cat.out' >>cat.times
  rm -f imported.bin joined.bin
  timed "$dataport" -i data.bin 4440 edited.txt imported.bin >>import.times
  timed "$dataport" -j 4440 parts/el joined.bin -f >>join.times
  timed sh -c 'cat parts/el.* > catparts.out' >>catparts.times
done
read -r floor floorCpu < <(best <cat.times)
read -r import importCpu < <(best <import.times)
read -r join joinCpu < <(best <join.times)
read -r catParts catPartsCpu < <(best <catparts.times)

# The import's expected result: the header with the new positions and sizes,
# then the longer elements.
python3 - "$elements" "$esize" <<'EOF'
import struct, sys
n, size = int(sys.argv[1]), int(sys.argv[2])
data = open('data.bin', 'rb').read()
start = 4 + 8 * n
header = bytearray(struct.pack('<I', n))
for k in range(n):
    header += struct.pack('<II', start + k * (size + 3), size + 3)
body = b''.join(data[start + k * size:start + (k + 1) * size] + b'+3!' for k in range(n))
ok = open('imported.bin', 'rb').read() == bytes(header) + body
print('import result', 'matches' if ok else 'DIFFERS')
sys.exit(0 if ok else 1)
EOF
cmp -s joined.bin data.bin && echo "join result matches the data file" \
  || { echo "join result DIFFERS" >&2; exit 1; }

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
echo "best of $rounds runs; load average: $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-7s wall %6s s  cpu %6s s\n' cat "$floor" "$floorCpu"
printf '%-7s wall %6s s  cpu %6s s  %sx cat wall (goal <= 3x), %sx cat cpu\n' import \
  "$import" "$importCpu" "$(ratio "$import" "$floor")" "$(ratio "$importCpu" "$floorCpu")"
printf '%-7s wall %6s s  cpu %6s s  %sx cat wall (goal <= 3x), %sx cat cpu\n' join \
  "$join" "$joinCpu" "$(ratio "$join" "$floor")" "$(ratio "$joinCpu" "$floorCpu")"
printf '%-7s wall %6s s  cpu %6s s  (cat of the numbered files: the floor of opening them)\n' \
  "cat *.N" "$catParts" "$catPartsCpu"
printf 'join / cat of the numbered files: %sx wall\n' "$(ratio "$join" "$catParts")"
