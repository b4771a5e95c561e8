#!/usr/bin/python3
"""A small OAuth 2.0 provider for the sign-in tests, on 127.0.0.1.

Endpoints (RFC 6749 with PKCE, RFC 7636; revocation, RFC 7009; token
introspection, RFC 7662, which Dovecot's oauth2 passdb asks):

  GET  /authorize   approves at once and redirects to the redirect_uri with
                    code and state (only S256 challenges, only loopback
                    http redirect addresses, only the known client id)
  POST /token       grant_type=authorization_code (code_verifier checked
                    against the challenge) or refresh_token
  POST /revoke      token=...: that token (a refresh token takes its access
                    tokens with it)
  POST /introspect  token=...: {"active": ..., "username": ..., "scope": ...}

Test controls:

  POST /admin/revoke-access   every access token issued so far
  POST /admin/revoke-grants   every refresh token and access token
  POST /admin/mode            form authorize=approve|deny|wrong-state|no-code,
                              token=normal|garbage|slow|drip
  GET  /admin/stats           JSON: the authorization requests (their
                              parameters), the token requests (grant type,
                              whether PKCE matched), introspections, and
                              every token issued

Prints "READY <port>" once it listens; runs until its standard input closes.

  oauth_provider.py [--client-id ID] [--user NAME] [--expires-in SECONDS]
                    [--rotate-refresh] [--slow-seconds N] [--token-length N]
                    [--cert PEM --key KEY]
"""
import argparse
import base64
import hashlib
import json
import secrets
import ssl
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

LOCK = threading.Lock()


class State:
    def __init__(self, args):
        self.args = args
        self.codes = {}      # code -> dict(client_id, redirect_uri, challenge, scope)
        self.access = {}     # token -> dict(user, active, expires, refresh)
        self.refresh = {}    # token -> dict(user, active, scope)
        self.authorize_mode = "approve"
        self.token_mode = "normal"
        # "issued": every token handed out, so a test can look for it where
        # it must not be.
        self.stats = {"authorize": [], "token": [], "introspect": 0, "revoke": 0, "issued": []}

    def issue(self, user, scope, refresh=None):
        access = "at-" + secrets.token_urlsafe(24)
        # Real providers hand out tokens of a kilobyte and more.
        access += "x" * max(0, self.args.token_length - len(access))
        self.stats["issued"].append(access)
        self.access[access] = {"user": user, "active": True, "refresh": refresh,
                               "expires": time.time() + self.args.expires_in, "scope": scope}
        return access


def s256(verifier):
    digest = hashlib.sha256(verifier.encode("ascii")).digest()
    return base64.urlsafe_b64encode(digest).rstrip(b"=").decode("ascii")


