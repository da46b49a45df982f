#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
# same_table.py A.csv B.csv: exit 0 when the two tables of tessera-sweep hold
# the same header and rows, the timing columns aside (they differ from run to
# run); else name the first difference and exit 1.
import csv
import sys

TIMES = ("encode_ms", "decode_ms")


def rows(path):
    with open(path, newline="", encoding="utf-8") as f:
        table = list(csv.reader(f))
    header = table[0]
    drop = [header.index(name) for name in TIMES if name in header]
    return [[v for i, v in enumerate(r) if i not in drop] for r in table]


a, b = rows(sys.argv[1]), rows(sys.argv[2])
if a == b:
    sys.exit(0)
if len(a) != len(b):
    print(f"{sys.argv[1]} has {len(a)} records, {sys.argv[2]} {len(b)}")
for n, (x, y) in enumerate(zip(a, b)):
    if x != y:
        print(f"record {n + 1} differs:\n  {x}\n  {y}")
        break
sys.exit(1)
