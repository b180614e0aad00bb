#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes a fuzz seed at the reader's bounds: a recording whose chunk table holds ENTRIES entries, all at
its first chunk, and whose first record's text is nothing but sentence ends. Too large for the corpus
replay in the tests, so `make fuzz` writes it into the working corpus.

usage: make_bound_seed.py RECORDING OUT [ENTRIES]"""

import struct
import sys


def main():
    source, out = sys.argv[1], sys.argv[2]
    entries = int(sys.argv[3]) if len(sys.argv) > 3 else 36100
    data = bytearray(open(source, "rb").read())
    table = data.rindex(b"stco") - 4
    if table + struct.unpack_from(">I", data, table)[0] != len(data):
        sys.exit("the chunk table does not end %s" % source)
    (first,) = struct.unpack_from(">I", data, table + 16)
    data[first + 27:first + 27 + 128] = b"$G\n" * 42 + b"\0\0"
    del data[table + 12:]
    data += struct.pack(">I", entries) + struct.pack(">I", first) * entries
    struct.pack_into(">I", data, table, len(data) - table)
    open(out, "wb").write(data)


main()
