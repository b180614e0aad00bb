#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Map tiles for the tests, made independently of the viewer's code.

  tile_server.py serve            serves tiles on 127.0.0.1 and prints its port
  tile_server.py mbtiles PATH FMT writes an MBTiles file (rows numbered from the south) of zooms 0-1

Each tile is a 256 x 256 PNG of one colour that names its key, (40 z + 20, 8 x + 3, 8 y + 5). Paths on
the server:
  /{z}/{x}/{y}.png          the tile, fresh for a minute (Cache-Control: max-age=60)
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

def colour(z, x, y):
    return (40 * z + 20) % 256, (8 * x + 3) % 256, (8 * y + 5) % 256


def png(z, x, y, size=256):
    raw = (b"\x00" + bytes(colour(z, x, y)) * size) * size

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
        try:
            z, x, y = int(parts[0]), int(parts[1]), int(parts[2].split(".")[0])
        except (IndexError, ValueError):
            return self.answer(400, b"bad path", "text/plain")
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


def mbtiles(path, fmt):
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
    db.commit()
    db.close()


if __name__ == "__main__":
    if sys.argv[1] == "serve":
        serve()
    else:
        mbtiles(sys.argv[2], sys.argv[3])
