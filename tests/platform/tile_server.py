#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Map tiles for the tests, made independently of the viewer's code.

  tile_server.py serve            serves tiles on 127.0.0.1 and prints its port
  tile_server.py mbtiles PATH FMT writes an MBTiles file (rows numbered from the south) of zooms 0-1
  tile_server.py mbtiles PATH png LAT LON   ... and of zooms 13-17 around that place (for pictures)

Each tile is a 256 x 256 PNG of one colour that names its key, (40 z + 20, 8 x + 3, 8 y + 5), with
"z/x/y" written on it in large digits. Paths on the server:
  /{z}/{x}/{y}.png          the tile, fresh for a minute (Cache-Control: max-age=60)
  /upto/N/{z}/{x}/{y}.png   the tile for z <= N, else 404
  /404/...                  404 for every tile
  /hang/...                 never answers
  /requests                 the tile requests so far, one "path<TAB>User-Agent" line each
"""
import http.server
import sqlite3
import struct
import sys
import threading
import time
import zlib

FONT = {  # 3 x 5 digits
    "0": "111101101101111", "1": "010110010010111", "2": "111001111100111", "3": "111001111001111",
    "4": "101101111001001", "5": "111100111001111", "6": "111100111101111", "7": "111001001001001",
    "8": "111101111101111", "9": "111101111001111", "/": "001001010100100",
}


def colour(z, x, y):
    return (40 * z + 20) % 256, (8 * x + 3) % 256, (8 * y + 5) % 256


def png(z, x, y, size=256):
    back = colour(z, x, y)
    pixels = [[back] * size for _ in range(size)]
    text, scale = f"{z}/{x}/{y}", 8
    left = (size - len(text) * 4 * scale) // 2
    top = (size - 5 * scale) // 2
    for i, ch in enumerate(text):
        for row in range(5):
            for col in range(3):
                if FONT[ch][row * 3 + col] == "1":
                    for dy in range(scale):
                        for dx in range(scale):
                            px, py = left + (i * 4 + col) * scale + dx, top + row * scale + dy
                            if 0 <= px < size and 0 <= py < size:
                                pixels[py][px] = (255, 255, 255)
    raw = b"".join(b"\x00" + bytes(c for p in line for c in p) for line in pixels)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


class Handler(http.server.BaseHTTPRequestHandler):
    requests = []
    lock = threading.Lock()

    def log_message(self, *args):
        pass

    def do_GET(self):
        if self.path == "/requests":
            with self.lock:
                body = "".join(f"{p}\t{ua}\n" for p, ua in self.requests).encode()
            return self.answer(200, body, "text/plain")
        with self.lock:
            self.requests.append((self.path, self.headers.get("User-Agent", "")))
        parts = self.path.strip("/").split("/")
        if parts[0] == "hang":
            time.sleep(3600)
            return
        if parts[0] == "404":
            return self.answer(404, b"no tile", "text/plain")
        limit = 99
        if parts[0] == "upto":
            limit, parts = int(parts[1]), parts[2:]
        try:
            z, x, y = int(parts[0]), int(parts[1]), int(parts[2].split(".")[0])
        except (IndexError, ValueError):
            return self.answer(400, b"bad path", "text/plain")
        if z > limit:
            return self.answer(404, b"no tile", "text/plain")
        self.answer(200, png(z, x, y), "image/png", {"Cache-Control": "max-age=60"})

    def answer(self, status, body, kind, extra=None):
        self.send_response(status)
        self.send_header("Content-Type", kind)
        self.send_header("Content-Length", str(len(body)))
        for k, v in (extra or {}).items():
            self.send_header(k, v)
        self.end_headers()
        self.wfile.write(body)


def serve():
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    print(server.server_address[1], flush=True)
    server.serve_forever()


def tile_of(lat, lon, z):
    import math
    n = 2 ** z
    return int((lon + 180) / 360 * n), int((1 - math.asinh(math.tan(math.radians(lat))) / math.pi) / 2 * n)


def mbtiles(path, fmt, around=None):
    db = sqlite3.connect(path)
    db.execute("CREATE TABLE metadata (name TEXT, value TEXT)")
    db.execute("CREATE TABLE tiles (zoom_level INTEGER, tile_column INTEGER, tile_row INTEGER, tile_data BLOB)")
    if fmt != "none":
        db.execute("INSERT INTO metadata VALUES ('format', ?)", (fmt,))
    db.execute("INSERT INTO metadata VALUES ('name', 'test map')")
    for z in (0, 1):
        for x in range(2 ** z):
            for y in range(2 ** z):
                data = png(z, x, y) if fmt in ("png", "none") else b"\x1a\x00vector"
                db.execute("INSERT INTO tiles VALUES (?, ?, ?, ?)", (z, x, 2 ** z - 1 - y, data))
    if around:
        for z in range(13, 18):
            cx, cy = tile_of(around[0], around[1], z)
            for x in range(cx - 3, cx + 4):
                for y in range(cy - 3, cy + 4):
                    db.execute("INSERT INTO tiles VALUES (?, ?, ?, ?)", (z, x, 2 ** z - 1 - y, png(z, x, y)))
    db.commit()
    db.close()


if __name__ == "__main__":
    if sys.argv[1] == "serve":
        serve()
    else:
        mbtiles(sys.argv[2], sys.argv[3], (float(sys.argv[4]), float(sys.argv[5])) if len(sys.argv) > 5 else None)
