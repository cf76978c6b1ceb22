"""The tests' one PNG reader: zlib and the five row filters, nothing else.

Scripts elsewhere in tests/ put this folder on sys.path and import it.
"""
import collections
import struct
import zlib

PNG_SIGNATURE = b'\x89PNG\r\n\x1a\n'


def png_size(path):
    """(width, height) from a PNG's header, or None when the file does not start as a PNG."""
    with open(path, 'rb') as f:
        data = f.read(24)
    if len(data) < 24 or data[:8] != PNG_SIGNATURE or data[12:16] != b'IHDR':
        return None
    return struct.unpack('>II', data[16:24])


def read_png(path):
    """(width, height, rows of RGB bytes) of an 8-bit RGB or RGBA, non-interlaced PNG."""
    with open(path, 'rb') as f:
        data = f.read()
    if data[:8] != PNG_SIGNATURE:
        raise ValueError(path + ' is not a PNG')
    pos, idat = 8, []
    while pos < len(data):
        n, kind = struct.unpack('>I4s', data[pos:pos + 8])
        chunk = data[pos + 8:pos + 8 + n]
        pos += 12 + n
        if kind == b'IHDR':
            w, h, depth, colour, _, _, interlace = struct.unpack('>IIBBBBB', chunk)
            if depth != 8 or colour not in (2, 6) or interlace:
                raise ValueError('%s: depth %d colour type %d interlace %d not handled' % (path, depth, colour, interlace))
        elif kind == b'IDAT':
            idat.append(chunk)
    raw = zlib.decompress(b''.join(idat))
    bpp = 3 if colour == 2 else 4
    stride = w * bpp
    lo = int.from_bytes(b'\x7f' * stride, 'little')
    hi = int.from_bytes(b'\x80' * stride, 'little')
    prev = bytes(stride)
    rows = []
    filters = collections.Counter()
    for y in range(h):
        f = raw[y * (stride + 1)]
        line = raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)]
        filters[f] += 1
        if f == 2:  # up: bytewise sum without carries between bytes
            x, p = int.from_bytes(line, 'little'), int.from_bytes(prev, 'little')
            line = (((x & lo) + (p & lo)) ^ ((x ^ p) & hi)).to_bytes(stride, 'little')
        elif f:
            cur = bytearray(line)
            for i in range(stride):
                a = cur[i - bpp] if i >= bpp else 0
                b = prev[i]
                if f == 1:
                    cur[i] = (cur[i] + a) & 255
                elif f == 3:
                    cur[i] = (cur[i] + ((a + b) >> 1)) & 255
                else:
                    c = prev[i - bpp] if i >= bpp else 0
                    pa, pb, pc = abs(b - c), abs(a - c), abs(a + b - 2 * c)
                    cur[i] = (cur[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
            line = bytes(cur)
        prev = line
        rows.append(line if bpp == 3 else b''.join(line[i:i + 3] for i in range(0, stride, 4)))
    return w, h, rows, filters
