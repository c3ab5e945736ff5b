#!/usr/bin/env bash
# Hex-key table speed: converts random CP932 text to UTF-8 (export) and the
# result back (import) once through a TBL table and once through the hex-key
# table with the same mapping (bench/hex_bench_data.py); checks that both
# tables give the same bytes and prints the times and the ratios hex / TBL
# (goal: at most 1.5 in both directions).
#
#   bench/hex_table_bench.sh [MIB]      (default 64)
set -euo pipefail
mib=${1:-64}
. "$(dirname "$0")/table_setup.sh"
PYTHONPATH="$root/bench" python3 "$root/bench/hex_bench_data.py" \
  "$work/cp932.tbl" "$work/cp932.hex" "$work/text.sjis" "$mib"

# Each conversion runs three times; the best processor time (user + system)
# counts, the steadier figure on a shared machine.
python3 - "$bench" "$work" <<'PY'
import filecmp, os, subprocess, sys

bench, work = sys.argv[1], sys.argv[2]
j = lambda n: os.path.join(work, n)
tables = {"tbl": j("cp932.tbl"), "hex": j("cp932.hex")}
flags = {"tbl": [], "hex": ["-x"]}

def best(kind, src, out, direction):
    t = float("inf")
    for _ in range(3):
        proc = subprocess.Popen([bench] + flags[kind] + [tables[kind], src, out, str(direction)],
                                stdout=subprocess.DEVNULL)
        _, status, usage = os.wait4(proc.pid, 0)
        if status != 0:
            sys.exit(f"{kind} direction {direction} failed")
        t = min(t, usage.ru_utime + usage.ru_stime)
    return t

times = {}
for kind in tables:
    times[kind, 0] = best(kind, j("text.sjis"), j(f"utf8.{kind}"), 0)
for kind in tables:
    times[kind, 1] = best(kind, j("utf8.tbl"), j(f"back.{kind}"), 1)
for name in ("utf8", "back"):
    if not filecmp.cmp(j(f"{name}.tbl"), j(f"{name}.hex"), shallow=False):
        sys.exit(f"FAIL: {name}: the two tables give different bytes")
print(f"outputs identical: export {os.path.getsize(j('utf8.hex'))} bytes, "
      f"import {os.path.getsize(j('back.hex'))} bytes")
for d, name in ((0, "export"), (1, "import")):
    print(f"{name}: TBL cpu {times['tbl', d]:.3f} s, hex cpu {times['hex', d]:.3f} s, "
          f"ratio hex/TBL {times['hex', d] / times['tbl', d]:.2f}")
PY
