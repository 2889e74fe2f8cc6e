#!/usr/bin/env python3
"""Lists the resources of a PE file as "TYPE ID" lines (e.g. "DIALOG 101")."""
import struct
import sys

TYPES = {1: "CURSOR", 2: "BITMAP", 3: "ICON", 4: "MENU", 5: "DIALOG", 6: "STRING", 9: "ACCELERATOR",
         10: "RCDATA", 12: "CURSOR_GROUP", 14: "ICON_GROUP", 16: "VERSION", 24: "MANIFEST"}


def resources(data):
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError("not a PE file")
    sections = struct.unpack_from("<H", data, pe + 6)[0]
    opt_size = struct.unpack_from("<H", data, pe + 20)[0]
    opt = pe + 24
    magic = struct.unpack_from("<H", data, opt)[0]
    dirs = opt + (96 if magic == 0x10B else 112)
    rsrc_rva = struct.unpack_from("<I", data, dirs + 2 * 8)[0]
    if rsrc_rva == 0:
        return []
    table = opt + opt_size
    base = None
    for i in range(sections):
        va, size, raw = struct.unpack_from("<III", data, table + i * 40 + 12)
        if va <= rsrc_rva < va + max(size, 1):
            base = raw + (rsrc_rva - va)
    if base is None:
        raise ValueError("resource section not found")

    def entries(offset):
        named, ids = struct.unpack_from("<HH", data, base + offset + 12)
        for i in range(named + ids):
            name, target = struct.unpack_from("<II", data, base + offset + 16 + i * 8)
            if name & 0x80000000:
                length = struct.unpack_from("<H", data, base + (name & 0x7FFFFFFF))[0]
                start = base + (name & 0x7FFFFFFF) + 2
                key = data[start:start + 2 * length].decode("utf-16-le")
            else:
                key = name
            yield key, target & 0x7FFFFFFF, bool(target & 0x80000000)

    found = []
    for rtype, offset, is_dir in entries(0):
        if not is_dir:
            continue
        for rid, _, _ in entries(offset):
            found.append((TYPES.get(rtype, str(rtype)), rid))
    return found


def main():
    with open(sys.argv[1], "rb") as f:
        data = f.read()
    for rtype, rid in resources(data):
        print(f"{rtype} {rid}")


if __name__ == "__main__":
    main()
