#!/usr/bin/env python3
"""Serves the web page's folder on 127.0.0.1: `make web-serve`, and the browser tests.

usage: serve-web.py FOLDER [PORT]   (port 8000 by default)

127.0.0.1 is a secure context, which an AudioWorklet needs; velmora.wasm goes out
as application/wasm, so that the page compiles it while it downloads. Every file
is sent with no-cache, so that a rebuilt page is what the browser loads.
"""
import functools
import http.server
import sys
import threading


class Handler(http.server.SimpleHTTPRequestHandler):
    extensions_map = {
        ".html": "text/html; charset=utf-8",
        ".js": "text/javascript; charset=utf-8",
        ".wasm": "application/wasm",
        ".svg": "image/svg+xml",
        ".png": "image/png",
        ".json": "application/json",
        ".ttf": "font/ttf",
        ".txt": "text/plain; charset=utf-8",
        "": "application/octet-stream",
    }

    def end_headers(self):
        self.send_header("Cache-Control", "no-cache")
        super().end_headers()

    def copyfile(self, source, outputfile):
        before = source.tell()
        super().copyfile(source, outputfile)
        self.server.record(self.path, self.status, source.tell() - before)

    def send_response(self, code, message=None):
        self.status = code
        super().send_response(code, message)
        if code >= 400:
            self.server.record(self.path, code, 0)

    def log_message(self, format, *args):
        if self.server.verbose:
            super().log_message(format, *args)


class Server(http.server.ThreadingHTTPServer):
    """Keeps every response's path, status and body bytes, for the tests."""

    def __init__(self, folder, port=0, verbose=False):
        super().__init__(("127.0.0.1", port), functools.partial(Handler, directory=folder))
        self.verbose = verbose
        self.responses = []
        self.lock = threading.Lock()

    def record(self, path, status, size):
        with self.lock:
            self.responses.append((path, status, size))

    def url(self):
        return f"http://127.0.0.1:{self.server_address[1]}/"


def main():
    if len(sys.argv) not in (2, 3):
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 2
    server = Server(sys.argv[1], int(sys.argv[2]) if len(sys.argv) == 3 else 8000, verbose=True)
    print(f"Serving {sys.argv[1]} on {server.url()} (Ctrl-C stops)", flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