def loopback_redirect(uri):
    p = urllib.parse.urlsplit(uri)
    return p.scheme == "http" and p.hostname in ("127.0.0.1", "::1", "localhost")


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, *args):
        pass

    def send_json(self, status, obj):
        body = json.dumps(obj).encode()
        self.send_response(status)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Cache-Control", "no-store")
        self.end_headers()
        self.wfile.write(body)

    def form(self):
        length = int(self.headers.get("Content-Length", "0"))
        raw = self.rfile.read(length).decode("utf-8", "replace")
        return {k: v[0] for k, v in urllib.parse.parse_qs(raw, keep_blank_values=True).items()}

    # --- authorization --------------------------------------------------------

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        if url.path == "/admin/stats":
            with LOCK:
                self.send_json(200, STATE.stats)
            return
        if url.path != "/authorize":
            self.send_json(404, {"error": "not_found"})
            return
        q = {k: v[0] for k, v in urllib.parse.parse_qs(url.query, keep_blank_values=True).items()}
        with LOCK:
            STATE.stats["authorize"].append(q)
            mode = STATE.authorize_mode
        redirect = q.get("redirect_uri", "")
        if not loopback_redirect(redirect) or q.get("client_id") != STATE.args.client_id:
            self.send_json(400, {"error": "invalid_request"})
            return
        params = {"state": q.get("state", "")}
        if q.get("response_type") != "code" or q.get("code_challenge_method") != "S256" \
                or not q.get("code_challenge"):
            params["error"] = "invalid_request"
        elif mode == "deny":
            params["error"] = "access_denied"
            params["error_description"] = "The user said no"
        elif mode == "no-code":
            pass
        else:
            code = secrets.token_urlsafe(16)
            with LOCK:
                STATE.codes[code] = {"client_id": q["client_id"], "redirect_uri": redirect,
                                     "challenge": q["code_challenge"], "scope": q.get("scope", "")}
            params["code"] = code
            if mode == "wrong-state":
                params["state"] = "not-" + params["state"]
        sep = "&" if "?" in redirect else "?"
        self.send_response(302)
        self.send_header("Location", redirect + sep + urllib.parse.urlencode(params))
        self.send_header("Content-Length", "0")
        self.end_headers()

    # --- token, revocation, introspection ------------------------------------

    def do_POST(self):
        path = urllib.parse.urlsplit(self.path).path
        f = self.form()
        if path == "/token":
            self.token(f)
        elif path == "/introspect":
            with LOCK:
                STATE.stats["introspect"] += 1
                t = STATE.access.get(f.get("token", ""))
                active = bool(t and t["active"] and t["expires"] > time.time())
                answer = {"active": active, "username": t["user"] if t else ""}
                if active:
                    answer["scope"] = t["scope"]
            self.send_json(200, answer)
        elif path == "/revoke":
            with LOCK:
                STATE.stats["revoke"] += 1
                token = f.get("token", "")
                if token in STATE.access:
                    STATE.access[token]["active"] = False
                if token in STATE.refresh:
                    STATE.refresh[token]["active"] = False
                    for a in STATE.access.values():
                        if a["refresh"] == token:
                            a["active"] = False
            self.send_json(200, {})
        elif path == "/admin/revoke-access":
            with LOCK:
                for a in STATE.access.values():
                    a["active"] = False
            self.send_json(200, {})
        elif path == "/admin/revoke-grants":
            with LOCK:
                for t in list(STATE.access.values()) + list(STATE.refresh.values()):
                    t["active"] = False
            self.send_json(200, {})
        elif path == "/admin/mode":
            with LOCK:
                STATE.authorize_mode = f.get("authorize", STATE.authorize_mode)
                STATE.token_mode = f.get("token", STATE.token_mode)
            self.send_json(200, {})
        else:
            self.send_json(404, {"error": "not_found"})

    def token(self, f):
        with LOCK:
            mode = STATE.token_mode
        if mode == "garbage":
            body = b"<html>This is not the answer you are looking for</html>"
            self.send_response(200)
            self.send_header("Content-Type", "text/html")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
            return
        if mode == "slow":
            time.sleep(STATE.args.slow_seconds)
        if mode == "drip":
            # A byte now and then, never the end: only a limit on the whole
            # exchange stops this.
            self.wfile.write(b"HTTP/1.0 200 OK\r\n")
            try:
                for _ in range(int(STATE.args.slow_seconds * 2)):
                    self.wfile.write(b"X")
                    self.wfile.flush()
                    time.sleep(0.5)
            except OSError:
                pass
            return
        grant = f.get("grant_type")
        entry = {"grant_type": grant}
        with LOCK:
            STATE.stats["token"].append(entry)
            if f.get("client_id") != STATE.args.client_id:
                status, answer = 401, {"error": "invalid_client"}
            elif grant == "authorization_code":
                c = STATE.codes.pop(f.get("code", ""), None)
                entry["pkce_ok"] = bool(c) and s256(f.get("code_verifier", "")) == c["challenge"]
                if not c or c["redirect_uri"] != f.get("redirect_uri") or not entry["pkce_ok"]:
                    status, answer = 400, {"error": "invalid_grant",
                                           "error_description": "Bad code or verifier"}
                else:
                    refresh = "rt-" + secrets.token_urlsafe(24)
                    STATE.stats["issued"].append(refresh)
                    STATE.refresh[refresh] = {"user": STATE.args.user, "active": True,
                                              "scope": c["scope"]}
                    status, answer = 200, {
                        "access_token": STATE.issue(STATE.args.user, c["scope"], refresh),
                        "token_type": "Bearer", "expires_in": STATE.args.expires_in,
                        "refresh_token": refresh, "scope": c["scope"]}
            elif grant == "refresh_token":
                old = f.get("refresh_token", "")
                r = STATE.refresh.get(old)
                if not r or not r["active"]:
                    status, answer = 400, {"error": "invalid_grant",
                                           "error_description": "Token has been revoked"}
                else:
                    refresh = old
                    if STATE.args.rotate_refresh:
                        refresh = "rt-" + secrets.token_urlsafe(24)
                        STATE.stats["issued"].append(refresh)
                        STATE.refresh[refresh] = dict(r)
                        r["active"] = False
                    status, answer = 200, {
                        "access_token": STATE.issue(r["user"], r["scope"], refresh),
                        "token_type": "Bearer", "expires_in": STATE.args.expires_in}
                    if STATE.args.rotate_refresh:
                        answer["refresh_token"] = refresh
            else:
                status, answer = 400, {"error": "unsupported_grant_type"}
        self.send_json(status, answer)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--client-id", default="velmora-test")
    ap.add_argument("--user", default="bob")
    ap.add_argument("--expires-in", type=int, default=3600)
    ap.add_argument("--rotate-refresh", action="store_true")
    ap.add_argument("--slow-seconds", type=float, default=30)
    ap.add_argument("--token-length", type=int, default=0)
    ap.add_argument("--cert")
    ap.add_argument("--key")
    args = ap.parse_args()
    global STATE
    STATE = State(args)
    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    if args.cert:
        ctx = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        ctx.load_cert_chain(args.cert, args.key)
        server.socket = ctx.wrap_socket(server.socket, server_side=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    print("READY %d" % server.server_address[1], flush=True)
    try:
        sys.stdin.read()
    finally:
        server.shutdown()


if __name__ == "__main__":
    main()
