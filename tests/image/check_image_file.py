#!/usr/bin/env python3
"""Checks a generated TZ594K image file from its byte layout alone, with its own implementation
of the keyed stream and the sums: header, info block, payload, in that order."""
import struct
import sys

HEADER = 48
INFO_BLOCK = 368
BLOCK = 1024
BLOCKS = 1096
MAGIC = b"KVT FW IMAGE 594"
TEXT_WIDTHS = [16, 8, 16, 4, 8] + [4] * 7 + [8, 8] + [4] * 4 + [8, 16] + [4] * 4 + [8, 40]


def keystream(key, length):
    """The stream word pairs for `length` bytes, as the loader XORs them."""
    state = key
    out = bytearray()
    for _ in range(0, length, 2):
        product = (state * 0xFFFD) & 0xFFFF
        if product == 0:
            product = state = 0xA986
        else:
            state = product & 0xA996
        for source, target, when_set in ((14, 14, False), (5, 12, True), (3, 10, True), (9, 9, False),
                                         (9, 6, True), (5, 5, False), (3, 3, False), (14, 0, True)):
            if bool(product >> source & 1) == when_set:
                state |= 1 << target
        out += bytes((state >> 8, state & 0xFF))
    return bytes(out[:length])


def unscramble(key, data):
    return bytes(a ^ b for a, b in zip(data, keystream(key, len(data))))


def sum16(data):
    if len(data) % 2:
        data = data + b"\0"
    return sum(struct.unpack(">%dH" % (len(data) // 2), data)) & 0xFFFF


class Region:
    def __init__(self, data):
        self.data = data
        self.at = 0

    def take(self, n):
        if self.at + n > len(self.data):
            raise ValueError("field at region byte %d runs past the region" % self.at)
        field = self.data[self.at:self.at + n]
        self.at += n
        return field

    def u32(self):
        return struct.unpack(">I", self.take(4))[0]


def check(path):
    problems = []

    def expect(condition, what):
        if not condition:
            problems.append(what)

    image = open(path, "rb").read()
    expect(len(image) == HEADER + INFO_BLOCK + BLOCKS * BLOCK, "file size %d" % len(image))
    header, info, payload = image[:HEADER], image[HEADER:HEADER + INFO_BLOCK], image[HEADER + INFO_BLOCK:]

    expect(header[0:8] == b"KORVANTA", "header vendor %r" % header[0:8])
    expect(header[8:24] == b"BD-CMB TZ594KS  ", "header product %r" % header[8:24])
    expect(header[24:28] == b"1.01", "header revision %r" % header[24:28])
    start, transfer_length, word, image_sum = struct.unpack(">IIHH", header[32:44])
    expect(start == 0, "start_value %d" % start)
    expect(transfer_length == INFO_BLOCK + BLOCKS * BLOCK == 1122672, "transfer_length %d" % transfer_length)
    expect(word == 1, "header_word %d" % word)
    expect(sum(header) % 256 == 0, "header bytes sum to %d modulo 256" % (sum(header) % 256))
    expect(header[47] == (256 - sum(header[:47]) % 256) % 256, "header_checksum")

    key = struct.unpack(">H", info[16:18])[0]
    expect(unscramble(key, info[0:16]) == MAGIC, "magic text %r" % unscramble(key, info[0:16]))
    info_length = struct.unpack(">I", unscramble(key, info[18:22]))[0]
    expect(18 + info_length + 4 == INFO_BLOCK, "info_length %d" % info_length)
    region = unscramble(key, info[18:18 + info_length + 4])
    fields = Region(region)
    fields.take(8)
    texts = [fields.take(w) for w in TEXT_WIDTHS]
    blob_length = fields.u32()
    expect(blob_length <= 1024, "blob_length %d" % blob_length)
    fields.take(blob_length)
    area_bytes = fields.u32()
    expect(area_bytes <= 192 and area_bytes % 12 == 0, "area_bytes %d" % area_bytes)
    areas = []
    for _ in range(area_bytes // 12):
        name = fields.take(2)
        first, second, word = struct.unpack(">IIH", fields.take(10))
        areas.append((name, first, second, word))
    trailer_length = fields.u32()
    expect(trailer_length <= 4, "trailer_length %d" % trailer_length)
    fields.take(trailer_length)
    info_sum = struct.unpack(">H", fields.take(2))[0]
    expect(fields.at == len(region), "fields end at region byte %d of %d" % (fields.at, len(region)))
    expect(info_sum == sum16(region[:info_length + 2]), "info_sum")

    expect(texts[0] == b"TZ594KS-BDC-0001", "T1 %r" % texts[0])
    expect(texts[1:4] == [header[0:8], header[8:24], header[24:28]], "T2..T4 differ from the header")
    expect(texts[5] == b"T5KA", "T6 %r" % texts[5])
    expect(texts[20] == b"0101", "T21 %r" % texts[20])
    expect(all(32 <= c < 127 for t in texts for c in t), "a text holds a character that does not print")
    names = [a[0] for a in areas]
    expect(all(n in names for n in (b"BT", b"MN", b"CF")), "areas %r" % names)
    expect(all(first + length <= len(payload) for _, first, length, _ in areas), "an area lies past the payload")

    total = sum16(info) + sum(sum16(payload[i:i + BLOCK]) for i in range(0, len(payload), BLOCK))
    expect(image_sum == total & 0xFFFF, "image_sum 0x%04X, computed 0x%04X" % (image_sum, total & 0xFFFF))
    distinct_blocks = len({payload[i:i + BLOCK] for i in range(0, len(payload), BLOCK)})
    expect(distinct_blocks > BLOCKS // 2, "only %d distinct payload blocks" % distinct_blocks)
    expect(len(set(payload)) == 256, "the payload uses %d byte values" % len(set(payload)))

    for problem in problems:
        print("%s: %s" % (path, problem))
    if not problems:
        print("%s: key 0x%04X, info_length %d, %d areas %s, image_sum 0x%04X: good"
              % (path, key, info_length, len(areas), b" ".join(names).decode(), image_sum))
    return not problems


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit("usage: check_image_file.py IMAGE")
    sys.exit(0 if check(sys.argv[1]) else 1)
