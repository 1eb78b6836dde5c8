#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Checks Velmora2000.scr as Windows sees it: a GUI program whose version information names the
product, whose icon has a 32 x 32 and a 16 x 16 image of 16 colours, and which needs no DLL of
the compiler's runtime."""

import struct
import sys

import pefile

EXPECTED = {
    "ProductName": "SCRNSAVE:Sample Screen Saver",
    "InternalName": "Velmora2000",
    "FileVersion": "1.00",
    "ProductVersion": "1.00",
    "CompanyName": "None",
}
RUNTIME_DLLS = {"libstdc++-6.dll", "libgcc_s_seh-1.dll", "libwinpthread-1.dll"}


def strings(pe):
    found = {}
    for info in getattr(pe, "FileInfo", []):
        for entry in info:
            for table in getattr(entry, "StringTable", []):
                for key, value in table.entries.items():
                    found[key.decode()] = value.decode()
    return found


def icon_images(pe):
    """(width, height, colours, bits) of each image of the first icon group."""
    for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if kind.id != pefile.RESOURCE_TYPE["RT_GROUP_ICON"]:
            continue
        data_entry = kind.directory.entries[0].directory.entries[0].data.struct
        data = pe.get_data(data_entry.OffsetToData, data_entry.Size)
        _, _, count = struct.unpack_from("<HHH", data)
        images = []
        for i in range(count):
            w, h, colours, _, _, bits, _, _ = struct.unpack_from("<BBBBHHIH", data, 6 + 14 * i)
            images.append((w or 256, h or 256, colours, bits))
        return images
    return []


def main(path):
    pe = pefile.PE(path)
    problems = []
    if pe.OPTIONAL_HEADER.Subsystem != pefile.SUBSYSTEM_TYPE["IMAGE_SUBSYSTEM_WINDOWS_GUI"]:
        problems.append("not a GUI program")
    found = strings(pe)
    for key, value in EXPECTED.items():
        if found.get(key) != value:
            problems.append(f"{key} is {found.get(key)!r}, not {value!r}")
    fixed = pe.VS_FIXEDFILEINFO[0]
    if (fixed.FileVersionMS, fixed.ProductVersionMS) != (0x10000, 0x10000):
        problems.append("the fixed file or product version is not 1.0")
    images = sorted(icon_images(pe))
    if images != [(16, 16, 16, 4), (32, 32, 16, 4)]:
        problems.append(f"icon images are {images}")
    imported = {entry.dll.decode().lower() for entry in pe.DIRECTORY_ENTRY_IMPORT}
    if imported & RUNTIME_DLLS:
        problems.append(f"needs the compiler's runtime: {sorted(imported & RUNTIME_DLLS)}")
    for problem in problems:
        print(f"{path}: {problem}")
    print(f"version: {found.get('ProductName')!r} {found.get('FileVersion')}, icon {images}, "
          f"imports {sorted(imported)}")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
