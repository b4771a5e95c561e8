#!/usr/bin/python3
"""A real SMTP peer for the sending tests, built on aiosmtpd.

It listens on 127.0.0.1, offers STARTTLS when given a certificate (or
speaks TLS from the first byte with --implicit-tls), AUTH
PLAIN and LOGIN with one user, and stores every accepted message in the
output directory as msg-N.eml (the data exactly as received, transparency
dots removed) with msg-N.json beside it (envelope sender, recipients, whether
the session was encrypted, who logged in and with which mechanism).

With --oauth2-introspect URL it also offers AUTH XOAUTH2 and OAUTHBEARER:
the bearer token is checked by a POST to URL (RFC 7662 token introspection,
as tests/support/oauth_provider.py answers it); a token that is not active,
or belongs to another user, gets the OAuth 2.0 error challenge and then 535.

Prints "READY <port>" on standard output once it accepts connections and
runs until its standard input is closed.

  smtp_sink.py --dir OUT [--port N] [--cert PEM --key KEY] [--require-tls]
               [--user NAME --password PW] [--auth-required]
               [--mechanisms PLAIN,LOGIN] [--auth-before-tls] [--implicit-tls]
               [--oauth2-introspect URL]
"""
import argparse
import json
import logging
import os
import socket
import ssl
import sys
import threading
import urllib.parse
import urllib.request
from base64 import b64decode

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import MISSING, AuthResult, LoginPassword


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
            "mechanism": getattr(session, "sink_mechanism", None) if session.authenticated else None,
            "helo": session.host_name,
        }
        with open(base + ".json", "w") as f:
            json.dump(meta, f)
        # The message file appears last and whole: a test that sees it can read both.
        os.replace(base + ".eml.part", base + ".eml")
        return "250 2.0.0 Ok: queued as SINK%d" % n


class OAuthSink(Sink):
    """A sink that also takes bearer tokens, checked by introspection."""

    def __init__(self, out_dir, introspect_url):
        super().__init__(out_dir)
        self.introspect_url = introspect_url

    def token_user(self, token):
        opener = urllib.request.build_opener(urllib.request.ProxyHandler({}))
        data = urllib.parse.urlencode({"token": token}).encode()
        with opener.open(self.introspect_url, data, timeout=10) as reply:
            answer = json.load(reply)
        return answer.get("username") if answer.get("active") is True else None

    async def bearer(self, server, args, mechanism):
        if len(args) == 2:
            try:
                response = b64decode(args[1], validate=True)
            except ValueError:
                await server.push("501 5.5.2 Can't decode base64")
                return AuthResult(success=False, handled=True)
        else:
            response = await server.challenge_auth("")
            if response is MISSING:
                return AuthResult(success=False, handled=True)
        fields = response.split(b"\x01")
        user = token = None
        if mechanism == "OAUTHBEARER":
            gs2 = fields[0].split(b",")
            if len(gs2) >= 2 and gs2[1].startswith(b"a="):
                user = gs2[1][2:].replace(b"=2C", b",").replace(b"=3D", b"=")
        for f in fields:
            if f.startswith(b"user="):
                user = f[5:]
            elif f.startswith(b"auth=Bearer "):
                token = f[12:]
        login = user.decode("utf-8", "replace") if user else None
        ok = bool(login and token) and self.token_user(token.decode("ascii", "replace")) == login
        if ok:
            server.session.sink_login = login
            server.session.sink_mechanism = mechanism
            return AuthResult(success=True, auth_data=LoginPassword(user, b""))
        error = json.dumps({"status": "401", "schemes": "bearer", "scope": "mail"})
        if await server.challenge_auth(error) is MISSING:
            return AuthResult(success=False, handled=True)  # "*": 501 was sent
        return AuthResult(success=False, handled=False)

    async def auth_XOAUTH2(self, server, args):
        return await self.bearer(server, args, "XOAUTH2")

    async def auth_OAUTHBEARER(self, server, args):
        return await self.bearer(server, args, "OAUTHBEARER")


def make_authenticator(user, password):
    def authenticator(server, session, envelope, mechanism, auth_data):
        login = auth_data.login.decode("utf-8", "replace")
        secret = auth_data.password.decode("utf-8", "replace")
        ok = login == user and secret == password
        if ok:
            session.sink_login = login
            session.sink_mechanism = mechanism
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
    ap.add_argument("--mechanisms")
    ap.add_argument("--auth-before-tls", action="store_true")
    ap.add_argument("--implicit-tls", action="store_true")
    ap.add_argument("--oauth2-introspect")
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
    default = "XOAUTH2,OAUTHBEARER" if args.oauth2_introspect else "PLAIN,LOGIN"
    offered = {m.strip().upper() for m in (args.mechanisms or default).split(",") if m.strip()}
    kwargs["auth_exclude_mechanism"] = [m for m in ("PLAIN", "LOGIN", "XOAUTH2", "OAUTHBEARER")
                                        if m not in offered]
    if args.user is not None:
        kwargs["authenticator"] = make_authenticator(args.user, args.password)

    port = args.port or free_port()
    handler = OAuthSink(args.dir, args.oauth2_introspect) if args.oauth2_introspect else Sink(args.dir)
    controller = Controller(handler, hostname="127.0.0.1", port=port, **kwargs)
    controller.start()
    print("READY %d" % port, flush=True)
    try:
        sys.stdin.read()
    finally:
        controller.stop()


if __name__ == "__main__":
    main()
