#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into fuzz/corpus/<target>/.

Every seed is made here, the same bytes on every run: deflate streams from
Python's zlib, archives built with Python's zipfile (plus a traditionally
encrypted member, enciphered below) and members of the legacy archives in
tests/data/legacy. The decoder targets' seeds start with the parameter
header their targets read (fuzz/README.md). Run from anywhere:

    python3 fuzz/make-seeds.py
"""

import io
import os
import shutil
import struct
import sys
import zipfile
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CORPUS = os.path.join(ROOT, "fuzz", "corpus")
LEGACY = os.path.join(ROOT, "tests", "data", "legacy")
DATE = (2020, 2, 29, 13, 45, 30)

WORDS = (b"archive member deflate window header record central directory local "
         b"compressed stored shrink reduce implode password cipher table code length "
         b"distance literal block final dynamic fixed").split()


def lcg(seed):
    state = seed & 0xFFFFFFFF
    while True:
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        yield state >> 8


def text(size, seed):
    out = bytearray()
    rnd = lcg(seed)
    while len(out) < size:
        out += WORDS[next(rnd) % len(WORDS)]
        out += b"\n" if next(rnd) % 11 == 0 else b" "
    return bytes(out[:size])


def noise(size, seed):
    rnd = lcg(seed)
    return bytes(next(rnd) & 0xFF for _ in range(size))


def raw_deflate(data, level=6, strategy=zlib.Z_DEFAULT_STRATEGY, mem_level=8):
    c = zlib.compressobj(level, zlib.DEFLATED, -15, mem_level, strategy)
    return c.compress(data) + c.flush()


def le24(value):
    return struct.pack("<I", value)[:3]


def decoder_header(size, missing=0, target_bits=0):
    return le24(size) + bytes([(missing & 0x0F) | (target_bits << 4)])


def local_members(path):
    """(name, method, flags, compressed data, uncompressed size) per local header."""
    data = open(path, "rb").read()
    pos = 0
    members = []
    while data[pos:pos + 4] == b"PK\x03\x04":
        (_, flags, method, _, _, _, csize, usize, nlen, xlen) = struct.unpack_from(
            "<HHHHHIIIHH", data, pos + 4)
        name = data[pos + 30:pos + 30 + nlen].decode("cp437")
        start = pos + 30 + nlen + xlen
        members.append((name, method, flags, data[start:start + csize], usize))
        pos = start + csize
    return members


# ---- the traditional cipher, for one encrypted member --------------------

CRC_TABLE = []
for n in range(256):
    c = n
    for _ in range(8):
        c = (0xEDB88320 ^ (c >> 1)) if c & 1 else c >> 1
    CRC_TABLE.append(c)


def crc_step(crc, b):
    return CRC_TABLE[(crc ^ b) & 0xFF] ^ (crc >> 8)


class Cipher:
    def __init__(self, password):
        self.keys = [0x12345678, 0x23456789, 0x34567890]
        for b in password:
            self.update(b)

    def update(self, b):
        k0, k1, k2 = self.keys
        k0 = crc_step(k0, b)
        k1 = ((k1 + (k0 & 0xFF)) * 134775813 + 1) & 0xFFFFFFFF
        k2 = crc_step(k2, k1 >> 24)
        self.keys = [k0, k1, k2]

    def encrypt(self, data):
        out = bytearray()
        for p in data:
            t = (self.keys[2] & 0xFFFF) | 2
            out.append(p ^ (((t * (t ^ 1)) >> 8) & 0xFF))
            self.update(p)
        return bytes(out)


def encrypted_archive(password, plain):
    """One deflated member enciphered with `password`, built record by record."""
    crc = zlib.crc32(plain)
    header = bytes(range(10)) + bytes([(crc >> 16) & 0xFF, crc >> 24])
    data = Cipher(password).encrypt(header + raw_deflate(plain))
    name = b"secret.txt"
    dos_time, dos_date = 0x6DAF, 0x505D
    fields = struct.pack("<HHHHHIII", 20, 1, 8, dos_time, dos_date, crc, len(data), len(plain))
    local = b"PK\x03\x04" + fields + struct.pack("<HH", len(name), 0) + name + data
    central = (b"PK\x01\x02" + struct.pack("<H", 20) + fields +
               struct.pack("<HHHHHII", len(name), 0, 0, 0, 0, 0x20, 0) + name)
    end = b"PK\x05\x06" + struct.pack("<HHHHIIH", 0, 0, 1, 1, len(central), len(local), 0)
    return local + central + end


# ---- archives ------------------------------------------------------------

def zip_bytes(members, comment=b"", force_zip64=False):
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w") as z:
        for name, data, method, member_comment in members:
            info = zipfile.ZipInfo(name, DATE)
            info.compress_type = method
            info.comment = member_comment
            info.external_attr = 0o644 << 16
            with z.open(info, "w", force_zip64=force_zip64) as f:
                f.write(data)
        z.comment = comment
    return out.getvalue()


def streamed_zip_bytes(members):
    """Written to a stream that cannot seek: every member gets a data descriptor."""
    class Unseekable(io.RawIOBase):
        def __init__(self):
            self.buf = bytearray()

        def writable(self):
            return True

        def write(self, b):
            self.buf += b
            return len(b)

    sink = Unseekable()
    with zipfile.ZipFile(sink, "w") as z:
        for name, data, method in members:
            info = zipfile.ZipInfo(name, DATE)
            info.compress_type = method
            z.writestr(info, data)
    return bytes(sink.buf)


def shared_header_zip(names):
    """One local header that every central record names (the full overlap):
    listed, and refused as members that share data when extracted."""
    one = zip_bytes([(names[0], text(400, 13), zipfile.ZIP_DEFLATED, b"")])
    end = one.rfind(b"PK\x05\x06")
    size, offset = struct.unpack("<II", one[end + 12:end + 20])
    record = one[offset:offset + size]
    directory = b"".join(record.replace(names[0].encode(), name.encode()) for name in names)
    tail = bytearray(one[end:])
    struct.pack_into("<HHII", tail, 8, len(names), len(names), len(directory), offset)
    return one[:offset] + directory + bytes(tail)


def zip64_everywhere(members):
    """Every record as a writer makes it past 4 GiB and 65,535 members: Python's
    limits lowered to 1 for the one archive."""
    saved = zipfile.ZIP64_LIMIT, zipfile.ZIP_FILECOUNT_LIMIT
    zipfile.ZIP64_LIMIT, zipfile.ZIP_FILECOUNT_LIMIT = 1, 1
    try:
        return zip_bytes(members, force_zip64=True)
    finally:
        zipfile.ZIP64_LIMIT, zipfile.ZIP_FILECOUNT_LIMIT = saved


def patched(data, at, fmt, *values):
    out = bytearray(data)
    struct.pack_into(fmt, out, at, *values)
    return bytes(out)


def hostile_zip64_seeds(everywhere):
    """Zip64 values that cannot be the archive's: each must end in a clear
    error, never in a read past the buffer or an allocation by a count."""
    locator = everywhere.rfind(b"PK\x06\x07")
    record = everywhere.rfind(b"PK\x06\x06")
    central = everywhere.find(b"PK\x01\x02")
    field = everywhere.find(b"\x01\x00", central + 46)
    # The second member's field holds its offset too, after both sizes.
    second = everywhere.find(b"PK\x01\x02", central + 1)
    offset = everywhere.find(b"\x01\x00", second + 46) + 20
    return {
        "zip64-count-too-large.zip": patched(everywhere, record + 32, "<Q", 1 << 40),
        "zip64-directory-past-record.zip": patched(everywhere, record + 48, "<Q", 2**64 - 10),
        "zip64-record-past-file.zip": patched(
            patched(everywhere, locator + 8, "<Q", 1 << 62), record, "<I", 0),
        "zip64-short-field.zip": patched(everywhere, field + 2, "<H", 8),
        "zip64-offset-past-any-file.zip": patched(everywhere, offset, "<Q", 2**64 - 30),
    }


def archive_seeds():
    d, s = zipfile.ZIP_DEFLATED, zipfile.ZIP_STORED
    plain = zip_bytes([
        ("readme.txt", text(3000, 1), d, b"first member"),
        ("docs/", b"", s, b""),
        ("docs/notes.txt", text(500, 2), s, b""),
        ("bin/noise.bin", noise(700, 3), d, b""),
        ("empty", b"", d, b""),
    ], comment=b"archive comment")
    seeds = {
        "plain.zip": plain,
        "zip64.zip": zip_bytes([("big.txt", text(2000, 4), d, b"")], force_zip64=True),
        "descriptors.zip": streamed_zip_bytes([("a.txt", text(1500, 5), d),
                                               ("b.bin", noise(300, 6), s)]),
        "encrypted.zip": encrypted_archive(b"secret", text(1200, 7)),
        "utf8-names.zip": zip_bytes([("caf\u00e9/\u00fcber.txt", text(200, 8), d, b"")]),
        # No end record: the directory is rebuilt from the local headers.
        "no-end-record.zip": plain[:plain.rfind(b"PK\x05\x06")],
        # Junk in front, as in a self-extracting file.
        "prefixed.zip": noise(600, 9) + plain,
        "cut-directory.zip": plain[:plain.find(b"PK\x01\x02") + 40],
        "shared-local-header.zip": shared_header_zip(["one.txt", "two.txt", "six.txt"]),
    }
    everywhere = zip64_everywhere([("one.txt", text(900, 10), d, b"note"),
                                   ("two.bin", noise(200, 11), s, b"")])
    seeds["zip64-everywhere.zip"] = everywhere
    seeds["zip64-prefixed.zip"] = noise(500, 12) + everywhere
    seeds.update(hostile_zip64_seeds(everywhere))
    for name in ("SHRUNK.ZIP", "imploding-4Kdict-2trees.zip", "imploding-8Kdict-3trees.zip"):
        seeds[name.lower()] = open(os.path.join(LEGACY, name), "rb").read()
    return seeds


# ---- raw streams ---------------------------------------------------------

def deflate_streams():
    t = text(6000, 10)
    far = text(33000, 11)
    far += far[:200]  # matches from 33000 bytes back: the longest distances
    return {
        "empty": (b"", raw_deflate(b"")),
        "one-byte": (b"A", raw_deflate(b"A")),
        "text-level1": (t, raw_deflate(t, 1)),
        "text-level6": (t, raw_deflate(t, 6)),
        "text-level9": (t, raw_deflate(t, 9)),
        "fixed-codes": (t, raw_deflate(t, 6, zlib.Z_FIXED)),
        "huffman-only": (t, raw_deflate(t, 6, zlib.Z_HUFFMAN_ONLY)),
        "run-length": (b"ab" * 3000 + b"c" * 2000, raw_deflate(b"ab" * 3000 + b"c" * 2000, 6, zlib.Z_RLE)),
        "stored": (noise(3000, 12), raw_deflate(noise(3000, 12), 0)),
        "tiny-blocks": (t, raw_deflate(t, 9, mem_level=1)),
        "far-matches": (far, raw_deflate(far, 9)),
        "long-run": (b"z" * 200000, raw_deflate(b"z" * 200000, 9)),
    }


def deflate64_fixed(data):
    """Deflate64 in one fixed-code block, matched greedily: lengths up to
    65538 (code 285 with 16 extra bits) and distances up to 65536 (codes 30
    and 31), which zlib never writes."""
    bits = []

    def put(value, count):
        bits.extend((value >> i) & 1 for i in range(count))

    def put_code(code, length):  # Huffman codes go most significant bit first
        bits.extend((code >> (length - 1 - i)) & 1 for i in range(length))

    def symbol(s):
        if s < 144:
            put_code(0x30 + s, 8)
        elif s < 256:
            put_code(0x190 + s - 144, 9)
        elif s < 280:
            put_code(s - 256, 7)
        else:
            put_code(0xC0 + s - 280, 8)

    lengths = [(3, 0), (4, 0), (5, 0), (6, 0), (7, 0), (8, 0), (9, 0), (10, 0), (11, 1), (13, 1),
               (15, 1), (17, 1), (19, 2), (23, 2), (27, 2), (31, 2), (35, 3), (43, 3), (51, 3),
               (59, 3), (67, 4), (83, 4), (99, 4), (115, 4), (131, 5), (163, 5), (195, 5), (227, 5)]
    dists = []
    base = 1
    for code in range(32):
        extra = 0 if code < 4 else code // 2 - 1
        dists.append((base, extra))
        base += 1 << extra

    put(1, 1)
    put(1, 2)
    last = {}
    i = 0
    while i < len(data):
        key = data[i:i + 3]
        j = last.get(key)
        last[key] = i
        length = 0
        if j is not None and i - j <= 65536 and len(key) == 3:
            while i + length < len(data) and length < 65538 and data[j + length] == data[i + length]:
                length += 1
        if length < 3:
            symbol(data[i])
            i += 1
            continue
        if length > 258:
            symbol(285)
            put(length - 3, 16)
        else:
            code = max(c for c in range(28) if lengths[c][0] <= length)
            symbol(257 + code)
            put(length - lengths[code][0], lengths[code][1])
        distance = i - j
        code = max(c for c in range(32) if dists[c][0] <= distance)
        put_code(code, 5)
        put(distance - dists[code][0], dists[code][1])
        for k in range(i + 1, min(i + length, len(data) - 2)):
            last[data[k:k + 3]] = k
        i += length
    symbol(256)
    bits.extend([0] * (-len(bits) % 8))
    return bytes(sum(bits[n + k] << k for k in range(8)) for n in range(0, len(bits), 8))


def deflate64_streams():
    far = noise(2000, 30) + noise(40000, 31) + noise(2000, 30) + text(30000, 32) + noise(2000, 30)
    runs = b"q" * 70000 + text(3000, 33) + b"q" * 300
    return {
        "far-matches": (far, deflate64_fixed(far)),
        "long-runs": (runs, deflate64_fixed(runs)),
        "text": (text(20000, 34), deflate64_fixed(text(20000, 34))),
    }


def inflate64_seeds():
    seeds = inflate_seeds()  # valid Deflate64 too, but for code 285
    for name, (plain, stream) in deflate64_streams().items():
        seeds["deflate64-" + name] = decoder_header(len(plain)) + stream
    plain, stream = deflate64_streams()["far-matches"]
    seeds["deflate64-cut"] = decoder_header(len(plain), missing=3) + stream[:len(stream) // 2]
    return seeds


def aes_reader_seeds():
    """Members made by the target itself (mode bit 2): the key size, the
    method and the piece size vary; the salt is the first bytes."""
    import bz2
    t = text(5000, 40)
    plain = {0: t, 1: raw_deflate(t), 2: deflate64_fixed(t), 3: bz2.compress(t)}
    seeds = {}
    for strength in (1, 2, 3):
        for method in range(4):
            mode = 4 | strength | method << 4
            piece = (0, 1, 7, 100)[(strength + method) % 4]
            salt = bytes(range(strength * 4 + 4))
            seeds["made-aes%d-method%d" % (64 + 64 * strength, method)] = (
                bytes([mode, piece]) + le24(len(t)) + salt + plain[method])
    # Made-up data with the verifier set right: the code check fails.
    seeds["made-up-data"] = bytes([3 | 8, 5]) + le24(100) + noise(300, 41)
    seeds["too-short"] = bytes([1, 0]) + le24(0) + noise(10, 42)
    return seeds


def inflate_seeds():
    seeds = {}
    for name, (plain, stream) in deflate_streams().items():
        seeds[name] = decoder_header(len(plain)) + stream
    plain, stream = deflate_streams()["text-level6"]
    seeds["archive-ends-early"] = decoder_header(len(plain), missing=5) + stream[:len(stream) // 2]
    seeds["size-too-small"] = decoder_header(len(plain) // 3) + stream
    return seeds


def stub_inflate_seeds():
    seeds = {}
    chunks = (0, 1, 7, 255)
    for i, (name, (plain, stream)) in enumerate(deflate_streams().items()):
        seeds[name] = le24(len(plain)) + bytes([chunks[i % len(chunks)]]) + stream
    plain, stream = deflate_streams()["text-level9"]
    seeds["cut-short"] = le24(len(plain)) + b"\x00" + stream[:len(stream) - 9]
    seeds["limit-below-size"] = le24(len(plain) // 2) + b"\x00" + stream
    return seeds


def legacy_seeds(methods, target_bits):
    seeds = {}
    seen = set()
    for archive in sorted(os.listdir(LEGACY)):
        if not archive.lower().endswith(".zip"):
            continue
        for name, method, flags, data, size in local_members(os.path.join(LEGACY, archive)):
            if method not in methods or data in seen:
                continue
            seen.add(data)
            key = (archive + "-" + name).replace("/", "_")
            key = "".join(ch if ch.isascii() and (ch.isalnum() or ch in "._-") else "_" for ch in key)
            seeds[key] = decoder_header(size, 0, target_bits(method, flags, len(data))) + data
            # The same member with the archive ending a third of the way in.
            cut = data[:len(data) // 3]
            seeds[key + "-cut"] = decoder_header(size, 9, target_bits(method, flags, len(data))) + cut
    return seeds


def deflate_round_trip_seeds():
    t = text(5000, 20)
    seeds = {}
    for level in range(10):
        seeds["text-level%d" % level] = bytes([level, 0, 0, 0]) + t
    seeds.update({
        "text-repeated": b"\x06\x0f\x00\x00" + t,
        "noise-short-reads": b"\x01\x03\x05\x00" + noise(4000, 21),
        "zeros": b"\x09\x0f\x00\x00" + bytes(4096),
        "failed-member-first": b"\x04\x07\x11\x03" + t,
        "empty": b"\x06\x00\x00\x00",
        "mixed": b"\x08\x05\x00\x00" + t[:1000] + noise(1000, 22) + t[1000:2000],
    })
    return seeds


def main():
    targets = {
        "open_list": archive_seeds(),
        "extract": archive_seeds(),
        "inflate": inflate_seeds(),
        "inflate64": inflate64_seeds(),
        "aes_reader": aes_reader_seeds(),
        "stub_inflate": stub_inflate_seeds(),
        "explode": legacy_seeds({6}, lambda m, f, n: (f >> 1) & 3),
        "unshrink": legacy_seeds({1}, lambda m, f, n: 0),
        "unreduce": legacy_seeds({2, 3, 4, 5}, lambda m, f, n: m - 2),
        "deflate_round_trip": deflate_round_trip_seeds(),
    }
    total = 0
    for target, seeds in targets.items():
        folder = os.path.join(CORPUS, target)
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        for name, data in sorted(seeds.items()):
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)
            total += len(data)
        print("%-20s %3d seeds" % (target, len(seeds)))
    print("total %d bytes" % total)


if __name__ == "__main__":
    sys.exit(main())
