#!/usr/bin/env bash
# Table conversion speed: converts random CP932 text to UTF-8 through a TBL
# table with the converting copy that element copies use, and the same text
# with `iconv -f CP932 -t UTF-8`; checks that both give the same bytes and
# prints both times and their ratio (goal: at most 0.5).
#
#   bench/table_bench.sh [MIB]      (default 64)
#
# The table holds every two-byte CP932 character and the half-width katakana
# as the C library's iconv maps them (bench/cp932_bench_data.py).
set -euo pipefail
mib=${1:-64}
. "$(dirname "$0")/table_setup.sh"
python3 "$root/bench/cp932_bench_data.py" "$work/cp932.tbl" "$work/text.sjis" "$mib"

# Each program runs three times; the best wall time and the best processor
# time (user + system) of each count. On a shared machine the processor time
# is the steadier figure.
python3 - "$bench" "$work" <<'PY'
import filecmp, os, subprocess, sys, time

bench, work = sys.argv[1], sys.argv[2]
text = os.path.join(work, "text.sjis")
out_tbl, out_iconv = os.path.join(work, "out.tbl"), os.path.join(work, "out.iconv")
# name: (command, output file, whether the output comes on standard output)
runs = {
    "table": ([bench, os.path.join(work, "cp932.tbl"), text, out_tbl], out_tbl, False),
    "iconv": (["iconv", "-f", "CP932", "-t", "UTF-8", text], out_iconv, True),
}
best = {k: [float("inf"), float("inf")] for k in runs}
for _ in range(3):
    for name, (cmd, out, piped) in runs.items():
        if os.path.exists(out):
            os.remove(out)
        sink = open(out, "wb") if piped else subprocess.DEVNULL
        start = time.perf_counter()
        proc = subprocess.Popen(cmd, stdout=sink)
        _, status, usage = os.wait4(proc.pid, 0)
        wall = time.perf_counter() - start
        if piped:
            sink.close()
        if status != 0:
            sys.exit(f"{name} failed (status {status})")
        best[name][0] = min(best[name][0], wall)
        best[name][1] = min(best[name][1], usage.ru_utime + usage.ru_stime)

if not filecmp.cmp(out_tbl, out_iconv, shallow=False):
    sys.exit("FAIL: the table conversion differs from iconv")
print(f"outputs identical ({os.path.getsize(out_tbl)} bytes from {os.path.getsize(text)})")
(tw, tc), (iw, ic) = best["table"], best["iconv"]
print(f"table (convertRange): wall {tw:.3f} s, cpu {tc:.3f} s")
print(f"iconv:                wall {iw:.3f} s, cpu {ic:.3f} s")
print(f"ratio table/iconv:    wall {tw / iw:.2f}, cpu {tc / ic:.2f}")
PY
