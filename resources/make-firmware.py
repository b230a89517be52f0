#!/usr/bin/env python3
"""Writes resources/bios.bin, the stand-in for the firmware image the tool carries.

The layout of the 128-byte header is the real one; the body stands in for the
enciphered firmware, which the tool never interprets, so deterministic
pseudo-random bytes serve. Run it again to remake the same file byte for byte.
"""
import pathlib
import struct

BODY_SIZE = 12822


def header() -> bytes:
    h = bytearray(128)
    h[0:4] = b"ER90"                       # magic
    # 4..7 zero
    h[8:12] = bytes([0x4B, 0x4E, 0x10, 0x07])  # opaque
    h[12:15] = bytes([1, 2, 0])            # version major, minor, patch
    h[15] = 0x5A                           # opaque
    h[16:28] = b"May 16 2012\0"            # build date, NUL-terminated
    h[28:32] = struct.pack("<I", 0x00003216)  # opaque
    h[32:48] = b"KARNOL-SIM-VORNA"         # device name, exactly 16 characters
    # 48..63 zero
    for i in range(64, 128):               # opaque
        h[i] = (i * 37 + 11) & 0xFF
    return bytes(h)


def body() -> bytes:
    # xorshift32: cheap, deterministic, and never yields a whole page of 0xFF
    x = 0x2F6B1A3D
    out = bytearray()
    while len(out) < BODY_SIZE:
        x ^= (x << 13) & 0xFFFFFFFF
        x ^= x >> 17
        x ^= (x << 5) & 0xFFFFFFFF
        out.append(x & 0xFF)
    return bytes(out)


def main() -> None:
    data = header() + body()
    assert len(data) == 12950
    target = pathlib.Path(__file__).with_name("bios.bin")
    target.write_bytes(data)
    print(f"{target}: {len(data)} bytes")


if __name__ == "__main__":
    main()
