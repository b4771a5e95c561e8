#!/usr/bin/env python3
"""Independent reader and writer of Velmora mailbox files (*.mbx).

Written from the description of the file format, not from the program's own
code, so that tests can check that both sides agree:

    mbxformat.py write SPEC.json OUT.mbx   write a file described by SPEC
    mbxformat.py read IN.mbx               print the file's content as JSON

The JSON form: {"version": 0|1, "account": {...}, "keyring": {"account": ID,
"secrets": [KIND...]} (only when the account block names the keyring),
"extension": {...}, "block_tail": int, "last_check": float,
"record_count": int, "records": [{"uid", "fresh", "server_number", "size",
"new", "receipt", "attachments", "kind", "data"}]}. Byte strings (uid, data
and the account's texts) are given as latin-1 strings, so every byte value
survives the round trip. "data" is absent for kind 0.

Format summary: little-endian; a text is a uint16 byte count and the bytes.
Signature text "VL320KEX07" (version 1) or "VL300KEX06" (version 0); int32
length N and N bytes of account block enciphered with Blowfish (ECB, words
taken little-endian); version 1: float64 last check; int32 record count;
records to the end of the file. In version 1 the account block may carry,
right after its checksum, a keyring marker: the 8 bytes "VLKEYRNG", the
account's keyring id (text), a count (uint8), that many secret kinds (texts)
and the sum of the marker's bytes before it modulo 256.

Named settings beyond the 22 account fields follow the checksum (and the
keyring marker, when there is one) inside the account block, where older
readers see only padding: "VMX1", pairs of texts (name, value), an empty
name, a uint8 sum of those bytes; then padding.
"extension" maps those names to their values (latin-1 strings); a reader
that knows nothing of them reads the rest of the file all the same.
"block_tail" is the number of block bytes after the checksum (keyring marker,
extension and padding together).
"""

import json
import struct
import sys

SIG_V1 = b"VL320KEX07"
SIG_V0 = b"VL300KEX06"
KEYRING_MARKER = b"VLKEYRNG"
EXT_MAGIC = b"VMX1"

# The program's fixed key text and position table (positions count from 1).
KEY_TEXT = b"Kv7#mQe2Lw"
KEY_POSITIONS = [4, 9, 1, 7, 10, 3, 6, 2, 8, 5]

ACCOUNT_FIELDS = [
    ("login", "text"), ("password", "text"), ("server", "text"),
    ("friendly_name", "text"), ("webmail", "text"), ("client_kind", "u8"),
    ("auto_check", "bool"), ("apop", "bool"), ("pop3_tls", "bool"),
    ("pop3_ssl", "u8"), ("pop3_port", "u16"), ("smtp_login", "text"),
    ("smtp_password", "text"), ("from", "text"), ("reply_to", "text"),
    ("sender_name", "text"), ("smtp_server", "text"), ("smtp_auth", "bool"),
    ("smtp_tls", "u8"), ("smtp_ssl", "u8"), ("smtp_port", "u16"),
    ("send_via_program", "bool"),
]


# --- Blowfish ---------------------------------------------------------------

