#!/usr/bin/env bash
# Times the split mode on a data file of 65,536 elements of 4 KiB behind a
# 4440 header (256 MiB): once into a DFile, once into numbered files ("-f"),
# each against cat of the data file to another file, the floor of what
# moving those bytes costs. Standard output of dataport goes to a file.
#
# Usage: bench/split_bench.sh [path/to/dataport]
# Goal: DFile split at most 2x cat, numbered split at most 4x cat.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
if [[ $# -ge 1 ]]; then
  DATAPORT=$(realpath "$1")
else
  cmake -S "$ROOT" -B "$ROOT/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$ROOT/build" --target dataport -j2 >/dev/null
  DATAPORT="$ROOT/build/dataport/dataport"
fi
WORK=$(mktemp -d "${TMPDIR:-/tmp}/split_bench.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
cd "$WORK"

COUNT=65536
ESIZE=4096

python3 "$ROOT/bench/make_data_file.py" "$COUNT" "$ESIZE" data.bin

# Each measurement: wall-clock seconds and CPU seconds (user + system). On a
# busy machine the CPU figures are the steadier ones.
TIMEFORMAT='%R %U %S'
measure() {  # measure VAR command... ; sets VAR_REAL and VAR_CPU
  local var=$1 t
  shift
  t=$( { time "$@" ; } 2>&1 >/dev/null )
  read -r r u s <<<"$t"
  printf -v "${var}_REAL" '%s' "$r"
  printf -v "${var}_CPU" '%s' "$(echo "$u + $s" | bc)"
}

cat data.bin > /dev/null  # the data file in the page cache for every run

measure CAT sh -c 'cat data.bin > copy.bin'
rm -f copy.bin
measure DFILE sh -c "'$DATAPORT' 4440 data.bin out.dfile > dfile.log"
measure NUMBERED sh -c "'$DATAPORT' 4440 data.bin part -f > numbered.log"

# The outputs must hold what the split promises, or the figures mean nothing.
expect_dfile=$((COUNT * (ESIZE + 21)))
[ "$(stat -c %s out.dfile)" -eq "$expect_dfile" ] || { echo "DFile has a wrong size" >&2; exit 1; }
last=$(printf 'part.%03d' $((COUNT - 1)))
cmp -s "$last" <(tail -c "$ESIZE" data.bin) || { echo "$last differs" >&2; exit 1; }
[ "$(ls | grep -c '^part\.')" -eq "$COUNT" ] || { echo "numbered files missing" >&2; exit 1; }

ratio() { echo "$1 / $2" | bc -l; }
printf '%-14s %8s %6s %8s %6s\n' "" "real s" "x cat" "cpu s" "x cat"
printf '%-14s %8.3f %6s %8.3f %6s\n' cat "$CAT_REAL" "" "$CAT_CPU" ""
printf '%-14s %8.3f %6.2f %8.3f %6.2f   (goal 2x)\n' "split DFile" "$DFILE_REAL" \
  "$(ratio "$DFILE_REAL" "$CAT_REAL")" "$DFILE_CPU" "$(ratio "$DFILE_CPU" "$CAT_CPU")"
printf '%-14s %8.3f %6.2f %8.3f %6.2f   (goal 4x)\n' "split -f" "$NUMBERED_REAL" \
  "$(ratio "$NUMBERED_REAL" "$CAT_REAL")" "$NUMBERED_CPU" "$(ratio "$NUMBERED_CPU" "$CAT_CPU")"
