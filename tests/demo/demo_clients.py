#!/usr/bin/env python3
"""The demo servers against Python's poplib and smtplib as independent
clients: logins (USER/PASS, APOP, AUTH PLAIN and LOGIN), pipelined commands,
TLS from the first byte and STARTTLS with the certificate pinned by its
fingerprint, delivery of sent mail into the maildrops with dot-stuffing both
ways, the sample mail (parsed with the email package), and hostile clients
(overlong lines, garbage, a flood of connections) that must not stop the
server.

Usage: demo_clients.py DEMO_SERVER_PROGRAM
"""
import email
import email.policy
import hashlib
import io
import re
import json
import poplib
import smtplib
import socket
import ssl
import struct
import subprocess
import sys
import time
import unittest
import zipfile
import zlib

PROGRAM = None
INFO = None
SERVER = None
HOST = '127.0.0.1'


def pinned_context():
    """TLS without a CA; the certificate is judged by its fingerprint."""
    ctx = ssl.create_default_context()
    ctx.check_hostname = False
    ctx.verify_mode = ssl.CERT_NONE
    return ctx


def fingerprint(sock):
    der = sock.getpeercert(binary_form=True)
    return ':'.join('%02X' % b for b in hashlib.sha256(der).digest())


def user(i):
    return INFO['users'][i]


def pop3(i=0):
    p = poplib.POP3(HOST, INFO['pop3'], timeout=30)
    p.user(user(i)['login'])
    p.pass_(user(i)['password'])
    return p


def messages(p):
    count = len(p.list()[1])
    return [email.message_from_bytes(b'\r\n'.join(p.retr(n)[1]), policy=email.policy.default)
            for n in range(1, count + 1)]


def smtp_tls(i=0):
    s = smtplib.SMTP(HOST, INFO['smtp'], timeout=30)
    s.ehlo()
    s.starttls(context=pinned_context())
    s.ehlo()
    return s


def raw_exchange(port, data, read_until_close=True):
    """Sends data on a new connection and returns all it gets until the
    server closes (or 10 s of silence)."""
    with socket.create_connection((HOST, port), timeout=10) as s:
        s.sendall(data)
        out = b''
        try:
            while True:
                chunk = s.recv(65536)
                if not chunk:
                    break
                out += chunk
                if not read_until_close:
                    break
        except (socket.timeout, ConnectionResetError):
            pass
        return out


class Pop3(unittest.TestCase):
    def test_listing_and_logins(self):
        p = poplib.POP3(HOST, INFO['pop3'], timeout=30)
        caps = p.capa()
        for c in ('USER', 'UIDL', 'TOP', 'PIPELINING'):
            self.assertIn(c, caps)
        with self.assertRaises(poplib.error_proto):
            p.user(user(0)['login'])
            p.pass_('wrong')
        p.user(user(0)['login'])
        p.pass_(user(0)['password'])
        count, size = p.stat()
        listing = [l.split() for l in p.list()[1]]
        uids = [l.split()[1] for l in p.uidl()[1]]
        self.assertEqual(len(listing), count)
        self.assertEqual(len(set(uids)), count)
        self.assertEqual(sum(int(s) for _, s in listing), size)
        # LIST sizes are the message octets with CR LF line ends.
        for n, s in listing[:3]:
            self.assertEqual(len(b''.join(l + b'\r\n' for l in p.retr(int(n))[1])), int(s))
        # TOP n 0: the header block only, then the blank line.
        top = p.top(1, 0)[1]
        self.assertEqual(top[-1], b'')
        self.assertNotIn(b'', top[:-1])
        self.assertTrue(p.quit().startswith(b'+OK'))

    def test_apop_over_tls_from_the_first_byte(self):
        p = poplib.POP3_SSL(HOST, INFO['pop3s'], timeout=30, context=pinned_context())
        self.assertEqual(fingerprint(p.sock), INFO['fingerprint'])
        p.apop(user(1)['login'], user(1)['password'])
        self.assertGreater(p.stat()[0], 0)
        p.quit()
        p = poplib.POP3_SSL(HOST, INFO['pop3s'], timeout=30, context=pinned_context())
        with self.assertRaises(poplib.error_proto):
            p.apop(user(1)['login'], 'wrong')
        p.close()

    def test_pipelined_commands_are_answered_in_order(self):
        u = user(0)
        out = raw_exchange(INFO['pop3'], b'USER %s\r\nPASS %s\r\nSTAT\r\nUIDL 1\r\nNOOP\r\nQUIT\r\n'
                           % (u['login'].encode(), u['password'].encode()))
        lines = out.split(b'\r\n')
        self.assertTrue(all(l.startswith(b'+OK') for l in lines[:7] if l), out)
        self.assertEqual(len([l for l in lines if l.startswith(b'+OK')]), 7, out)  # greeting + 6

    def test_dele_takes_effect_at_quit_and_rset_undoes_it(self):
        p = pop3(1)
        before = p.stat()[0]
        first = p.uidl(1).split()[2]
        p.dele(1)
        self.assertEqual(p.stat()[0], before - 1)
        with self.assertRaises(poplib.error_proto):
            p.retr(1)
        p.rset()
        self.assertEqual(p.stat()[0], before)
        p.dele(1)
        p.quit()
        p = pop3(1)
        self.assertEqual(p.stat()[0], before - 1)
        self.assertNotIn(first, [l.split()[1] for l in p.uidl()[1]])
        p.quit()


