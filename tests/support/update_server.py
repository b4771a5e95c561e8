#!/usr/bin/python3
"""An HTTPS server playing the update server for the update check tests.

It listens on 127.0.0.1 with the given certificate and answers every GET with
the bytes of the file DIR/reply (status 200, or the number in DIR/status; no
file: 404). With a file DIR/no-length it sends no Content-Length and ends the
body by closing the connection. Every request's target (path and query) is
appended to DIR/requests.log as one line, before the reply is sent.

Prints "READY <port>" on standard output once it accepts connections and runs
until its standard input is closed.

  update_server.py --dir DIR --cert PEM --key KEY
"""
import argparse
import http.server
import os
import socket
import socketserver
import ssl
import sys
import threading


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, *args):
        pass

    def do_GET(self):
        out_dir = self.server.out_dir
        with self.server.lock:
            with open(os.path.join(out_dir, "requests.log"), "a") as f:
                f.write(self.path + "\n")
        try:
            with open(os.path.join(out_dir, "reply"), "rb") as f:
                body = f.read()
            status = 200
            status_path = os.path.join(out_dir, "status")
            if os.path.exists(status_path):
                with open(status_path) as f:
                    status = int(f.read().strip())
        except FileNotFoundError:
            body, status = b"no reply configured\n", 404
        self.send_response(status)
        self.send_header("Content-Type", "text/plain")
        if not os.path.exists(os.path.join(out_dir, "no-length")):
            self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        try:
            self.wfile.write(body)
        except OSError:
            pass  # the client stopped reading (a refused oversized body)


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True

    def __init__(self, out_dir, context):
        super().__init__(("127.0.0.1", 0), Handler)
        self.out_dir = out_dir
        self.context = context
        self.lock = threading.Lock()

    def finish_request(self, request, client_address):
        # The TLS handshake runs on the connection's own thread, so a client
        # that refuses the certificate (or never shakes hands) holds up nobody.
        request.settimeout(30)
        try:
            tls = self.context.wrap_socket(request, server_side=True)
        except (OSError, ssl.SSLError):
            return
        try:
            super().finish_request(tls, client_address)
        finally:
            # The body ends with the connection (no TLS goodbye to wait for).
            try:
                tls.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            tls.close()

    def handle_error(self, request, client_address):
        pass


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--dir", required=True)
    ap.add_argument("--cert", required=True)
    ap.add_argument("--key", required=True)
    args = ap.parse_args()

    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(args.cert, args.key)
    server = Server(args.dir, context)
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    print("READY %d" % server.server_address[1], flush=True)
    try:
        sys.stdin.read()
    finally:
        server.shutdown()


if __name__ == "__main__":
    main()
