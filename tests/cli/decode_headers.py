#!/usr/bin/env python3
"""Decodes Subject and From of message files with Python's email package
(an implementation independent of Velmora's) and prints one JSON array of
{"file", "subject", "sender_name", "sender_address"}; messages whose
headers Python reports as defective are marked "defective": true."""
import email
import email.policy
import email.utils
import json
import sys


def main():
    out = []
    for path in sys.argv[1:]:
        with open(path, 'rb') as f:
            raw = f.read()
        msg = email.message_from_bytes(raw, policy=email.policy.default)
        entry = {"file": path, "defective": False}
        try:
            subject = msg['subject']
            entry["subject"] = str(subject) if subject is not None else ""
            if subject is not None and getattr(subject, 'defects', None):
                entry["defective"] = True
            sender = msg['from']
            name = address = ""
            if sender is not None:
                if getattr(sender, 'defects', None):
                    entry["defective"] = True
                addrs = sender.addresses
                if addrs:
                    name = addrs[0].display_name
                    address = addrs[0].addr_spec
                if not name:
                    # The older convention: a comment after the address
                    # names the sender ("a@b (John Doe)").
                    old = email.message_from_bytes(raw, policy=email.policy.compat32)
                    name = email.utils.parseaddr(str(old['from'] or ''))[0]
            entry["sender_name"] = name
            entry["sender_address"] = address
        except Exception as e:  # a header Python cannot read at all
            entry["defective"] = True
            entry["error"] = str(e)
        out.append(entry)
    json.dump(out, sys.stdout, ensure_ascii=False)


if __name__ == '__main__':
    main()
