#!/usr/bin/env python3
# Writes the seed inputs of the fuzz targets that need a valid shape to
# reach their records: alert files of 2,044 + 144 x k bytes, tick files of
# every record form, and relay replies (a mode byte, then blocks of a
# little-endian u16 length and their bytes). Run from this folder.
import os
import struct

base = os.path.dirname(os.path.abspath(__file__))


def w(folder, name, data):
    os.makedirs(os.path.join(base, folder), exist_ok=True)
    with open(os.path.join(base, folder, name), 'wb') as f:
        f.write(data)


def alert(sym, flags, enabled, armed, fired, high, low):
    r = sym.encode().ljust(32, b'\0')
    r += struct.pack('<IIII', flags, enabled, armed, fired)
    r += struct.pack('<fIfI', high, 0, low, 0)
    r += b'\0' * 80
    assert len(r) == 144
    return r


hdr = b'\0' * 2044
w('alertsfile', 'empty.dat', hdr)
w('alertsfile', 'one.dat', hdr + alert('IBM', 1, 3, 3, 0, 100.5, 90.25))
w('alertsfile', 'three.dat', hdr + alert('IBM', 1, 3, 1, 2, 100.5, 90.25) + alert('MSFT', 0, 1, 1, 0, 30, 0) +
  alert('ES~FU', 3, 2, 2, 0, 0, 4500.25))


def full(kind, size, t, p):
    return struct.pack('<IIf', (kind & 6) | size << 3, t, p)


def compact(kind, size, sec, steps):
    return struct.pack('<I', 1 | (kind & 6) | (size & 0x1fff) << 3 | (sec & 0xff) << 16 | (steps & 0xff) << 24)


def paired(s1, st1, z1, s2, st2, z2):
    return struct.pack('<I', 7 | (s1 & 7) << 3 | (st1 & 7) << 6 | (z1 & 0xff) << 9 | (s2 & 0xf) << 17 |
                       (st2 & 7) << 21 | (z2 & 0xff) << 24)


day = 1704153600
t = full(0, 10, day + 36000, 4500.25) + full(2, 5, day + 36001, 4500.0) + full(4, 7, day + 36001, 4500.5)
t += compact(0, 40, 2, 1) + compact(2, 3, 0, -1) + compact(4, 9, 1, 2) + paired(1, 1, 1, 1, -1, 2)
t += paired(2, -2, 5, 0, 0, 0) + full(0, 20, day + 86400 + 34200, 4510.0) + compact(0, 1, 255, -128)
w('tickfile', 'session.tsdata', t)


def rec(code, last=False, err=0, sym=0, time=0):
    r = bytearray(36)
    r[0] = code | (0x80 if last else 0)
    r[1] = err
    struct.pack_into('<H', r, 2, sym)
    struct.pack_into('<i', r, 4, time)
    return bytes(r)


def blocks(n, per, error_at=-1):
    recs = [rec(2, i == n - 1, 14 if i == error_at else 0, 0, 1000 + i) for i in range(n)]
    return [b''.join(recs[i:i + per]) for i in range(0, n, per)]


def inp(mode, bl):
    return bytes([mode]) + b''.join(struct.pack('<H', len(b)) + b for b in bl)


w('relayreply', 'history.bin', inp(0, blocks(61, 28)))
w('relayreply', 'error_in_block2.bin', inp(0, blocks(61, 28, 30)))
w('relayreply', 'stopped_early.bin', inp(2, blocks(61, 28)))
w('relayreply', 'no_last_record.bin', inp(0, [b''.join(rec(2, False, 0, 0, i) for i in range(3))]))
w('relayreply', 'stream.bin', inp(1, [rec(10, True, 0, 7)]))
w('relayreply', 'stream_error.bin', inp(1, [rec(10, True, 7, 7)]))


# Page layouts, chart favourites and import lists: a 1572-byte window
# descriptor (kind at 8, settings at 272, study count at 1544), 224-byte
# studies and 12-byte items.
def descriptor(kind, symbol, unit, studies, items):
    r = bytearray(1572)
    struct.pack_into('<i', r, 8, kind)
    r[436:436 + len(symbol)] = symbol.encode()
    struct.pack_into('<i', r, 468, unit)
    struct.pack_into('<i', r, 544, kind)
    struct.pack_into('<i', r, 824, items)
    struct.pack_into('<i', r, 1544, studies)
    study = bytearray(224)
    struct.pack_into('<i', study, 0, 0x80001)
    return bytes(r) + bytes(study) * studies + b'\x01' * (12 * items)


w('pagesfile', 'two.kvc', struct.pack('<hh', 7, 2) + b'\0' * 20 +
  descriptor(1, 'IBM', 390, 2, 0) + descriptor(5, '', 0, 0, 3))
w('favoritefile', 'one.fav', struct.pack('<hh', 7, 1) + b'\0' * 20 + descriptor(1, 'IBM', 390, 1, 0))
imp = bytearray(412)
struct.pack_into('<H', imp, 4, 4)
imp[20:42] = b'Download from Internet'
w('importlist', 'web.imp', struct.pack('<hhiiii', 1, 1, 0, 1, 1, 0) + b'\0' * 16 + bytes(imp))
