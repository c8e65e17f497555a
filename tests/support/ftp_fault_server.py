#!/usr/bin/env python3
"""An FTP server on 127.0.0.1 that misbehaves on demand, for the integration tests.

Usage: ftp_fault_server.py PORT   (prints "ready" once listening; ends on SIGTERM)

Every greeting is multi-line. Any password logs in. The folders are "/" and "/files"; files
are /files/a.txt ("hello ftp\\n") and /files/data-N.bin (N bytes, byte i is (i * 7 + 3) % 256),
every MDTM is 19941106084937. The user name picks the fault; other names behave normally:

  nopass     USER is answered 230 at once
  badlogin   PASS is answered 530
  norest     REST is answered 502
  oddpasv    PASV reply without parentheses
  farpasv    PASV names 10.0.0.5 (a server behind NAT)
  badpasv    PASV reply "(300,1,2)"
  nopasv     PASV is answered 500: only PORT works
  hostile    LIST of /files names "../evil.txt", "sub/evil.txt", ".", "..", "run;$x.txt", good.txt
  silent     no answer after USER, ever
  stall      RETR sends half the file, then nothing until ABOR or the data connection closes
  trickle    the reply to USER comes one byte every 0.3 s and never ends
  dribble    RETR sends one byte every 2 s
  longer     RETR sends 500 bytes more than listed
  shorter    RETR sends 500 bytes less than listed, then 226
  multiline  every reply has a continuation line starting with another code; PASS's 230 also
             has a line without a code and one starting "200 "
"""

import fnmatch
import os
import posixpath
import re
import select
import signal
import socket
import sys
import threading
import time

from fault_server import body as pattern

LISTED = ["a.txt", "data-1000.bin", "data-5000.bin"]
HOSTILE = {"../evil.txt": b"evil", "sub/evil.txt": b"evil", ".": None, "..": None,
           "run;$x.txt": b"meta", "good.txt": b"good", ".bashrc": b"dot"}
DATA_FILE = re.compile(r"/files/data-(\d+)\.bin")


