"""Writes gzip input in the forms quorin reads: one member, several members, BGZF.

Used by the end-to-end cases' make_input.py, the bad-input catalogue and the
gzip benchmark. Output is the same on every run (no time stamp, no name).
"""
import struct
import zlib


def member(data, level=6):
    """One gzip member: a 10-byte header, the deflate data, CRC-32 and length."""
    deflate = zlib.compressobj(level, zlib.DEFLATED, -15)
    body = deflate.compress(data) + deflate.flush()
    return (b"\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\xff" + body +
            struct.pack("<II", zlib.crc32(data), len(data) & 0xFFFFFFFF))


def members(data, cuts):
    """Several members, the text cut at the given byte positions (mid-line is fine)."""
    edges = [0] + sorted(cuts) + [len(data)]
    return b"".join(member(data[a:b]) for a, b in zip(edges, edges[1:]))


def bgzf_block(data, level=6):
    """One BGZF block: a member whose extra field "BC" holds the block size less one."""
    deflate = zlib.compressobj(level, zlib.DEFLATED, -15)
    body = deflate.compress(data) + deflate.flush()
    size = 18 + len(body) + 8
    assert size <= 65536, "a BGZF block holds at most 64 KiB"
    header = b"\x1f\x8b\x08\x04\x00\x00\x00\x00\x00\xff" + struct.pack("<HBBHH", 6, 66, 67, 2, size - 1)
    return header + body + struct.pack("<II", zlib.crc32(data), len(data))


def bgzf(data, block=65280, level=6):
    """A BGZF file: blocks of `block` bytes of text, then the empty end-of-file block."""
    return b"".join(bgzf_block(data[k:k + block], level) for k in range(0, len(data), block)) + bgzf_block(b"")
