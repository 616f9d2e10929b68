#!/usr/bin/env python3
"""Makes and examines zip fixtures for the archive tests with Python's own
zipfile, so a fault shared by our reader and writer cannot hide.

  make OUT ENTRIES.json      entries: [{"name", "data" (latin-1 text),
                          "file" (a path) or "size" (zero bytes),
                          "method": 0|8, "date"}]
  raw ARCHIVE             one line per entry: name, method, CRC, date,
                          sizes, flag bits and the SHA-1 of its stored bytes
  flip ARCHIVE NAME       inverts one byte in the middle of NAME's stored data
  read ARCHIVE NAME       SHA-1 of NAME's content, via zipfile
  contents ARCHIVE        one line per entry: name and the SHA-1 of its content
  mtime ARCHIVE NAME      NAME's DOS date as a local epoch time
  zip64 OUT SIZE          "small.txt", a SIZE-byte zero entry, "tail.txt"
  patch ARCHIVE NAME FIELD VALUE WHERE
                          sets NAME's crc, csize or usize (FIELD) to VALUE in
                          its local header, central record or both (WHERE)
  stream OUT ENTRIES.json like make, written through a pipe, so every entry
                          has a data descriptor (flag bit 3)
  zip64end ARCHIVE COUNT  ends ARCHIVE (no comment) with a ZIP64 end record
                          claiming COUNT entries, its locator and an end record
                          that defers to them
  zip64central ARCHIVE NAME USIZE CSIZE OFFSET
                          rewrites NAME's central record (ARCHIVE without a
                          comment) with both sizes and the local header offset
                          in a ZIP64 block holding these values
  records ARCHIVE         the fields TorrentZip fixes, read from the bytes: one
                          line per central record with its local header's, then
                          the archive comment and the directory's CRC-32
  stamp ARCHIVE           gives ARCHIVE (no comment) the comment TorrentZip
                          would, without changing anything else
  deflate FILE            SHA-1 of FILE deflated raw at level 9, window 15,
                          memory level 8, default strategy
"""
import hashlib, io, json, struct, sys, time, zipfile, zlib


def data_offset(f, info):
    f.seek(info.header_offset)
    header = f.read(30)
    name_len, extra_len = struct.unpack('<HH', header[26:30])
    return info.header_offset + 30 + name_len + extra_len


def central_offset(f, zf, name):
    at = zf.start_dir
    for info in zf.infolist():
        f.seek(at)
        fixed = f.read(46)
        if info.filename == name:
            return at
        at += 46 + sum(struct.unpack('<HHH', fixed[28:34]))
    raise SystemExit('no entry ' + name)


def directory_span(data):
    """Offset and size of the central directory, and where the end records start."""
    at = data.rfind(b'PK\x05\x06')
    size, offset = struct.unpack('<II', data[at + 12:at + 20])
    end = at
    if data[at - 20:at - 16] == b'PK\x06\x07':
        end = struct.unpack('<Q', data[at - 12:at - 4])[0]
        size, offset = struct.unpack('<QQ', data[end + 40:end + 56])
    return offset, size, at


def write_entries(zf, entries):
    for e in entries:
        info = zipfile.ZipInfo(e['name'], date_time=tuple(e.get('date', (2001, 2, 3, 4, 5, 6))))
        info.compress_type = e.get('method', 8)
        data = e['data'].encode('latin-1') if 'data' in e else bytes(e.get('size', 0))
        if 'file' in e:
            data = open(e['file'], 'rb').read()
        zf.writestr(info, data)


class Unseekable(io.RawIOBase):
    def __init__(self, out):
        self.out = out

    def writable(self):
        return True

    def write(self, b):
        return self.out.write(b)


