#!/usr/bin/env python3
"""Decodes the message corpora that Debian ships with Velmora's decoder
(dump_headers) and with Python's email package (policy=default) and compares
subjects, senders and attachment names.

Usage: corpus_compare.py DUMP_HEADERS_BINARY

Every message must be decoded by Velmora without a crash. Fields must agree
unless the difference is listed in TOLERATED below with its reason, or falls
under one of the general rules in explain_difference(). Both corpora must be
installed (scripts/setup installs them): a missing one fails the test. Python's
messages are those of the Python running this script, wherever it lives.
"""

import email
import email.policy
import glob
import json
import os
import subprocess
import sys
import unicodedata

def python_email_data():
    """The email test messages of this Python (the test package's folder)."""
    import test
    return os.path.join(os.path.dirname(test.__file__), "test_email", "data")


CORPORA = [
    os.path.join(python_email_data(), "msg_*.txt"),
    "/usr/share/gocode/src/github.com/jhillyerd/enmime/testdata/*/*.raw",
]

# (file name, field) -> reason. Differences that come from malformed input
# or from a deliberate choice of Velmora, checked one by one.
TOLERATED = {
    ("msg_15.txt", "attachments"):
        "the inner multipart reuses the outer boundary; GMime recovers the GIF after "
        "the inner closing boundary, Python's parser loses it",
    ("msg_36.txt", "attachments"):
        "message/external-body only names a file kept elsewhere; Velmora lists the part "
        "under that name, Python walks into its phantom body, which has no name",
    ("bad-header-wrap.raw", "attachments"):
        "a parameter line folded without a leading blank; GMime skips the broken line and "
        "still reads Content-Disposition's filename, Python ends the part's header there",
}


def encode_word(data, q):
    import base64
    if not q:
        return base64.b64encode(data).decode()
    out = ""
    for b in data:
        c = chr(b)
        if c.isalnum() and b < 128:
            out += c
        elif c == " ":
            out += "_"
        else:
            out += "=%02X" % b
    return out


def write_synthetic(folder):
    """Writes messages whose headers Python's encoder builds: encoded words in
    many charsets (mixed within one subject), four-byte UTF-8, names of
    attachments as encoded words and as RFC 2231 parameters."""
    from email.header import Header
    from email.mime.application import MIMEApplication
    from email.mime.multipart import MIMEMultipart
    from email.mime.text import MIMEText
    from email.utils import formataddr

    subjects = [
        [("caf\u00e9 ", "iso-8859-1"), ("\u0430\u0431\u0432", "koi8-r")],
        [("\u017elu\u0165ou\u010dk\u00fd k\u016f\u0148 ", "windows-1250"),
         ("\u20ac 5", "iso-8859-15")],
        [("\u65e5\u672c\u8a9e ", "shift_jis"), ("\u4e2d\u6587 ", "big5"),
         ("\ud55c\uad6d\uc5b4", "euc-kr")],
        [("\u3042\u3044\u3046", "iso-2022-jp"), (" \u7b80\u4f53", "gb2312")],
        [("smile \U0001F600 and \U0001F680", "utf-8")],
        [("\u05e9\u05dc\u05d5\u05dd", "iso-8859-8"), (" \u0393\u03b5\u03b9\u03ac", "iso-8859-7")],
        [("\u0130stanbul \u011f", "windows-1254"), (" \u0101\u0113", "windows-1257")],
        [("A very long subject that will be folded over several lines by the encoder "
          "\u00e4\u00f6\u00fc \u00df " * 3, "utf-8")],
    ]
    names = ["J\u00fcrgen M\u00fcller", "\u0418\u0432\u0430\u043d", "\u5c71\u7530 \u592a\u90ce",
             "Plain Name", "O'Brien, Pat"]
    files = ["r\u00e9sum\u00e9.pdf", "\u0444\u0430\u0439\u043b.txt", "\u5831\u544a.docx",
             "plain.zip", "../../etc/passwd"]
    paths = []
    for i, parts in enumerate(subjects):
        m = MIMEMultipart()
        # Encoded words written by hand so that each keeps its charset's MIME
        # name (Python's encoder renames some, e.g. big5 to "big5_tw").
        m["Subject"] = " ".join(
            "=?%s?%s?%s?=" % (cs, "BQ"[k % 2], encode_word(t.encode(cs), k % 2))
            for k, (t, cs) in enumerate(parts))
        name = names[i % len(names)]
        m["From"] = formataddr((name, "user%d@example.org" % i), charset="utf-8")
        to_name = names[(i + 1) % len(names)]
        latin1 = all(ord(c) < 256 for c in to_name)
        m["To"] = formataddr((to_name, "to%d@example.org" % i),
                             charset="iso-8859-1" if latin1 else "koi8-r" if i == 0 else "utf-8")
        m.attach(MIMEText("body %d" % i, "plain", "utf-8"))
        fn = files[i % len(files)]
        att = MIMEApplication(b"data")
        # RFC 2231 form: filename*=utf-8''...
        att.add_header("Content-Disposition", "attachment", filename=("utf-8", "", fn))
        m.attach(att)
        if i % 2:
            # The same name as an encoded word in a quoted parameter, as many
            # mail programs write it.
            att2 = MIMEApplication(b"data2")
            att2["Content-Disposition"] = 'attachment; filename="%s"' % Header(
                fn, "utf-8").encode(maxlinelen=10000)
            m.attach(att2)
        path = os.path.join(folder, "synthetic-%02d.eml" % i)
        with open(path, "wb") as f:
            f.write(m.as_bytes())
        paths.append(path)
    return paths


