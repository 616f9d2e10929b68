#!/usr/bin/env python3
"""Makes and reads the engine tests' archives with Python's own zipfile.

  make LAYOUT    LAYOUT holds "Z<TAB>path" lines, each followed by the
                 "E<TAB>name<TAB>content" lines of its entries in order (every
                 field in hex); each archive is written deflated
  contents PATH  "name=content" per entry in archive order, space-separated;
                 "BAD" when zipfile cannot read or test it, "" when it does
                 not exist
"""
import os, sys, zipfile

if sys.argv[1] == 'make':
    z = None
    for line in open(sys.argv[2]):
        parts = line.rstrip('\n').split('\t')
        if parts[0] == 'Z':
            if z:
                z.close()
            path = bytes.fromhex(parts[1]).decode()
            os.makedirs(os.path.dirname(path), exist_ok=True)
            z = zipfile.ZipFile(path, 'w', zipfile.ZIP_DEFLATED)
        else:
            z.writestr(bytes.fromhex(parts[1]).decode(), bytes.fromhex(parts[2] if len(parts) > 2 else ''))
    if z:
        z.close()
elif os.path.exists(sys.argv[2]):
    try:
        z = zipfile.ZipFile(sys.argv[2])
        assert z.testzip() is None
        print(' '.join(i.filename + '=' + z.read(i).decode('latin-1') for i in z.infolist()), end='')
    except Exception:
        print('BAD', end='')
