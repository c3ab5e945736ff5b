#!/usr/bin/env python3
"""Makes the input of the hex-key table benchmark.

  hex_bench_data.py TBL HEXTBL TEXT MIB [SEED]

TBL and HEXTBL hold the same mapping in the two table forms: every CP932
character of two bytes, every half-width katakana (as the C library's iconv
converts them to UTF-8), printable ASCII but "<", and the line end CR LF,
which both write as "<br>" and a line end. TEXT is MIB MiB of random CP932
text made of these. Converted through either table, the text gives the same
bytes in both directions.
"""

import random
import sys

from cp932_bench_data import Iconv, cp932_characters, tbl_side


def main():
    tbl_name, hex_name, text_name, mib = sys.argv[1], sys.argv[2], sys.argv[3], float(sys.argv[4])
    rng = random.Random(int(sys.argv[5]) if len(sys.argv) > 5 else 932)
    conv = Iconv("UTF-8", "CP932")

    ascii_chars = [bytes([b]) for b in range(0x20, 0x7F) if b != ord("<")]
    kana, double, cp932 = cp932_characters(conv)
    pairs = [(c, c) for c in ascii_chars] + cp932

    with open(tbl_name, "wb") as f:
        lines = [tbl_side(c) + b"=" + tbl_side(u) for c, u in pairs]
        lines.append(b"\\x0D\\x0A=<br>\\x0D\\x0A")
        f.write(b"\r\n".join(lines) + b"\r\n")
    with open(hex_name, "wb") as f:
        lines = [c.hex().upper().encode() + b"=" + u for c, u in pairs]
        lines.append(b"0D0A=<br>\\n")
        f.write(b"\n".join(lines) + b"\n")

    population = ascii_chars + double + kana + [b"\r\n"]
    weights = ([50 / len(ascii_chars)] * len(ascii_chars) + [45 / len(double)] * len(double)
               + [5 / len(kana)] * len(kana) + [100 / 70])
    target = int(mib * 1024 * 1024)
    size = 0
    with open(text_name, "wb") as f:
        while size < target:
            data = b"".join(rng.choices(population, weights=weights, k=200000))
            if size + len(data) > target:
                data = data[: target - size]
                # Whole characters only: cut behind the last ASCII byte.
                while data and data[-1] >= 0x80:
                    data = data[:-1]
                data += b"." * (target - size - len(data))
            f.write(data)
            size += len(data)
    print(f"tables: {len(pairs) + 1} entries; text: {size} bytes")


if __name__ == "__main__":
    main()
