#!/usr/bin/env python3
"""aiosmtpd on 127.0.0.1 storing each accepted message in MAILDIR/new. Ends on SIGTERM.
Usage: smtp_server.py PORT MAILDIR plain|starttls|tls [CERT KEY [USER PASSWORD]]
(tls: TLS from the first byte; with USER, AUTH is required before MAIL)."""

import os, signal, ssl, sys, threading, time

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult


class Store:
    async def handle_DATA(self, server, session, envelope):
        name = "%d.kov" % time.time_ns()
        with open(os.path.join(sys.argv[2], "tmp", name), "wb") as f:
            f.write(envelope.original_content)
        os.rename(os.path.join(sys.argv[2], "tmp", name), os.path.join(sys.argv[2], "new", name))
        return "250 OK"


def check(server, session, envelope, mechanism, data):
    good = data.login == sys.argv[6].encode() and data.password == sys.argv[7].encode()
    return AuthResult(success=good, handled=False)


mode, kwargs, context = sys.argv[3], {}, None
for sub in ("tmp", "new"):
    os.makedirs(os.path.join(sys.argv[2], sub), exist_ok=True)
if mode != "plain":
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(sys.argv[4], sys.argv[5])
if len(sys.argv) > 7:
    kwargs.update(authenticator=check, auth_required=True, auth_require_tls=False)
if mode == "starttls":
    kwargs["tls_context"] = context
controller = Controller(Store(), hostname="127.0.0.1", port=int(sys.argv[1]),
                        ssl_context=context if mode == "tls" else None, **kwargs)
stop = threading.Event()
signal.signal(signal.SIGTERM, lambda *_: stop.set())
controller.start()
print("ready", flush=True)
stop.wait()
controller.stop()