def _pi_words(count):
    """The first `count` 32-bit words of the hexadecimal fraction of pi."""
    digits = count * 8 + 8
    bits = digits * 4 + 64
    one = 1 << bits

    def arctan_inv(x):
        total, term, n, sign, x2 = 0, one // x, 1, 1, x * x
        while term:
            total += sign * (term // n)
            term //= x2
            n += 2
            sign = -sign
        return total

    pi = 16 * arctan_inv(5) - 4 * arctan_inv(239)
    frac = (pi - (3 << bits)) >> (bits - digits * 4)
    h = format(frac, "x").rjust(digits, "0")
    return [int(h[i * 8:(i + 1) * 8], 16) for i in range(count)]


_INIT = _pi_words(18 + 4 * 256)


class Blowfish:
    def __init__(self, key):
        words = list(_INIT)
        self.p = words[:18]
        self.s = [words[18 + 256 * i:18 + 256 * (i + 1)] for i in range(4)]
        k = 0
        for i in range(18):
            w = 0
            for _ in range(4):
                w = (w << 8) | key[k]
                k = (k + 1) % len(key)
            self.p[i] ^= w
        l = r = 0
        for i in range(0, 18, 2):
            l, r = self._encrypt(l, r)
            self.p[i], self.p[i + 1] = l, r
        for box in self.s:
            for i in range(0, 256, 2):
                l, r = self._encrypt(l, r)
                box[i], box[i + 1] = l, r

    def _f(self, x):
        s = self.s
        return ((((s[0][x >> 24] + s[1][(x >> 16) & 255]) & 0xFFFFFFFF)
                 ^ s[2][(x >> 8) & 255]) + s[3][x & 255]) & 0xFFFFFFFF

    def _encrypt(self, l, r):
        for i in range(16):
            l ^= self.p[i]
            r ^= self._f(l)
            l, r = r, l
        l, r = r, l
        return l ^ self.p[17], r ^ self.p[16]

    def _decrypt(self, l, r):
        for i in range(17, 1, -1):
            l ^= self.p[i]
            r ^= self._f(l)
            l, r = r, l
        l, r = r, l
        return l ^ self.p[0], r ^ self.p[1]

    def _ecb(self, data, fn):
        out = bytearray()
        for off in range(0, len(data) - len(data) % 8, 8):
            l, r = struct.unpack_from("<II", data, off)
            out += struct.pack("<II", *fn(l, r))
        return bytes(out)

    def encrypt(self, data):
        return self._ecb(data, self._encrypt)

    def decrypt(self, data):
        return self._ecb(data, self._decrypt)


def make_key(text=KEY_TEXT, positions=KEY_POSITIONS):
    work = [text[p - 1] for p in positions]
    key = bytearray()
    i = 0
    while len(key) < 32:
        for k in range(10):
            if k != i and len(key) < 32:
                key.append((work[k] * work[i]) & 0xFF)
        i = (i + 1) % 10
    return bytes(key)


# --- reading ----------------------------------------------------------------

class FormatError(Exception):
    pass


class Reader:
    def __init__(self, data):
        self.data, self.pos = data, 0

    def take(self, n):
        if n < 0 or self.pos + n > len(self.data):
            raise FormatError("runs past the end at %d" % self.pos)
        b = self.data[self.pos:self.pos + n]
        self.pos += n
        return b

    def u8(self):
        return self.take(1)[0]

    def u16(self):
        return struct.unpack("<H", self.take(2))[0]

    def i32(self):
        return struct.unpack("<i", self.take(4))[0]

    def f64(self):
        return struct.unpack("<d", self.take(8))[0]

    def text(self):
        return self.take(self.u16())

    def at_end(self):
        return self.pos >= len(self.data)


def read_file(data):
    r = Reader(data)
    sig = r.text()
    if sig == SIG_V1:
        version = 1
    elif sig == SIG_V0:
        version = 0
    else:
        raise FormatError("signature")
    n = r.i32()
    block = Blowfish(make_key()).decrypt(r.take(n))
    b = Reader(block)
    account = {}
    for name, kind in ACCOUNT_FIELDS:
        if kind == "text":
            account[name] = b.text().decode("latin-1")
        elif kind == "u8":
            account[name] = b.u8()
        elif kind == "u16":
            account[name] = b.u16()
        else:
            account[name] = b.u8() != 0
    extension = {}
    after_checksum = b.pos
    out = {"version": version, "account": account}
    if version == 1:
        if b.u8() != sum(block[:b.pos - 1]) & 0xFF:
            raise FormatError("checksum")
        after_checksum = b.pos
        start = b.pos
        if block[start:start + 8] == KEYRING_MARKER:
            b.take(8)
            keyring = {"account": b.text().decode("utf-8"), "secrets": []}
            for _ in range(b.u8()):
                keyring["secrets"].append(b.text().decode("latin-1"))
            if b.u8() != sum(block[start:b.pos - 1]) & 0xFF:
                raise FormatError("keyring marker checksum")
            out["keyring"] = keyring
        start = b.pos
        if block[start:start + 4] == EXT_MAGIC:
            b.take(4)
            while True:
                name = b.text()
                if not name:
                    break
                extension[name.decode("latin-1")] = b.text().decode("latin-1")
            if b.u8() != sum(block[start:b.pos - 1]) & 0xFF:
                raise FormatError("extension checksum")
    out["extension"] = extension
    out["block_tail"] = len(block) - after_checksum
    out["last_check"] = r.f64() if version == 1 else 0.0
    out["record_count"] = r.i32()
    records = []
    while not r.at_end():
        rec = {"uid": r.text().decode("latin-1")}
        if version == 1:
            rec["fresh"] = r.u8() != 0
            rec["server_number"] = r.i32()
        rec["size"] = r.i32()
        rec["new"] = r.u8() != 0
        rec["receipt"] = r.u8()
        rec["attachments"] = r.i32()
        rec["kind"] = r.u8()
        if rec["kind"] >= 3:
            raise FormatError("holding kind")
        if rec["kind"] in (1, 2):
            rec["data"] = r.take(r.i32()).decode("latin-1")
        records.append(rec)
    out["records"] = records
    return out


# --- writing ----------------------------------------------------------------

def _text(b):
    return struct.pack("<H", len(b)) + b


def write_file(spec):
    version = spec.get("version", 1)
    acc = spec.get("account", {})
    block = bytearray()
    for name, kind in ACCOUNT_FIELDS:
        v = acc.get(name, {"client_kind": 2, "auto_check": True, "pop3_port": 110,
                           "smtp_port": 25}.get(name, "" if kind == "text" else 0))
        if kind == "text":
            block += _text(v.encode("latin-1"))
        elif kind == "u8":
            block.append(v & 0xFF)
        elif kind == "u16":
            block += struct.pack("<H", v)
        else:
            block.append(1 if v else 0)
    if version == 1:
        block.append(sum(block) & 0xFF)
        if "keyring" in spec:
            k = spec["keyring"]
            marker = bytearray(KEYRING_MARKER) + _text(k["account"].encode("utf-8"))
            marker.append(len(k["secrets"]))
            for kind in k["secrets"]:
                marker += _text(kind.encode("latin-1"))
            marker.append((sum(marker) + k.get("checksum_error", 0)) & 0xFF)
            block += marker
        ext = spec.get("extension")
        if ext:
            e = bytearray(EXT_MAGIC)
            for name, value in ext.items():
                e += _text(name.encode("latin-1")) + _text(value.encode("latin-1"))
            e += _text(b"")
            e.append((sum(e) + spec.get("extension_checksum_error", 0)) & 0xFF)
            block += e
    block += b"\xA5" * ((-len(block)) % 8)  # padding bytes carry no meaning
    out = bytearray(_text(SIG_V1 if version == 1 else SIG_V0))
    enc = Blowfish(make_key()).encrypt(bytes(block))
    out += struct.pack("<i", len(enc)) + enc
    if version == 1:
        out += struct.pack("<d", spec.get("last_check", 0.0))
    records = spec.get("records", [])
    out += struct.pack("<i", spec.get("record_count", len(records)))
    for rec in records:
        out += _text(rec["uid"].encode("latin-1"))
        if version == 1:
            out.append(1 if rec.get("fresh") else 0)
            out += struct.pack("<i", rec.get("server_number", 0))
        out += struct.pack("<i", rec.get("size", 0))
        out.append(1 if rec.get("new") else 0)
        out.append(rec.get("receipt", 0))
        out += struct.pack("<i", rec.get("attachments", -1))
        kind = rec.get("kind", 0)
        out.append(kind)
        if kind in (1, 2):
            data = rec.get("data", "").encode("latin-1")
            out += struct.pack("<i", len(data)) + data
    return bytes(out)


def main(argv):
    if len(argv) == 4 and argv[1] == "write":
        with open(argv[2]) as f:
            spec = json.load(f)
        with open(argv[3], "wb") as f:
            f.write(write_file(spec))
        return 0
    if len(argv) == 3 and argv[1] == "read":
        with open(argv[2], "rb") as f:
            data = f.read()
        try:
            json.dump(read_file(data), sys.stdout)
        except FormatError as e:
            print("format error: %s" % e, file=sys.stderr)
            return 2
        return 0
    print(__doc__, file=sys.stderr)
    return 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
