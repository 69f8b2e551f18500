#!/usr/bin/env python3
"""Writes the user's guide of the release and its table, into FOLDER:
LEGGIMI.txt, the Italian text of LEGGIMI.txt.in with the version filled
in, and IMPRONTE.txt, the lines, bytes and SHA-256 of every choice, from
digests.txt (each first number alone, and "Tutte") and
digests-through-last.txt (each first number with the box ticked). Both as
Windows-1252 with CR LF, so that Notepad shows them right on every
Windows, and no line over 80 columns.

    release/make-leggimi.py VERSION FOLDER [SIGNER [LAST_DAY]]

SIGNER, the name a signed Sestor.exe carries, keeps the guide's lines after
@FIRMATO@ and fills it in for @FIRMATARIO@; without it, the lines after
@NON_FIRMATO@ are kept instead. A signature without a timestamp is valid
until LAST_DAY (YYYY-MM-DD), the certificate's: the lines after @A_TEMPO@
say so, with the day for @SCADENZA@; a timestamped one (no LAST_DAY) keeps
the lines after @CON_MARCA@. Each block lasts until the next marker line
or @FINE@.
"""
import datetime
import pathlib
import re
import sys

HERE = pathlib.Path(__file__).resolve().parent
# Notepad on Windows 11 wraps longer lines, tables included.
COLUMNS = 80


def thousands(n):
    """622614630 -> 622.614.630, as Italian writes numbers."""
    return f"{n:,}".replace(",", ".")


def table(rows, name):
    """A row a choice, its digest on the line below, so that no line is
    wider than Notepad shows without wrapping."""
    lines = [f"{'Scelta':<31} {'Righe':>13} {'Byte':>16}",
             f"    SHA-256",
             "-" * 62]
    for first, count, size, digest in rows:
        lines.append(f"{name(first):<31} {thousands(count):>13} {thousands(size):>16}")
        lines.append(f"    {digest}")
    return "\n".join(lines)


def read_rows(name, firsts):
    rows = []
    for line in (HERE / name).read_text().splitlines():
        first, count, size, digest = line.split()
        rows.append((int(first), int(count), int(size), digest))
    if [r[0] for r in rows] != list(firsts):
        sys.exit(f"{name} must have a row for each of {firsts}")
    return rows


def alone(first):
    return "Tutte" if first == 0 else f"Primo numero {first}"


def through_last(first):
    return f"Primo numero {first} fino all'ultimo"


def impronte(version, single, through):
    return "\n".join([
        f"Sestor {version} - Righe, byte e impronte dei file",
        "",
        "Per ogni scelta: il numero di righe (uguale a \"Combinazione N\" alla",
        "fine), i byte (Esplora file, Proprietà, \"Dimensioni\") e l'impronta",
        "SHA-256 del file (sulla riga sotto). Come controllarla: LEGGIMI.txt,",
        "\"Controllare il file\".",
        "",
        "Senza la casella \"Dal primo numero selezionato fino all'ultimo\"",
        "",
        table(single, alone),
        "",
        "",
        "Con la casella \"Dal primo numero selezionato fino all'ultimo\"",
        "(\"Primo numero 1\" con la casella dà lo stesso file di \"Tutte\")",
        "",
        table(through, through_last),
        ""])


def for_release(text, signer, last_day):
    """The lines of the guide that fit the release: unsigned, or signed
    until a day, or signed with a timestamp."""
    blocks = {"@FIRMATO@": bool(signer), "@NON_FIRMATO@": not signer,
              "@A_TEMPO@": bool(signer and last_day),
              "@CON_MARCA@": bool(signer and not last_day), "@FINE@": True}
    day = (datetime.date.fromisoformat(last_day).strftime("%d/%m/%Y")
           if last_day else "")
    kept, keep = [], True
    for line in text.split("\n"):
        if line in blocks:
            keep = blocks[line]
        elif keep:
            kept.append(line.replace("@FIRMATARIO@", signer)
                        .replace("@SCADENZA@", day))
    return "\n".join(kept)


def write_windows_text(path, text):
    wide = [line for line in text.splitlines() if len(line) > COLUMNS]
    if wide:
        sys.exit(f"{path.name}: lines over {COLUMNS} columns:\n" + "\n".join(wide))
    left = sorted(set(re.findall(r"@[A-Z_]+@", text)))
    if left:
        sys.exit(f"{path.name}: markers left in the text: {' '.join(left)}")
    # strict: a character that Windows-1252 lacks is an error, not a '?'
    path.write_bytes(text.replace("\n", "\r\n").encode("cp1252"))


def check_signer(signer):
    """The guide names the signer as Windows shows it; a name that its
    encoding can't hold would be another name."""
    lacking = sorted({c for c in signer if c.encode("cp1252", "ignore") == b""})
    if lacking:
        sys.exit(f"make dist: the signer's name \"{signer}\" has characters "
                 f"that the guide's encoding (Windows-1252) can't hold: "
                 f"{' '.join(lacking)}. The guide can't name it as Windows "
                 f"shows it, so the release is not packed.")


def main():
    version, folder = sys.argv[1], pathlib.Path(sys.argv[2])
    signer = sys.argv[3] if len(sys.argv) > 3 else ""
    last_day = sys.argv[4] if len(sys.argv) > 4 else ""
    check_signer(signer)
    single = read_rows("digests.txt", range(86))
    through = read_rows("digests-through-last.txt", range(1, 86))
    if through[0][1:] != single[0][1:]:
        sys.exit("1 through the last must be the same file as Tutte")
    text = (HERE / "LEGGIMI.txt.in").read_text(encoding="utf-8")
    text = for_release(text, signer, last_day).replace("@VERSIONE@", version)
    # The title's underline as long as the title with its version.
    title, _, rest = text.partition("\n")
    text = title + "\n" + "=" * len(title) + rest[rest.index("\n"):]
    folder.mkdir(parents=True, exist_ok=True)
    write_windows_text(folder / "LEGGIMI.txt", text)
    write_windows_text(folder / "IMPRONTE.txt", impronte(version, single, through))


if __name__ == "__main__":
    main()
