#!/usr/bin/env python3
"""An FTP server on 127.0.0.1 that misbehaves on demand, for the integration tests.

Usage: ftp_fault_server.py PORT [FOLDER]   (prints "ready" once listening; ends on SIGTERM)

Every session is greeted with the same multi-line reply:
  220-Welcome / 220-second line / 220 ready
The user name picks how the session behaves; names not listed below (normal, anonymous, ...)
get the normal behaviour. Received commands are logged to standard error.

Normal behaviour: USER is answered 331 and PASS 230, whatever the password. The folders are
"/", "/files", "/upload" and those made with MKD; a session starts in "/" and PWD names the
current folder. Files:
  /files/data-N.bin   N bytes for any N; byte i is (i * 7 + 3) % 256
  /files/a.txt        "hello ftp\\n"
  what STOR stored    kept in memory, and written to FOLDER/<path> (before the 226) when given
MDTM of every file is 19941106084937. LIST of /files shows a.txt, data-1000.bin and
data-5000.bin as "ls -l" lines; a glob ("LIST *.bin") lists the matching ones. Commands: USER
PASS TYPE PWD CWD PASV EPSV PORT EPRT LIST MDTM REST RETR STOR MKD ABOR QUIT; anything else
is 502. A data listener takes one connection.

  nopass     USER is answered 230 at once, no password asked
  badlogin   PASS is answered 530
  norest     REST is answered 502 (RETR without REST works)
  oddpasv    PASV: "227 Entering Passive Mode 127,0,0,1,p1,p2" (no parentheses); EPSV 500
  farpasv    PASV names 10.0.0.5 although the listener is on 127.0.0.1 (a server behind
             NAT: the client should use the control connection's address); EPSV 500
  badpasv    PASV: "227 Entering Passive Mode (300,1,2)"; EPSV 500
  nopasv     PASV and EPSV 500: only active mode (PORT, EPRT) works
  hostile    LIST of /files names "../evil.txt", "sub/evil.txt", ".", "..",
             "run;$x.txt" ("meta"),
             "good.txt"; good.txt is "good", the evil.txt names are "evil"
  silent     no answer after USER, ever; the connection stays open
  stall      RETR: 150, half of the file, then nothing more on the open data connection
             (ABOR or closing it ends the transfer with 426)
  trickle    the reply to USER comes one byte every 0.3 s, and never ends
  dribble    RETR sends one byte every 2 s
  longer     RETR sends 500 bytes more than the listed size
  shorter    RETR sends 500 bytes less than the listed size, then 226
  multiline  every reply is multi-line, with a continuation line that starts with another
             code ("226-200 is not the last line"); the 230 that answers PASS also has a
             continuation line without a code and one that starts with "200 "
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

GREETING = b"220-Welcome\r\n220-second line\r\n220 ready\r\n"
MDTM = "19941106084937"
DATE = "Nov 06  1994"
PATTERN = bytes((i * 7 + 3) % 256 for i in range(256))
PIECE = 65536
DATA_TIMEOUT = 10
LISTED = ["a.txt", "data-1000.bin", "data-5000.bin"]
HOSTILE = ["../evil.txt", "sub/evil.txt", ".", "..", "run;$x.txt", "good.txt"]
SCENARIOS = {"nopass", "badlogin", "norest", "oddpasv", "farpasv", "badpasv", "nopasv",
             "hostile", "silent", "stall", "multiline", "trickle", "dribble", "longer",
             "shorter"}
NO_EPSV = {"oddpasv", "farpasv", "badpasv", "nopasv"}
BEFORE_LOGIN = {"USER", "PASS", "QUIT"}
DATA_FILE = re.compile(r"/files/data-(\d+)\.bin")


def pattern(start, end):
    """Yields the bytes start..end-1 of the deterministic content in pieces."""
    pos = start
    while pos < end:
        n = min(PIECE, end - pos)
        off = pos % 256
        yield (PATTERN * ((off + n) // 256 + 1))[off:off + n]
        pos += n


def pieces(data, start):
    for pos in range(start, len(data), PIECE):
        yield data[pos:pos + PIECE]


class Store:
    """The folders and stored files, shared by every session."""

    def __init__(self, folder):
        self.lock = threading.Lock()
        self.folders = {"/", "/files", "/upload"}
        self.files = {}
        self.disk = folder

    def is_folder(self, path):
        with self.lock:
            return path in self.folders

    def get(self, path):
        with self.lock:
            return self.files.get(path)

    def children(self, folder):
        """(name, is_folder) of what folder holds, virtual files aside."""
        with self.lock:
            found = [(posixpath.basename(f), True) for f in self.folders
                     if f != "/" and posixpath.dirname(f) == folder]
            found += [(posixpath.basename(f), False) for f in self.files
                      if posixpath.dirname(f) == folder]
        return sorted(found)

    def mkdir(self, path):
        with self.lock:
            if path in self.folders or path in self.files:
                return False
            if posixpath.dirname(path) not in self.folders:
                return False
            self.folders.add(path)
        if self.disk:
            os.makedirs(os.path.join(self.disk, path.lstrip("/")), exist_ok=True)
        return True

    def put(self, path, data):
        with self.lock:
            self.files[path] = data
        if self.disk:
            target = os.path.join(self.disk, path.lstrip("/"))
            os.makedirs(os.path.dirname(target), exist_ok=True)
            with open(target, "wb") as out:
                out.write(data)


def ls_line(name, size, is_folder):
    mode = "drwxr-xr-x" if is_folder else "-rw-r--r--"
    return "%s %4d %-8s %-8s %8d %s %s" % (mode, 1, "0", "0", size, DATE, name)


class Session:
    def __init__(self, conn, store):
        self.conn = conn
        self.store = store
        self.buffer = b""
        self.peer = 0  # the client's port, to tell sessions apart in the log
        self.mode = "normal"
        self.user = None
        self.logged_in = False
        self.silent = False
        self.cwd = "/"
        self.rest = 0
        self.listener = None  # after PASV or EPSV
        self.active = None  # (host, port) after PORT or EPRT

    # Control connection.

    def log(self, text):
        sys.stderr.write("[%d] %s\n" % (self.peer, text))
        sys.stderr.flush()

    def send(self, text):
        self.conn.sendall(text.encode("utf-8", "surrogateescape"))

    def reply(self, code, text):
        if self.mode == "multiline":
            other = "226" if code == 200 else "200"
            lines = ["%d-%s" % (code, text), "%d-%s is not the last line" % (code, other),
                     "%d %s" % (code, text)]
        else:
            lines = ["%d %s" % (code, text)]
        self.send("\r\n".join(lines) + "\r\n")

    def has_line(self):
        return b"\n" in self.buffer

    def readline(self):
        """The next command line without its end, or None once the client has gone."""
        while not self.has_line():
            chunk = self.conn.recv(4096)
            if not chunk:
                return None
            self.buffer += chunk
        raw, _, self.buffer = self.buffer.partition(b"\n")
        # Telnet interrupt bytes that clients put before ABOR.
        raw = raw.rstrip(b"\r").lstrip(b"\xff\xf4\xf2")
        return raw.decode("utf-8", "surrogateescape")

    def run(self):
        try:
            self.peer = self.conn.getpeername()[1]
            self.conn.sendall(GREETING)
            while True:
                line = self.readline()
                if line is None:
                    break
                verb, _, arg = line.partition(" ")
                verb = verb.upper()
                self.log("%s %s" % (verb, arg) if arg else verb)
                if self.silent:
                    continue
                handler = getattr(self, "c_" + verb.lower(), None) if verb.isalpha() else None
                if handler is None:
                    self.reply(502, "Command not implemented")
                elif not self.logged_in and verb not in BEFORE_LOGIN:
                    self.reply(530, "Please log in with USER and PASS")
                elif handler(arg) == "quit":
                    break
        except OSError:
            pass
        finally:
            self.drop_data()
            self.conn.close()

    # Paths and files.

    def resolve(self, arg):
        path = posixpath.normpath(posixpath.join(self.cwd, arg)) if arg else self.cwd
        return "/" + path.lstrip("/")

    def find(self, arg):
        """(size, reader) of the file arg names, reader(start) yielding its bytes; or None."""
        path = self.resolve(arg)
        data = self.store.get(path)
        if data is None and self.mode == "hostile":
            if arg.endswith("evil.txt"):
                data = b"evil"
            elif path == "/files/good.txt":
                data = b"good"
            elif path == "/files/run;$x.txt":
                data = b"meta"
        if data is None and path == "/files/a.txt":
            data = b"hello ftp\n"
        if data is not None:
            return len(data), lambda start: pieces(data, start)
        match = DATA_FILE.fullmatch(path)
        if match:
            size = int(match.group(1))
            return size, lambda start: pattern(start, size)
        return None

    def entries(self, folder):
        """(name, size, is_folder) of what a listing of folder shows."""
        if folder == "/files" and self.mode == "hostile":
            return [(n, 4096, True) if n in (".", "..") else (n, 4, False) for n in HOSTILE]
        found = []
        if folder == "/files":
            found = [(n, self.find("/files/" + n)[0], False) for n in LISTED]
        for name, is_folder in self.store.children(folder):
            if is_folder:
                found.append((name, 4096, True))
            elif name not in LISTED:
                found.append((name, len(self.store.get(posixpath.join(folder, name))), False))
        return found

    def listing(self, arg):
        """The entries LIST arg shows, or None when arg names nothing."""
        words = arg.split(" ")
        while words and words[0].startswith("-"):
            words.pop(0)
        target = " ".join(words).strip()
        if any(c in target for c in "*?["):
            folder = self.resolve(posixpath.dirname(target))
            glob = posixpath.basename(target)
            return [e for e in self.entries(folder) if fnmatch.fnmatchcase(e[0], glob)]
        path = self.resolve(target)
        if self.store.is_folder(path):
            return self.entries(path)
        found = self.find(target)
        if found is None:
            return None
        return [(posixpath.basename(path), found[0], False)]

    # Data connections.

    def drop_data(self):
        if self.listener is not None:
            self.listener.close()
            self.listener = None
        self.active = None

    def listen(self):
        self.drop_data()
        self.listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(1)
        return self.listener.getsockname()[1]

    def open_data(self):
        """The data connection PASV, EPSV, PORT or EPRT prepared, or None."""
        try:
            if self.listener is not None:
                listener, self.listener = self.listener, None
                try:
                    listener.settimeout(DATA_TIMEOUT)
                    data, _ = listener.accept()
                finally:
                    listener.close()
            elif self.active is not None:
                address, self.active = self.active, None
                data = socket.create_connection(address, timeout=DATA_TIMEOUT)
            else:
                return None
            data.settimeout(None)
            return data
        except OSError:
            return None

    def stall(self, data):
        """Sends nothing more until the client aborts or closes the data connection."""
        while True:
            if not self.has_line():
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
            self.log(line)
            if line.upper().startswith("ABOR"):
                data.close()
                self.reply(426, "Transfer aborted")
                self.reply(226, "Abort successful")
                return "aborted"

    # Commands, c_<verb>(argument); "quit" ends the session.

    def c_user(self, arg):
        self.user = arg
        self.mode = arg if arg in SCENARIOS else "normal"
        self.logged_in = False
        if self.mode == "silent":
            self.silent = True
        elif self.mode == "trickle":
            try:
                while True:
                    self.conn.sendall(b"3")
                    time.sleep(0.3)
            except OSError:
                return "quit"
        elif self.mode == "nopass":
            self.logged_in = True
            self.reply(230, "Logged in, no password needed")
        else:
            self.reply(331, "Password required for %s" % arg)

    def c_pass(self, arg):
        if self.user is None:
            self.reply(503, "Login with USER first")
        elif self.mode == "badlogin":
            self.reply(530, "Login incorrect")
        elif self.mode == "multiline":
            self.logged_in = True
            self.send("230-Logged in\r\nno code on this line\r\n"
                      "200 this line does not end the reply\r\n230 Logged in\r\n")
        else:
            self.logged_in = True
            self.reply(230, "Logged in")

    def c_type(self, arg):
        self.reply(200, "Type set to %s" % arg)

    def c_pwd(self, arg):
        self.reply(257, '"%s" is the current folder' % self.cwd)

    def c_cwd(self, arg):
        path = self.resolve(arg)
        if self.store.is_folder(path):
            self.cwd = path
            self.reply(250, "Folder changed to %s" % path)
        else:
            self.reply(550, "No such folder")

    def c_pasv(self, arg):
        if self.mode == "nopasv":
            return self.reply(500, "PASV not understood")
        if self.mode == "badpasv":
            return self.reply(227, "Entering Passive Mode (300,1,2)")
        port = self.listen()
        host = "10,0,0,5" if self.mode == "farpasv" else "127,0,0,1"
        numbers = "%s,%d,%d" % (host, port >> 8, port & 255)
        if self.mode == "oddpasv":
            self.reply(227, "Entering Passive Mode %s" % numbers)
        else:
            self.reply(227, "Entering Passive Mode (%s)" % numbers)

    def c_epsv(self, arg):
        if self.mode in NO_EPSV:
            return self.reply(500, "EPSV not understood")
        if arg.upper() == "ALL":
            return self.reply(200, "EPSV ALL ok")
        self.reply(229, "Entering Extended Passive Mode (|||%d|)" % self.listen())

    def c_port(self, arg):
        try:
            numbers = [int(n) for n in arg.split(",")]
            if len(numbers) != 6 or not all(0 <= n <= 255 for n in numbers):
                raise ValueError
        except ValueError:
            return self.reply(501, "Bad PORT argument")
        self.drop_data()
        self.active = (".".join(map(str, numbers[:4])), numbers[4] * 256 + numbers[5])
        self.reply(200, "PORT command successful")

    def c_eprt(self, arg):
        parts = arg.split(arg[:1]) if arg else []
        if len(parts) != 5 or parts[1] not in ("1", "2") or not parts[3].isdigit():
            return self.reply(501, "Bad EPRT argument")
        self.drop_data()
        self.active = (parts[2], int(parts[3]))
        self.reply(200, "EPRT command successful")

    def send_listing(self, arg, line):
        found = self.listing(arg)
        if found is None:
            self.drop_data()
            return self.reply(550, "No such file or folder")
        self.reply(150, "Here comes the listing")
        data = self.open_data()
        if data is None:
            return self.reply(425, "Cannot open the data connection")
        try:
            data.sendall("".join(line(*e) + "\r\n" for e in found).encode(
                "utf-8", "surrogateescape"))
        finally:
            data.close()
        self.reply(226, "Listing sent")

    def c_list(self, arg):
        self.send_listing(arg, ls_line)

    def c_mdtm(self, arg):
        if self.find(arg) is None:
            return self.reply(550, "No such file")
        self.reply(213, MDTM)

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
                for piece in reader(start):
                    data.sendall(piece[:half - start])
                    start += len(piece)
                    if start >= half:
                        break
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

    def c_stor(self, arg):
        start, self.rest = self.rest, 0
        path = self.resolve(arg)
        if self.store.is_folder(path) or not self.store.is_folder(posixpath.dirname(path)):
            self.drop_data()
            return self.reply(553, "Cannot store there")
        self.reply(150, "Ok to send data")
        data = self.open_data()
        if data is None:
            return self.reply(425, "Cannot open the data connection")
        received = []
        try:
            while True:
                chunk = data.recv(PIECE)
                if not chunk:
                    break
                received.append(chunk)
        finally:
            data.close()
        kept = (self.store.get(path) or b"")[:start] if start else b""
        self.store.put(path, kept + b"".join(received))
        self.reply(226, "Transfer complete")

    def c_mkd(self, arg):
        path = self.resolve(arg)
        if not self.store.mkdir(path):
            return self.reply(550, "Cannot create %s" % path)
        self.reply(257, '"%s" created' % path)

    def c_abor(self, arg):
        self.drop_data()
        self.reply(226, "Abort successful")

    def c_quit(self, arg):
        self.reply(221, "Goodbye")
        return "quit"


def main():
    if len(sys.argv) not in (2, 3):
        sys.stderr.write("usage: ftp_fault_server.py PORT [FOLDER]\n")
        return 2
    signal.signal(signal.SIGTERM, lambda *_: os._exit(0))
    store = Store(sys.argv[2] if len(sys.argv) == 3 else None)
    server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(("127.0.0.1", int(sys.argv[1])))
    server.listen(64)
    print("ready", flush=True)
    try:
        while True:
            conn, _ = server.accept()
            threading.Thread(target=Session(conn, store).run, daemon=True).start()
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
