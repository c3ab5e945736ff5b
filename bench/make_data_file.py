#!/usr/bin/env python3
"""Writes the benchmarks' data file: a 4440 header (count, then position and
size per element) and the elements back to back. Each element starts with its
number, so no two are alike and none holds the DFile separator.

Usage: make_data_file.py COUNT ELEMENT_SIZE OUT
"""
import struct
import sys

n, size, out = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
start = 4 + 8 * n
header = bytearray(struct.pack('<I', n))
for k in range(n):
    header += struct.pack('<II', start + k * size, size)
filler = bytes(range(32, 127)) * (size // 95 + 1)
with open(out, 'wb') as f:
    f.write(header)
    for k in range(n):
        head = b'element %08d ' % k
        f.write(head + filler[:size - len(head)])
