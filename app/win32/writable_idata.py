"""Marks a Windows program's import section writable.

The delayed DLLs' helper writes each address it resolves into the import
section. binutils 2.44 links that section read-only, so the program's first
call into a delayed DLL (the window's OLE) ends in an access violation; the
section was writable before, and is again after this.
"""
import struct
import sys

WRITABLE = 0x80000000  # IMAGE_SCN_MEM_WRITE

path = sys.argv[1]
with open(path, "rb") as program:
    data = bytearray(program.read())
pe = struct.unpack_from("<I", data, 0x3C)[0]
if data[pe:pe + 4] != b"PE\0\0":
    sys.exit(f"{path}: not a Windows program")
count = struct.unpack_from("<H", data, pe + 6)[0]
table = pe + 24 + struct.unpack_from("<H", data, pe + 20)[0]
for header in range(table, table + 40 * count, 40):
    if data[header:header + 8].rstrip(b"\0") == b".idata":
        flags = struct.unpack_from("<I", data, header + 36)[0]
        if not flags & WRITABLE:
            struct.pack_into("<I", data, header + 36, flags | WRITABLE)
            with open(path, "wb") as program:
                program.write(data)
        sys.exit(0)
sys.exit(f"{path}: no import section")
