#!/usr/bin/env python3
"""Writes LEGGIMI.txt, the user's guide in the release: the Italian text of
LEGGIMI.txt.in with the version and the table of digests.txt filled in, as
Windows-1252 with CR LF, so that Notepad shows it right on every Windows,
and no line over 80 columns.

    release/make-leggimi.py VERSION OUT
"""
import pathlib
import sys

HERE = pathlib.Path(__file__).resolve().parent
# Notepad on Windows 11 wraps longer lines, tables included.
COLUMNS = 80


def thousands(n):
    """622614630 -> 622.614.630, as Italian writes numbers."""
    return f"{n:,}".replace(",", ".")


def table(rows):
    """A row a choice, its digest on the line below, so that no line is
    wider than Notepad shows without wrapping."""
    lines = [f"{'Scelta':<16} {'Righe':>13} {'Byte':>16}",
             f"    SHA-256",
             "-" * 47]
    for first, count, size, digest in rows:
        name = "Tutte" if first == 0 else f"Primo numero {first}"
        lines.append(f"{name:<16} {thousands(count):>13} {thousands(size):>16}")
        lines.append(f"    {digest}")
    return "\n".join(lines)


def main():
    version, out = sys.argv[1], pathlib.Path(sys.argv[2])
    rows = []
    for line in (HERE / "digests.txt").read_text().splitlines():
        first, count, size, digest = line.split()
        rows.append((int(first), int(count), int(size), digest))
    if [r[0] for r in rows] != list(range(86)):
        sys.exit("digests.txt must have a row for 0 (Tutte) and for 1 to 85")
    text = (HERE / "LEGGIMI.txt.in").read_text(encoding="utf-8")
    text = (text.replace("@VERSIONE@", version)
            .replace("@TABELLA@", table(rows))
            .replace("@IMPRONTA_TUTTE@", rows[0][3]))
    # The title's underline as long as the title with its version.
    title, _, rest = text.partition("\n")
    text = title + "\n" + "=" * len(title) + rest[rest.index("\n"):]
    wide = [line for line in text.splitlines() if len(line) > COLUMNS]
    if wide:
        sys.exit(f"lines over {COLUMNS} columns:\n" + "\n".join(wide))
    # strict: a character that Windows-1252 lacks is an error, not a '?'
    out.write_bytes(text.replace("\n", "\r\n").encode("cp1252"))


if __name__ == "__main__":
    main()
