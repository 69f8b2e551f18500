#!/usr/bin/python3
"""Every text of the dialog fits its control as Windows draws it, and no two
controls overlap.

Windows draws the template's "MS Shell Dlg" (DS_SHELLFONT) as Tahoma 8 on
Windows 7 to 11, and sizes dialog units from that font: the width of A-Z
a-z divided by 52 is 4 units. Wine draws with metrics of its own, so its
pictures can show a text whole that Windows cuts; this works the widths out
as Windows does, from Tahoma's advance widths (Wine's tahoma.ttf carries
them), at each display scale.

    dialog_layout.py sestor.rc tahoma.ttf
"""
import re
import string
import sys

from fontTools.ttLib import TTFont

SCALES = (100, 125, 150, 175, 200)
SPARE = 2  # dialog units of room left beside every text
# A check box's square and the gap before its text, in pixels at 100 %.
CHECK_BOX_PX = 16
# A closed drop-down list's height; the template's includes the open list.
CLOSED_COMBO = 14


def controls(rc):
    """(kind, text, x, y, w, h) for each control of the dialog template."""
    block = re.search(r"DIALOGEX.*?\nBEGIN\n(.*?)\nEND", rc, re.S).group(1)
    found = []
    for line in block.splitlines():
        words = line.split(None, 1)
        if len(words) < 2:
            continue
        kind, rest = words
        text = re.search(r'"([^"]*)"', rest)
        if kind == "CONTROL":
            kind = re.findall(r'"([^"]*)"', rest)[-1].upper()
            if "BS_AUTOCHECKBOX" in rest:
                kind = "CHECKBOX"
        numbers = [int(n) for n in re.findall(r"(?<![\w-])-?\d+\b", rest)]
        x, y, w, h = numbers[:4]
        found.append((kind, text.group(1) if text else "", x, y, w, h))
    return found


class Tahoma:
    def __init__(self, path):
        font = TTFont(path)
        self.cmap = font.getBestCmap()
        self.hmtx = font["hmtx"]
        self.em = font["head"].unitsPerEm

    def width(self, text, ppem):
        """Pixels, each glyph's advance rounded as the hinted font draws it."""
        return sum(
            round(self.hmtx[self.cmap[ord(c)]][0] * ppem / self.em) for c in text
        )


def problems(rc_text, tahoma):
    found = []
    template = controls(rc_text)
    for scale in SCALES:
        dpi = 96 * scale // 100
        ppem = (8 * dpi + 36) // 72  # 8 points, rounded as MulDiv rounds
        letters = tahoma.width(string.ascii_uppercase + string.ascii_lowercase, ppem)
        base = (letters // 26 + 1) // 2  # pixels per 4 dialog units

        def units(px):
            return px * 4 / base

        for kind, text, x, y, w, h in template:
            if kind not in ("LTEXT", "CHECKBOX", "PUSHBUTTON") or not text:
                continue
            need = units(tahoma.width(text, ppem))
            if kind == "CHECKBOX":
                need += units(round(CHECK_BOX_PX * dpi / 96))
            if need + SPARE > w:
                found.append(
                    f"{scale} %: \"{text}\" needs {need:.1f} + {SPARE} units, has {w}"
                )
    return found + overlaps(template)


def overlaps(template):
    found = []
    boxes = [c for c in template if c[0] == "GROUPBOX"]
    others = [c for c in template if c[0] != "GROUPBOX"]

    def rect(c):
        kind, _, x, y, w, h = c
        return x, y, x + w, y + (CLOSED_COMBO if kind == "COMBOBOX" else h)

    for i, a in enumerate(others):
        ax0, ay0, ax1, ay1 = rect(a)
        for b in others[i + 1:]:
            bx0, by0, bx1, by1 = rect(b)
            if ax0 < bx1 and bx0 < ax1 and ay0 < by1 and by0 < ay1:
                found.append(f"{a[:2]} overlaps {b[:2]}")
        for box in boxes:
            gx0, gy0, gx1, gy1 = rect(box)
            inside_y = gy0 <= ay0 and ay1 <= gy1
            if inside_y and not (gx0 <= ax0 and ax1 <= gx1):
                found.append(f"{a[:2]} sticks out of its group box")
    return found


def main(rc_path, font_path):
    with open(rc_path, encoding="utf-8") as f:
        rc_text = f.read()
    found = problems(rc_text, Tahoma(font_path))
    for line in found:
        print(line)
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:3]))