def python_view(path):
    with open(path, "rb") as f:
        msg = email.message_from_binary_file(f, policy=email.policy.default)
    out = {}
    try:
        out["subject"] = str(msg["subject"]) if msg["subject"] is not None else ""
    except Exception as e:  # the header parser gave up
        out["subject"] = None
    try:
        addrs = msg["from"].addresses if msg["from"] is not None else ()
        out["from_name"] = addrs[0].display_name if addrs else ""
        out["from_addr"] = addrs[0].addr_spec if addrs else ""
    except Exception:
        out["from_name"] = out["from_addr"] = None
    names = []

    def walk(part):
        if part.is_multipart():
            for sub in part.get_payload():
                walk(sub)
            return
        try:
            fn = part.get_filename()
        except Exception:
            fn = None
        if fn:
            names.append(str(fn))

    try:
        if msg.get_content_type() == "message/rfc822" or not msg.is_multipart():
            walk(msg)
        else:
            for sub in msg.get_payload():
                walk(sub)
    except Exception:
        names = None
    out["attachments"] = names
    return out


def norm(s):
    # Python keeps a folded line's leading blank and so do we; compare with
    # runs of blanks folded so that a tab versus a space does not count.
    return " ".join(unicodedata.normalize("NFC", s).split())


def explain_difference(field, ours, theirs, raw):
    """Returns the reason a difference is acceptable, or None."""
    if theirs is None:
        return "Python's parser raised on this header; Velmora gives a partial result"
    if field == "from_name" and theirs == "" and "(" in raw and ours:
        return "address written 'addr (Name)': Velmora shows the comment as the name"
    if field == "from_addr" and theirs == "<>" and ours == "":
        return "an empty address '<>' (bounce sender): Velmora keeps it empty"
    if "\ufffd" in theirs and "\ufffd" not in ours:
        return "undeclared 8-bit bytes: Python shows U+FFFD, Velmora the incoming default charset"
    return None


def main():
    dump = sys.argv[1]
    files = []
    for pattern in CORPORA:
        found = sorted(glob.glob(pattern))
        if not found:
            print("FAIL: corpus not installed:", pattern)
            return 1
        files += found
    import tempfile
    tmp = tempfile.TemporaryDirectory()
    files += write_synthetic(tmp.name)
    res = subprocess.run([dump] + files, capture_output=True)
    if res.returncode != 0:
        print("FAIL: dump_headers exited with", res.returncode, res.stderr.decode(errors="replace"))
        return 1
    ours_all = {o["file"]: o for o in json.loads(res.stdout)}
    failures = 0
    compared = 0
    tolerated = 0
    for path in files:
        base = os.path.basename(path)
        ours = ours_all.get(path)
        if ours is None or "error" in ours:
            print("FAIL: no result for", path)
            failures += 1
            continue
        theirs = python_view(path)
        with open(path, "rb") as f:
            raw = f.read().decode("latin-1")
        ours_att = [a["name"] for a in ours["attachments"] if a["name"]]
        for a in ours["attachments"]:
            safe = a["safe_name"]
            if ("/" in safe or "\\" in safe or safe.startswith(".")
                    or any(ord(c) < 32 or ord(c) == 127 for c in safe)):
                failures += 1
                print("FAIL: %s: unsafe file name %r from %r" % (path, safe, a["name"]))
        pairs = [
            ("subject", ours["subject"], theirs["subject"]),
            ("from_name", ours["from_name"], theirs["from_name"]),
            ("from_addr", ours["from_addr"], theirs["from_addr"]),
            ("attachments", ours_att, theirs["attachments"]),
        ]
        for field, o, t in pairs:
            compared += 1
            if field == "attachments":
                same = t is not None and [norm(x) for x in o] == [norm(x) for x in t]
            else:
                same = t is not None and norm(o) == norm(t)
            if same:
                continue
            why = TOLERATED.get((base, field))
            if why is None and field != "attachments":
                why = explain_difference(field, o, t, raw)
            if why:
                tolerated += 1
                print("tolerated: %s %s: ours %r, Python %r (%s)" % (base, field, o, t, why))
                continue
            failures += 1
            print("FAIL: %s %s: ours %r, Python %r" % (path, field, o, t))
    print("%d messages, %d fields compared, %d tolerated differences, %d failures"
          % (len(files), compared, tolerated, failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
