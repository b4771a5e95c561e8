#!/usr/bin/env python3
"""A hostile POP3 server for measuring the client's bounds on replies.

It answers like a small maildrop of one message, except that the reply
chosen by MODE never ends:

  greeting  one endless greeting line
  capa      an endless CAPA list
  uidl      an endless UIDL list (ids of 70 characters, the longest RFC 1939
            allows)
  retr      an endless message (after a LIST that announced 1000 bytes)
  line      one endless header line in the message

TOP, when asked, is answered in full with a header dated now, so a check
that asks for the header first goes on to RETR.

Usage: endless_pop3.py MODE [PORT]   (prints the port it listens on)

Then, e.g.:
  velmora --data-dir D --add-account --login bob --server 127.0.0.1 --port PORT
  /usr/bin/time -v velmora --data-dir D --check
"""
import email.utils
import socket
import sys
import threading

MODES = ("greeting", "capa", "uidl", "retr", "line")


def endless(conn, unit):
    chunk = unit * max(1, 65536 // len(unit))
    try:
        while True:
            conn.sendall(chunk)
    except OSError:
        pass


def serve(conn, mode):
    f = conn.makefile("rb")
    try:
        if mode == "greeting":
            conn.sendall(b"+OK ")
            endless(conn, b"x")
            return
        conn.sendall(b"+OK ready\r\n")
        for raw in f:
            cmd = raw.strip().upper()
            if cmd == b"CAPA":
                if mode == "capa":
                    conn.sendall(b"+OK\r\n")
                    endless(conn, b"X-CAPABILITY\r\n")
                    return
                conn.sendall(b"+OK\r\nUSER\r\nUIDL\r\nTOP\r\n.\r\n")
            elif cmd.startswith(b"USER") or cmd.startswith(b"PASS"):
                conn.sendall(b"+OK\r\n")
            elif cmd == b"UIDL":
                if mode == "uidl":
                    conn.sendall(b"+OK\r\n")
                    endless(conn, b"1 " + b"u" * 70 + b"\r\n")
                    return
                conn.sendall(b"+OK\r\n1 m1\r\n.\r\n")
            elif cmd == b"LIST":
                conn.sendall(b"+OK\r\n1 1000\r\n.\r\n")
            elif cmd.startswith(b"LIST "):
                conn.sendall(b"+OK 1 1000\r\n")
            elif cmd.startswith(b"TOP"):
                date = email.utils.formatdate().encode()
                conn.sendall(b"+OK\r\nSubject: endless\r\nDate: " + date + b"\r\n\r\n.\r\n")
            elif cmd.startswith(b"RETR"):
                if mode == "line":
                    conn.sendall(b"+OK\r\nSubject: ")
                    endless(conn, b"x")
                    return
                conn.sendall(b"+OK\r\nSubject: endless\r\n\r\n")
                endless(conn, b"body line\r\n")
                return
            elif cmd == b"QUIT":
                conn.sendall(b"+OK bye\r\n")
                return
            else:
                conn.sendall(b"-ERR unknown\r\n")
    finally:
        conn.close()


def main():
    if len(sys.argv) < 2 or sys.argv[1] not in MODES:
        sys.exit(__doc__)
    mode = sys.argv[1]
    port = int(sys.argv[2]) if len(sys.argv) > 2 else 0
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", port))
    listener.listen(5)
    print(listener.getsockname()[1], flush=True)
    while True:
        conn, _ = listener.accept()
        threading.Thread(target=serve, args=(conn, mode), daemon=True).start()


if __name__ == "__main__":
    main()
