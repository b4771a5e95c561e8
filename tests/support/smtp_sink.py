#!/usr/bin/python3
"""A real SMTP peer for the sending tests, built on aiosmtpd.

It listens on 127.0.0.1, offers STARTTLS when given a certificate (or
speaks TLS from the first byte with --implicit-tls), AUTH
PLAIN and LOGIN with one user, and stores every accepted message in the
output directory as msg-N.eml (the data exactly as received, transparency
dots removed) with msg-N.json beside it (envelope sender, recipients, whether
the session was encrypted and who logged in).

Prints "READY <port>" on standard output once it accepts connections and
runs until its standard input is closed.

  smtp_sink.py --dir OUT [--port N] [--cert PEM --key KEY] [--require-tls]
               [--user NAME --password PW] [--auth-required]
               [--mechanisms PLAIN,LOGIN] [--auth-before-tls] [--implicit-tls]
"""
import argparse
import json
import logging
import os
import socket
import ssl
import sys
import threading

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult


class Sink:
    def __init__(self, out_dir):
        self.out_dir = out_dir
        self.count = 0
        self.lock = threading.Lock()

    async def handle_DATA(self, server, session, envelope):
        with self.lock:
            self.count += 1
            n = self.count
        base = os.path.join(self.out_dir, "msg-%d" % n)
        data = envelope.original_content or envelope.content
        if isinstance(data, str):
            data = data.encode("utf-8", "surrogateescape")
        with open(base + ".eml.part", "wb") as f:
            f.write(data)
        meta = {
            "mail_from": envelope.mail_from,
            "rcpt_tos": list(envelope.rcpt_tos),
            "tls": session.ssl is not None
            or server.transport.get_extra_info("ssl_object") is not None,
            "login": getattr(session, "sink_login", None) if session.authenticated else None,
            "helo": session.host_name,
        }
        with open(base + ".json", "w") as f:
            json.dump(meta, f)
        # The message file appears last and whole: a test that sees it can read both.
        os.replace(base + ".eml.part", base + ".eml")
        return "250 2.0.0 Ok: queued as SINK%d" % n


def make_authenticator(user, password):
    def authenticator(server, session, envelope, mechanism, auth_data):
        login = auth_data.login.decode("utf-8", "replace")
        secret = auth_data.password.decode("utf-8", "replace")
        ok = login == user and secret == password
        if ok:
            session.sink_login = login
        return AuthResult(success=ok, handled=False)
    return authenticator


def free_port():
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--dir", required=True)
    ap.add_argument("--port", type=int, default=0)
    ap.add_argument("--cert")
    ap.add_argument("--key")
    ap.add_argument("--require-tls", action="store_true")
    ap.add_argument("--user")
    ap.add_argument("--password", default="")
    ap.add_argument("--auth-required", action="store_true")
    ap.add_argument("--mechanisms", default="PLAIN,LOGIN")
    ap.add_argument("--auth-before-tls", action="store_true")
    ap.add_argument("--implicit-tls", action="store_true")
    args = ap.parse_args()

    logging.disable(logging.CRITICAL)
    kwargs = {
        "auth_required": args.auth_required,
        "auth_require_tls": not args.auth_before_tls,
        "require_starttls": args.require_tls,
    }
    if args.cert:
        ctx = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        ctx.load_cert_chain(args.cert, args.key)
        if args.implicit_tls:
            # The whole session is encrypted: AUTH needs no STARTTLS first.
            kwargs["ssl_context"] = ctx
            kwargs["auth_require_tls"] = False
        else:
            kwargs["tls_context"] = ctx
    if args.user is not None:
        kwargs["authenticator"] = make_authenticator(args.user, args.password)
        offered = {m.strip().upper() for m in args.mechanisms.split(",") if m.strip()}
        kwargs["auth_exclude_mechanism"] = [m for m in ("PLAIN", "LOGIN") if m not in offered]

    port = args.port or free_port()
    controller = Controller(Sink(args.dir), hostname="127.0.0.1", port=port, **kwargs)
    controller.start()
    print("READY %d" % port, flush=True)
    try:
        sys.stdin.read()
    finally:
        controller.stop()


if __name__ == "__main__":
    main()
