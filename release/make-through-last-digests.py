#!/usr/bin/env python3
"""Writes the table for a ticked "Dal primo numero selezionato fino
all'ultimo": for each first number N from FROM to 85, the lines, bytes and
SHA-256 of the file that "Primo numero N" with the box writes, that is the
program's output for N through 85. One pass of the generator serves every
row: the output from FROM through 85 is read once, and each row's digest
takes it from the row's own first line on, where the table of single first
numbers (digests.txt) says that line starts.

    write_lines FROM 85 | release/make-through-last-digests.py digests.txt [FROM]

One row a first number: "N lines bytes sha256".
"""
import hashlib
import sys

CHUNK = 1 << 20


def main():
    single = {}
    for line in open(sys.argv[1]):
        first, lines, size, _ = line.split()
        single[int(first)] = (int(lines), int(size))
    start = int(sys.argv[2]) if len(sys.argv) > 2 else 1
    firsts = range(start, 86)
    # Where each first number's lines begin in the stream, and the totals
    # from it through 85.
    offset, begins = 0, {}
    for n in firsts:
        begins[n] = offset
        offset += single[n][1]
    total = offset
    digests = {n: hashlib.sha256() for n in firsts}
    position = 0
    stream = sys.stdin.buffer
    while chunk := stream.read(CHUNK):
        end = position + len(chunk)
        view = memoryview(chunk)
        for n in firsts:
            if begins[n] < end:
                digests[n].update(view[max(0, begins[n] - position):])
        position = end
    if position != total:
        sys.exit(f"the generator wrote {position} bytes, not {total}")
    for n in firsts:
        lines = sum(single[m][0] for m in range(n, 86))
        size = sum(single[m][1] for m in range(n, 86))
        print(n, lines, size, digests[n].hexdigest())


if __name__ == "__main__":
    main()
