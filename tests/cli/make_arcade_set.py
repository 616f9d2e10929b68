#!/usr/bin/env python3
"""An arcade system as a MAME list describes it, and its sets (and the
parent's disk image) in each merge mode.

    make_arcade_set.py dat PATH            the list (system "Arc")
    make_arcade_set.py sets MODE FOLDER    one zip per set, as MODE stores them
"""
import os, struct, sys, zipfile, zlib

DISK_SHA1 = "0123456789abcdef0123456789abcdef01234567"
# Where the disk the clone shares with its parent is kept.
DISKS = {"split": ["pa"], "merged": ["pa"], "non-merged": ["pa", "cl"], "full-non-merged": ["pa", "cl"]}

def chd_v5(sha1):
    """A CHD version 5 header (big-endian) and a little data: the combined
    SHA-1 at offset 84, another (the raw one) at 64."""
    header = (b"MComprHD" + struct.pack(">II", 124, 5) + b"\0" * 16 + struct.pack(">QQQII", 4096, 124, 0, 4096, 512) +
              b"\x11" * 20 + bytes.fromhex(sha1) + b"\0" * 20)
    return header + b"\x5a" * 64

# game -> [(rom, content)] as each set lists it; a BIOS, a device, a parent
# booting the BIOS with the device, its clone and a game on its own.
OWN = {"bios": [("b.rom", "bios-b")], "dev": [("d.rom", "dev-d")],
       "pa": [("p1.rom", "pa-p1"), ("p2.rom", "pa-p2")],
       "cl": [("c2.rom", "cl-c2"), ("p2.rom", "cl-p2")], "solo": [("s1.rom", "solo-s1")]}
SETS = {
    "split": {"pa": OWN["pa"], "cl": OWN["cl"]},
    "merged": {"pa": OWN["pa"] + [("c2.rom", "cl-c2"), ("cl/p2.rom", "cl-p2")]},
    "non-merged": {"pa": OWN["pa"], "cl": [("p1.rom", "pa-p1")] + OWN["cl"]},
    "full-non-merged": {"pa": OWN["pa"] + OWN["bios"] + OWN["dev"],
                        "cl": [("p1.rom", "pa-p1")] + OWN["cl"] + OWN["bios"] + OWN["dev"]},
}

def rom(name, content, merge=None):
    data = content.encode()
    extra = ' merge="%s"' % merge if merge else ""
    return '    <rom name="%s"%s size="%d" crc="%08x"/>\n' % (name, extra, len(data), zlib.crc32(data))

if sys.argv[1] == "dat":
    b = rom("b.rom", "bios-b", "b.rom")
    text = ('<?xml version="1.0"?>\n<datafile>\n  <header><name>Arc</name><version>1</version></header>\n'
            '  <machine name="bios" isbios="yes">\n' + rom("b.rom", "bios-b") + '  </machine>\n'
            '  <machine name="dev" isdevice="yes">\n' + rom("d.rom", "dev-d") + '  </machine>\n'
            '  <machine name="pa" romof="bios">\n' + rom("p1.rom", "pa-p1") + rom("p2.rom", "pa-p2") + b +
            '    <disk name="pd" sha1="%s"/>\n' % DISK_SHA1 +
            '    <device_ref name="dev"/>\n  </machine>\n'
            '  <machine name="cl" cloneof="pa" romof="pa">\n' + rom("p1.rom", "pa-p1", "p1.rom") +
            rom("c2.rom", "cl-c2") + rom("p2.rom", "cl-p2") + b +
            '    <disk name="pd" merge="pd" sha1="%s"/>\n' % DISK_SHA1 + '    <device_ref name="dev"/>\n  </machine>\n'
            '  <machine name="solo">\n' + rom("s1.rom", "solo-s1") + '  </machine>\n</datafile>\n')
    open(sys.argv[2], "w").write(text)
else:
    mode, folder = sys.argv[2], sys.argv[3]
    os.makedirs(folder, exist_ok=True)
    sets = dict(SETS[mode], bios=OWN["bios"], dev=OWN["dev"], solo=OWN["solo"])
    for game, roms in sets.items():
        with zipfile.ZipFile(os.path.join(folder, game + ".zip"), "w", zipfile.ZIP_DEFLATED) as z:
            for name, content in roms:
                z.writestr(name, content)
    for game in DISKS[mode]:
        os.makedirs(os.path.join(folder, game), exist_ok=True)
        open(os.path.join(folder, game, "pd.chd"), "wb").write(chd_v5(DISK_SHA1))
