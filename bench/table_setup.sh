# Sourced by the table benchmarks: builds the converting program and makes a
# scratch folder that goes away when the script ends. Sets root, bench, work.
root=$(cd "$(dirname "$0")/.." && pwd)
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" --target tbl_convert_bench -j2 >/dev/null
bench="$root/build/bench/tbl_convert_bench"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
