#!/usr/bin/env python3
"""An HTTP server on 127.0.0.1 that misbehaves on demand, for the integration tests.

Usage: fault_server.py PORT   (prints "ready" once listening; ends on SIGTERM)

Bodies are deterministic: byte i of a resource is (i * 7 + 3) % 256, so a test can check the
content and the offset of what it received. Every response carries the Last-Modified date
below unless the query says lm=0. Sizes default to 1000 bytes.

  /short?size=N&got=M         Content-Length N (or the text length=L), sends M bytes, closes
  /trickle?size=N&every=S     the whole response, headers included, one byte every S seconds
                              (with head=0 the headers come at once)
  /nolength?size=N            no Content-Length; the end of the body is the close
  /chunked?size=N             Transfer-Encoding: chunked
  /drip?size=N&rate=R         R bytes per second, with Content-Length
  /norange?size=N             ignores Range: always 200 and the whole body
  /range?size=N               honours Range (206, Content-Range) and If-Range
  /badrange?size=N&offset=K   answers a Range with 206 starting at another offset
  /416?size=N                 416 with an HTML body for any Range, else 200
  /loop                       302 to itself
  /redirect?to=PATH&code=C    redirect (302 by default) to PATH
  /disposition?name=NAME      Content-Disposition: attachment; filename="NAME" (raw)
  /html?size=N&text=T         a text/html page containing T, padded to N bytes (never
                              shorter than the bare page: 58 bytes plus T)
  /type?ct=TYPE&size=N        Content-Type TYPE (none when ct is empty)
  /echo                       the request line and headers as text/plain
  /noauth?size=N              403 when the request carries credentials, else 200 and a body
  /silent                     accepts and never answers
Anything else is 404.
"""

import http.server
import os
import signal
import socketserver
import sys
import threading
import time
from urllib.parse import parse_qs, urlsplit

LAST_MODIFIED = "Sun, 06 Nov 1994 08:49:37 GMT"
ETAG = '"kov-fault-1"'
PATTERN = bytes((i * 7 + 3) % 256 for i in range(256))
PIECE = 65536
STOP = threading.Event()


def body(start, end):
    """Yields the bytes start..end-1 of the deterministic body in pieces."""
    pos = start
    while pos < end:
        n = min(PIECE, end - pos)
        off = pos % 256
        reps = (off + n) // 256 + 1
        yield (PATTERN * reps)[off:off + n]
        pos += n


