#!/usr/bin/env python3
"""Makes the input of the table benchmark.

  cp932_bench_data.py TABLE TEXT MIB [SEED]

TABLE: a TBL file mapping every CP932 character of two bytes and every
half-width katakana to its UTF-8 bytes (left side CP932, right side UTF-8).
TEXT: MIB MiB of random CP932 text, ASCII mixed with those characters.

The mapping is asked of the C library's own iconv (the one the iconv command
uses), one character at a time, so the table agrees with `iconv -f CP932
-t UTF-8` even where code pages differ (the NEC and IBM duplicates, the
characters that some tables map to ASCII). Characters that iconv rejects are
left out of both the table and the text.
"""

import ctypes
import ctypes.util
import random
import sys

CharPtr = ctypes.POINTER(ctypes.c_char)


class Iconv:
    def __init__(self, to_code, from_code):
        self.libc = ctypes.CDLL(ctypes.util.find_library("c"), use_errno=True)
        self.libc.iconv_open.restype = ctypes.c_void_p
        self.libc.iconv_open.argtypes = [ctypes.c_char_p, ctypes.c_char_p]
        self.libc.iconv.restype = ctypes.c_size_t
        self.libc.iconv.argtypes = [
            ctypes.c_void_p,
            ctypes.POINTER(CharPtr),
            ctypes.POINTER(ctypes.c_size_t),
            ctypes.POINTER(CharPtr),
            ctypes.POINTER(ctypes.c_size_t),
        ]
        self.cd = self.libc.iconv_open(to_code.encode(), from_code.encode())
        if self.cd in (None, ctypes.c_void_p(-1).value):
            raise SystemExit(f"iconv cannot convert {from_code} to {to_code}")

    def convert(self, data):
        """The converted bytes of one whole character, or None."""
        self.libc.iconv(self.cd, None, None, None, None)  # initial state
        src = ctypes.create_string_buffer(data, len(data))
        dst = ctypes.create_string_buffer(64)
        in_ptr = ctypes.cast(src, CharPtr)
        out_ptr = ctypes.cast(dst, CharPtr)
        in_left = ctypes.c_size_t(len(data))
        out_left = ctypes.c_size_t(64)
        r = self.libc.iconv(self.cd, ctypes.byref(in_ptr), ctypes.byref(in_left),
                            ctypes.byref(out_ptr), ctypes.byref(out_left))
        if r == ctypes.c_size_t(-1).value or in_left.value != 0:
            return None
        r = self.libc.iconv(self.cd, None, None, ctypes.byref(out_ptr), ctypes.byref(out_left))
        if r == ctypes.c_size_t(-1).value:
            return None
        return dst.raw[: 64 - out_left.value]


def tbl_side(data):
    """Bytes for one side of a TBL line: markers as hex escapes."""
    out = bytearray()
    for b in data:
        if b in b"=\\\r\n":
            out += b"\\x%02X" % b
        else:
            out.append(b)
    return bytes(out)


def cp932_characters(conv):
    """The half-width katakana, the two-byte characters, and (character,
    UTF-8) pairs of both, as iconv converts them."""
    kana, double, pairs = [], [], []
    for b in range(0xA1, 0xE0):
        u = conv.convert(bytes([b]))
        if u:
            kana.append(bytes([b]))
            pairs.append((bytes([b]), u))
    leads = list(range(0x81, 0xA0)) + list(range(0xE0, 0xFD))
    trails = list(range(0x40, 0x7F)) + list(range(0x80, 0xFD))
    for lead in leads:
        for trail in trails:
            c = bytes([lead, trail])
            u = conv.convert(c)
            if u:
                double.append(c)
                pairs.append((c, u))
    return kana, double, pairs


def main():
    table_name, text_name, mib = sys.argv[1], sys.argv[2], float(sys.argv[3])
    rng = random.Random(int(sys.argv[4]) if len(sys.argv) > 4 else 932)
    conv = Iconv("UTF-8", "CP932")

    # ASCII must pass unchanged, as bytes without an entry do.
    ascii_chars = [bytes([b]) for b in range(0x20, 0x7F)]
    for c in ascii_chars + [b"\r", b"\n"]:
        if conv.convert(c) != c:
            raise SystemExit(f"iconv does not keep ASCII byte {c!r}")

    kana, double, pairs = cp932_characters(conv)

    with open(table_name, "wb") as f:
        f.write(b"CP932 to UTF-8, as iconv converts it\r\n")
        f.write(b"\r\n".join(tbl_side(c) + b"=" + tbl_side(u) for c, u in pairs))
        f.write(b"\r\n")

    # Text: about half ASCII, 45% two-byte characters, 5% half-width
    # katakana, and a line end about every 70 characters.
    population = ascii_chars + double + kana + [b"\r\n"]
    weights = ([50 / len(ascii_chars)] * len(ascii_chars) + [45 / len(double)] * len(double)
               + [5 / len(kana)] * len(kana) + [100 / 70])
    cum, total = [], 0.0
    for w in weights:
        total += w
        cum.append(total)
    target = int(mib * 1024 * 1024)
    size = 0
    with open(text_name, "wb") as f:
        while size < target:
            chars = rng.choices(population, cum_weights=cum, k=200000)
            data = b"".join(chars)
            if size + len(data) > target:
                # Whole characters up to the size, then ASCII to fill it.
                room = target - size
                parts, used = [], 0
                for c in chars:
                    if used + len(c) > room:
                        break
                    parts.append(c)
                    used += len(c)
                data = b"".join(parts) + b"." * (room - used)
            f.write(data)
            size += len(data)

    print(f"table: {len(pairs)} entries ({len(double)} two-byte, {len(kana)} katakana); "
          f"text: {size} bytes")


if __name__ == "__main__":
    main()
