#!/usr/bin/env python3
"""Writes seed archives for zip_directory_fuzz into OUTDIR: plain stored and
deflated entries, a comment, a data descriptor, an empty archive, a ZIP64 end
record and ZIP64 blocks in the central directory (the shapes the readers
tell apart). Uses the fixture tool of the archive tests."""
import json, os, subprocess, sys, zipfile

out = sys.argv[1]
os.makedirs(out, exist_ok=True)
tool = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'tests', 'archive', 'ziptool.py')


def path(name):
    return os.path.join(out, name)


def make(name, comment=b''):
    with zipfile.ZipFile(path(name), 'w') as zf:
        zf.writestr(zipfile.ZipInfo('stored.bin'), b'rom347')
        zf.writestr('dir/deflated.txt', b'line of a deflated entry\n' * 40, compress_type=zipfile.ZIP_DEFLATED)
        zf.writestr('empty.bin', b'')
        zf.comment = comment


make('plain.zip')
make('comment.zip', b'a comment')
with zipfile.ZipFile(path('empty.zip'), 'w'):
    pass
listing = path('stream.json')
with open(listing, 'w') as f:
    json.dump([{'name': 'a.bin', 'data': 'streamed'}, {'name': 'b.txt', 'data': 'x' * 300, 'method': 8}], f)
subprocess.run([sys.executable, tool, 'stream', path('stream.zip'), listing], check=True)
os.remove(listing)
make('zip64end.zip')
subprocess.run([sys.executable, tool, 'zip64end', path('zip64end.zip'), '3'], check=True)
make('zip64central.zip')
subprocess.run([sys.executable, tool, 'zip64central', path('zip64central.zip'), 'stored.bin', '6', '6', '0'],
               check=True)
