#!/usr/bin/env python3
"""Parses one message file with Python's email package and prints what a
receiving mail program would see, as JSON: decoded subject, address lists,
header names in order, the parser's defects and every leaf part (content
type, charset, file name, decoded bytes and, for text, the decoded text)."""
import base64
import email
import email.policy
import email.utils
import json
import sys


def addresses(msg, name):
    header = msg[name]
    if header is None:
        return None
    if hasattr(header, "addresses"):
        return [[a.display_name, a.addr_spec] for a in header.addresses]
    return [list(pair) for pair in email.utils.getaddresses([str(header)])]


def main():
    with open(sys.argv[1], "rb") as f:
        data = f.read()
    msg = email.message_from_bytes(data, policy=email.policy.default)
    out = {
        "headers": [k for k in msg.keys()],
        "subject": str(msg["Subject"]) if msg["Subject"] is not None else None,
        "from": addresses(msg, "From"),
        "to": addresses(msg, "To"),
        "cc": addresses(msg, "Cc"),
        "reply_to": addresses(msg, "Reply-To"),
        "notification_to": addresses(msg, "Disposition-Notification-To"),
        "message_id": msg["Message-ID"] and str(msg["Message-ID"]),
        "in_reply_to": msg["In-Reply-To"] and str(msg["In-Reply-To"]),
        "references": msg["References"] and str(msg["References"]),
        "content_type": msg.get_content_type(),
        "multipart": msg.is_multipart(),
        "defects": [type(d).__name__ for d in msg.defects],
        "parts": [],
    }
    for part in msg.walk():
        if part.is_multipart():
            out["defects"] += [type(d).__name__ for d in part.defects]
            continue
        payload = part.get_payload(decode=True) or b""
        entry = {
            "content_type": part.get_content_type(),
            "charset": part.get_content_charset(),
            "filename": part.get_filename(),
            "disposition": part.get_content_disposition(),
            "bytes": base64.b64encode(payload).decode("ascii"),
            "defects": [type(d).__name__ for d in part.defects],
        }
        if part.get_content_maintype() == "text" and part.get_filename() is None:
            entry["text"] = part.get_content()
        out["parts"].append(entry)
    json.dump(out, sys.stdout)


if __name__ == "__main__":
    main()
