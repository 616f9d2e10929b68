#!/usr/bin/env python3
"""Makes the damaged Sys folder the fix crash test starts from (folder given
as the only argument): misplaced ROMs, wrong, shared and swapped names, junk
entries, a folder entry, a case-only name, a truncated archive, a damaged
archive of a game whose ROM lies elsewhere, and loose files, one named like
an entry. ROM r of game g is rom(g, r), as crash_test.cpp makes it."""
import os
import sys
import zipfile

d = sys.argv[1]
os.makedirs(d, exist_ok=True)


def rom(g, r):
    return ('rom %d/%d ' % (g, r)).encode() * (40 + 13 * g + r)


def z(name, entries):
    with zipfile.ZipFile(os.path.join(d, name), 'w', zipfile.ZIP_DEFLATED) as f:
        for n, data in entries:
            f.writestr(n, data)


def write(name, data):
    with open(os.path.join(d, name), 'wb') as f:
        f.write(data)


z('G0.zip', [('sub/', b''), ('G0r0.bin', rom(0, 0)), ('wrong.bin', rom(0, 1)), ('junk.txt', b'junk')])
z('G2.zip', [('G2r1.bin', b'a bad dump'), ('G2r1.bin', rom(2, 1))])
z('G3.zip', [('G3r0.bin', rom(3, 1)), ('G3r1.bin', rom(3, 0))])
z('G1.zip', [('G1r0.bin', rom(1, 0)), ('G2r0.bin', rom(2, 0)), ('G3r1.bin', rom(3, 1))])
z('g4.zip', [('G4r0.bin', rom(4, 0)), ('G4r1.bin', rom(4, 1))])
z('Mixed.zip', [('x.bin', rom(5, 0)), ('y.bin', rom(5, 1)), ('G6r0.bin', rom(6, 0)), ('n.bin', b'noise' * 99)])
z('G6.zip', [('G6r1.bin', rom(6, 1))])
write('G7r0.bin', rom(7, 0))
write('G6r1.bin', b'my own G6r1.bin')
z('G7.zip', [('G7r1.bin', rom(7, 1))])
damaged = bytearray(open(os.path.join(d, 'G7.zip'), 'rb').read())
damaged[40] ^= 0x55
write('G7.zip', bytes(damaged))
write('cut.zip', open(os.path.join(d, 'G1.zip'), 'rb').read()[:150])
write('notes.txt', b'keep me')
