#!/usr/bin/env python3
"""Put a translated language file into the English file's order.

Usage: python3 tools/lang_order.py ENGLISH TRANSLATED

Rewrites TRANSLATED in place so that its sections and keys (the "$include"
lines among them) come in the order ENGLISH has them, with ENGLISH's blank
lines between sections. TRANSLATED keeps its own comment header (everything
before its first section), its own values, its byte order mark and its line
endings; a comment inside a section travels with the key below it, a line
that is neither key, section nor comment with the key above it. Keys and
sections are matched without regard to case, as the program reads them; of
a key given twice the last one counts. Keys TRANSLATED has but ENGLISH lacks
are dropped and listed; keys ENGLISH has but TRANSLATED lacks are listed and
make the exit status 1, so run it after merging English changes and
translate what it lists.
"""
import re
import sys

BOM = b"\xef\xbb\xbf"


def parse(data):
    """Returns (header lines, [(section, raw line, [(key, lines)])])."""
    if data.startswith(BOM):
        data = data[len(BOM):]
    lines = re.split(rb"\r\n|\n|\r", data)
    if lines and lines[-1] == b"":
        lines.pop()
    header, sections, pending = [], [], []
    for line in lines:
        m = re.search(rb"[;#\[=]", line)
        kind = m.group(0) if m else None
        is_section = kind == b"[" and line.rfind(b"]") > m.start()
        if not sections and not is_section:
            header.append(line)
            continue
        if is_section:
            name = line[m.start() + 1:line.rfind(b"]")].strip()
            sections.append((name.lower(), line, []))
            pending = []
        elif kind == b"=":
            key = line[:m.start()].strip()
            keys = sections[-1][2]
            keys[:] = [k for k in keys if k[0] != key.lower()]
            keys.append((key.lower(), pending + [line]))
            pending = []
        elif kind in (b";", b"#"):
            pending.append(line)
        elif line.strip() and sections[-1][2]:
            sections[-1][2][-1][1].append(line)
    return header, sections


def label(section_line, key_lines):
    """"[SECTION] Key" as the file spells them, for the lists printed."""
    key = key_lines[-1].split(b"=", 1)[0].strip()
    return (section_line.strip() + b" " + key).decode("utf-8", "replace")


def main(english_path, translated_path):
    with open(english_path, "rb") as f:
        english = f.read()
    with open(translated_path, "rb") as f:
        data = f.read()
    eol = re.search(rb"\r\n|\n|\r", data)
    eol = eol.group(0) if eol else b"\n"
    header, tr_sections = parse(data)
    _, en_sections = parse(english)
    tr = {}
    for name, line, keys in tr_sections:
        old = tr.get(name, (line, {}))
        old[1].update(dict(keys))
        tr[name] = (old[0], old[1])
    out, missing, seen = list(header), [], set()
    for name, line, keys in en_sections:
        if name in seen:
            continue
        seen.add(name)
        if out and out[-1].strip():
            out.append(b"")
        if name not in tr:
            missing.append(line.decode("utf-8", "replace").strip() + " (whole section)")
            out.append(line)
            continue
        out.append(tr[name][0])
        for key, en_lines in keys:
            if key in tr[name][1]:
                out.extend(tr[name][1][key])
            else:
                missing.append(label(line, en_lines))
    en_keys = {(n, k) for n, _, keys in en_sections for k, _ in keys}
    dropped = [label(line, lines) for n, (line, keys) in tr.items()
               for k, lines in keys.items() if (n, k) not in en_keys]
    text = eol.join(out) + eol
    with open(translated_path, "wb") as f:
        f.write((BOM if data.startswith(BOM) else b"") + text)
    for d in dropped:
        print("dropped: " + d)
    for m in missing:
        print("missing: " + m)
    return 1 if missing else 0


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1], sys.argv[2]))