class Samples(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        p = pop3(0)
        cls.sizes = [int(l.split()[1]) for l in p.list()[1]]
        cls.msgs = messages(p)
        p.quit()

    def texts(self):
        for m in self.msgs:
            yield str(m['subject']) + ' ' + str(m['from'])

    def test_every_message_is_well_formed(self):
        for m in self.msgs:
            for h in ('From', 'To', 'Date', 'Message-ID', 'Subject'):
                self.assertIsNotNone(m[h], h)
            self.assertNotIn('=?', str(m['subject']))
            self.assertIsNotNone(m['date'].datetime)

    def test_languages_and_scripts(self):
        text = ' '.join(self.texts())
        ranges = {
            'Polish': 'łżąęść',
            'German': 'üöäß',
            'Cyrillic': ''.join(map(chr, range(0x400, 0x500))),
            'Greek': ''.join(map(chr, range(0x370, 0x400))),
            'Japanese': ''.join(map(chr, range(0x3040, 0x3100))) + ''.join(map(chr, range(0x4E00, 0x9FFF))),
        }
        for name, chars in ranges.items():
            self.assertTrue(any(c in chars for c in text), name)
        self.assertTrue(any(ord(c) > 0xFFFF for c in text), 'emoji')

    def test_features(self):
        prio = [m['x-priority'].split()[0] for m in self.msgs if m['x-priority']]
        self.assertIn('1', prio)
        self.assertIn('5', prio)
        self.assertTrue(any(m['disposition-notification-to'] for m in self.msgs))
        self.assertTrue(any(s > 300 * 1024 for s in self.sizes), 'a message above the limit')
        # A thread: a chain of replies whose References name every earlier one.
        ids = {m['message-id']: m for m in self.msgs}
        longest = 0
        for m in self.msgs:
            depth, cur = 1, m
            while cur['in-reply-to'] in ids:
                self.assertIn(cur['in-reply-to'], str(cur['references']))
                cur, depth = ids[cur['in-reply-to']], depth + 1
            longest = max(longest, depth)
        self.assertGreaterEqual(longest, 5)

    def test_html_pictures_and_attachments(self):
        remote = inline = False
        types = set()
        for m in self.msgs:
            cids = {p['content-id'].strip('<>') for p in m.walk() if p['content-id']}
            for part in m.walk():
                if part.get_content_type() == 'text/html':
                    html = part.get_content()
                    remote = remote or re.search(r'src="http://[^"/]+/newsletter/', html) is not None
                    for cid in cids:
                        inline = inline or ('cid:' + cid) in html
                if part.is_attachment():
                    data = part.get_payload(decode=True)
                    types.add(part.get_content_type())
                    if part.get_content_type() == 'application/zip':
                        with zipfile.ZipFile(io.BytesIO(data)) as z:
                            self.assertIsNone(z.testzip())
                    if part.get_content_type() == 'application/pdf':
                        self.assertTrue(data.startswith(b'%PDF-') and data.rstrip().endswith(b'%%EOF'))
                if part.get_content_type() == 'image/png':
                    self.check_png(part.get_payload(decode=True))
        self.assertTrue(remote, 'remote pictures')
        self.assertTrue(inline, 'inline cid: pictures')
        for t in ('application/pdf', 'image/png', 'text/plain', 'application/zip'):
            self.assertIn(t, types)

    def check_png(self, data):
        self.assertEqual(data[:8], b'\x89PNG\r\n\x1a\n')
        pos, idat, width, height = 8, b'', 0, 0
        while pos < len(data):
            length, = struct.unpack('>I', data[pos:pos + 4])
            kind, body = data[pos + 4:pos + 8], data[pos + 8:pos + 8 + length]
            crc, = struct.unpack('>I', data[pos + 8 + length:pos + 12 + length])
            self.assertEqual(zlib.crc32(kind + body), crc, kind)
            if kind == b'IHDR':
                width, height = struct.unpack('>II', body[:8])
            if kind == b'IDAT':
                idat += body
            pos += 12 + length
        self.assertEqual(len(zlib.decompress(idat)), (width * 3 + 1) * height)


class Smtp(unittest.TestCase):
    def test_offer_and_login_required(self):
        s = smtplib.SMTP(HOST, INFO['smtp'], timeout=30)
        s.ehlo()
        for ext in ('starttls', 'pipelining', 'auth'):
            self.assertTrue(s.has_extn(ext), ext)
        self.assertEqual(s.mail('a@demo.invalid')[0], 530)
        s.quit()

    def test_starttls_logins_and_delivery_with_dots(self):
        s = smtp_tls()
        self.assertEqual(fingerprint(s.sock), INFO['fingerprint'])
        self.assertFalse(s.has_extn('starttls'))
        with self.assertRaises(smtplib.SMTPAuthenticationError):
            s.login(user(0)['login'], 'wrong')
        s.user, s.password = user(0)['login'], user(0)['password']
        code, _ = s.auth('LOGIN', s.auth_login, initial_response_ok=False)
        self.assertEqual(code, 235)
        body = 'Subject: dots\r\n\r\n.starts with a dot\r\n..two\r\n.\r\nend\r\n'
        s.sendmail('me@demo.invalid', [user(0)['address'], user(1)['address'], 'out@example.com'], body)
        s.quit()
        s = smtp_tls()
        s.login(user(1)['login'], user(1)['password'])  # AUTH PLAIN
        s.sendmail(user(1)['address'], ['someone@example.com'], 'Subject: elsewhere\r\n\r\nhi\r\n')
        s.quit()

        def subjects(i):
            p = pop3(i)
            found = [(str(m['subject']), m) for m in messages(p)]
            p.quit()
            return found
        main = subjects(0)
        dots = [m for subj, m in main if subj == 'dots']
        self.assertEqual(len(dots), 1, 'one copy although two recipients went to the first drop')
        self.assertEqual(dots[0].get_content().replace('\r\n', '\n').rstrip('\n'),
                         '.starts with a dot\n..two\n.\nend')
        self.assertIn('elsewhere', [subj for subj, _ in main], 'other addresses reach the first drop')
        self.assertIn('dots', [subj for subj, _ in subjects(1)])

    def test_pipelined_transaction(self):
        s = smtp_tls()
        s.login(user(0)['login'], user(0)['password'])
        sock = s.sock
        sock.sendall(b'RSET\r\nMAIL FROM:<a@demo.invalid>\r\nRCPT TO:<%s>\r\nDATA\r\n'
                     % user(0)['address'].encode())
        reply = b''
        while reply.count(b'\r\n') < 4:
            reply += sock.recv(4096)
        codes = [l[:3] for l in reply.split(b'\r\n') if l]
        self.assertEqual(codes, [b'250', b'250', b'250', b'354'])
        sock.sendall(b'Subject: piped\r\n\r\nok\r\n.\r\nQUIT\r\n')
        reply = b''
        while reply.count(b'\r\n') < 2:
            reply += sock.recv(4096)
        self.assertEqual([l[:3] for l in reply.split(b'\r\n') if l], [b'250', b'221'])
        s.close()


class Hostile(unittest.TestCase):
    def alive(self):
        p = pop3(0)
        p.noop()
        p.quit()

    def test_overlong_lines_and_garbage(self):
        out = raw_exchange(INFO['pop3'], b'USER ' + b'x' * 200000)
        self.assertIn(b'-ERR', out)
        out = raw_exchange(INFO['smtp'], b'EHLO ' + b'y' * 200000 + b'\r\n')
        self.assertIn(b'500', out)
        garbage = bytes(range(256)) * 64 + b'\r\n\x00\xff\r\n.\r\n'
        for port in (INFO['pop3'], INFO['smtp'], INFO['pop3s']):
            raw_exchange(port, garbage, read_until_close=False)
        # A client that ends the handshake early, and one that stops mid-line.
        with socket.create_connection((HOST, INFO['pop3s'])) as s:
            s.sendall(b'\x16\x03\x01\x00')
        with socket.create_connection((HOST, INFO['smtp'])) as s:
            s.sendall(b'MAIL FROM:<a')
        self.alive()

    def test_oversized_message_is_refused(self):
        s = smtp_tls()
        s.login(user(0)['login'], user(0)['password'])
        code, _ = s.docmd('MAIL FROM:<a@demo.invalid> SIZE=999999999999')
        self.assertEqual(code, 552)
        s.quit()

    def test_flood_of_connections(self):
        socks = [socket.create_connection((HOST, INFO['pop3'])) for _ in range(60)]
        # Past the limit on connections at once, more are closed unanswered.
        greeted = 0
        for s in socks:
            s.settimeout(10)
            greeted += s.recv(100).startswith(b'+OK')
        self.assertGreater(greeted, 0)
        self.assertLess(greeted, 60)
        for s in socks:
            s.close()
        # Once the server has seen them go, it serves again.
        deadline = time.monotonic() + 60
        while True:
            try:
                self.alive()
                break
            except (poplib.error_proto, OSError):
                if time.monotonic() > deadline:
                    raise
                time.sleep(0.2)


def main():
    global INFO, SERVER
    SERVER = subprocess.Popen([sys.argv[1]], stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    INFO = json.loads(SERVER.stdout.readline())
    try:
        result = unittest.main(argv=[sys.argv[0], '-v'], exit=False).result
        alive = SERVER.poll() is None
    finally:
        SERVER.stdin.close()
        code = SERVER.wait(timeout=60)
    if not alive:
        print('the demo server died during the tests', file=sys.stderr)
    return 0 if result.wasSuccessful() and alive and code == 0 else 1


if __name__ == '__main__':
    sys.exit(main())
