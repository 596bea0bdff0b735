#!/usr/bin/env python3
"""Writes cp936_vectors.txt: every single-byte and double-byte code of code page
936 with its Unicode value as Python's cp936 codec decodes it.

One line per lead byte: "LL:" then one cell per code in order (single bytes
00..FF; trail bytes 40..7E, 80..FE), space-separated. A cell is a hex code point,
"XXXX*n" for n codes in a row whose code points rise by one from XXXX, or "-*n"
for n codes the codec does not decode. Run from this folder: python3 make_cp936_vectors.py
"""


def decode(code):
    try:
        text = code.decode("cp936")
    except UnicodeDecodeError:
        return None
    return ord(text) if len(text) == 1 else None


def compress(values):
    cells, i = [], 0
    while i < len(values):
        j = i + 1
        if values[i] is None:
            while j < len(values) and values[j] is None:
                j += 1
            cells.append("-*%d" % (j - i) if j - i > 1 else "-")
        else:
            while j < len(values) and values[j] is not None and values[j] == values[j - 1] + 1:
                j += 1
            cells.append("%04X*%d" % (values[i], j - i) if j - i > 1 else "%04X" % values[i])
        i = j
    return " ".join(cells)


def main():
    trails = [t for t in range(0x40, 0xFF) if t != 0x7F]
    lines = ["00:" + compress([decode(bytes([b])) if b < 0x80 else None for b in range(256)])]
    for lead in range(0x81, 0xFF):
        lines.append("%02X:" % lead + compress([decode(bytes([lead, t])) for t in trails]))
    with open("cp936_vectors.txt", "w", newline="\n") as out:
        out.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