class Session:
    def __init__(self, conn):
        self.conn = conn
        self.buffer = b""
        self.mode = "normal"
        self.user = None
        self.logged_in = False
        self.cwd = "/"
        self.rest = 0
        self.listener = None  # after PASV
        self.active = None  # (host, port) after PORT

    def reply(self, code, text):
        if self.mode == "multiline":
            other = 226 if code == 200 else 200
            text = "%d-%s\r\n%d-%d is not the last line\r\n%d %s" % (code, text, code, other,
                                                                     code, text)
        else:
            text = "%d %s" % (code, text)
        self.conn.sendall((text + "\r\n").encode("utf-8", "surrogateescape"))

    def readline(self):
        while b"\n" not in self.buffer:
            chunk = self.conn.recv(4096)
            if not chunk:
                return None
            self.buffer += chunk
        raw, _, self.buffer = self.buffer.partition(b"\n")
        # Telnet interrupt bytes that clients put before ABOR.
        return raw.rstrip(b"\r").lstrip(b"\xff\xf4\xf2").decode("utf-8", "surrogateescape")

    def run(self):
        try:
            self.conn.sendall(b"220-Welcome\r\n220-second line\r\n220 ready\r\n")
            while True:
                line = self.readline()
                if line is None:
                    break
                verb, _, arg = line.partition(" ")
                verb = verb.upper()
                if self.mode == "silent":
                    continue
                handler = getattr(self, "c_" + verb.lower(), None) if verb.isalpha() else None
                if handler is None:
                    self.reply(502, "Command not implemented")
                elif not self.logged_in and verb not in ("USER", "PASS", "QUIT"):
                    self.reply(530, "Please log in with USER and PASS")
                elif handler(arg) == "quit":
                    break
        except OSError:
            pass
        finally:
            self.drop_data()
            self.conn.close()

    def resolve(self, arg):
        path = posixpath.normpath(posixpath.join(self.cwd, arg)) if arg else self.cwd
        return "/" + path.lstrip("/")

    def find(self, arg):
        """(size, reader) of the file arg names, reader(start) yielding its bytes; or None."""
        path = self.resolve(arg)
        data = None
        if self.mode == "hostile":
            data = HOSTILE.get(arg) or HOSTILE.get(posixpath.basename(path))
        if path == "/files/a.txt":
            data = b"hello ftp\n"
        if data is not None:
            return len(data), lambda start: iter([data[start:]])
        match = DATA_FILE.fullmatch(path)
        if match:
            size = int(match.group(1))
            return size, lambda start: pattern(start, size)
        return None

    def entries(self, folder):
        """(name, size, is_folder) of what a listing of folder shows."""
        if folder == "/":
            return [("files", 4096, True)]
        if self.mode == "hostile":
            return [(n, 4096 if d is None else len(d), d is None) for n, d in HOSTILE.items()]
        return [(n, self.find("/files/" + n)[0], False) for n in LISTED]

    def listing(self, arg):
        """The entries LIST arg shows, or None when arg names nothing."""
        words = arg.split(" ")
        while words and words[0].startswith("-"):
            words.pop(0)
        target = " ".join(words).strip()
        if any(c in target for c in "*?["):
            glob = posixpath.basename(target)
            found = self.entries(self.resolve(posixpath.dirname(target)))
            return [e for e in found if fnmatch.fnmatchcase(e[0], glob)]
        path = self.resolve(target)
        if path in ("/", "/files"):
            return self.entries(path)
        found = self.find(target)
        return None if found is None else [(posixpath.basename(path), found[0], False)]

    def drop_data(self):
        if self.listener is not None:
            self.listener.close()
            self.listener = None
        self.active = None

    def open_data(self):
        """The data connection PASV or PORT prepared, or None."""
        try:
            if self.listener is not None:
                listener, self.listener = self.listener, None
                with listener:
                    listener.settimeout(10)
                    data, _ = listener.accept()
            elif self.active is not None:
                address, self.active = self.active, None
                data = socket.create_connection(address, timeout=10)
            else:
                return None
            data.settimeout(None)
            return data
        except OSError:
            return None

    def stall(self, data):
        """Sends nothing more until the client aborts or closes the data connection."""
        while True:
            if b"\n" not in self.buffer:
                ready, _, _ = select.select([self.conn, data], [], [])
                if data in ready:
                    try:
                        if not data.recv(4096):
                            return
                    except OSError:
                        return
                if self.conn not in ready:
                    continue
            line = self.readline()
            if line is None:
                raise OSError("control connection closed")
            if line.upper().startswith("ABOR"):
                data.close()
                self.reply(426, "Transfer aborted")
                self.reply(226, "Abort successful")
                return "aborted"

    def c_user(self, arg):
        self.user = arg
        self.mode = arg
        self.logged_in = False
        if self.mode == "trickle":
            try:
                while True:
                    self.conn.sendall(b"3")
                    time.sleep(0.3)
            except OSError:
                return "quit"
        elif self.mode == "nopass":
            self.logged_in = True
            self.reply(230, "Logged in, no password needed")
        elif self.mode != "silent":
            self.reply(331, "Password required for %s" % arg)

    def c_pass(self, arg):
        if self.user is None:
            self.reply(503, "Login with USER first")
        elif self.mode == "badlogin":
            self.reply(530, "Login incorrect")
        elif self.mode == "multiline":
            self.logged_in = True
            self.conn.sendall(b"230-Logged in\r\nno code on this line\r\n"
                              b"200 this line does not end the reply\r\n230 Logged in\r\n")
        else:
            self.logged_in = True
            self.reply(230, "Logged in")

    def c_type(self, arg):
        self.reply(200, "Type set to %s" % arg)

    def c_pwd(self, arg):
        self.reply(257, '"%s" is the current folder' % self.cwd)

    def c_cwd(self, arg):
        path = self.resolve(arg)
        if path not in ("/", "/files"):
            return self.reply(550, "No such folder")
        self.cwd = path
        self.reply(250, "Folder changed to %s" % path)

    def c_pasv(self, arg):
        if self.mode == "nopasv":
            return self.reply(500, "PASV not understood")
        if self.mode == "badpasv":
            return self.reply(227, "Entering Passive Mode (300,1,2)")
        self.drop_data()
        self.listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(1)
        port = self.listener.getsockname()[1]
        host = "10,0,0,5" if self.mode == "farpasv" else "127,0,0,1"
        numbers = "%s,%d,%d" % (host, port >> 8, port & 255)
        if self.mode != "oddpasv":
            numbers = "(%s)" % numbers
        self.reply(227, "Entering Passive Mode " + numbers)

    def c_port(self, arg):
        numbers = [int(n) for n in arg.split(",") if n.strip().isdigit()]
        if len(numbers) != 6 or max(numbers) > 255:
            return self.reply(501, "Bad PORT argument")
        self.drop_data()
        self.active = (".".join(map(str, numbers[:4])), numbers[4] * 256 + numbers[5])
        self.reply(200, "PORT command successful")

    def c_list(self, arg):
        found = self.listing(arg)
        if found is None:
            self.drop_data()
            return self.reply(550, "No such file or folder")
        self.reply(150, "Here comes the listing")
        data = self.open_data()
        if data is None:
            return self.reply(425, "Cannot open the data connection")
        with data:
            data.sendall("".join(
                "%s    1 0        0        %8d Nov 06  1994 %s\r\n" %
                ("drwxr-xr-x" if folder else "-rw-r--r--", size, name)
                for name, size, folder in found).encode("utf-8", "surrogateescape"))
        self.reply(226, "Listing sent")

    def c_mdtm(self, arg):
        if self.find(arg) is None:
            return self.reply(550, "No such file")
        self.reply(213, "19941106084937")

    def c_rest(self, arg):
        if self.mode == "norest":
            return self.reply(502, "REST not implemented")
        if not arg.isdigit():
            return self.reply(501, "Bad REST argument")
        self.rest = int(arg)
        self.reply(350, "Restarting at %d" % self.rest)

    def c_retr(self, arg):
        start, self.rest = self.rest, 0
        found = self.find(arg)
        if found is None:
            self.drop_data()
            return self.reply(550, "No such file")
        size, reader = found
        start = min(start, size)
        self.reply(150, "Opening BINARY mode data connection for %s (%d bytes)" % (arg, size))
        data = self.open_data()
        if data is None:
            return self.reply(425, "Cannot open the data connection")
        try:
            if self.mode == "stall":
                half = start + (size - start) // 2
                data.sendall(b"".join(reader(start))[:half - start])
                if self.stall(data) == "aborted":
                    return
                return self.reply(426, "Connection closed; transfer aborted")
            if self.mode == "dribble":
                for at in range(start, size):
                    data.sendall(next(reader(at))[:1])
                    time.sleep(2)
            if self.mode in ("longer", "shorter"):
                end = size + 500 if self.mode == "longer" else max(0, size - 500)
                reader = lambda at: pattern(at, end)
            for piece in reader(start):
                data.sendall(piece)
        except OSError:
            return self.reply(426, "Connection closed; transfer aborted")
        finally:
            data.close()
        self.reply(226, "Transfer complete")

    def c_abor(self, arg):
        self.drop_data()
        self.reply(226, "Abort successful")

    def c_quit(self, arg):
        self.reply(221, "Goodbye")
        return "quit"


def main():
    signal.signal(signal.SIGTERM, lambda *_: os._exit(0))
    server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(("127.0.0.1", int(sys.argv[1])))
    server.listen(64)
    print("ready", flush=True)
    while True:
        conn, _ = server.accept()
        threading.Thread(target=Session(conn).run, daemon=True).start()


if __name__ == "__main__":
    main()