def main(argv):
    cmd = argv[1]
    if cmd == 'make':
        with zipfile.ZipFile(argv[2], 'w') as zf:
            write_entries(zf, json.load(open(argv[3])))
    elif cmd == 'stream':
        with open(argv[2], 'wb') as out, zipfile.ZipFile(Unseekable(out), 'w') as zf:
            write_entries(zf, json.load(open(argv[3])))
    elif cmd == 'patch':
        field = {'crc': 0, 'csize': 4, 'usize': 8}[argv[4]]
        value = struct.pack('<I', int(argv[5]))
        with zipfile.ZipFile(argv[2]) as zf, open(argv[2], 'r+b') as f:
            info = zf.getinfo(argv[3])
            if argv[6] in ('local', 'both'):
                f.seek(info.header_offset + 14 + field)
                f.write(value)
            if argv[6] in ('central', 'both'):
                f.seek(central_offset(f, zf, argv[3]) + 16 + field)
                f.write(value)
    elif cmd == 'raw':
        with zipfile.ZipFile(argv[2]) as zf, open(argv[2], 'rb') as f:
            for info in zf.infolist():
                f.seek(data_offset(f, info))
                digest = hashlib.sha1(f.read(info.compress_size)).hexdigest()
                print('%s|%d|%08x|%s|%d|%d|%d|%s' % (info.filename, info.compress_type, info.CRC,
                      info.date_time, info.compress_size, info.file_size, info.flag_bits & 0x807, digest))
    elif cmd == 'flip':
        with zipfile.ZipFile(argv[2]) as zf:
            info = zf.getinfo(argv[3])
        with open(argv[2], 'r+b') as f:
            pos = data_offset(f, info) + info.compress_size // 2
            f.seek(pos)
            byte = f.read(1)
            f.seek(pos)
            f.write(bytes([byte[0] ^ 0xFF]))
    elif cmd == 'read':
        with zipfile.ZipFile(argv[2]) as zf:
            print(hashlib.sha1(zf.read(argv[3])).hexdigest())
    elif cmd == 'contents':
        with zipfile.ZipFile(argv[2]) as zf:
            for info in zf.infolist():
                print(info.filename, hashlib.sha1(zf.read(info)).hexdigest())
    elif cmd == 'mtime':
        with zipfile.ZipFile(argv[2]) as zf:
            print(int(time.mktime(zf.getinfo(argv[3]).date_time + (0, 0, -1))))
    elif cmd == 'zip64':
        size = int(argv[3])
        with zipfile.ZipFile(argv[2], 'w', compression=zipfile.ZIP_DEFLATED, compresslevel=1) as zf:
            zf.writestr('small.txt', 'small\n')
            info = zipfile.ZipInfo('big.bin', date_time=(2020, 1, 2, 3, 4, 6))
            info.compress_type = zipfile.ZIP_DEFLATED
            chunk = bytes(1 << 22)
            with zf.open(info, 'w', force_zip64=True) as out:
                left = size
                while left:
                    n = min(left, len(chunk))
                    out.write(chunk if n == len(chunk) else chunk[:n])
                    left -= n
            zf.writestr('tail.txt', 'tail\n')
    elif cmd == 'zip64end':
        data = open(argv[2], 'rb').read()
        at = len(data) - 22
        if data[at:at + 4] != b'PK\x05\x06':
            sys.exit('no plain end record')
        size, offset = struct.unpack('<II', data[at + 12:at + 20])
        count = int(argv[3])
        record = struct.pack('<IQHHIIQQQQ', 0x06064b50, 44, 45, 45, 0, 0, count, count, size, offset)
        locator = struct.pack('<IIQI', 0x07064b50, 0, at, 1)
        end = struct.pack('<IHHHHIIH', 0x06054b50, 0, 0, 0xFFFF, 0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0)
        open(argv[2], 'wb').write(data[:at] + record + locator + end)
    elif cmd == 'zip64central':
        data = open(argv[2], 'rb').read()
        at = len(data) - 22
        count, _, offset = struct.unpack('<HII', data[at + 10:at + 20])
        records, pos = [], offset
        for _ in range(count):
            name_len, extra_len, comment_len = struct.unpack('<HHH', data[pos + 28:pos + 34])
            record = data[pos:pos + 46 + name_len + extra_len + comment_len]
            pos += len(record)
            if record[46:46 + name_len].decode('latin-1') == argv[3]:
                block = struct.pack('<HHQQQ', 1, 24, int(argv[4]), int(argv[5]), int(argv[6]))
                fixed = bytearray(record[:46])
                fixed[20:28] = b'\xff' * 8
                fixed[30:32] = struct.pack('<H', len(block))
                fixed[42:46] = b'\xff' * 4
                record = bytes(fixed) + record[46:46 + name_len] + block + record[46 + name_len + extra_len:]
            records.append(record)
        directory = b''.join(records)
        end = bytearray(data[at:])
        end[12:16] = struct.pack('<I', len(directory))
        open(argv[2], 'wb').write(data[:offset] + directory + bytes(end))
    elif cmd == 'records':
        data = open(argv[2], 'rb').read()
        offset, size, at = directory_span(data)
        pos = offset
        while pos < offset + size:
            (made, need, flags, method, tm, dt, crc, csize, usize, nlen, xlen, clen, disk, iattr, xattr,
             local) = struct.unpack('<4xHHHHHHIIIHHHHHII', data[pos:pos + 46])
            name = data[pos + 46:pos + 46 + nlen]
            if local == 0xFFFFFFFF:
                local = struct.unpack('<Q', data[pos + 46 + nlen + xlen - 8:pos + 46 + nlen + xlen])[0]
            lneed, lflags, lmethod, ltm, ldt, lcrc, lcsize, lusize, lnlen, lxlen = struct.unpack(
                '<4xHHHHHIIIHH', data[local:local + 30])
            print('%s|made %d|need %d|flags %04x|method %d|time %04x|date %04x|extra %d|comment %d|attrs %d %d %d'
                  '|local %d %04x %d %04x %04x %d|same %d' % (
                      name.hex(), made, need, flags, method, tm, dt, xlen, clen, disk, iattr, xattr, lneed, lflags,
                      lmethod, ltm, ldt, lxlen,
                      (lcrc, lnlen, data[local + 30:local + 30 + lnlen]) == (crc, nlen, name) and
                      (lxlen > 0 or (lcsize, lusize) == (csize, usize))))
            pos += 46 + nlen + xlen + clen
        print('comment %s|crc %08X' % (data[at + 22:].decode('latin-1'), zlib.crc32(data[offset:offset + size])))
    elif cmd == 'stamp':
        data = open(argv[2], 'rb').read()
        offset, size, at = directory_span(data)
        comment = b'TORRENTZIPPED-%08X' % zlib.crc32(data[offset:offset + size])
        open(argv[2], 'wb').write(data[:at + 20] + struct.pack('<H', len(comment)) + comment)
    elif cmd == 'deflate':
        packer = zlib.compressobj(9, zlib.DEFLATED, -15, 8, 0)
        data = open(argv[2], 'rb').read()
        print(hashlib.sha1(packer.compress(data) + packer.flush()).hexdigest())
    else:
        sys.exit('unknown command ' + cmd)


if __name__ == '__main__':
    main(sys.argv)