def parse_range(header, size):
    """(start, end_exclusive) of a single "bytes=" range, "bad" when unsatisfiable, None when
    there is no usable range."""
    if not header or not header.strip().lower().startswith("bytes="):
        return None
    wanted = header.strip()[6:].split(",")[0].strip()
    first, _, last = wanted.partition("-")
    try:
        if first == "":
            n = int(last)
            if n <= 0:
                return "bad"
            return (max(0, size - n), size)
        start = int(first)
        end = int(last) + 1 if last else size
    except ValueError:
        return None
    if start >= size or end <= start:
        return "bad"
    return (start, min(end, size))


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "KovFault/1.0"

    def log_message(self, *args):
        pass

    def do_HEAD(self):
        self.handle_request(head=True)

    def do_GET(self):
        self.handle_request(head=False)

    # --- helpers ---------------------------------------------------------------------------

    def arg(self, name, default=None):
        values = self.query.get(name)
        return values[0] if values else default

    def int_arg(self, name, default):
        try:
            return int(self.arg(name, default))
        except (TypeError, ValueError):
            return default

    def start(self, code, headers, length=None, close=False):
        self.send_response(code)
        if self.arg("lm", "1") != "0" and "Last-Modified" not in headers:
            headers["Last-Modified"] = LAST_MODIFIED
        for name, value in headers.items():
            if value is not None:
                self.send_header(name, value)
        if length is not None:
            self.send_header("Content-Length", str(length))
        if close:
            self.send_header("Connection", "close")
            self.close_connection = True
        self.end_headers()

    def send_body(self, start, end, delay_per_piece=0.0, piece=None):
        if self.head:
            return
        if piece is None:
            for chunk in body(start, end):
                self.wfile.write(chunk)
            return
        pos = start
        while pos < end and not STOP.is_set():
            n = min(piece, end - pos)
            for chunk in body(pos, pos + n):
                self.wfile.write(chunk)
            self.wfile.flush()
            pos += n
            if pos < end:
                time.sleep(delay_per_piece)

    def send_text(self, code, content_type, text, extra=None, close=False):
        data = text.encode("utf-8", "surrogateescape")
        headers = {"Content-Type": content_type}
        headers.update(extra or {})
        self.start(code, headers, len(data), close)
        if not self.head:
            self.wfile.write(data)

    def octets(self):
        return {"Content-Type": "application/octet-stream"}

    # --- paths -------------------------------------------------------------------------------

    def handle_request(self, head):
        self.head = head
        parts = urlsplit(self.path)
        self.query = parse_qs(parts.query, keep_blank_values=True)
        size = max(0, self.int_arg("size", 1000))
        path = parts.path
        handler = ROUTES.get(path)
        try:
            if handler is None:
                self.send_text(404, "text/html", "<html><body>not found</body></html>")
            else:
                handler(self, size)
        except OSError:  # the client went away
            self.close_connection = True

    def r_short(self, size):
        got = min(max(0, self.int_arg("got", size // 2)), size)
        headers = self.octets()
        headers["Content-Length"] = self.arg("length", str(size))
        self.start(200, headers, None, close=True)
        self.send_body(0, got)

    def r_trickle(self, size):
        every = float(self.arg("every", "1"))
        head = ("HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
                "Content-Length: %d\r\nConnection: close\r\n\r\n" % size).encode()
        self.close_connection = True
        if self.arg("head", "1") == "0":
            self.wfile.write(head)
            head = b""
        for byte in head + b"".join(body(0, size)):
            if STOP.is_set():
                return
            self.wfile.write(bytes([byte]))
            self.wfile.flush()
            time.sleep(every)

    def r_nolength(self, size):
        self.start(200, self.octets(), None, close=True)
        self.send_body(0, size)

    def r_chunked(self, size):
        headers = self.octets()
        headers["Transfer-Encoding"] = "chunked"
        self.start(200, headers)
        if self.head:
            return
        step = max(1, self.int_arg("chunk", 4096))
        pos = 0
        while pos < size:
            n = min(step, size - pos)
            self.wfile.write(b"%x\r\n" % n)
            for chunk in body(pos, pos + n):
                self.wfile.write(chunk)
            self.wfile.write(b"\r\n")
            pos += n
        self.wfile.write(b"0\r\n\r\n")

    def r_drip(self, size):
        rate = max(1, self.int_arg("rate", 1000))
        piece = max(1, rate // 10)
        self.start(200, self.octets(), size, close=True)
        self.send_body(0, size, delay_per_piece=piece / rate, piece=piece)

    def r_norange(self, size):
        headers = self.octets()
        headers["Accept-Ranges"] = "bytes"
        self.start(200, headers, size)
        self.send_body(0, size)

    def if_range_holds(self):
        value = self.headers.get("If-Range")
        return value is None or value.strip() in (LAST_MODIFIED, ETAG)

    def r_range(self, size):
        headers = self.octets()
        headers["Accept-Ranges"] = "bytes"
        headers["ETag"] = ETAG
        wanted = parse_range(self.headers.get("Range"), size)
        if wanted is not None and not self.if_range_holds():
            wanted = None
        if wanted == "bad":
            headers["Content-Range"] = "bytes */%d" % size
            self.send_text(416, "text/html", "<html><body>416</body></html>", headers)
            return
        if wanted is None:
            self.start(200, headers, size)
            self.send_body(0, size)
            return
        start, end = wanted
        headers["Content-Range"] = "bytes %d-%d/%d" % (start, end - 1, size)
        self.start(206, headers, end - start)
        self.send_body(start, end)

    def r_badrange(self, size):
        headers = self.octets()
        headers["Accept-Ranges"] = "bytes"
        wanted = parse_range(self.headers.get("Range"), size)
        if wanted is None or wanted == "bad" or size < 2:
            self.start(200, headers, size)
            self.send_body(0, size)
            return
        start = wanted[0]
        actual = self.int_arg("offset", 0 if start > 0 else 1)
        actual = min(max(0, actual), size - 1)
        headers["Content-Range"] = "bytes %d-%d/%d" % (actual, size - 1, size)
        self.start(206, headers, size - actual)
        self.send_body(actual, size)

    def r_416(self, size):
        if self.headers.get("Range"):
            self.send_text(416, "text/html",
                           "<html><head><title>416 Range Not Satisfiable</title></head>"
                           "<body><h1>Range Not Satisfiable</h1></body></html>",
                           {"Content-Range": "bytes */%d" % size})
            return
        self.start(200, self.octets(), size)
        self.send_body(0, size)

    def r_loop(self, size):
        self.send_text(302, "text/html", "<html><body>moved</body></html>",
                       {"Location": "/loop"})

    def r_redirect(self, size):
        code = self.int_arg("code", 302)
        if code not in (301, 302, 303, 307, 308):
            code = 302
        self.send_text(code, "text/html", "<html><body>moved</body></html>",
                       {"Location": self.arg("to", "/")})

    def r_disposition(self, size):
        headers = self.octets()
        name = self.arg("name", "file.bin")
        headers["Content-Disposition"] = 'attachment; filename="%s"' % name
        self.start(200, headers, size)
        self.send_body(0, size)

    def r_html(self, size):
        text = self.arg("text", "")
        page = "<html><head><title>page</title></head><body>%s</body></html>" % text
        missing = size - len(page.encode("utf-8", "surrogateescape"))
        if missing > 9:  # room for "<!--" and "-->" around at least two filler bytes
            page = page.replace("<body>", "<body><!--%s-->" % ("x" * (missing - 7)), 1)
        self.send_text(200, "text/html", page)

    def r_type(self, size):
        ct = self.arg("ct", "")
        self.start(200, {"Content-Type": ct or None}, size)
        self.send_body(0, size)

    def r_echo(self, size):
        lines = [self.requestline] + ["%s: %s" % (k, v) for k, v in self.headers.items()]
        self.send_text(200, "text/plain", "\r\n".join(lines) + "\r\n")

    def r_noauth(self, size):
        if self.headers.get("Authorization"):
            return self.send_text(403, "text/html", "<html><body>credentials</body></html>")
        self.start(200, self.octets(), size)
        self.send_body(0, size)

    def r_silent(self, size):
        self.close_connection = True
        STOP.wait()


ROUTES = {
    "/short": Handler.r_short,
    "/trickle": Handler.r_trickle,
    "/nolength": Handler.r_nolength,
    "/chunked": Handler.r_chunked,
    "/drip": Handler.r_drip,
    "/norange": Handler.r_norange,
    "/range": Handler.r_range,
    "/badrange": Handler.r_badrange,
    "/416": Handler.r_416,
    "/loop": Handler.r_loop,
    "/redirect": Handler.r_redirect,
    "/disposition": Handler.r_disposition,
    "/html": Handler.r_html,
    "/type": Handler.r_type,
    "/echo": Handler.r_echo,
    "/noauth": Handler.r_noauth,
    "/silent": Handler.r_silent,
}


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 64


def main():
    if len(sys.argv) != 2:
        sys.stderr.write("usage: fault_server.py PORT\n")
        return 2
    signal.signal(signal.SIGTERM, lambda *_: os._exit(0))
    server = Server(("127.0.0.1", int(sys.argv[1])), Handler)
    print("ready", flush=True)
    try:
        server.serve_forever(poll_interval=0.2)
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
