#!/usr/bin/env python3
"""Parses a disposition notification with Python's email package and prints
what a receiving program sees, as JSON: the top content type and its
report-type, decoded subject, From and To, Message-ID, the types and file
names of the top-level parts, the human-readable text, the fields of the
message/disposition-notification part (name and value, in order) and every
defect the parser found."""
import email
import email.policy
import json
import sys


def main():
    with open(sys.argv[1], "rb") as f:
        msg = email.message_from_bytes(f.read(), policy=email.policy.default)
    defects = [type(d).__name__ for part in msg.walk() for d in part.defects]
    out = {
        "content_type": msg.get_content_type(),
        "report_type": msg.get_param("report-type"),
        "subject": str(msg["Subject"]),
        "from": [a.addr_spec for a in msg["From"].addresses],
        "to": [[a.display_name, a.addr_spec] for a in msg["To"].addresses],
        "message_id": str(msg["Message-ID"]),
        "parts": [],
        "file_names": [],
        "text": None,
        "fields": None,
        "defects": defects,
    }
    if msg.is_multipart():
        for part in msg.get_payload():
            out["parts"].append(part.get_content_type())
            out["file_names"].append(part.get_filename())
            if part.get_content_type() == "text/plain" and out["text"] is None:
                out["text"] = part.get_content()
            elif part.get_content_type() == "message/disposition-notification":
                # The parser reads the fields as the header of an inner message.
                inner = part.get_payload()
                inner = inner[0] if isinstance(inner, list) else inner
                if hasattr(inner, "raw_items"):
                    out["fields"] = [[k, str(v)] for k, v in inner.raw_items()]
    json.dump(out, sys.stdout)


if __name__ == "__main__":
    main()
