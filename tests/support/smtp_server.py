#!/usr/bin/env python3
"""An SMTP server on 127.0.0.1 (aiosmtpd) that stores every message it accepts in a maildir.

Usage: smtp_server.py PORT MAILDIR MODE [CERT KEY [USER PASSWORD]]
  MODE plain | starttls | tls (TLS from the first byte); with USER, AUTH PLAIN and LOGIN are
  offered and required before MAIL. Ends on SIGTERM.
"""

import os
import signal
import ssl
import sys
import threading
import time

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult


class Store:
    def __init__(self, maildir):
        self.maildir = maildir
        for sub in ("tmp", "new", "cur"):
            os.makedirs(os.path.join(maildir, sub), exist_ok=True)

    async def handle_DATA(self, server, session, envelope):
        name = "%d.%d.kov" % (time.time_ns(), os.getpid())
        temporary = os.path.join(self.maildir, "tmp", name)
        with open(temporary, "wb") as f:
            f.write(envelope.original_content)
        os.rename(temporary, os.path.join(self.maildir, "new", name))
        return "250 OK"


def main():
    port, maildir, mode = int(sys.argv[1]), sys.argv[2], sys.argv[3]
    context = None
    if mode != "plain":
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(sys.argv[4], sys.argv[5])
    kwargs = {}
    if len(sys.argv) > 7:
        user, password = sys.argv[6].encode(), sys.argv[7].encode()

        def check(server, session, envelope, mechanism, data):
            good = data.login == user and data.password == password
            return AuthResult(success=good, handled=False)

        kwargs.update(authenticator=check, auth_required=True, auth_require_tls=False)
    if mode == "starttls":
        kwargs["tls_context"] = context
    controller = Controller(Store(maildir), hostname="127.0.0.1", port=port,
                            ssl_context=context if mode == "tls" else None, **kwargs)
    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    controller.start()
    print("ready", flush=True)
    stop.wait()
    controller.stop()


if __name__ == "__main__":
    main()
