#!/usr/bin/env python3
"""An HTTP server on 127.0.0.1 that misbehaves on demand, for the integration tests.

Usage: fault_server.py PORT   (prints "ready" once listening; ends on SIGTERM)

Byte i of every body is (i * 7 + 3) % 256. Every response carries the Last-Modified date below
unless the query says lm=0. Sizes default to 1000 bytes.

  /short?size=N&got=M         Content-Length N (or the text length=L), sends M bytes, closes
  /trickle?size=N&every=S     the whole response, headers included, one byte every S seconds
                              (with head=0 the headers come at once)
  /nolength?size=N            no Content-Length; the end of the body is the close
  /chunked?size=N             Transfer-Encoding: chunked
  /drip?size=N&rate=R         R bytes per second, with Content-Length
  /norange?size=N             ignores Range: always 200 and the whole body
  /range?size=N               honours Range (206, Content-Range) and If-Range
  /badrange?size=N            answers a Range with 206 starting at another offset
  /416?size=N                 416 with an HTML body for any Range, else 200 (announcing ranges)
  /loop                       302 to itself
  /redirect?to=PATH           302 to PATH
  /disposition?name=NAME      Content-Disposition: attachment; filename="NAME" (raw)
  /html?size=N&text=T         a text/html page containing T, padded to N bytes
  /type?ct=TYPE&size=N        Content-Type TYPE (none when ct is empty)
  /echo                       the request line and headers as text/plain
  /noauth?size=N              403 when the request carries credentials, else 200 and a body
  /silent                     accepts and never answers
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
OCTETS = "application/octet-stream"
STOP = threading.Event()


def body(start, end, piece=65536):
    """Yields the bytes start..end-1 of the deterministic body in pieces."""
    while start < end:
        n = min(piece, end - start)
        off = start % 256
        yield (PATTERN * ((off + n) // 256 + 1))[off:off + n]
        start += n


def parse_range(header, size):
    """(start, end_exclusive) of a single "bytes=" range, "bad" when unsatisfiable, None when
    there is no usable range."""
    if not header or not header.strip().lower().startswith("bytes="):
        return None
    first, _, last = header.strip()[6:].split(",")[0].strip().partition("-")
    try:
        if first == "":
            return "bad" if int(last) <= 0 else (max(0, size - int(last)), size)
        start = int(first)
        end = int(last) + 1 if last else size
    except ValueError:
        return None
    return "bad" if start >= size or end <= start else (start, min(end, size))


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "KovFault/1.0"

    def log_message(self, *args):
        pass

    def do_HEAD(self):
        self.handle_request(head=True)

    def do_GET(self):
        self.handle_request(head=False)

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
        if self.arg("lm", "1") != "0":
            headers.setdefault("Last-Modified", LAST_MODIFIED)
        if length is not None:
            headers["Content-Length"] = str(length)
        if close:
            headers["Connection"] = "close"
            self.close_connection = True
        for name, value in headers.items():
            if value is not None:
                self.send_header(name, value)
        self.end_headers()

    def send_body(self, start, end):
        if not self.head:
            for chunk in body(start, end):
                self.wfile.write(chunk)

    def whole(self, size, headers=None, close=False):
        self.start(200, dict({"Content-Type": OCTETS}, **(headers or {})), size, close)
        self.send_body(0, size)

    def send_text(self, code, text, extra=None, content_type="text/html"):
        data = text.encode("utf-8", "surrogateescape")
        self.start(code, dict({"Content-Type": content_type}, **(extra or {})), len(data))
        if not self.head:
            self.wfile.write(data)

    def handle_request(self, head):
        self.head = head
        parts = urlsplit(self.path)
        self.query = parse_qs(parts.query, keep_blank_values=True)
        handler = getattr(self, "r_" + parts.path.strip("/"), None)
        try:
            if handler is None:
                self.send_text(404, "<html><body>not found</body></html>")
            else:
                handler(max(0, self.int_arg("size", 1000)))
        except OSError:  # the client went away
            self.close_connection = True

    def r_short(self, size):
        got = min(max(0, self.int_arg("got", size // 2)), size)
        self.start(200, {"Content-Type": OCTETS, "Content-Length": self.arg("length", str(size))},
                   close=True)
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
        self.start(200, {"Content-Type": OCTETS}, close=True)
        self.send_body(0, size)

    def r_chunked(self, size):
        self.start(200, {"Content-Type": OCTETS, "Transfer-Encoding": "chunked"})
        if self.head:
            return
        for chunk in body(0, size, 4096):
            self.wfile.write(b"%x\r\n%s\r\n" % (len(chunk), chunk))
        self.wfile.write(b"0\r\n\r\n")

    def r_drip(self, size):
        rate = max(1, self.int_arg("rate", 1000))
        piece = max(1, rate // 10)
        self.start(200, {"Content-Type": OCTETS}, size, close=True)
        for chunk in ([] if self.head else body(0, size, piece)):
            self.wfile.write(chunk)
            self.wfile.flush()
            time.sleep(piece / rate)

    def r_norange(self, size):
        self.whole(size, {"Accept-Ranges": "bytes"})

    def r_range(self, size):
        headers = {"Content-Type": OCTETS, "Accept-Ranges": "bytes"}
        if self.arg("etag", "1") != "0":
            headers["ETag"] = ETAG
        # changed=1: the file changed after the whole of it was asked for; ranges come from the
        # new one (other bytes, a later Last-Modified) and If-Range is not looked at.
        changed = self.arg("changed", "0") == "1"
        wanted = parse_range(self.headers.get("Range"), size)
        if_range = self.headers.get("If-Range")
        if if_range is not None and not changed and if_range.strip() not in (LAST_MODIFIED, ETAG):
            wanted = None
        if wanted == "bad":
            headers["Content-Range"] = "bytes */%d" % size
            return self.send_text(416, "<html><body>416</body></html>", headers)
        if wanted is None:
            return self.whole(size, headers)
        start, end = wanted
        headers["Content-Range"] = "bytes %d-%d/%d" % (start, end - 1, size)
        # cut=N: the connection breaks after N bytes of each range.
        cut = self.int_arg("cut", 0)
        shift = 1 if changed else 0
        if changed:
            headers["Last-Modified"] = "Mon, 07 Nov 1994 08:49:37 GMT"
        self.start(206, headers, end - start, close=cut > 0)
        self.send_body(start + shift, (min(end, start + cut) if cut > 0 else end) + shift)

    def r_badrange(self, size):
        wanted = parse_range(self.headers.get("Range"), size)
        if wanted is None or wanted == "bad" or size < 2:
            return self.whole(size, {"Accept-Ranges": "bytes"})
        actual = 0 if wanted[0] > 0 else 1
        self.start(206, {"Content-Type": OCTETS, "Accept-Ranges": "bytes",
                         "Content-Range": "bytes %d-%d/%d" % (actual, size - 1, size)},
                   size - actual)
        self.send_body(actual, size)

    def r_416(self, size):
        if not self.headers.get("Range"):
            return self.whole(size, {"Accept-Ranges": "bytes"})
        self.send_text(416, "<html><head><title>416 Range Not Satisfiable</title></head>"
                       "<body><h1>Range Not Satisfiable</h1></body></html>",
                       {"Content-Range": "bytes */%d" % size})

    def r_rangemoved(self, size):
        # Ranges of the file are sent elsewhere; the file itself comes from here.
        if not self.headers.get("Range"):
            return self.whole(size, {"Accept-Ranges": "bytes"})
        self.send_text(302, "<html><body>moved</body></html>", {"Location": "/elsewhere"})

    def r_loop(self, size):
        self.send_text(302, "<html><body>moved</body></html>", {"Location": "/loop"})

    def r_redirect(self, size):
        self.send_text(302, "<html><body>moved</body></html>", {"Location": self.arg("to", "/")})

    def r_disposition(self, size):
        name = self.arg("name", "file.bin")
        self.whole(size, {"Content-Disposition": 'attachment; filename="%s"' % name})

    def r_html(self, size):
        page = "<html><head><title>page</title></head><body>%s</body></html>" % self.arg("text", "")
        missing = size - len(page.encode("utf-8", "surrogateescape"))
        if missing > 9:  # room for "<!--" and "-->" around at least two filler bytes
            page = page.replace("<body>", "<body><!--%s-->" % ("x" * (missing - 7)), 1)
        self.send_text(200, page)

    def r_type(self, size):
        self.whole(size, {"Content-Type": self.arg("ct", "") or None})

    def r_echo(self, size):
        lines = [self.requestline] + ["%s: %s" % (k, v) for k, v in self.headers.items()]
        self.send_text(200, "\r\n".join(lines) + "\r\n", content_type="text/plain")

    def r_noauth(self, size):
        if self.headers.get("Authorization"):
            return self.send_text(403, "<html><body>credentials</body></html>")
        self.whole(size)

    def r_silent(self, size):
        self.close_connection = True
        STOP.wait()


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 64


def main():
    signal.signal(signal.SIGTERM, lambda *_: os._exit(0))
    server = Server(("127.0.0.1", int(sys.argv[1])), Handler)
    print("ready", flush=True)
    server.serve_forever(poll_interval=0.2)


if __name__ == "__main__":
    main()
