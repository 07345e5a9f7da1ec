#!/usr/bin/env python3
"""Writes sample-project.vbk: a small project as the program on the original platform saves
it (windows-1252 data.dat with Windows paths and CR LF), packed by Python's zipfile, which
flags the umlaut names as UTF-8. Run from this folder; the output is committed."""

import struct
import zipfile
import zlib


def png(width, height, pixel, alpha=False):
    rows = b"".join(
        b"\x00" + b"".join(bytes(pixel(x, y)) for x in range(width)) for y in range(height))

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    header = struct.pack(">IIBBBBB", width, height, 8, 6 if alpha else 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))


facade = png(64, 48, lambda x, y: (4 * x, 5 * y, 128))
# A door: opaque brown leaf with a transparent one-pixel border and a light window.
door = png(12, 20, lambda x, y: (0, 0, 0, 0) if x in (0, 11) or y in (0, 19) else
           ((220, 230, 240, 255) if 3 <= x <= 8 and 3 <= y <= 7 else (120, 70, 30, 255)),
           alpha=True)
window = png(10, 10, lambda x, y: (255, 255, 255) if x in (0, 9) or y in (0, 9) or x == 5
             else (60, 120, 200))

data = ("C:\\Muster\\Fassade\\Fassade.png\r\n"
        "C:\\Muster\\Haustüren\\Haustür 1.png;20;10;34;12;33;40;21;38;\r\n"
        "C:\\Muster\\Fenster\\Fenster 2.png;-3;-2;8;-2;8;9;-3;9;\r\n").encode("cp1252")

with zipfile.ZipFile("sample-project.vbk", "w", zipfile.ZIP_DEFLATED) as archive:
    for name, content in (("data.dat", data), ("Fassade.png", facade),
                          ("Haustür 1.png", door), ("Fenster 2.png", window)):
        info = zipfile.ZipInfo(name, date_time=(2021, 5, 4, 12, 0, 0))
        info.compress_type = zipfile.ZIP_DEFLATED
        info.external_attr = 0o100644 << 16
        archive.writestr(info, content)
