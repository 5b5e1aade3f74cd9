#!/usr/bin/env python3
"""Writes the hand-made seed files of the fuzz corpora (the formats the sample corpus
has few or no files of): Wireless Bitmaps, Windows metafiles and PCX variants.

    fuzz/corpora/make_seeds.py        rewrites fuzz/corpora/{wbmp,metafile,pcx}/made-*
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def save(folder, name, data):
    os.makedirs(os.path.join(HERE, folder), exist_ok=True)
    with open(os.path.join(HERE, folder, "made-" + name), "wb") as f:
        f.write(data)


# ---- WBMP: type 0, fixed header 0, width and height as multi-byte integers ---------------

def mbi(v):
    out = [v & 0x7F]
    v >>= 7
    while v:
        out.append(0x80 | (v & 0x7F))
        v >>= 7
    return bytes(reversed(out))


def wbmp(w, h, fill):
    return b"\0\0" + mbi(w) + mbi(h) + bytes([fill]) * (((w + 7) // 8) * h)


# ---- WMF: records of (size in words, function, 16-bit parameters) ------------------------

def rec(function, *params, raw=b""):
    body = b"".join(struct.pack("<h" if p < 0 else "<H", p) for p in params) + raw
    if len(body) % 2:
        body += b"\0"
    return struct.pack("<IH", 3 + len(body) // 2, function) + body


def wmf(records, placeable=None, objects=4):
    records = records + [rec(0x0000)]
    body = b"".join(records)
    size_words = 9 + len(body) // 2
    max_record = max(struct.unpack_from("<I", r)[0] for r in records)
    header = struct.pack("<HHHIHIH", 1, 9, 0x0300, size_words, objects, max_record, 0)
    data = header + body
    if placeable:
        left, top, right, bottom, inch = placeable
        words = struct.pack("<IHhhhhHI", 0x9AC6CDD7, 0, left, top, right, bottom, inch, 0)
        checksum = 0
        for (w,) in struct.iter_unpack("<H", words):
            checksum ^= w
        data = words + struct.pack("<H", checksum) + data
    return data


def dib(width, height, bits, colors, pixels):
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, len(pixels), 0, 0,
                         len(colors) // 4, 0)
    return header + colors + pixels


def logfont(height, face, weight=400, italic=0, escapement=0):
    return struct.pack("<hhhhhBBBBBBBB", height, 0, escapement, escapement, weight, italic, 0, 0,
                       0, 0, 0, 0, 0) + face.ljust(32, b"\0")


def text_wmf():
    s = b"Page"
    return wmf([
        rec(0x020B, 0, 0), rec(0x020C, 400, 600),
        rec(0x02FB, raw=logfont(-80, b"DejaVu Sans", 700, 1, 300)),
        rec(0x012D, 0), rec(0x0209, 0x00FF, 0x0000), rec(0x0102, 1),
        rec(0x0521, len(s), raw=s + struct.pack("<hh", 100, 50)),
        rec(0x0A32, 200, 40, len(s), 0x0004,
            raw=struct.pack("<hhhh", 30, 180, 300, 260) + s + struct.pack("<hhhh", 30, 30, 30, 30)),
        rec(0x01F0, 0),
    ], placeable=(0, 0, 600, 400, 1440))


def shapes_wmf():
    return wmf([
        rec(0x0103, 8), rec(0x020C, 1000, 1000), rec(0x020E, 200, 200),
        rec(0x02FA, 0, 5, 0, 0x00FF, 0x0000),
        rec(0x02FC, 0, 0xFF00, 0x0000, 0),
        rec(0x02FC, 2, 0x0000, 0x00FF, 3),
        rec(0x012D, 0), rec(0x012D, 1),
        rec(0x041B, 500, 500, 100, 100),
        rec(0x0418, 900, 900, 600, 600),
        rec(0x0324, 3, 10, 10, 990, 10, 500, 990),
        rec(0x0538, 2, 3, 4, 0, 0, 100, 0, 50, 100, 200, 200, 300, 200, 300, 300, 200, 300),
        rec(0x012D, 2), rec(0x061C, 50, 50, 700, 700, 300, 300),
        rec(0x081A, 400, 400, 0, 400, 800, 800, 0, 0),
        rec(0x0817, 400, 0, 0, 400, 800, 800, 0, 0),
        rec(0x0830, 0, 400, 400, 0, 800, 800, 0, 0),
        rec(0x0214, 0, 0), rec(0x0213, 999, 999),
        rec(0x041F, 0x00FF, 0x00FF, 5, 5),
        rec(0x0415, 10, 10, 0, 0), rec(0x0416, 900, 900, 20, 20),
        rec(0x001E), rec(0x0127, -1),
        rec(0x01F0, 0), rec(0x01F0, 1), rec(0x01F0, 2),
    ], objects=3)


def bitmap_wmf():
    palette = bytes([0, 0, 0, 0, 255, 255, 255, 0, 0, 0, 255, 0, 0, 255, 0, 0])
    pixels8 = bytes([0, 1, 2, 3]) * 4
    pixels24 = bytes(range(48))
    return wmf([
        rec(0x020C, 100, 100),
        rec(0x0F43, 0x0020, 0x00CC, 0, 4, 4, 0, 0, 50, 50, 0, 0,
            raw=dib(4, 4, 8, palette, pixels8)),
        rec(0x0B41, 0x0020, 0x00CC, 4, 4, 0, 0, 40, 40, 60, 60, raw=dib(4, -4, 24, b"", pixels24)),
        rec(0x0142, 0, 0, raw=dib(4, 4, 8, palette, pixels8)),
        rec(0x012D, 0), rec(0x061D, 0x0021, 0x00F0, 30, 30, 10, 10),
        rec(0x0626, 15, 4, raw=b"abcd"),
    ], placeable=(0, 0, 100, 100, 96))


def region_wmf():
    # A region of one scan with one rectangle, selected as the clip region and painted.
    region = struct.pack("<hhihhhhhhh", 0, 6, 0, 34, 1, 2, 0, 0, 80, 80)
    region += struct.pack("<hhhhhh", 2, 0, 80, 0, 80, 2)
    return wmf([
        rec(0x020C, 100, 100),
        rec(0x06FF, raw=region),
        rec(0x012C, 0), rec(0x012B, 0),
        rec(0x02FC, 0, 0x00FF, 0x0000, 0),
        rec(0x0228, 0, 1), rec(0x0429, 0, 1, 2, 2), rec(0x012A, 0),
        rec(0x0220, 5, 5),
    ], objects=2)


def palette_wmf():
    entries = struct.pack("<HH", 0x0300, 2) + bytes([255, 0, 0, 0, 0, 0, 255, 0])
    return wmf([
        rec(0x020C, 10, 10),
        rec(0x00F7, raw=entries), rec(0x0234, 0), rec(0x0035),
        rec(0x0037, 0, 1, raw=bytes([0, 255, 0, 0])), rec(0x0139, 4),
        rec(0x0436, 0, 1, raw=bytes([1, 2, 3, 0])),
    ], objects=1)


# ---- PCX: 128-byte header, run-length rows, optional 256-colour table --------------------

def pcx(version, bits, planes, width, height, line_bytes, rows, table=None, palette16=None):
    header = struct.pack("<BBBBhhhhhh", 10, version, 1, bits, 0, 0, width - 1, height - 1, 72, 72)
    header += (palette16 or bytes(range(48)))
    header += struct.pack("<BBhhhh", 0, planes, line_bytes, 1, 0, 0)
    header = header.ljust(128, b"\0")
    body = b""
    for row in rows:
        i = 0
        while i < len(row):
            run = 1
            while i + run < len(row) and run < 63 and row[i + run] == row[i]:
                run += 1
            if run > 1 or row[i] >= 0xC0:
                body += bytes([0xC0 | run, row[i]])
            else:
                body += bytes([row[i]])
            i += run
    data = header + body
    if table is not None:
        data += b"\x0c" + table
    return data


# ---- BMP: small files of the header kinds the suite has only at 127 x 64 ----------------

def bmp(info, palette, pixels):
    offset = 14 + len(info) + len(palette)
    return struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset) + info + palette + pixels


def bmp_info(size, width, height, bits, compression, colors=0, masks=b""):
    info = struct.pack("<IiiHHIIiiII", size, width, height, 1, bits, compression, 0, 2835, 2835,
                       colors, 0) + masks
    return info.ljust(size, b"\0")


def main():
    masks = struct.pack("<IIII", 0xF800, 0x07E0, 0x001F, 0)
    save("bmp", "bitfields16-v5.bmp", bmp(bmp_info(124, 3, -2, 16, 3, masks=masks), b"",
                                          bytes(range(16))))
    save("bmp", "rle8.bmp", bmp(bmp_info(40, 5, 3, 8, 1, colors=2), bytes([0, 0, 255, 0, 255, 0, 0, 0]),
                                bytes([3, 1, 0, 0, 0, 2, 1, 1, 2, 0, 0, 3, 1, 0, 0, 0, 0, 1])))
    save("bmp", "core24.bmp", bmp(struct.pack("<IHHHH", 12, 2, 2, 1, 24), b"", bytes(range(16))))
    save("bmp", "rle4-delta.bmp", bmp(bmp_info(40, 8, 4, 4, 2, colors=3),
                                      bytes([0, 0, 0, 0, 255, 255, 255, 0, 0, 0, 255, 0]),
                                      bytes([4, 0x12, 0, 3, 3, 0x10, 0, 2, 2, 1, 0, 0, 0, 1])))

    save("wbmp", "8x4.wbmp", wbmp(8, 4, 0xA5))
    save("wbmp", "1x1.wbmp", wbmp(1, 1, 0x80))
    save("wbmp", "200x3.wbmp", wbmp(200, 3, 0x0F))

    save("metafile", "text.wmf", text_wmf())
    save("metafile", "shapes.wmf", shapes_wmf())
    save("metafile", "bitmaps.wmf", bitmap_wmf())
    save("metafile", "region.wmf", region_wmf())
    save("metafile", "palette.wmf", palette_wmf())

    save("pcx", "1bit.pcx", pcx(5, 1, 1, 13, 3, 2, [bytes([0xF0, 0x0F])] * 3))
    save("pcx", "4planes.pcx", pcx(2, 1, 4, 9, 2, 2, [bytes([0xAA, 0x80] * 4)] * 2))
    save("pcx", "8bit.pcx", pcx(5, 8, 1, 6, 2, 6, [bytes([1, 1, 1, 200, 201, 0])] * 2,
                                table=bytes(range(256)) * 3))
    save("pcx", "24bit.pcx", pcx(5, 8, 3, 3, 2, 4, [bytes([10, 20, 30, 0] * 3)] * 2))
    save("pcx", "2bit.pcx", pcx(0, 2, 1, 7, 2, 2, [bytes([0x1B, 0xE4])] * 2))


if __name__ == "__main__":
    main()
