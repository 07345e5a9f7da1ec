#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into corpus/<target>/ from the test fixtures:
the project files and record files of tests/data/project, the shipped sample pictures of
assets/Muster (JPEG), and small pictures shaped like those the picture tests build (BMP of
every depth and compression, icons, PNG colour types), photos with EXIF blocks of every
orientation, byte order and kind of damage, and HEIC, AVIF and WebP files encoded from
small pictures like the tests' (by heif-enc and cwebp from Debian's libheif-examples and
webp, which only this script needs; without them those seeds are left as they are).
Deterministic; the output is committed. Run from any folder."""

import io
import pathlib
import shutil
import struct
import subprocess
import tempfile
import zipfile
import zlib

here = pathlib.Path(__file__).resolve().parent
root = here.parent
fixtures = root / "tests" / "data" / "project"
corpus = here / "corpus"


def put(target, name, data):
    folder = corpus / target
    folder.mkdir(parents=True, exist_ok=True)
    (folder / name).write_bytes(data)


# --- PNG -------------------------------------------------------------------------------------
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(
        ">I", zlib.crc32(kind + data) & 0xFFFFFFFF)


def png(width, height, colour_type, depth, rows, extra=b"", interlace=0):
    header = struct.pack(">IIBBBBB", width, height, depth, colour_type, 0, 0, interlace)
    raw = b"".join(b"\x00" + row for row in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + extra +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


png_rgb = png(4, 3, 2, 8, [bytes((200, 180, 150)) * 4] * 3)
png_rgba = png(3, 2, 6, 8, [bytes((255, 0, 0, 255, 0, 255, 0, 128, 0, 0, 255, 0))] * 2)
png_palette = png(4, 2, 3, 2, [bytes((0b00011011,))] * 2,
                  chunk(b"PLTE", bytes((0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255))) +
                  chunk(b"tRNS", bytes((0, 255, 128))))
png_gray16 = png(2, 2, 0, 16, [bytes((0x12, 0x34, 0xFF, 0xFF))] * 2)
png_gray_alpha = png(2, 2, 4, 8, [bytes((10, 255, 200, 0))] * 2)
png_interlaced = png(3, 3, 2, 8, [bytes(range(9))] * 3, interlace=1)

# --- BMP -------------------------------------------------------------------------------------
def bmp(width, height, bpp, pixels, palette=b"", compression=0, header_size=40, masks=b""):
    if header_size == 12:
        info = struct.pack("<IHHHH", 12, width, height, 1, bpp)
    else:
        info = struct.pack("<IiiHHIIiiII", header_size, width, height, 1, bpp, compression,
                           len(pixels), 2835, 2835, 0, 0)
        info += b"\x00" * (header_size - 40)
    body = info + masks + palette
    offset = 14 + len(body)
    return b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset) + body + pixels


def rows(row_bytes, count):
    padded = row_bytes + b"\x00" * (-len(row_bytes) % 4)
    return padded * count


bmp32 = bmp(2, 2, 32, bytes((10, 20, 30, 255, 40, 50, 60, 128)) * 2)
bmp32_top_down = bmp(2, -2, 32, bytes((1, 2, 3, 0, 4, 5, 6, 255)) * 2)
bmp24 = bmp(3, 2, 24, rows(bytes((0, 0, 255, 0, 255, 0, 255, 0, 0)), 2))
bmp8 = bmp(4, 2, 8, rows(bytes((0, 1, 2, 3)), 2), bytes((0, 0, 0, 0, 255, 255, 255, 0)) * 2)
bmp4 = bmp(5, 1, 4, rows(bytes((0x01, 0x23, 0x40)), 1),
           b"".join(bytes((i * 16, i * 8, i * 4, 0)) for i in range(16)))
bmp1 = bmp(9, 2, 1, rows(bytes((0b10101010, 0b10000000)), 2),
           bytes((0, 0, 0, 0, 255, 255, 255, 0)))
bmp_rle8 = bmp(4, 2, 8, bytes((4, 1, 0, 0, 2, 2, 0, 2, 0, 1)), bytes((9, 9, 9, 0, 200, 100, 50, 0)
                                                                     ) + bytes((0, 0, 255, 0)),
               compression=1)
bmp_rle4 = bmp(4, 1, 4, bytes((4, 0x12, 0, 1)), bytes((0, 0, 0, 0)) * 3, compression=2)
bmp16 = bmp(2, 1, 16, rows(struct.pack("<HH", 0xF800, 0x001F), 1), compression=3,
            masks=struct.pack("<III", 0xF800, 0x07E0, 0x001F))
bmp32_fields = bmp(1, 1, 32, struct.pack("<I", 0x80FF0000), compression=3, header_size=56,
                   masks=b"")
bmp_core = bmp(2, 2, 24, rows(bytes((1, 2, 3, 4, 5, 6)), 2), header_size=12)

# --- ICO -------------------------------------------------------------------------------------
def ico(images):
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    data = b""
    for width, height, payload in images:
        directory += struct.pack("<BBBBHHII", width, height, 0, 0, 1, 32, len(payload),
                                 offset + len(data))
        data += payload
    return directory + data


def icon_dib(width, height, pixels, mask):
    info = struct.pack("<IiiHHIIiiII", 40, width, 2 * height, 1, 32, 0, 0, 0, 0, 0, 0)
    return info + pixels + mask


ico_dib = ico([(2, 2, icon_dib(2, 2, bytes((0, 0, 255, 255, 0, 255, 0, 128)) * 2,
                               rows(bytes((0x40,)), 2)))])
ico_png = ico([(3, 2, png_rgba)])
ico_two = ico([(2, 2, icon_dib(2, 2, bytes(16), rows(bytes((0xC0,)), 2))), (3, 2, png_rgba)])

# --- write -----------------------------------------------------------------------------------
for name, data in (("rgb.png", png_rgb), ("rgba.png", png_rgba), ("palette.png", png_palette),
                   ("gray16.png", png_gray16), ("gray-alpha.png", png_gray_alpha),
                   ("interlaced.png", png_interlaced)):
    put("picture_png", name, data)
for name in ("Haus.png", "Tür 3.png"):
    put("picture_png", "zipcli-" + name.replace(" ", "-").replace("ü", "ue"),
        (fixtures / "zipcli-source" / name).read_bytes())

for name, data in (("rgb24.bmp", bmp24), ("pal8.bmp", bmp8), ("pal4.bmp", bmp4),
                   ("mono.bmp", bmp1), ("rle8.bmp", bmp_rle8), ("rle4.bmp", bmp_rle4),
                   ("bitfields16.bmp", bmp16), ("bitfields32.bmp", bmp32_fields),
                   ("core.bmp", bmp_core), ("argb32.bmp", bmp32)):
    put("picture_bmp", name, data)
for name, data in (("argb32.bmp", bmp32), ("top-down.bmp", bmp32_top_down),
                   ("rgb24.bmp", bmp24)):
    put("picture_bmp32", name, data)

for name, data in (("dib32.ico", ico_dib), ("png.ico", ico_png), ("two.ico", ico_two)):
    put("picture_ico", name, data)

for source, name in (("Haustüren/Haustür Rot.jpg", "door-red.jpg"),
                     ("Haustüren/Fenster weiß.jpg", "window-white.jpg")):
    put("picture_jpg", name, (root / "assets" / "Muster" / source).read_bytes())

# EXIF: the sample photo with an APP1 block, every orientation in both byte orders, and the
# damage the reader must survive (offsets outside the block, a looping directory chain,
# values 0 and 9, a cut block).
def tiff(orientation, big_endian=False, ifd_offset=8, count=2, next_ifd=0, kind=3):
    e = ">" if big_endian else "<"
    out = (b"MM" if big_endian else b"II") + struct.pack(e + "HI", 42, ifd_offset)
    out += struct.pack(e + "H", count)
    out += struct.pack(e + "HHI", 0x010F, 2, 4) + b"Cam\x00"
    value = struct.pack(e + "H", orientation) + b"\x00\x00" if kind == 3 else struct.pack(
        e + "I", orientation)
    out += struct.pack(e + "HHI", 0x0112, kind, 1) + value
    return out + struct.pack(e + "I", next_ifd)


def with_exif(jpeg, body):
    segment = b"Exif\x00\x00" + body
    return jpeg[:2] + b"\xff\xe1" + struct.pack(">H", len(segment) + 2) + segment + jpeg[2:]


photo = (root / "assets" / "Muster" / "Haustüren" / "Haustür Rot.jpg").read_bytes()
for orientation in range(1, 9):
    put("exif", "orientation-%d-le.jpg" % orientation, with_exif(photo, tiff(orientation)))
    put("exif", "orientation-%d-be.jpg" % orientation, with_exif(photo, tiff(orientation, True)))
for name, body in (("value-0.jpg", tiff(0)), ("value-9.jpg", tiff(9)),
                   ("long-value.jpg", tiff(6, kind=4)),
                   ("ifd-outside.jpg", tiff(6, ifd_offset=0xFFFFFF00)),
                   ("count-past-end.jpg", tiff(6, count=0x7FFF)),
                   ("looping-chain.jpg", tiff(6, next_ifd=8)),
                   ("cut-block.jpg", tiff(6)[:28])):
    put("exif", name, with_exif(photo, body))
put("exif", "bare-tiff.tif", tiff(8, True))

# HEIC, AVIF and WebP from small pictures (opaque and with alpha), through the encoders.
def encode_with(tool_args, source, suffix):
    with tempfile.TemporaryDirectory() as folder:
        src = pathlib.Path(folder) / "in.png"
        out = pathlib.Path(folder) / ("out" + suffix)
        src.write_bytes(source)
        subprocess.run(tool_args(str(src), str(out)), check=True, capture_output=True)
        return out.read_bytes()


def gradient(width, height, alpha):
    rows = []
    for y in range(height):
        row = b""
        for x in range(width):
            a = 255 if not alpha or x < width // 3 else (128 if x < 2 * width // 3 else 0)
            row += bytes((40 + x * 170 // width, 60 + y * 150 // height,
                          200 if (x // 8 + y // 8) % 2 else 90, a))
        rows.append(row)
    return png(width, height, 6, 8, rows)


if shutil.which("heif-enc") and shutil.which("cwebp"):
    for alpha in (False, True):
        source = gradient(40, 24, alpha)
        tag = "alpha" if alpha else "opaque"
        put("picture_heif", tag + ".heic", encode_with(
            lambda i, o: ["heif-enc", "-q", "60", "-o", o, i], source, ".heic"))
        put("picture_heif", tag + ".avif", encode_with(
            lambda i, o: ["heif-enc", "-A", "-q", "60", "-p", "speed=9", "-o", o, i], source,
            ".avif"))
        put("picture_webp", tag + "-lossy.webp", encode_with(
            lambda i, o: ["cwebp", "-quiet", "-q", "70", i, "-o", o], source, ".webp"))
        put("picture_webp", tag + "-lossless.webp", encode_with(
            lambda i, o: ["cwebp", "-quiet", "-lossless", i, "-o", o], source, ".webp"))
else:
    print("make_corpus: heif-enc or cwebp missing, HEIF and WebP seeds left as they are")

# Record files: the fixtures' data.dat, the same in UTF-8 and UTF-16, and lone lines.
zipcli_data = (fixtures / "zipcli-source" / "data.dat").read_bytes()
with zipfile.ZipFile(fixtures / "sample-project.vbk") as archive:
    sample_data = archive.read("data.dat")
text = zipcli_data.decode("cp1252")
put("record_file", "zipcli-data.dat", zipcli_data)
put("record_file", "sample-data.dat", sample_data)
put("record_file", "utf8-bom.dat", b"\xef\xbb\xbf" + text.replace("\r\n", "\n").encode("utf-8"))
put("record_file", "utf16le.dat", b"\xff\xfe" + text.encode("utf-16-le"))
put("record_file", "utf16be-cr.dat", b"\xfe\xff" + text.replace("\r\n", "\r").encode("utf-16-be"))
put("record_file", "line.txt", b"C:\\Muster\\T\xfcr 3.png;-2147483648;0;2147483647;0;3;2;1;2;")

# Archives: both fixture projects, and a small stored one with a BMP facade and an icon.
for name in ("sample-project.vbk", "zipcli-project.vbk"):
    for target in ("zip_extract", "project_load"):
        put(target, name, (fixtures / name).read_bytes())
buffer = io.BytesIO()
with zipfile.ZipFile(buffer, "w", zipfile.ZIP_STORED) as archive:
    for name, content in (("data.dat", b"C:\\a\\Haus.bmp\r\nD:\\Tuer.ico;0;0;1;0;1;1;0;1;\r\n"
                           b"Fenster.png;1;1;3;1;3;3;1;3;\r\n"),
                          ("Haus.bmp", bmp24), ("Tuer.ico", ico_dib), ("Fenster.png", png_rgba)):
        info = zipfile.ZipInfo(name, date_time=(2021, 5, 4, 12, 0, 0))
        info.external_attr = 0o100644 << 16
        archive.writestr(info, content)
for target in ("zip_extract", "project_load"):
    put(target, "stored-small.vbk", buffer.getvalue())

# The appearance entry schauplatz.json: the written form, missing and unknown keys, a value
# out of range, and another version.
element = ('{"smooth": true, "brightness": -12, "contrast": 7, "temperature": 33, "opacity": 240, '
           '"shadow": {"depth": 45, "darkness": 60, "side": "right"}}')
put("appearance_entry", "written.json",
    ('{"format": "schauplatz-appearance", "version": 1,\n "elements": [\n  ' + element +
     ',\n  {}\n ]}\n').encode("utf-8"))
put("appearance_entry", "odd-values.json",
    b'\xef\xbb\xbf{"format": "schauplatz-appearance", "version": 1, "future": {"a": [1]}, '
    b'"elements": [{"brightness": 1e9, "opacity": -1, "shadow": {"side": "up"}}, 7, '
    b'{"smooth": 0, "contrast": 12.5}]}')
put("appearance_entry", "version-2.json",
    b'{"format": "schauplatz-appearance", "version": 2, "elements": []}')
